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
// The colour is a function of phi alone, and from phi = 2000 on of phi modulo 3600 only: there
// are at most kRainbowPaletteSize colours, RainbowPaletteIndex(phi) numbering them (phi itself
// below 2000, then 2000 + (phi - 2000) mod 3600, which keeps phi modulo 3600).
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

inline constexpr uint32_t kRainbowPaletteSize = 5600;
uint32_t RainbowPaletteIndex(uint64_t phase);
// The colour of the phase (or of any phase with this palette index).
FractionColor RainbowColorOfPhase(uint64_t phase, int32_t intensity, bool grayHost);

}  // namespace lumeray
