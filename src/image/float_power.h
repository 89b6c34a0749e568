// Powers for the float codec without a libm power per sample, with exactly std::pow's results.
//
// A FloatPowerTable for a power p splits x = 2^e * m (m in [1, 2)): 2^(e * p) comes from a table
// per exponent, m^p from the power of the centre c of m's 1/128-wide interval times the binomial
// series of (1 + (m - c) / c)^p to its sixth term. Both tables are computed in long double and
// rounded once, so the product is within 1e-13 (relative) of the true power. The callers round
// it as they round std::pow's result; when the product lies within kPowerSlack (relative) of a
// rounding boundary, where the two could round apart, they take std::pow instead. std::pow is
// itself within a unit in the last place of the true power, far inside the slack, so a result
// the slack cannot move is the one std::pow gives. The slack straddles a boundary for at most a
// few samples in ten thousand; the fall-back is also taken without a table, for a table of another
// power (a gamma table set shared from the nearest gamma) and for x outside the exponent range.
//
// Row loops take the table's powers of many values at once (TabledPowers: four at a time where
// the processor has AVX2, with the same operations in the same order, so the very same doubles)
// and hand each to the ...Of functions below, which settle it exactly as their one-value forms.
//
// Threading contract: a table is filled once, before it is shared, and only read afterwards;
// the functions are pure; any thread.
#pragma once

#include <array>
#include <bit>
#include <cstdint>

#include "image/pixel_tables.h"

