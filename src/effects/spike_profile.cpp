#include "effects/spike_profile.h"

#include <algorithm>
#include <cmath>

#include "effects/renderer_tables.h"

namespace lumeray {
namespace {

constexpr double kDistanceIndexScale = 10.0;
constexpr double kFallOffIntensityExponent = 0.28;
constexpr double kFallOffLengthScale = 200.0;
constexpr double kFallOffLengthOffset = 28.0;
constexpr double kFallOffPeak = 8.0;
constexpr double kFallOffDistanceScale = 15.0;
constexpr double kProfileCentre = 0.5;
constexpr double kQuarterPixels = 4.0;
constexpr double kProfileExponent = 1.6;

// round(x) for x >= 0, halves away from zero (as llround); x - trunc(x) is exact.
uint64_t RoundNonNegative(double x) {
  const auto whole = static_cast<uint64_t>(x);
  return whole + (x - static_cast<double>(whole) >= 0.5 ? 1 : 0);
}

}  // namespace

uint32_t DistanceIndex(uint64_t squaredQuarterDistance) {
  return static_cast<uint32_t>(RoundNonNegative(
      kDistanceIndexScale * std::sqrt(static_cast<double>(squaredQuarterDistance))));
}

double FallOffExponent(int32_t intensity, int32_t length) {
  return std::pow(intensity / 100.0, kFallOffIntensityExponent) * kFallOffLengthScale /
         (length + kFallOffLengthOffset);
}

double FallOffFactor(uint32_t distanceIndex, uint32_t diagonal, double exponent) {
  const double d = std::max<uint32_t>(diagonal, 1);
  return kFallOffPeak * std::pow(1.0 + kFallOffDistanceScale * distanceIndex / d, -exponent);
}

uint32_t FallOffAmplitude(uint32_t amplitude, double factor) {
  if (!(factor < 1.0)) return amplitude;
  return static_cast<uint32_t>(amplitude * factor);
}

double EdgeSlope(double majorComponent, double slope) {
  return std::min(std::fabs(majorComponent) * slope, kMaximumEdgeSlope);
}

double CrossProfile(double lowEdge, double highEdge, double x, double edgeSlope) {
  const double u1 = kProfileCentre - ((lowEdge - x) / kQuarterPixels) * edgeSlope;
  const double u2 = kProfileCentre + ((highEdge - x) / kQuarterPixels) * edgeSlope;
  return std::min(u1, u2);
}

uint32_t CrossValue(double profile) {
  if (!(profile > 0.0)) return 0;
  if (profile >= 1.0) return kUnitFraction;
  return static_cast<uint32_t>(
      RoundNonNegative(std::pow(profile, kProfileExponent) * kUnitFractionScale));
}

}  // namespace lumeray
