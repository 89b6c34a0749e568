#include "analysis/shape_refinement.h"

#include <algorithm>
#include <cmath>

#include "analysis/directions.h"
#include "effects/shape_operations.h"

namespace lumeray {
namespace {

constexpr int kCentreRounds = 4;
constexpr double kContrastGain = 1e-6;
constexpr int kRadiusRounds = 6;
constexpr float kRadiusStep = 0.125f;
constexpr float kGrowShare = 0.27f;    // middle above inner - 0.27 delta: the rim is further out
constexpr float kShrinkShare = 0.45f;  // middle below inner - 0.45 delta: the rim is further in
constexpr int kQuartersPerPixel = 4;
constexpr int kRoleCount = 3;  // inner disk, middle ring, outer ring
// The centroid window reaches this far beyond the radius; the surroundings' level is taken
// along a ring this far out.
constexpr float kCentroidWindowReach = 1.5f;
constexpr float kSurroundingsReach = 2.5f;
constexpr double kLargestCentroidShift = 1.0;

int ClampedIndex(float radius) {
  const auto index = static_cast<int>(std::lround(radius * kQuartersPerPixel));
  return std::clamp(index, 0, kMeasuringShapeCount - 1);
}

}  // namespace

QuarterPixelPoint MoveByQuarters(const QuarterPixelPoint& centre, int32_t dx, int32_t dy) {
  const int64_t qx = int64_t{centre.x} * kQuartersPerPixel + centre.xFraction + dx;
  const int64_t qy = int64_t{centre.y} * kQuartersPerPixel + centre.yFraction + dy;
  return {static_cast<int32_t>(qx >> 2), static_cast<int32_t>(qx & 3),
          static_cast<int32_t>(qy >> 2), static_cast<int32_t>(qy & 3)};
}

int MeasuringIndex(float radius) {
  return static_cast<int>(radius / kMeasuringRadiusStep);
}

ShapeMeasure MeasureShape(const AnalysisPixels& image, EffectShape* shape,
                          const QuarterPixelPoint& centre, uint32_t* mean, float* deviation) {
  if (AnalyzeShapeFrom(image, shape, centre, mean, deviation)) return ShapeMeasure::kMeasured;
  // The measuring builders fail only when an entry array cannot grow.
  const bool buildFailed = shape->shapeType == SHAPE_IMAGE && shape->builder != nullptr &&
                           !SubShapeBuiltFor(*shape, centre);
  return buildFailed ? ShapeMeasure::kOutOfMemory : ShapeMeasure::kFailed;
}

ShapeMeasure RingContrast(const AnalysisPixels& image, EffectShape* shape,
                          const QuarterPixelPoint& centre, float* contrast) {
  uint32_t mean = 0;
  float deviation = 0.0f;
  const ShapeMeasure measured = MeasureShape(image, shape, centre, &mean, &deviation);
  if (measured != ShapeMeasure::kMeasured) return measured;
  const auto m = static_cast<float>(mean);
  *contrast = 2.0f * deviation > m ? 0.0f : m - 2.0f * deviation;
  return ShapeMeasure::kMeasured;
}

bool RefineCentre(const AnalysisPixels& image, const MeasuringShapes& shapes,
                  QuarterPixelPoint* centre, float radius, int* error) {
  const int k = MeasuringIndex(radius);
  if (k < 0 || k >= kMeasuringShapeCount) return false;
  EffectShape* ring = &shapes.rings[k];
  float best = 0.0f;
  ShapeMeasure measured = RingContrast(image, ring, *centre, &best);
  if (measured == ShapeMeasure::kOutOfMemory) *error = kOutOfMemory;
  if (measured != ShapeMeasure::kMeasured) return false;

  bool moved = false;
  for (int round = 0; round < kCentreRounds; ++round) {
    int chosen = -1;
    float chosenContrast = 0.0f;
    QuarterPixelPoint chosenCentre{};
    for (int direction = 0; direction < kDirectionCount; ++direction) {
      const QuarterPixelPoint candidate =
          MoveByQuarters(*centre, kDirections[direction].dx, kDirections[direction].dy);
      float contrast = 0.0f;
      measured = RingContrast(image, ring, candidate, &contrast);
      if (measured == ShapeMeasure::kOutOfMemory) {
        *error = kOutOfMemory;
        return moved;
      }
      if (measured != ShapeMeasure::kMeasured) continue;
      if (static_cast<double>(contrast) > static_cast<double>(best) + kContrastGain &&
          (chosen < 0 || contrast > chosenContrast)) {
        chosen = direction;
        chosenContrast = contrast;
        chosenCentre = candidate;
      }
    }
    if (chosen < 0) break;
    *centre = chosenCentre;
    best = chosenContrast;
    moved = true;
  }
  return moved;
}

bool RefineCentreByCentroid(const AnalysisPixels& image, const MeasuringShapes& shapes,
                            QuarterPixelPoint* centre, float radius, int* error) {
  uint32_t surroundings = 0, windowMean = 0;
  float deviation = 0.0f;
  EffectShape* window = &shapes.disks[ClampedIndex(radius + kCentroidWindowReach)];
  for (auto [shape, mean] :
       {std::pair{&shapes.rings[ClampedIndex(radius + kSurroundingsReach)], &surroundings},
        std::pair{window, &windowMean}}) {
    const ShapeMeasure measured = MeasureShape(image, shape, *centre, mean, &deviation);
    if (measured == ShapeMeasure::kOutOfMemory) *error = kOutOfMemory;
    if (measured != ShapeMeasure::kMeasured) return false;
  }
  const SubShape& sub = window->subShapes[SubShapeIndex(centre->xFraction, centre->yFraction)];
  const double fx = static_cast<double>(centre->xFraction) / kQuartersPerPixel;
  const double fy = static_cast<double>(centre->yFraction) / kQuartersPerPixel;
  double weights = 0.0, sumX = 0.0, sumY = 0.0;
  for (uint32_t i = 0; i < sub.entryCount; ++i) {
    const SubShapeEntry& e = sub.data()[i];
    const int32_t x = centre->x + e.dx, y = centre->y + e.dy;
    if (!image.Contains(x, y)) continue;
    const uint32_t b = image.BrightnessAt(x, y);
    if (b <= surroundings) continue;
    const double w = static_cast<double>(e.value) * (b - surroundings);
    weights += w;
    sumX += w * (e.dx - fx);
    sumY += w * (e.dy - fy);
  }
  if (weights == 0.0) return false;
  const double shiftX = sumX / weights, shiftY = sumY / weights;
  if (std::abs(shiftX) > kLargestCentroidShift || std::abs(shiftY) > kLargestCentroidShift) {
    return false;
  }
  const auto qx = static_cast<int32_t>(std::lround(shiftX * kQuartersPerPixel));
  const auto qy = static_cast<int32_t>(std::lround(shiftY * kQuartersPerPixel));
  *centre = MoveByQuarters(*centre, qx, qy);
  return qx != 0 || qy != 0;
}

bool RefineRadius(const AnalysisPixels& image, const MeasuringShapes& shapes,
                  const QuarterPixelPoint& centre, float* radius, int* error) {
  const float initial = *radius;
  bool grew = false;
  int cachedIndex[kRoleCount] = {-1, -1, -1};
  float contrast[kRoleCount] = {};
  for (int round = 0; round < kRadiusRounds; ++round) {
    const int k = std::max(MeasuringIndex(*radius), 1);
    const int index[kRoleCount] = {k / 2 + 1, k, 2 * k};
    if (index[2] >= kMeasuringShapeCount) break;
    for (int role = 0; role < kRoleCount; ++role) {
      if (index[role] == cachedIndex[role]) continue;
      EffectShape* shape = role == 0 ? &shapes.disks[index[role]] : &shapes.rings[index[role]];
      const ShapeMeasure measured = RingContrast(image, shape, centre, &contrast[role]);
      if (measured == ShapeMeasure::kOutOfMemory) *error = kOutOfMemory;
      if (measured != ShapeMeasure::kMeasured) return *radius != initial;
      cachedIndex[role] = index[role];
    }
    const float inner = contrast[0], middle = contrast[1], outer = contrast[2];
    bool roundChanged = false;
    if (inner > outer) {
      const float delta = inner - outer;
      if (middle > inner - kGrowShare * delta) {
        if (*radius < kLargestLightSourceRadius) {
          *radius += kRadiusStep;
          grew = true;
          roundChanged = true;
        }
      } else if (inner - kShrinkShare * delta > middle) {
        if (*radius < kMeasuringRadiusStep || grew) break;
        *radius -= kRadiusStep;
        roundChanged = true;
      }
    }
    if (!roundChanged) break;
  }
  // A shrink undone by a growth leaves the radius as it was: nothing changed.
  return *radius != initial;
}

}  // namespace lumeray
