#include "effects/rainbow.h"

#include <algorithm>

#include "effects/renderer_tables.h"

namespace lumeray {
namespace {

constexpr uint64_t kPhasePerDistance = 3000000;
constexpr int32_t kFrequencyBase = 107;
constexpr uint32_t kStrengthPerPercent = 42949672;
constexpr uint64_t kFadeInPhase = 2000;
constexpr uint64_t kRedPhase = 1200;
constexpr uint64_t kGreenPhase = 2400;
static_assert(kRainbowPaletteSize == kFadeInPhase + kAngleSteps);

uint32_t Channel(uint64_t phase, uint32_t strength) {
  return kUnitFraction - MultiplyFractions(HalfSineTable()[phase % kAngleSteps], strength);
}

}  // namespace

uint64_t RainbowPhase(uint32_t distanceIndex, uint32_t diagonal, int32_t frequency) {
  const uint64_t d = std::max<uint32_t>(diagonal, 1);
  const int32_t span = kFrequencyBase - std::clamp(frequency, 0, 100);
  return uint64_t{distanceIndex} * kPhasePerDistance / d / static_cast<uint64_t>(span * span);
}

uint32_t RainbowStrength(int32_t intensity, uint64_t phase) {
  const uint32_t full = static_cast<uint32_t>(std::clamp(intensity, 0, 100)) * kStrengthPerPercent;
  if (phase >= kFadeInPhase) return full;
  return full / static_cast<uint32_t>(kFadeInPhase) * static_cast<uint32_t>(phase);
}

FractionColor RainbowColor(uint32_t distanceIndex, uint32_t diagonal, int32_t intensity,
                           int32_t frequency, bool grayHost) {
  return RainbowColorOfPhase(RainbowPhase(distanceIndex, diagonal, frequency), intensity, grayHost);
}

uint32_t RainbowPaletteIndex(uint64_t phase) {
  if (phase < kFadeInPhase) return static_cast<uint32_t>(phase);
  return static_cast<uint32_t>(kFadeInPhase + (phase - kFadeInPhase) % kAngleSteps);
}

FractionColor RainbowColorOfPhase(uint64_t phase, int32_t intensity, bool grayHost) {
  const uint32_t strength = RainbowStrength(intensity, phase);
  const uint32_t red = Channel(phase + kRedPhase, strength);
  if (grayHost) return {red, red, red};
  return {red, Channel(phase + kGreenPhase, strength), Channel(phase, strength)};
}

}  // namespace lumeray
