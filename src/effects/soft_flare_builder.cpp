#include "effects/soft_flare_builder.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "effects/effect_shape_parameters.h"
#include "effects/renderer_tables.h"
#include "effects/spike.h"
#include "effects/spike_profile.h"
#include "effects/star_builder.h"

namespace lumeray {
namespace {

constexpr double kFlarePeak = 67108860.0;  // 4 x 0xFFFFFF
constexpr uint32_t kFlareFloor = 1024;
constexpr double kFlareExponentBase = 25.0;
constexpr double kFlareLengthDivisor = 5.0;
constexpr int32_t kPercentMaximum = 100;

// Grows the box of the entries added so far.
struct EntryBox {
  bool any = false;
  int32_t left = 0, top = 0, right = 0, bottom = 0;

  void Include(int32_t x, int32_t y) {
    if (!any) {
      left = x, top = y, right = x + 1, bottom = y + 1;
      any = true;
      return;
    }
    left = std::min(left, x);
    top = std::min(top, y);
    right = std::max(right, x + 1);
    bottom = std::max(bottom, y + 1);
  }
  void StoreInto(SubShape* subShape) const {
    if (!any) return;
    subShape->left = left, subShape->top = top, subShape->right = right;
    subShape->bottom = bottom;
  }
};

class FlareScan {
 public:
  FlareScan(SubShape* subShape, int xPhase, int yPhase, uint32_t diagonal, int32_t length,
            uint32_t threshold, int64_t reach)
      : subShape_(subShape), xPhase_(xPhase), yPhase_(yPhase), threshold_(threshold) {
    // The values of every half distance index that reaches the threshold (they only fall), up
    // to the farthest pixel within reach.
    const int64_t farthest = reach + 4;
    const uint32_t lastIndex = DistanceIndex(static_cast<uint64_t>(2 * farthest * farthest)) / 2;
    for (uint32_t h = 0; h <= lastIndex; ++h) {
      const uint32_t value = SoftFlareValue(h, diagonal, length);
      if (value < threshold) break;
      values_.push_back(value);
    }
  }

  uint32_t ValueAt(int32_t x, int32_t y) const {
    const int64_t dx = int64_t{4} * x - xPhase_;
    const int64_t dy = int64_t{4} * y - yPhase_;
    const uint32_t h = DistanceIndex(static_cast<uint64_t>(dx * dx + dy * dy)) / 2;
    return h < values_.size() ? values_[h] : 0;
  }

  // Adds the pixel if its value reaches the threshold; `added` tells whether it did.
  bool Visit(int32_t x, int32_t y, bool* added) {
    const uint32_t value = ValueAt(x, y);
    if (value < threshold_) return true;
    if (!Add(x, y, value, kSoftFlareEntryGrowth)) return false;
    *added = true;
    return true;
  }

  bool Add(int32_t x, int32_t y, uint32_t value, uint32_t growth) {
    const SubShapeEntry entry{static_cast<int16_t>(x), static_cast<int16_t>(y), kUnitFraction,
                              kUnitFraction,           kUnitFraction,           value};
    if (!AddSubShapeEntry(subShape_, entry, growth)) return false;
    box_.Include(x, y);
    return true;
  }

  // A growth for the first entry that holds the whole disc at once.
  uint32_t ExpectedEntries(int32_t largestRing) const {
    const double radius = static_cast<double>(values_.size()) / 20.0 + 2.0;
    const double disc = std::numbers::pi * radius * radius;
    const double square = std::pow(2.0 * largestRing + 1.0, 2.0);
    return static_cast<uint32_t>(std::max<double>(std::min(disc, square), kSoftFlareEntryGrowth));
  }

  const EntryBox& box() const { return box_; }

 private:
  SubShape* subShape_;
  int xPhase_;
  int yPhase_;
  uint32_t threshold_;
  std::vector<uint32_t> values_;  // by half distance index
  EntryBox box_;
};

}  // namespace

uint32_t SoftFlareValue(uint32_t halfDistanceIndex, uint32_t diagonal, int32_t length) {
  const double d = std::max<uint32_t>(diagonal, 1);
  const double exponent =
      kFlareExponentBase - std::clamp(length, 0, kPercentMaximum) / kFlareLengthDivisor;
  const double base = halfDistanceIndex / 2.0 / d + 1.0;
  const auto v = static_cast<uint32_t>(kFlarePeak / std::pow(base, exponent));
  return v > kFlareFloor ? v - kFlareFloor : 0;
}

bool BuildSoftFlareSubShape(EffectShape* shape, int xPhase, int yPhase) {
  // Stored only when it differs: other threads read the type while they draw the shape.
  if (shape->shapeType != SHAPE_IMAGE) shape->shapeType = SHAPE_IMAGE;
  SubShape* subShape = &shape->subShapes[SubShapeIndex(xPhase, yPhase)];
  EmptySubShape(subShape);
  const auto* parameters = static_cast<const EffectShapeParameters*>(shape->parameters);
  if (parameters == nullptr) return false;
  const int32_t length = parameters->snapshot.parameters.Length;
  if (length < 1) {
    if (!EnsureEntryArray(subShape)) return false;
    subShape->built = 1;
    return true;
  }

  const RenderImageFacts& image = parameters->image;
  const int64_t reach = SpikeReach(image.diagonal);
  FlareScan scan(subShape, xPhase, yPhase, image.diagonal, length, image.presenceThreshold, reach);
  const auto largestRing = static_cast<int32_t>(reach / 4);
  bool drawn = scan.Add(0, 0, scan.ValueAt(0, 0), scan.ExpectedEntries(largestRing));
  for (int32_t r = 1; drawn && r <= largestRing; ++r) {
    bool added = false;
    for (int32_t x = -r; drawn && x <= r; ++x) {
      drawn = scan.Visit(x, -r, &added) && scan.Visit(x, r, &added);
    }
    for (int32_t y = -r + 1; drawn && y < r; ++y) {
      drawn = scan.Visit(-r, y, &added) && scan.Visit(r, y, &added);
    }
    if (!added) break;
  }
  scan.box().StoreInto(subShape);
  if (!drawn) return false;
  subShape->built = 1;
  return true;
}

}  // namespace lumeray
