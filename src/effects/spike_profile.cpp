#include "effects/spike_profile.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "effects/renderer_tables.h"

namespace lumeray {
namespace {

constexpr double kFallOffIntensityExponent = 0.28;
constexpr double kFallOffLengthScale = 200.0;
constexpr double kFallOffLengthOffset = 28.0;
constexpr double kFallOffPeak = 8.0;
constexpr double kFallOffDistanceScale = 15.0;

}  // namespace

void RunDistanceIndices(int64_t first, int64_t step, int64_t rowSquare, int count,
                        uint32_t* indices) {
  int i = 0;
  int64_t x = first;
#if defined(__SSE2__)
  // The same operations as DistanceIndex, on two values: sqrt and the product are correctly
  // rounded either way, and the whole part fits 32 bits.
  const __m128d ten = _mm_set1_pd(10.0);
  const __m128d half = _mm_set1_pd(0.5);
  for (; i + 2 <= count; i += 2, x += 2 * step) {
    const int64_t n0 = x * x + rowSquare;
    const int64_t n1 = (x + step) * (x + step) + rowSquare;
    const __m128d scaled =
        _mm_mul_pd(ten, _mm_sqrt_pd(_mm_set_pd(static_cast<double>(n1), static_cast<double>(n0))));
    const __m128i whole = _mm_cvttpd_epi32(scaled);
    const int up = _mm_movemask_pd(_mm_cmpge_pd(_mm_sub_pd(scaled, _mm_cvtepi32_pd(whole)), half));
    indices[i] = static_cast<uint32_t>(_mm_cvtsi128_si32(whole)) + (up & 1);
    indices[i + 1] =
        static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_shuffle_epi32(whole, 1))) + ((up >> 1) & 1);
  }
#endif
  for (; i < count; ++i, x += step) {
    indices[i] = DistanceIndex(static_cast<uint64_t>(x * x + rowSquare));
  }
}

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

// profile^1.6 * kUnitFractionScale without pow(): with profile = m * 2^e (m in [1, 2), read from
// the bits) and m = m0 * (1 + t) for the table point m0 at or below m, the value is
// scale[-e] * m0^1.6 * (1 + t)^1.6, the last factor from its Taylor series (|t| < 2^-10, so the
// terms after t^4 are below 1e-17). The tables are made in long double; the whole value is good
// to a few units in the last place, about 1e-5 of a unit at full scale, so it rounds as pow()'s
// would wherever it keeps the margin from a half.
//
// The bound of a step is taken at the step's upper end, in long double, rounded down and raised
// by 2: more than any rounding of a power at or below that end.
CrossValueTable::CrossValueTable() {
  const long double a = kExponent;
  for (int e = 0; e < kExponents; ++e)
    scale_[e] = static_cast<double>(std::pow(2.0L, -a * e) * kUnitFractionScale);
  for (int i = 0; i < kPoints; ++i) {
    const long double m0 = 1.0L + static_cast<long double>(i) / kPoints;
    power_[i] = static_cast<double>(std::pow(m0, a));
    inverse_[i] = static_cast<double>(1.0L / m0);
  }
  for (int64_t step = 0; step <= kSteps; ++step) {
    const uint64_t endBits = static_cast<uint64_t>(kFirstStep + step + 1) << kStepShift;
    double end = 0.0;
    std::memcpy(&end, &endBits, sizeof end);
    const long double most = std::floor(std::pow(static_cast<long double>(end), a) *
                                        static_cast<long double>(kUnitFractionScale)) +
                             2.0L;
    bound_[step] =
        end >= 1.0 || most >= kUnitFraction ? kUnitFraction : static_cast<uint32_t>(most);
  }
}

const CrossValueTable& CrossValues() {
  static const CrossValueTable table;
  return table;
}

uint32_t CrossValue(double profile) {
  return CrossValues().Value(profile);
}

}  // namespace lumeray