namespace lumeray {

inline constexpr int kFloatPowerCellBits = 7;
inline constexpr int kFloatPowerCells = 1 << kFloatPowerCellBits;
// Exponents of x (as a double) the table covers: every positive float and the encoder's 24-bit
// fractions.
inline constexpr int kFloatPowerLowestExponent = -150;
inline constexpr int kFloatPowerExponents = 280;

struct FloatPowerTable {
  double power = 0.0;
  std::array<double, kFloatPowerCells> cellPower{};    // c^p
  std::array<double, kFloatPowerCells> cellInverse{};  // 1 / c
  std::array<double, 5> series{};                      // binomial coefficients (p k), k = 1..5
  std::array<double, kFloatPowerExponents> exponentPower{};  // 2^(e * p)
};

// 2^-36: more than a hundred times the approximation's error.
inline constexpr double kPowerSlack = 1.0 / 68719476736.0;

void FillFloatPowerTable(double power, FloatPowerTable* table);

namespace float_power_detail {

inline constexpr int kMantissaBits = 52;
inline constexpr uint64_t kMantissaMask = (uint64_t{1} << kMantissaBits) - 1;
inline constexpr uint64_t kExponentOfOne = uint64_t{1023} << kMantissaBits;

// x^p for a positive x, or a negative number when the table cannot give it.
inline double TabledPower(const FloatPowerTable& t, double x) {
  const uint64_t bits = std::bit_cast<uint64_t>(x);
  const int slot = static_cast<int>(bits >> kMantissaBits) - 1023 - kFloatPowerLowestExponent;
  if (static_cast<unsigned>(slot) >= static_cast<unsigned>(kFloatPowerExponents)) return -1.0;
  const int cell =
      static_cast<int>((bits >> (kMantissaBits - kFloatPowerCellBits)) & (kFloatPowerCells - 1));
  const double mantissa = std::bit_cast<double>((bits & kMantissaMask) | kExponentOfOne);
  const double centre = 1.0 + (cell + 0.5) / kFloatPowerCells;
  const double u = (mantissa - centre) * t.cellInverse[cell];  // |u| < 1/256
  const auto& s = t.series;
  const double series = 1.0 + u * (s[0] + u * (s[1] + u * (s[2] + u * (s[3] + u * s[4]))));
  return t.exponentPower[slot] * t.cellPower[cell] * series;
}

// The std::pow paths of the two functions below (out of line: they are rarely taken).
float PowerAsFloat(double fraction, double p);
uint32_t ScaledPower(float sample, double p, double scale, double ceiling);

// round-to-nearest-even(min(value, ceiling)).
inline uint32_t RoundCapped(double value, double ceiling) {
  return RoundToNearestEven(value < ceiling ? value : ceiling);
}

}  // namespace float_power_detail

// float_power_detail::TabledPower(table, x[i]) into out[i] for i < count, bit for bit (out[i]
// negative where the table cannot give the power).
void TabledPowers(const FloatPowerTable& table, const double* x, double* out, int64_t count);

// min(values[i], whole) / double{whole} into out[i] for i < count (whole below 2^31): the
// fractions an encoder takes powers of, four at a time with AVX2 (the same correctly rounded
// division).
void FractionsOf(const uint32_t* values, uint32_t whole, double* out, int64_t count);

// Whether `table` gives the powers p (the functions below take std::pow otherwise).
inline bool TableHasPower(const FloatPowerTable* table, double p) {
  return table != nullptr && table->power == p;
}

// FloatOfPower with `tabled` = TabledPower(*table, fraction) already taken (any value when the
// table does not have the power p).
inline float FloatOfTabledPower(const FloatPowerTable* table, double tabled, double fraction,
                                double p) {
  if (TableHasPower(table, p)) {
    const auto low = static_cast<float>(tabled * (1.0 - kPowerSlack));
    if (tabled > 0.0 && low == static_cast<float>(tabled * (1.0 + kPowerSlack))) return low;
  }
  return float_power_detail::PowerAsFloat(fraction, p);
}

// static_cast<float>(std::pow(fraction, p)) for fraction in (0, 1]. Inline, like the next one:
// the float codec calls them per sample.
inline float FloatOfPower(const FloatPowerTable* table, double fraction, double p) {
  const double tabled =
      TableHasPower(table, p) ? float_power_detail::TabledPower(*table, fraction) : -1.0;
  return FloatOfTabledPower(table, tabled, fraction, p);
}

// ScaledFloatPower with `tabled` = TabledPower(*table, sample) already taken (any value when the
// table does not have the power p).
inline uint32_t ScaledFloatOfTabledPower(const FloatPowerTable* table, double tabled, float sample,
                                         double p, double scale, double ceiling) {
  using float_power_detail::RoundCapped;
  if (TableHasPower(table, p)) {
    const uint32_t low = RoundCapped(tabled * scale * (1.0 - kPowerSlack), ceiling);
    if (tabled >= 0.0 && low == RoundCapped(tabled * scale * (1.0 + kPowerSlack), ceiling)) {
      return low;
    }
  }
  return float_power_detail::ScaledPower(sample, p, scale, ceiling);
}

// round-to-nearest-even(min(std::pow(sample, p) * scale, ceiling)) for sample > 0 (not NaN),
// ceiling < 2^51.
inline uint32_t ScaledFloatPower(const FloatPowerTable* table, float sample, double p, double scale,
                                 double ceiling) {
  const double tabled =
      TableHasPower(table, p) ? float_power_detail::TabledPower(*table, double{sample}) : -1.0;
  return ScaledFloatOfTabledPower(table, tabled, sample, p, scale, ceiling);
}

// static_cast<float>(std::pow(x, table.power)) for 0 < x < 2^100, in *result, when the table
// settles it: FloatOfShiftedPower's offset 0 and divisor 1 without their arithmetic.
// `power` is TabledPower(table, x) (FloatOfPlainPower takes it itself).
inline bool FloatOfTabledPlainPower(double x, double power, float* result) {
  if (!(x > 0.0 && x < 0x1p100)) return false;
  const auto low = static_cast<float>(power * (1.0 - kPowerSlack));
  if (!(power > 0.0) || low != static_cast<float>(power * (1.0 + kPowerSlack))) return false;
  *result = low;
  return true;
}
inline bool FloatOfPlainPower(const FloatPowerTable& table, double x, float* result) {
  return FloatOfTabledPlainPower(x, float_power_detail::TabledPower(table, x), result);
}

// static_cast<float>((std::pow(x, table.power) - offset) / divisor) for 0 < x < 2^100 and
// divisor != 0, in *result, when the table settles it; false when only std::pow can (the caller
// then takes its own path). For offset 0 and divisor 1 that is the float of the power itself.
// Inline: it runs per sample in colour transforms.
// `power` is TabledPower(table, x) (FloatOfShiftedPower takes it itself).
inline bool FloatOfTabledShiftedPower(double x, double power, double offset, double divisor,
                                      float* result) {
  if (!(x > 0.0 && x < 0x1p100)) return false;
  // Subtraction, division and the cast are monotonic, so a pair of bounds around the power that
  // ends in one float brackets what std::pow's power ends in.
  const auto low = static_cast<float>((power * (1.0 - kPowerSlack) - offset) / divisor);
  if (!(power > 0.0) ||
      low != static_cast<float>((power * (1.0 + kPowerSlack) - offset) / divisor)) {
    return false;
  }
  *result = low;
  return true;
}

inline bool FloatOfShiftedPower(const FloatPowerTable& table, double x, double offset,
                                double divisor, float* result) {
  return FloatOfTabledShiftedPower(x, float_power_detail::TabledPower(table, x), offset, divisor,
                                   result);
}

}  // namespace lumeray
