#include "effects/color_saturation.h"

#include <algorithm>

#include "effects/renderer_tables.h"

namespace lumeray {
namespace {

constexpr int64_t kPositiveBoost = 15;
constexpr int64_t kSaturationDivisor = 150;
constexpr int kChannels = 3;

using Wide = __int128;

int64_t Saturate(uint32_t channel, uint32_t other1, uint32_t other2, int64_t factor) {
  const int64_t c = channel;
  const int64_t mean = (int64_t{other1} + int64_t{other2}) / 2;
  return c + (c - mean) * factor / kSaturationDivisor;
}

}  // namespace

FractionColor SaturateColor(const FractionColor& color, int32_t saturation, bool grayHost) {
  if (saturation == 0 || grayHost) return color;
  const int64_t factor = saturation > 0 ? kPositiveBoost * saturation : saturation;
  int64_t c[kChannels] = {Saturate(color.red, color.green, color.blue, factor),
                          Saturate(color.green, color.red, color.blue, factor),
                          Saturate(color.blue, color.red, color.green, factor)};

  // Below 0: towards the mean S / 3 until the smallest is 0. In thirds, channel 3c becomes
  // S + (3c - S) * S / (S - 3 min); S >= 0 since the step keeps the original channels' sum.
  const int64_t smallest = std::min({c[0], c[1], c[2]});
  if (smallest < 0) {
    const int64_t sum = std::max<int64_t>(c[0] + c[1] + c[2], 0);
    const Wide reach = Wide{sum} - 3 * Wide{smallest};
    for (int64_t& v : c) {
      const Wide pulled = Wide{sum} + (3 * Wide{v} - sum) * sum / reach;
      v = std::max<int64_t>(static_cast<int64_t>(pulled / 3), 0);
    }
  }
  // Above the unit: all three by one factor.
  const int64_t largest = std::max({c[0], c[1], c[2]});
  if (largest > int64_t{kUnitFraction}) {
    for (int64_t& v : c) v = static_cast<int64_t>(Wide{v} * kUnitFraction / largest);
  }
  return {static_cast<uint32_t>(c[0]), static_cast<uint32_t>(c[1]), static_cast<uint32_t>(c[2])};
}

}  // namespace lumeray
