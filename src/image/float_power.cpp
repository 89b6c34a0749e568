#include "image/float_power.h"

#include <bit>
#include <cmath>

#include "image/pixel_tables.h"

namespace lumeray {
namespace {

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
    const double power = float_power_detail::TabledPower(*table, fraction);
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
    const double power = float_power_detail::TabledPower(*table, double{sample});
    const uint32_t low = round(power * scale * (1.0 - kPowerSlack));
    if (power >= 0.0 && low == round(power * scale * (1.0 + kPowerSlack))) return low;
  }
  return round(std::pow(double{sample}, p) * scale);
}

}  // namespace lumeray
