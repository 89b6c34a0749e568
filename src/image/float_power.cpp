#include "image/float_power.h"

#include <cmath>

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

namespace float_power_detail {

float PowerAsFloat(double fraction, double p) {
  return static_cast<float>(std::pow(fraction, p));
}

uint32_t ScaledPower(float sample, double p, double scale, double ceiling) {
  return RoundCapped(std::pow(double{sample}, p) * scale, ceiling);
}

}  // namespace float_power_detail
}  // namespace lumeray
