#include "effects/soft_flare_profile.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <vector>

#include "analysis/effect_shape.h"
#include "analysis/stamp_targets.h"
#include "effects/soft_flare_builder.h"
#include "effects/spike.h"
#include "effects/spike_profile.h"
#include "image/blend.h"

namespace lumeray {
namespace {

constexpr int64_t kQuarter = 4;

// The integer square root: the largest s with s * s <= n.
int64_t IntegerRoot(int64_t n) {
  auto s = static_cast<int64_t>(std::sqrt(static_cast<double>(n)));
  while (s * s > n) --s;
  while ((s + 1) * (s + 1) <= n) ++s;
  return s;
}

// floor(a / 4) and ceil(a / 4) for any sign.
int64_t FloorQuarter(int64_t a) {
  return a >= 0 ? a / kQuarter : -((-a + kQuarter - 1) / kQuarter);
}
int64_t CeilQuarter(int64_t a) {
  return -FloorQuarter(-a);
}

// The largest squared quarter distance n whose half distance index round(10 sqrt(n)) / 2 is
// below `halfIndexEnd` (at least 1).
uint64_t LargestSquareBelow(uint32_t halfIndexEnd) {
  const uint32_t lastDistance = 2 * halfIndexEnd - 1;
  const double root = (lastDistance + 0.5) / 10.0;
  auto n = static_cast<uint64_t>(root * root);
  while (n > 0 && DistanceIndex(n) > lastDistance) --n;
  while (DistanceIndex(n + 1) <= lastDistance) ++n;
  return n;
}

// The least and the largest |4 (x - c) - fraction| over the pixels x in [low, high) (high > low,
// fraction 0..3): the offset only grows away from c and c + 1, between which it changes sign.
struct OffsetSpan {
  int64_t nearest, farthest;
};
OffsetSpan QuarterOffsetSpan(int64_t low, int64_t high, int64_t c, int64_t fraction) {
  const auto offset = [&](int64_t x) { return std::abs(kQuarter * (x - c) - fraction); };
  return {std::min(offset(std::clamp(c, low, high - 1)), offset(std::clamp(c + 1, low, high - 1))),
          std::max(offset(low), offset(high - 1))};
}

// The half distance indices of the pixels of a box (not empty) around a centre: from `first`
// to before `end`. A box of a few rows of a wide flare needs few of them.
struct IndexSpan {
  uint32_t first, end;
};
IndexSpan HalfIndexSpan(const ImageRect& box, const QuarterPixelPoint& c) {
  const OffsetSpan across = QuarterOffsetSpan(box.left, box.right, c.x, c.xFraction);
  const OffsetSpan down = QuarterOffsetSpan(box.top, box.bottom, c.y, c.yFraction);
  const auto halfIndex = [](int64_t dx, int64_t dy) {
    return DistanceIndex(static_cast<uint64_t>(dx * dx + dy * dy)) / 2;
  };
  return {halfIndex(across.nearest, down.nearest), halfIndex(across.farthest, down.farthest) + 1};
}

// Flattened: the screen mix and the target's codec are the inner loop's whole work, and left as
// calls they would cost as much again as their arithmetic.
template <class Target>
[[gnu::flatten]] void StampDisc(const Target& target, const SoftFlareProfile& profile,
                                const QuarterPixelPoint& c, const ImageRect& box,
                                const WorkingPixel& colour, uint32_t visibleLevel,
                                uint64_t limitSquare, const IndexSpan& span) {
  const WorkingPixel source{FractionProduct(kShapeFractionOne, colour.red),
                            FractionProduct(kShapeFractionOne, colour.green),
                            FractionProduct(kShapeFractionOne, colour.blue), 0, kFullCoverage};
  const uint32_t brightest = std::max({source.red, source.green, source.blue});
  // The screen's hue is the stamp's; only the opacity changes from pixel to pixel.
  const ScreenHue hue = ScreenHueOf(source);
  const auto blend = [&](int32_t x, int32_t y, uint32_t value) {
    const uint32_t alpha = FractionProduct(value, colour.alpha);
    if (FractionProduct(brightest, alpha) < visibleLevel) return;
    const uint32_t opacity = ScreenOpacity(alpha, brightest);
    WorkingPixel pixel;
    target.FetchColour(&pixel, x, y);
    const WorkingPixel before = pixel;
    if (opacity != 0) ScreenMix(&pixel, hue, opacity);
    target.StoreChanged(pixel, before, x, y);
  };
  // The blend of each half index within the limit and the box's span, worked out once per stamp:
  // its opacity, or kInvisible where the blend leaves the pixel alone. (No pixel of the box is
  // nearer than the span's first index: the indices before it are never read.)
  constexpr uint32_t kInvisible = UINT32_MAX;  // no opacity (at most kFractionUnit)
  const uint64_t count = std::min<uint64_t>(
      {profile.values.size(), DistanceIndex(limitSquare) / 2 + 1, uint64_t{span.end}});
  const auto opacities = std::make_unique_for_overwrite<uint32_t[]>(count);
  for (uint64_t h = span.first; h < count; ++h) {
    const uint32_t alpha = FractionProduct(profile.values[h], colour.alpha);
    opacities[h] = FractionProduct(brightest, alpha) < visibleLevel
                       ? kInvisible
                       : ScreenOpacity(alpha, brightest);
  }
  const auto limit = static_cast<int64_t>(limitSquare);
  bool centreDone = false;
  constexpr int kRun = 256;
  std::array<uint32_t, kRun> indices;
  for (int32_t y = box.top; y < box.bottom; ++y) {
    const int64_t dy4 = kQuarter * (int64_t{y} - c.y) - c.yFraction;
    const int64_t room = limit - dy4 * dy4;
    if (count == 0 || room < 0) continue;
    // The columns whose squared distance is within the table: |4 dx - p| <= root.
    const int64_t root = IntegerRoot(room);
    const int64_t first = std::max<int64_t>(box.left, c.x + CeilQuarter(c.xFraction - root));
    const int64_t last = std::min<int64_t>(box.right - 1, c.x + FloorQuarter(c.xFraction + root));
    // The distance indices of a run of pixels first, then their blends: the square roots of a run
    // overlap instead of each waiting for the blend before it.
    for (int64_t runStart = first; runStart <= last; runStart += kRun) {
      const auto n = static_cast<int>(std::min<int64_t>(kRun, last - runStart + 1));
      RunDistanceIndices(kQuarter * (runStart - c.x) - c.xFraction, kQuarter, dy4 * dy4, n,
                         indices.data());
      for (int i = 0; i < n; ++i) {
        const uint32_t h = indices[i] / 2;
        if (h >= count) continue;
        const int64_t x = runStart + i;
        if (x == c.x && y == c.y) centreDone = true;
        const uint32_t opacity = opacities[h];
        if (opacity == kInvisible) continue;
        WorkingPixel pixel;
        target.FetchColour(&pixel, static_cast<int32_t>(x), y);
        const WorkingPixel before = pixel;
        if (opacity != 0) ScreenMix(&pixel, hue, opacity);
        target.StoreChanged(pixel, before, static_cast<int32_t>(x), y);
      }
    }
  }
  // The centre pixel is always part of the flare, with value 0 when below the threshold.
  if (!centreDone && c.x >= box.left && c.x < box.right && c.y >= box.top && c.y < box.bottom) {
    blend(c.x, c.y, 0);
  }
}

}  // namespace

SoftFlareProfile MakeSoftFlareProfile(int32_t length, const RenderImageFacts& image) {
  SoftFlareProfile profile;
  if (length < 1) return profile;
  profile.drawn = true;
  const int64_t reach = SpikeReach(image.diagonal);
  profile.reach = static_cast<int32_t>(reach / kQuarter);
  const int64_t farthest = reach + kQuarter;
  const uint32_t lastIndex = DistanceIndex(static_cast<uint64_t>(2 * farthest * farthest)) / 2;
  for (uint32_t h = 0; h <= lastIndex; ++h) {
    const uint32_t value = SoftFlareValue(h, image.diagonal, length);
    if (value < image.presenceThreshold) break;
    profile.values.push_back(value);
  }
  if (!profile.values.empty()) {
    // The largest n whose half distance index is still in the table.
    profile.farthestSquare = LargestSquareBelow(static_cast<uint32_t>(profile.values.size()));
  }
  profile.fromHere = profile.values;
  for (size_t h = profile.fromHere.size(); h-- > 1;) {
    profile.fromHere[h - 1] = std::max(profile.fromHere[h - 1], profile.fromHere[h]);
  }
  return profile;
}

void StampSoftFlare(ImageRecord* target, const SoftFlareProfile& profile,
                    const QuarterPixelPoint& centre, const ImageRect& box,
                    const WorkingPixel& colour, uint32_t visibleLevel) {
  if (!profile.drawn) return;
  const auto clamp32 = [](int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
  };
  // The reach square around the centre pixel.
  const ImageRect area{std::max(box.left, clamp32(int64_t{centre.x} - profile.reach)),
                       std::max(box.top, clamp32(int64_t{centre.y} - profile.reach)),
                       std::min(box.right, clamp32(int64_t{centre.x} + profile.reach + 1)),
                       std::min(box.bottom, clamp32(int64_t{centre.y} + profile.reach + 1))};
  if (area.left >= area.right || area.top >= area.bottom) return;
  // From the first half index where no value, however far out, is visible at this alpha, the
  // blend skips every pixel (a flare pixel's colour is white times the source's).
  const uint32_t brightest = std::max({FractionProduct(kShapeFractionOne, colour.red),
                                       FractionProduct(kShapeFractionOne, colour.green),
                                       FractionProduct(kShapeFractionOne, colour.blue)});
  const auto visibleEnd = static_cast<uint32_t>(
      std::partition_point(
          profile.fromHere.begin(), profile.fromHere.end(),
          [&](uint32_t most) {
            return FractionProduct(brightest, FractionProduct(most, colour.alpha)) >= visibleLevel;
          }) -
      profile.fromHere.begin());
  // With no visible value even the centre pixel (drawn with 0 when below the table) is skipped.
  if (visibleEnd == 0 && !profile.values.empty()) return;
  const uint64_t limit =
      visibleEnd == profile.values.size() ? profile.farthestSquare : LargestSquareBelow(visibleEnd);
  const IndexSpan span = HalfIndexSpan(area, centre);
  WithScreenStampTarget(target, [&](const auto& t) {
    StampDisc(t, profile, centre, area, colour, visibleLevel, limit, span);
  });
}

}  // namespace lumeray
