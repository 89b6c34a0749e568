// The per-pixel arithmetic of a spike: distance index, fall-off along the spike and the cross
// profile across it. Distances are in quarter pixels; everything is double precision unless
// said otherwise.
//
//   distance index d   round(10 * sqrt(squared distance in quarter pixels))
//   fall-off exponent  e = (I / 100)^0.28 * 200 / (L + 28)
//   fall-off factor    g = 8 * (1 + 15 d / D)^(-e)
//   fall-off amplitude trunc(A * g) when g < 1, else A
//   cross profile      min(0.5 - ((low - x) / 4) * w', 0.5 + ((high - x) / 4) * w') for a pixel
//                      at minor coordinate x and the core band [low, high]; w' = min(|major| *
//                      w, 0.5). A profile <= 0 ends the scan across, above 1 it counts as 1.
//   cross value        round(profile^1.6 * 4294967294), a fraction
//
// I is the fall-off intensity and L the length (percent), D the image diagonal in pixels, A an
// amplitude fraction. round() of a distance index never meets a tie (10 * sqrt(n) is never an
// odd multiple of one half for an integer n).
//
// Threading contract: pure functions; any thread.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace lumeray {

// The per-pixel functions the rasteriser and the stamps call for every entry are inline.
namespace spike_profile_detail {
// round(x) for x >= 0, halves away from zero (as llround); x - trunc(x) is exact.
inline uint64_t RoundNonNegative(double x) {
  const auto whole = static_cast<uint64_t>(x);
  return whole + (x - static_cast<double>(whole) >= 0.5 ? 1 : 0);
}
}  // namespace spike_profile_detail

inline uint32_t DistanceIndex(uint64_t squaredQuarterDistance) {
  constexpr double kDistanceIndexScale = 10.0;
  return static_cast<uint32_t>(spike_profile_detail::RoundNonNegative(
      kDistanceIndexScale * std::sqrt(static_cast<double>(squaredQuarterDistance))));
}

double FallOffExponent(int32_t intensity, int32_t length);
double FallOffFactor(uint32_t distanceIndex, uint32_t diagonal, double exponent);
inline uint32_t FallOffAmplitude(uint32_t amplitude, double factor) {
  if (!(factor < 1.0)) return amplitude;
  return static_cast<uint32_t>(amplitude * factor);
}

inline constexpr double kMaximumEdgeSlope = 0.5;  // profile drop per pixel, at most

double EdgeSlope(double majorComponent, double slope);
inline double CrossProfile(double lowEdge, double highEdge, double x, double edgeSlope) {
  constexpr double kProfileCentre = 0.5;
  constexpr double kQuarterPixels = 4.0;
  const double u1 = kProfileCentre - ((lowEdge - x) / kQuarterPixels) * edgeSlope;
  const double u2 = kProfileCentre + ((highEdge - x) / kQuarterPixels) * edgeSlope;
  return std::min(u1, u2);
}
uint32_t CrossValue(double profile);

}  // namespace lumeray
