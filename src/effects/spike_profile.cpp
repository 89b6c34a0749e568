#include "effects/spike_profile.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "effects/renderer_tables.h"

namespace lumeray {
namespace {

constexpr double kFallOffIntensityExponent = 0.28;
constexpr double kFallOffLengthScale = 200.0;
constexpr double kFallOffLengthOffset = 28.0;
constexpr double kFallOffPeak = 8.0;
constexpr double kFallOffDistanceScale = 15.0;
constexpr double kProfileExponent = 1.6;

using spike_profile_detail::RoundNonNegative;

// profile^1.6 * kUnitFractionScale without pow(): with profile = m * 2^e (m in [1, 2), read from
// the bits) and m = m0 * (1 + t) for the table point m0 at or below m, the value is
// scale[-e] * m0^1.6 * (1 + t)^1.6, the last factor from its Taylor series (|t| < 2^-10, so the
// terms after t^4 are below 1e-17). The tables are made in long double; the whole value is good
// to a few units in the last place, about 1e-5 of a unit at full scale.
class CrossPowerTable {
 public:
  static constexpr int kPointBits = 10;
  static constexpr int kPoints = 1 << kPointBits;  // table points over [1, 2)
  static constexpr int kExponents = 48;            // 2^-47 and below take pow()
  static constexpr double kMargin = 1e-4;          // closer than this to a half, pow() decides

  CrossPowerTable() {
    const long double a = kProfileExponent;
    for (int e = 0; e < kExponents; ++e)
      scale_[e] = static_cast<double>(std::pow(2.0L, -a * e) * kUnitFractionScale);
    for (int i = 0; i < kPoints; ++i) {
      const long double m0 = 1.0L + static_cast<long double>(i) / kPoints;
      power_[i] = static_cast<double>(std::pow(m0, a));
      inverse_[i] = static_cast<double>(1.0L / m0);
    }
  }

  // The scaled power of a profile in (0, 1), or a negative number when only pow() can round it
  // exactly.
  double Scaled(double profile) const {
    constexpr int kMantissaBits = 52;
    constexpr uint64_t kMantissa = (uint64_t{1} << kMantissaBits) - 1;
    constexpr uint64_t kExponentBias = 1023;
    uint64_t bits = 0;
    std::memcpy(&bits, &profile, sizeof bits);
    const int exponent = static_cast<int>(bits >> kMantissaBits) - static_cast<int>(kExponentBias);
    if (exponent <= -kExponents) return -1.0;  // also every subnormal
    const auto i = static_cast<int>((bits >> (kMantissaBits - kPointBits)) & (kPoints - 1));
    const uint64_t mBits = (bits & kMantissa) | (kExponentBias << kMantissaBits);
    double m = 0.0;
    std::memcpy(&m, &mBits, sizeof m);
    const double m0 = 1.0 + static_cast<double>(i) / kPoints;
    const double t = (m - m0) * inverse_[i];  // m - m0 is exact
    constexpr double a = kProfileExponent;
    constexpr double c1 = a, c2 = c1 * (a - 1) / 2, c3 = c2 * (a - 2) / 3, c4 = c3 * (a - 3) / 4;
    const double series = 1.0 + t * (c1 + t * (c2 + t * (c3 + t * c4)));
    const double y = scale_[-exponent] * power_[i] * series;  // below 2^32
    const double fraction = y - static_cast<double>(static_cast<uint64_t>(y));
    return std::fabs(fraction - 0.5) < kMargin ? -1.0 : y;
  }

 private:
  std::array<double, kExponents> scale_{};
  std::array<double, kPoints> power_{};
  std::array<double, kPoints> inverse_{};
};

const CrossPowerTable& CrossPowers() {
  static const CrossPowerTable table;
  return table;
}

}  // namespace

double FallOffExponent(int32_t intensity, int32_t length) {
  return std::pow(intensity / 100.0, kFallOffIntensityExponent) * kFallOffLengthScale /
         (length + kFallOffLengthOffset);
}

double FallOffFactor(uint32_t distanceIndex, uint32_t diagonal, double exponent) {
  const double d = std::max<uint32_t>(diagonal, 1);
  return kFallOffPeak * std::pow(1.0 + kFallOffDistanceScale * distanceIndex / d, -exponent);
}

double EdgeSlope(double majorComponent, double slope) {
  return std::min(std::fabs(majorComponent) * slope, kMaximumEdgeSlope);
}

uint32_t CrossValue(double profile) {
  if (!(profile > 0.0)) return 0;
  if (profile >= 1.0) return kUnitFraction;
  // The table's value rounds as pow()'s would: both are far closer to the true power than the
  // margin it keeps from every half.
  const double tabled = CrossPowers().Scaled(profile);
  return static_cast<uint32_t>(RoundNonNegative(
      tabled >= 0.0 ? tabled : std::pow(profile, kProfileExponent) * kUnitFractionScale));
}

}  // namespace lumeray
