#include "analysis/shape_builders.h"

#include <algorithm>
#include <cmath>

#include "image/pixel_tables.h"

namespace lumeray {
namespace {

constexpr float kPi = 3.14159265f;
constexpr double kPiDouble = 3.14159265358979323846;
// Box reach on the far side: one pixel (the exclusive end) plus the pixel disc radius.
constexpr float kBoxFarReach = 1.0f + kPixelDiscRadius;
// Half of the one-pixel edge of a disk.
constexpr float kDiskEdgeHalfWidth = 0.5f;
// The ring of a shape without pixels: one entry of a quarter of full value.
constexpr double kEmptyRingValue = 0.25;
// Rings of at most this radius test whether a pixel disc holds the whole inner circle.
constexpr float kSmallRingRadius = 1.0f;
// How far the pixel ranges a builder evaluates reach beyond the exact shape, in pixels: far
// more than any single-precision error of a distance, so that every pixel that the plain scan
// of the box would keep is evaluated.
constexpr double kRangeMargin = 1.0e-3;
constexpr int32_t kRangeSlack = 1;
// Growth hints: the area of the disk one pixel wider, and three pixels of ring per pixel of
// circumference, each with a few entries to spare.
constexpr double kGrowthSpare = 4.0;
constexpr double kRingEntriesPerPixel = 3.0;

float PhaseCentre(int phase) {
  return static_cast<float>(phase) / kQuarterPhases;
}

uint32_t ToFraction(float value) {
  if (!(value > 0.0f)) return 0;
  if (value >= 1.0f) return kShapeFractionOne;
  return RoundToNearestEven(static_cast<double>(value) * kShapeFractionOne);
}

SubShapeEntry WhiteEntry(int32_t x, int32_t y, uint32_t value) {
  return {static_cast<int16_t>(x), static_cast<int16_t>(y), kShapeFractionOne,
          kShapeFractionOne,       kShapeFractionOne,       value};
}

// Half the width of the chord at height dy of a circle of radius r (0 when it misses).
double ChordHalfWidth(double r, double dy) {
  const double w2 = r * r - dy * dy;
  return w2 > 0.0 && r > 0.0 ? std::sqrt(w2) : 0.0;
}

struct Span {
  int32_t first, last;  // inclusive; empty when first > last
};

Span Clip(Span span, const ShapeBox& box) {
  return {std::max(span.first, box.left), std::min(span.last, box.right - 1)};
}

// The pixels of a row at horizontal distance below `halfWidth` from cx, widened by the slack.
Span OuterSpan(double cx, double halfWidth) {
  return {static_cast<int32_t>(std::ceil(cx - halfWidth)) - kRangeSlack,
          static_cast<int32_t>(std::floor(cx + halfWidth)) + kRangeSlack};
}

// Adds the entry of pixel (x, y) when `valueAt` keeps it; false only when adding failed.
template <class ValueAt>
bool AddIfInside(SubShape* sub, int32_t x, int32_t y, int xPhase, int yPhase, ValueAt valueAt,
                 uint32_t growthHint) {
  uint32_t value = 0;
  if (!valueAt(PhaseDistance(x, y, xPhase, yPhase), &value)) return true;
  return AddSubShapeEntry(sub, WhiteEntry(x, y, value), growthHint);
}

}  // namespace

float PhaseDistance(int32_t x, int32_t y, int xPhase, int yPhase) {
  const float dy = static_cast<float>(y) - PhaseCentre(yPhase);
  const float dx = static_cast<float>(x) - PhaseCentre(xPhase);
  return std::sqrt(dy * dy + dx * dx);
}

ShapeBox MeasuringShapeBox(float radius, int xPhase, int yPhase) {
  const float cx = PhaseCentre(xPhase), cy = PhaseCentre(yPhase);
  return {static_cast<int32_t>(cx - radius - kPixelDiscRadius),
          static_cast<int32_t>(cy - radius - kPixelDiscRadius),
          static_cast<int32_t>(cx + radius + kBoxFarReach),
          static_cast<int32_t>(cy + radius + kBoxFarReach)};
}

bool DiskValueAt(float radius, float distance, uint32_t* value) {
  if (!(distance < radius + kDiskEdgeHalfWidth)) return false;
  *value = distance <= radius - kDiskEdgeHalfWidth
               ? kShapeFractionOne
               : ToFraction(radius + kDiskEdgeHalfWidth - distance);
  return true;
}

bool RingValueAt(float radius, float distance, uint32_t* value) {
  const float r1 = radius - kRingHalfWidth;
  const float r2 = radius + kRingHalfWidth;
  const float near = distance - kPixelDiscRadius;
  const float far = distance + kPixelDiscRadius;
  float v;
  if (radius <= kSmallRingRadius && kPixelDiscRadius - distance > r1) {
    const float inner = std::max(r1, 0.0f);
    v = (0.5f - inner * inner * kPi) * kSquareRootOfTwo;
  } else if (near < r2 && far > r1) {
    if (far > r2) {
      v = near > r1 ? (r2 - near) * 2.0f : 1.0f;
    } else {
      v = near <= r1 ? (far - r1) * 2.0f : 1.0f;
    }
  } else {
    return false;
  }
  *value = ToFraction(v);
  return true;
}

namespace {

// Empties the sub-shape of a phase and gives it the box.
SubShape* StartSubShape(EffectShape* shape, int xPhase, int yPhase, const ShapeBox& box) {
  SubShape* sub = &shape->subShapes[SubShapeIndex(xPhase, yPhase)];
  EmptySubShape(sub);
  sub->left = box.left;
  sub->top = box.top;
  sub->right = box.right;
  sub->bottom = box.bottom;
  return sub;
}

}  // namespace

bool BuildDiskSubShape(EffectShape* shape, int xPhase, int yPhase) {
  const float radius = *static_cast<const float*>(shape->parameters);
  const ShapeBox box = MeasuringShapeBox(radius, xPhase, yPhase);
  SubShape* sub = StartSubShape(shape, xPhase, yPhase, box);
  const double r = radius;
  const auto hint = static_cast<uint32_t>((r + 1.0) * (r + 1.0) * kPiDouble + kGrowthSpare);
  const double cx = PhaseCentre(xPhase), cy = PhaseCentre(yPhase);
  const double outer = r + kDiskEdgeHalfWidth + kRangeMargin;
  const double solid = r - kDiskEdgeHalfWidth - kRangeMargin;

  for (int32_t y = box.top; y < box.bottom; ++y) {
    const double dy = y - cy;
    const Span row = Clip(OuterSpan(cx, ChordHalfWidth(outer, dy)), box);
    // Pixels certainly within R - 0.5 get the full value without a distance.
    Span inside{row.last + 1, row.last};
    if (solid > std::abs(dy)) {
      const double w = ChordHalfWidth(solid, dy);
      inside = {static_cast<int32_t>(std::ceil(cx - w)), static_cast<int32_t>(std::floor(cx + w))};
      inside = {std::max(inside.first, row.first), std::min(inside.last, row.last)};
    }
    for (int32_t x = row.first; x <= row.last; ++x) {
      if (x >= inside.first && x <= inside.last) {
        if (!AddSubShapeEntry(sub, WhiteEntry(x, y, kShapeFractionOne), hint)) return false;
        continue;
      }
      const auto value = [radius](float d, uint32_t* v) { return DiskValueAt(radius, d, v); };
      if (!AddIfInside(sub, x, y, xPhase, yPhase, value, hint)) return false;
    }
  }
  sub->built = 1;
  return true;
}

bool BuildRingSubShape(EffectShape* shape, int xPhase, int yPhase) {
  const float radius = *static_cast<const float*>(shape->parameters);
  const ShapeBox box = MeasuringShapeBox(radius, xPhase, yPhase);
  SubShape* sub = StartSubShape(shape, xPhase, yPhase, box);
  const double r = radius;
  const auto hint =
      static_cast<uint32_t>(kPiDouble * 2.0 * r * kRingEntriesPerPixel + kGrowthSpare);
  const double cx = PhaseCentre(xPhase), cy = PhaseCentre(yPhase);
  const double outer = r + kRingHalfWidth + kPixelDiscRadius + kRangeMargin;
  const double hole = r - kRingHalfWidth - kPixelDiscRadius - kRangeMargin;
  const auto value = [radius](float d, uint32_t* v) { return RingValueAt(radius, d, v); };

  for (int32_t y = box.top; y < box.bottom; ++y) {
    const double dy = y - cy;
    const Span row = Clip(OuterSpan(cx, ChordHalfWidth(outer, dy)), box);
    // The hole of the ring: pixels certainly nearer than r1 - 0.564 are skipped.
    Span left = row, right{row.last + 1, row.last};
    if (hole > std::abs(dy)) {
      const double w = ChordHalfWidth(hole, dy);
      const auto holeFirst = static_cast<int32_t>(std::ceil(cx - w)) + kRangeSlack;
      const auto holeLast = static_cast<int32_t>(std::floor(cx + w)) - kRangeSlack;
      if (holeFirst <= holeLast) {
        left = {row.first, std::min(row.last, holeFirst - 1)};
        right = {std::max(row.first, holeLast + 1), row.last};
      }
    }
    for (const Span& span : {left, right}) {
      for (int32_t x = span.first; x <= span.last; ++x) {
        if (!AddIfInside(sub, x, y, xPhase, yPhase, value, hint)) return false;
      }
    }
  }
  if (sub->entryCount == 0) {
    const uint32_t quarter = RoundToNearestEven(kEmptyRingValue * kShapeFractionOne);
    if (!AddSubShapeEntry(sub, WhiteEntry(0, 0, quarter), hint)) return false;
  }
  sub->built = 1;
  return true;
}

}  // namespace lumeray
