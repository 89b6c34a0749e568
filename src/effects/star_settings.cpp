#include "effects/star_settings.h"

#include <algorithm>
#include <cmath>

#include "effects/renderer_tables.h"

namespace lumeray {
namespace {

constexpr double kAmplitudeExponent = 2.8;
constexpr double kSlopeExponent = 3.5;
constexpr double kSlopeFloor = 0.003;
constexpr double kSlopeScale = 0.5 * 10000.0;
constexpr int32_t kSecondaryLengthPercent = 90;

constexpr int32_t kPercentMaximum = 100;
constexpr int32_t kPointsMinimum = 1;
constexpr int32_t kPointsMaximum = 32;

int32_t Percent(int16_t value) {
  return std::clamp<int32_t>(value, 0, kPercentMaximum);
}

}  // namespace

uint32_t SpikeAmplitude(int32_t percent) {
  const double fraction = static_cast<double>(std::clamp(percent, 0, kPercentMaximum)) / 100.0;
  return static_cast<uint32_t>(std::pow(fraction, kAmplitudeExponent) * kUnitFractionScale);
}

double SpikeSlope(int32_t sharpness, double sharpnessScale, uint32_t diagonal) {
  const double base = std::pow(sharpness * sharpnessScale, kSlopeExponent) + kSlopeFloor;
  return base * kSlopeScale / static_cast<double>(std::max<uint32_t>(diagonal, 1));
}

StarSettings MakeStarSettings(const ParameterSetBuffer& p, uint32_t diagonal,
                              uint32_t presenceThreshold, bool grayHost) {
  StarSettings s{};
  s.diagonal = std::max<uint32_t>(diagonal, 1);
  s.presenceThreshold = presenceThreshold;
  s.grayHost = grayHost;
  s.effectType = p.parameters.EffectType;
  s.angle = p.parameters.Angle;
  s.points = std::clamp<int32_t>(p.parameters.NumberOfPoints, kPointsMinimum, kPointsMaximum);
  s.length = Percent(p.parameters.Length);
  s.intensity = Percent(p.parameters.Intensity);
  s.amplitude = SpikeAmplitude(s.intensity);
  const int32_t sharpness = Percent(p.parameters.SpikeSharpness);
  s.slope = SpikeSlope(sharpness, kPrimarySharpnessScale, s.diagonal);
  s.secondaryLength = s.length * kSecondaryLengthPercent / 100;
  s.secondaryIntensity = Percent(p.parameters.SecondarySpikeIntensity);
  s.secondaryAmplitude = SpikeAmplitude(s.secondaryIntensity);
  s.secondarySlope = SpikeSlope(sharpness, kSecondarySharpnessScale, s.diagonal);
  s.rainbowIntensity = Percent(p.parameters.RainbowIntensity);
  s.rainbowFrequency = Percent(p.parameters.RainbowFrequency);
  return s;
}

}  // namespace lumeray
