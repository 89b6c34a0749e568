// The rainbow colour of a spike pixel: white at the light source, taking on hues over the first
// 2000 tenths of rainbow phase and cycling through them faster for a higher Rainbow Frequency.
//
//   phase  phi = trunc(d * 3000000 / D) / (107 - F)^2                     (integers, 64-bit)
//   strength rho = R * 42949672, or (R * 42949672) / 2000 * phi when phi < 2000
//   red   = 0xFFFFFFFE - H(phi + 1200) * rho
//   green = 0xFFFFFFFE - H(phi + 2400) * rho
//   blue  = 0xFFFFFFFE - H(phi) * rho
//
// d is the distance index (10 x distance in quarter pixels), D the image diagonal in pixels,
// R the Rainbow Intensity, F the Rainbow Frequency (both percent, 0..100), H the half-sine table
// (index modulo 3600), products of fractions as 64-bit products shifted right by 32. On a grey
// host image green and blue take the red value.
//
// Threading contract: pure functions (the renderer tables are built on first use); any thread.
#pragma once

#include <cstdint>

namespace lumeray {

struct FractionColor {
  uint32_t red;
  uint32_t green;
  uint32_t blue;
  friend bool operator==(const FractionColor&, const FractionColor&) = default;
};

uint64_t RainbowPhase(uint32_t distanceIndex, uint32_t diagonal, int32_t frequency);
uint32_t RainbowStrength(int32_t intensity, uint64_t phase);
FractionColor RainbowColor(uint32_t distanceIndex, uint32_t diagonal, int32_t intensity,
                           int32_t frequency, bool grayHost);

}  // namespace lumeray
