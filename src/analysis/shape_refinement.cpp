#include "analysis/shape_refinement.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "analysis/directions.h"
#include "analysis/shape_operations.h"

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
// A pixel may rise this share of the light source's height above the darkest pixel on its way
// in from the centre and still belong to it (noise on a flat top).
constexpr uint32_t kOwnTolerance = 16;
// Pixels nearer the centre than this share of the radius are the light source's own whatever
// their levels (a small source's brightest pixel need not be its centre pixel).
constexpr double kCoreShare = 0.5;

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
  if (measured == ShapeMeasure::kOutOfMemory) *error = kMemFullErr;
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
        *error = kMemFullErr;
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

namespace {

// Which pixels of the centroid window belong to the light source itself: walking outward from
// the centre, its brightness only falls (within `tolerance`), while a neighbouring highlight
// that touches it makes the brightness rise again past the dip between the two. A pixel is its
// own when the pixel one step nearer the centre is, and it is no brighter than the darkest pixel
// on the way in, plus the tolerance. Marks own[i] for each entry of `sub`.
void MarkOwnPixels(const AnalysisPixels& image, const QuarterPixelPoint& centre,
                   const SubShape& sub, double core, uint32_t tolerance,
                   std::vector<uint8_t>* own) {
  const SubShapeEntry* entries = sub.data();
  const uint32_t count = sub.entryCount;
  const double fx = static_cast<double>(centre.xFraction) / kQuartersPerPixel;
  const double fy = static_cast<double>(centre.yFraction) / kQuartersPerPixel;
  const int32_t width = sub.right - sub.left, height = sub.bottom - sub.top;
  // Per pixel of the window's box: the darkest level on the way in from the centre, or
  // kNotOwn.
  constexpr uint32_t kNotOwn = 0xFFFFFFFFu;
  std::vector<uint32_t> way(static_cast<size_t>(width) * height, kNotOwn);
  const auto cell = [&](int32_t dx, int32_t dy) -> uint32_t* {
    if (dx < sub.left || dx >= sub.right || dy < sub.top || dy >= sub.bottom) return nullptr;
    return &way[static_cast<size_t>(dy - sub.top) * width + (dx - sub.left)];
  };
  const auto distance2 = [&](const SubShapeEntry& e) {
    return (e.dx - fx) * (e.dx - fx) + (e.dy - fy) * (e.dy - fy);
  };
  std::vector<uint32_t> order(count);
  for (uint32_t i = 0; i < count; ++i) order[i] = i;
  std::sort(order.begin(), order.end(),
            [&](uint32_t a, uint32_t b) { return distance2(entries[a]) < distance2(entries[b]); });
  own->assign(count, 0);
  for (const uint32_t i : order) {
    const SubShapeEntry& e = entries[i];
    const int32_t x = centre.x + e.dx, y = centre.y + e.dy;
    if (!image.Contains(x, y)) continue;
    const uint32_t b = image.BrightnessAt(x, y);
    uint32_t inward;  // the darkest level on the way in
    if (distance2(e) <= core * core) {
      inward = b;  // the core is the light source's own, however its pixels fall
    } else {
      // One pixel nearer the centre: always nearer, so already decided.
      const double length = std::sqrt(distance2(e));
      const uint32_t* parent = cell(static_cast<int32_t>(std::lround(e.dx - (e.dx - fx) / length)),
                                    static_cast<int32_t>(std::lround(e.dy - (e.dy - fy) / length)));
      if (parent == nullptr || *parent == kNotOwn) continue;
      if (b > *parent && b - *parent > tolerance) continue;
      inward = *parent;
    }
    *cell(e.dx, e.dy) = std::min(inward, b);
    (*own)[i] = 1;
  }
}

}  // namespace

bool RefineCentreByCentroid(const AnalysisPixels& image, const MeasuringShapes& shapes,
                            QuarterPixelPoint* centre, float radius, int* error) {
  uint32_t surroundings = 0, windowMean = 0;
  float deviation = 0.0f;
  EffectShape* window = &shapes.disks[ClampedIndex(radius + kCentroidWindowReach)];
  for (auto [shape, mean] :
       {std::pair{&shapes.rings[ClampedIndex(radius + kSurroundingsReach)], &surroundings},
        std::pair{window, &windowMean}}) {
    const ShapeMeasure measured = MeasureShape(image, shape, *centre, mean, &deviation);
    if (measured == ShapeMeasure::kOutOfMemory) *error = kMemFullErr;
    if (measured != ShapeMeasure::kMeasured) return false;
  }
  const SubShape& sub = window->subShapes[SubShapeIndex(centre->xFraction, centre->yFraction)];
  const uint32_t top = image.Contains(centre->x, centre->y)
                           ? image.BrightnessAt(centre->x, centre->y)
                           : surroundings;
  const uint32_t tolerance = top > surroundings ? (top - surroundings) / kOwnTolerance : 0;
  std::vector<uint8_t> own;
  MarkOwnPixels(image, *centre, sub, std::max(1.0, kCoreShare * radius), tolerance, &own);
  const double fx = static_cast<double>(centre->xFraction) / kQuartersPerPixel;
  const double fy = static_cast<double>(centre->yFraction) / kQuartersPerPixel;
  double weights = 0.0, sumX = 0.0, sumY = 0.0;
  for (uint32_t i = 0; i < sub.entryCount; ++i) {
    if (own[i] == 0) continue;
    const SubShapeEntry& e = sub.data()[i];
    const uint32_t b = image.BrightnessAt(centre->x + e.dx, centre->y + e.dy);
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
      if (measured == ShapeMeasure::kOutOfMemory) *error = kMemFullErr;
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
