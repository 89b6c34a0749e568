// The float codec's powers must be exactly std::pow's, rounded as the codec rounds them: every
// 24-bit linear value on the way out (every seventh but at gamma 2.2), and a dense sweep of float
// samples on the way in (deep shadows, subnormals, samples far above 1.0), at common gammas, and
// through a table made for another power (a set shared from the nearest gamma). The batch form of
// the table's power must be the one-value form's, bit for bit.
#include "image/float_power.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

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

TEST(FloatPower, BatchedPowersAreTheOneValuePowers) {
  auto table = std::make_unique<FloatPowerTable>();
  FillFloatPowerTable(1.0 / 2.2, table.get());
  // Every sign and exponent of a float (infinities, NaNs, subnormals among them), doubles beyond
  // the table's exponents at both ends, and a count that leaves a partial batch.
  std::vector<double> x = {0.0,      -0.0,    1.0,
                           0x1p-200, 0x1p200, std::numeric_limits<double>::denorm_min()};
  for (uint64_t bits = 0; bits <= 0xFFFFFFFFu; bits += 65521) {
    x.push_back(std::bit_cast<float>(static_cast<uint32_t>(bits)));
  }
  x.resize(x.size() / 4 * 4 + 3, 0.5);
  std::vector<double> batched(x.size());
  TabledPowers(*table, x.data(), batched.data(), static_cast<int64_t>(x.size()));
  int64_t differing = 0;
  for (size_t i = 0; i < x.size(); ++i) {
    const double single = float_power_detail::TabledPower(*table, x[i]);
    differing += std::bit_cast<uint64_t>(batched[i]) != std::bit_cast<uint64_t>(single);
  }
  EXPECT_EQ(differing, 0);
}

}  // namespace
}  // namespace lumeray
