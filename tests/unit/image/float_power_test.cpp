// The float codec's powers must be exactly std::pow's, rounded as the codec rounds them: every
// 24-bit linear value on the way out (every seventh but at gamma 2.2), and a dense sweep of float
// samples on the way in (deep shadows, subnormals, samples far above 1.0), at common gammas, and
// through a table made for another power (a set shared from the nearest gamma).
#include "image/float_power.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <memory>

#include "image/image_record.h"
#include "image/pixel_tables.h"

namespace lumeray {
namespace {

struct PowerCase {
  double tableGamma;
  double gamma;
};
constexpr PowerCase kCases[] = {{2.2, 2.2}, {1.8, 1.8}, {2.6, 2.6}, {0.45, 0.45}, {2.2, 2.25}};

TEST(FloatPower, EncodesEveryLinearValueAsStdPow) {
  for (const PowerCase& c : kCases) {
    auto table = std::make_unique<FloatPowerTable>();
    FillFloatPowerTable(1.0 / c.tableGamma, table.get());
    int64_t differing = 0;
    const uint32_t step = &c == &kCases[0] ? 1 : 7;
    for (uint32_t value = 1; value < kFullIntensity; value += step) {
      const double fraction = value / double{kFullIntensity};
      const auto expected = static_cast<float>(std::pow(fraction, 1.0 / c.gamma));
      differing += FloatOfPower(table.get(), fraction, 1.0 / c.gamma) != expected;
    }
    EXPECT_EQ(differing, 0) << "gamma " << c.gamma;
  }
}

TEST(FloatPower, DecodesFloatSamplesAsStdPow) {
  const uint32_t last = std::bit_cast<uint32_t>(3.0e38f);
  for (const PowerCase& c : kCases) {
    auto table = std::make_unique<FloatPowerTable>();
    FillFloatPowerTable(c.tableGamma, table.get());
    int64_t differing = 0;
    for (uint32_t bits = 1; bits < last; bits += 331) {
      const float sample = std::bit_cast<float>(bits);
      const double scaled = std::pow(double{sample}, c.gamma) * kFullIntensity;
      const uint32_t expected =
          RoundToNearestEven(scaled < kFullCoverage ? scaled : double{kFullCoverage});
      differing +=
          ScaledFloatPower(table.get(), sample, c.gamma, kFullIntensity, kFullCoverage) != expected;
    }
    EXPECT_EQ(differing, 0) << "gamma " << c.gamma;
  }
}

}  // namespace
}  // namespace lumeray
