#include "effects/color_saturation.h"

#include <algorithm>

#include "effects/renderer_tables.h"

namespace lumeray {
namespace {

constexpr int64_t kPositiveBoost = 15;
constexpr int64_t kSaturationDivisor = 150;

uint32_t Saturate(uint32_t channel, uint32_t other1, uint32_t other2, int64_t factor) {
  const int64_t c = channel;
  const int64_t mean = (int64_t{other1} + int64_t{other2}) / 2;
  const int64_t result = c + (c - mean) * factor / kSaturationDivisor;
  return static_cast<uint32_t>(std::clamp<int64_t>(result, 0, kUnitFraction));
}

}  // namespace

FractionColor SaturateColor(const FractionColor& color, int32_t saturation, bool grayHost) {
  if (saturation == 0 || grayHost) return color;
  const int64_t factor = saturation > 0 ? kPositiveBoost * saturation : saturation;
  return {Saturate(color.red, color.green, color.blue, factor),
          Saturate(color.green, color.red, color.blue, factor),
          Saturate(color.blue, color.red, color.green, factor)};
}

}  // namespace lumeray
