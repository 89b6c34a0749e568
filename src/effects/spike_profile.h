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
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "effects/renderer_tables.h"

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

// DistanceIndex(x * x + rowSquare) for the `count` quarter-pixel offsets x = first,
// first + step, first + 2 step, ... into `indices`: the indices of a run of pixels of one row,
// two at a time where the processor can. The squared distances must stay below 2^53 (so the
// indices below 2^31; every offset the entries can hold is).
void RunDistanceIndices(int64_t first, int64_t step, int64_t rowSquare, int count,
                        uint32_t* indices);

double FallOffExponent(int32_t intensity, int32_t length);
double FallOffFactor(uint32_t distanceIndex, uint32_t diagonal, double exponent);
inline uint32_t FallOffAmplitude(uint32_t amplitude, double factor) {
  if (!(factor < 1.0)) return amplitude;
  return static_cast<uint32_t>(amplitude * factor);
}

inline constexpr double kMaximumEdgeSlope = 0.5;  // profile drop per pixel, at most

double EdgeSlope(double majorComponent, double slope);
// The two sides of the profile (the profile is the lesser): `low` only falls as x falls and
// `high` only falls as x rises, so beyond a pixel the profile stays at most that side's value.
struct CrossSides {
  double low;
  double high;
};
inline CrossSides CrossProfileSides(double lowEdge, double highEdge, double x, double edgeSlope) {
  constexpr double kProfileCentre = 0.5;
  constexpr double kQuarterPixels = 4.0;
  return {kProfileCentre - ((lowEdge - x) / kQuarterPixels) * edgeSlope,
          kProfileCentre + ((highEdge - x) / kQuarterPixels) * edgeSlope};
}
inline double CrossProfile(double lowEdge, double highEdge, double x, double edgeSlope) {
  const CrossSides sides = CrossProfileSides(lowEdge, highEdge, x, edgeSlope);
  return std::min(sides.low, sides.high);
}
uint32_t CrossValue(double profile);

// CrossValue from tables, for callers that evaluate it per pixel: Value(p) == CrossValue(p);
// Bound(p) is at least CrossValue(q) for every q <= p, from a step table (256 steps per octave
// of p), so that a pixel whose value cannot reach a threshold is passed over without Value.
class CrossValueTable {
 public:
  CrossValueTable();
  uint32_t Value(double profile) const {
    if (!(profile > 0.0)) return 0;
    if (profile >= 1.0) return kUnitFraction;
    const double tabled = Scaled(profile);
    return static_cast<uint32_t>(spike_profile_detail::RoundNonNegative(
        tabled >= 0.0 ? tabled : std::pow(profile, kExponent) * kUnitFractionScale));
  }
  uint32_t Bound(double profile) const {
    const int64_t step = static_cast<int64_t>(Bits(profile) >> kStepShift) - kFirstStep;
    return bound_[std::clamp<int64_t>(step, 0, kSteps)];
  }

 private:
  static constexpr double kExponent = 1.6;
  static constexpr int kPointBits = 10;
  static constexpr int kPoints = 1 << kPointBits;  // table points over [1, 2)
  static constexpr int kExponents = 48;            // 2^-47 and below take pow()
  static constexpr double kMargin = 1e-4;          // closer than this to a half, pow() decides
  static constexpr int kMantissaBits = 52;
  static constexpr int kStepShift = kMantissaBits - 8;            // 256 steps per octave
  static constexpr int64_t kFirstStep = int64_t{1023 - 32} << 8;  // from 2^-32
  static constexpr int64_t kSteps = int64_t{32} << 8;             // up to 1

  static uint64_t Bits(double value) {
    uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
  }
  // profile^1.6 * kUnitFractionScale for a profile in (0, 1), or a negative number when only pow()
  // can round it exactly (see the .cpp).
  double Scaled(double profile) const {
    constexpr uint64_t kMantissa = (uint64_t{1} << kMantissaBits) - 1;
    constexpr uint64_t kExponentBias = 1023;
    const uint64_t bits = Bits(profile);
    const int exponent = static_cast<int>(bits >> kMantissaBits) - static_cast<int>(kExponentBias);
    if (exponent <= -kExponents) return -1.0;  // also every subnormal
    const auto i = static_cast<int>((bits >> (kMantissaBits - kPointBits)) & (kPoints - 1));
    const uint64_t mBits = (bits & kMantissa) | (kExponentBias << kMantissaBits);
    double m = 0.0;
    std::memcpy(&m, &mBits, sizeof m);
    const double m0 = 1.0 + static_cast<double>(i) / kPoints;
    const double t = (m - m0) * inverse_[i];  // m - m0 is exact
    constexpr double a = kExponent;
    constexpr double c1 = a, c2 = c1 * (a - 1) / 2, c3 = c2 * (a - 2) / 3, c4 = c3 * (a - 3) / 4;
    const double series = 1.0 + t * (c1 + t * (c2 + t * (c3 + t * c4)));
    const double y = scale_[-exponent] * power_[i] * series;  // below 2^32
    const double fraction = y - static_cast<double>(static_cast<uint64_t>(y));
    return std::fabs(fraction - 0.5) < kMargin ? -1.0 : y;
  }

  std::array<double, kExponents> scale_{};
  std::array<double, kPoints> power_{};
  std::array<double, kPoints> inverse_{};
  std::array<uint32_t, kSteps + 1> bound_{};
};
const CrossValueTable& CrossValues();

}  // namespace lumeray
