#include "image/float_power.h"

#include <bit>
#include <cmath>

#include "image/pixel_tables.h"

namespace lumeray {
namespace {

constexpr int kMantissaBits = 52;
constexpr uint64_t kMantissaMask = (uint64_t{1} << kMantissaBits) - 1;
constexpr uint64_t kExponentOfOne = uint64_t{1023} << kMantissaBits;

// x^p for a positive x, or a negative number when the table cannot give it.
double TabledPower(const FloatPowerTable& t, double x) {
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

bool Usable(const FloatPowerTable* table, double p) {
  return table != nullptr && table->power == p;
}

}  // namespace

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

float FloatOfPower(const FloatPowerTable* table, double fraction, double p) {
  if (Usable(table, p)) {
    const double power = TabledPower(*table, fraction);
    const auto low = static_cast<float>(power * (1.0 - kPowerSlack));
    if (power > 0.0 && low == static_cast<float>(power * (1.0 + kPowerSlack))) return low;
  }
  return static_cast<float>(std::pow(fraction, p));
}

uint32_t ScaledFloatPower(const FloatPowerTable* table, float sample, double p, double scale,
                          double ceiling) {
  const auto round = [ceiling](double value) {
    return RoundToNearestEven(value < ceiling ? value : ceiling);
  };
  if (Usable(table, p)) {
    const double power = TabledPower(*table, double{sample});
    const uint32_t low = round(power * scale * (1.0 - kPowerSlack));
    if (power >= 0.0 && low == round(power * scale * (1.0 + kPowerSlack))) return low;
  }
  return round(std::pow(double{sample}, p) * scale);
}

bool FloatOfShiftedPower(const FloatPowerTable& table, double x, double offset, double divisor,
                         float* result) {
  if (!(x > 0.0 && x < 0x1p100)) return false;
  const double power = TabledPower(table, x);
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

}  // namespace lumeray
