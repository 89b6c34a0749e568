#include "image/float_power.h"

#include <algorithm>
#include <cmath>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define LUMERAY_AVX2_POWERS 1
#endif

#include "image/pixel_tables.h"

namespace lumeray {

void FillFloatPowerTable(double power, FloatPowerTable* table) {
  table->power = power;
  const long double p = power;
  for (int i = 0; i < kFloatPowerCells; ++i) {
    const long double centre = 1.0L + (i + 0.5L) / kFloatPowerCells;
    table->cellPower[i] = static_cast<double>(std::pow(centre, p));
    table->cellInverse[i] = static_cast<double>(1.0L / centre);
  }
  long double coefficient = 1.0L;
  for (int k = 1; k <= static_cast<int>(table->series.size()); ++k) {
    coefficient *= (p - (k - 1)) / k;
    table->series[k - 1] = static_cast<double>(coefficient);
  }
  for (int e = 0; e < kFloatPowerExponents; ++e) {
    table->exponentPower[e] =
        static_cast<double>(std::exp2(static_cast<long double>(e + kFloatPowerLowestExponent) * p));
  }
}

namespace {

#ifdef LUMERAY_AVX2_POWERS
// TabledPower four values at a time: the same operations in the same order (no fused
// multiply-adds: the target adds AVX2 only), so each lane is the scalar result bit for bit. The
// centre 1 + (cell + 1/2) / 128 is built from its bits (m's top seven fraction bits and the
// next one set), which is the same double.
__attribute__((target("avx2"))) int64_t TabledPowersAvx2(const FloatPowerTable& t, const double* x,
                                                         double* out, int64_t count) {
  using float_power_detail::kExponentOfOne;
  using float_power_detail::kMantissaBits;
  using float_power_detail::kMantissaMask;
  constexpr int kCellShift = kMantissaBits - kFloatPowerCellBits;
  const __m256i exponentBias = _mm256_set1_epi64x(1023 + kFloatPowerLowestExponent);
  const __m256i slots = _mm256_set1_epi64x(kFloatPowerExponents);
  const __m256i none = _mm256_set1_epi64x(-1);
  const __m256i cellMask = _mm256_set1_epi64x(kFloatPowerCells - 1);
  const __m256i mantissaMask = _mm256_set1_epi64x(static_cast<int64_t>(kMantissaMask));
  const __m256i one = _mm256_set1_epi64x(static_cast<int64_t>(kExponentOfOne));
  const __m256i centreBits =
      _mm256_set1_epi64x(static_cast<int64_t>(kExponentOfOne | (uint64_t{1} << (kCellShift - 1))));
  const __m256d unit = _mm256_set1_pd(1.0);
  const __m256d failed = _mm256_set1_pd(-1.0);
  const __m256d s0 = _mm256_set1_pd(t.series[0]), s1 = _mm256_set1_pd(t.series[1]);
  const __m256d s2 = _mm256_set1_pd(t.series[2]), s3 = _mm256_set1_pd(t.series[3]);
  const __m256d s4 = _mm256_set1_pd(t.series[4]);
  int64_t i = 0;
  for (; i + 4 <= count; i += 4) {
    const __m256i bits = _mm256_castpd_si256(_mm256_loadu_pd(x + i));
    const __m256i slot = _mm256_sub_epi64(_mm256_srli_epi64(bits, kMantissaBits), exponentBias);
    const __m256i inRange =
        _mm256_and_si256(_mm256_cmpgt_epi64(slot, none), _mm256_cmpgt_epi64(slots, slot));
    const __m256i cell = _mm256_and_si256(_mm256_srli_epi64(bits, kCellShift), cellMask);
    const __m256d mantissa =
        _mm256_castsi256_pd(_mm256_or_si256(_mm256_and_si256(bits, mantissaMask), one));
    const __m256d centre =
        _mm256_castsi256_pd(_mm256_or_si256(_mm256_slli_epi64(cell, kCellShift), centreBits));
    const __m256d inverse = _mm256_i64gather_pd(t.cellInverse.data(), cell, 8);
    const __m256d cellPower = _mm256_i64gather_pd(t.cellPower.data(), cell, 8);
    const __m256d exponentPower =
        _mm256_mask_i64gather_pd(failed, t.exponentPower.data(), _mm256_and_si256(slot, inRange),
                                 _mm256_castsi256_pd(inRange), 8);
    const __m256d u = _mm256_mul_pd(_mm256_sub_pd(mantissa, centre), inverse);
    __m256d series = _mm256_add_pd(s3, _mm256_mul_pd(u, s4));
    series = _mm256_add_pd(s2, _mm256_mul_pd(u, series));
    series = _mm256_add_pd(s1, _mm256_mul_pd(u, series));
    series = _mm256_add_pd(s0, _mm256_mul_pd(u, series));
    series = _mm256_add_pd(unit, _mm256_mul_pd(u, series));
    const __m256d power = _mm256_mul_pd(_mm256_mul_pd(exponentPower, cellPower), series);
    _mm256_storeu_pd(out + i, _mm256_blendv_pd(failed, power, _mm256_castsi256_pd(inRange)));
  }
  return i;
}

__attribute__((target("avx2"))) int64_t FractionsOfAvx2(const uint32_t* values, uint32_t whole,
                                                        double* out, int64_t count) {
  const __m128i top = _mm_set1_epi32(static_cast<int32_t>(whole));
  const __m256d divisor = _mm256_set1_pd(whole);
  int64_t i = 0;
  for (; i + 4 <= count; i += 4) {
    const __m128i v =
        _mm_min_epu32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(values + i)), top);
    _mm256_storeu_pd(out + i, _mm256_div_pd(_mm256_cvtepi32_pd(v), divisor));
  }
  return i;
}

bool HasAvx2() {
  return __builtin_cpu_supports("avx2");
}
#endif

}  // namespace

void TabledPowers(const FloatPowerTable& table, const double* x, double* out, int64_t count) {
  int64_t i = 0;
#ifdef LUMERAY_AVX2_POWERS
  if (HasAvx2()) i = TabledPowersAvx2(table, x, out, count);
#endif
  for (; i < count; ++i) out[i] = float_power_detail::TabledPower(table, x[i]);
}

void FractionsOf(const uint32_t* values, uint32_t whole, double* out, int64_t count) {
  int64_t i = 0;
#ifdef LUMERAY_AVX2_POWERS
  if (HasAvx2()) i = FractionsOfAvx2(values, whole, out, count);
#endif
  for (; i < count; ++i)
    out[i] = static_cast<int32_t>(std::min(values[i], whole)) / static_cast<double>(whole);
}

namespace float_power_detail {

float PowerAsFloat(double fraction, double p) {
  return static_cast<float>(std::pow(fraction, p));
}

uint32_t ScaledPower(float sample, double p, double scale, double ceiling) {
  return RoundCapped(std::pow(double{sample}, p) * scale, ceiling);
}

}  // namespace float_power_detail
}  // namespace lumeray
