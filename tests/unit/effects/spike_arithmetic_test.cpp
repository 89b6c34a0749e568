// The per-pixel arithmetic of spikes and flares, the rainbow colour and the colour saturation,
// at the edges of their ranges.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "effects/color_saturation.h"
#include "effects/rainbow.h"
#include "effects/renderer_tables.h"
#include "effects/row_indexed_phase.h"
#include "effects/soft_flare_builder.h"
#include "effects/spike_profile.h"

namespace lumeray {
namespace {

TEST(SpikeDistance, TenTimesTheQuarterPixelDistanceRounded) {
  EXPECT_EQ(DistanceIndex(0), 0u);
  EXPECT_EQ(DistanceIndex(1), 10u);
  EXPECT_EQ(DistanceIndex(2), 14u);   // 14.14
  EXPECT_EQ(DistanceIndex(3), 17u);   // 17.32
  EXPECT_EQ(DistanceIndex(16), 40u);  // one pixel
  EXPECT_EQ(DistanceIndex(429482), 6553u);
  EXPECT_EQ(DistanceIndex(uint64_t{4} * 30000 * 30000 * 16), 2400000u);
}

// A row's run of indices, two at a time or one, is the rounded distance: runs of odd and even
// lengths in either direction, either side of the centre, near and as far as entry offsets reach.
TEST(SpikeDistance, IndicesOfARowRun) {
  const struct {
    int64_t first, step, rowSquare;
    int count;
  } runs[] = {{-13, 4, 0, 7},
              {-3, 4, 1, 2},
              {0, -4, 9, 1},
              {2, 4, 0, 0},
              {-131068, 4, 131068LL * 131068, 256},
              {130000, -4, 5, 255},
              {1021, -4, 400, 511}};
  for (const auto& run : runs) {
    std::vector<uint32_t> indices(run.count + 1, 0xDEADBEEF);
    RunDistanceIndices(run.first, run.step, run.rowSquare, run.count, indices.data());
    for (int i = 0; i < run.count; ++i) {
      const int64_t x = run.first + run.step * i;
      const auto n = static_cast<long double>(x * x + run.rowSquare);
      ASSERT_EQ(indices[i], std::llround(10 * std::sqrt(n))) << run.first << " " << i;
    }
    EXPECT_EQ(indices[run.count], 0xDEADBEEF);  // nothing written past the run
  }
}

// The value a stamp skips entries below: the least that reaches the level through both
// truncating products, checked against its neighbour, including levels no entry can reach.
TEST(StampCut, LeastEntryValueWhoseProductReachesTheLevel) {
  const auto reaches = [](uint32_t brightest, uint32_t alpha, uint32_t level, uint32_t v) {
    return uint64_t{brightest} * ((uint64_t{v} * alpha) >> 32) >> 32 >= level;
  };
  const struct {
    uint32_t brightest, alpha, level;
  } cases[] = {{0xFFFFFFFE, 0xFFFFFFFE, 8192}, {0x00FFFFFF, 0x80000000, 1024},
               {0x12345678, 0x0000FFFF, 3},    {0xFFFFFFFE, 0x00000001, 0},
               {0x00010000, 0x00010000, 1},    {0xFFFFFFFE, 0xFFFFFFFE, 0xFFFFFFFE}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.brightest << " " << c.alpha << " " << c.level);
    const uint32_t v = LeastVisibleValue(c.brightest, c.alpha, c.level);
    if (reaches(c.brightest, c.alpha, c.level, UINT32_MAX)) {
      EXPECT_TRUE(reaches(c.brightest, c.alpha, c.level, v));
      if (v > 0) EXPECT_FALSE(reaches(c.brightest, c.alpha, c.level, v - 1));
    } else {
      EXPECT_EQ(v, UINT32_MAX) << "no entry reaches the level";
    }
  }
}

TEST(SpikeFallOff, FullAmplitudeNearTheCentreThenAPowerLaw) {
  const double e = FallOffExponent(50, 50);
  EXPECT_DOUBLE_EQ(FallOffExponent(100, 0), 200.0 / 28.0);
  EXPECT_EQ(FallOffExponent(0, 50), 0.0);
  EXPECT_EQ(FallOffFactor(0, 7211, e), 8.0);

  const uint32_t a = 616702733;
  EXPECT_EQ(FallOffAmplitude(a, FallOffFactor(0, 7211, e)), a);
  // Falling with the distance, never to more than the amplitude.
  uint32_t last = a;
  for (uint32_t d : {1000u, 14422u, 288440u}) {
    const uint32_t now = FallOffAmplitude(a, FallOffFactor(d, 7211, e));
    EXPECT_LT(now, last) << d;
    last = now;
  }
  EXPECT_EQ(FallOffAmplitude(a, 1.0), a);
  EXPECT_EQ(FallOffAmplitude(0xFFFFFFFE, 0.5), 0x7FFFFFFFu);
}

TEST(SpikeProfile, EdgeSlopeIsCappedAndTheProfileFallsLinearlyAcross) {
  EXPECT_DOUBLE_EQ(EdgeSlope(-0.8, 0.25), 0.2);
  EXPECT_DOUBLE_EQ(EdgeSlope(1.0, 3.0), 0.5);
  // Core band [-1, 1]: 0.5 at its edges, rising inside, falling by w' per pixel outside.
  EXPECT_DOUBLE_EQ(CrossProfile(-1, 1, -1, 0.5), 0.5);
  EXPECT_DOUBLE_EQ(CrossProfile(-1, 1, 0, 0.5), 0.625);
  EXPECT_DOUBLE_EQ(CrossProfile(-1, 1, -5, 0.5), 0.0);
  EXPECT_DOUBLE_EQ(CrossProfile(-1, 1, 5, 0.25), 0.25);
  EXPECT_EQ(CrossValue(1.0), 0xFFFFFFFEu);
  EXPECT_EQ(CrossValue(1.7), 0xFFFFFFFEu);
  EXPECT_LT(CrossValue(0.25), CrossValue(0.5));
  EXPECT_EQ(CrossValue(0.0), 0u);
  EXPECT_EQ(CrossValue(-0.5), 0u);
}

// The cross value is round(profile^1.6 * scale) to the last unit, whatever shortcut computes it:
// a sweep over (0, 1), the smallest profiles and neighbours of the table's points.
TEST(SpikeProfile, CrossValueRoundsTheExactPower) {
  std::vector<double> profiles{
      1e-300, 1e-15, 6e-7, 0.5, std::nextafter(0.5, 0.0), 0.75, std::nextafter(1.0, 0.0)};
  for (int i = 1; i < 400000; ++i) profiles.push_back(i / 400000.0 + 1e-9 * (i % 7));
  for (int i = 0; i < 2048; ++i) {
    const double point = 0.5 + i / 2048.0;
    profiles.push_back(std::nextafter(point, 0.0) / 8);
    profiles.push_back(std::nextafter(point, 1.0) / 8);
  }
  // The tabled bound stays at or above the value, and within a step (1/256 of an octave) of it.
  const auto exact = [](double p) {
    return std::min<int64_t>(std::llround(std::pow(p, 1.6) * 4294967294.0), 0xFFFFFFFE);
  };
  for (double p : profiles) {
    ASSERT_EQ(CrossValue(p), exact(p)) << p;
    ASSERT_GE(int64_t{CrossValues().Bound(p)}, exact(p)) << p;
    ASSERT_LE(int64_t{CrossValues().Bound(p)}, exact(p * 1.01) + 2) << p;
  }
}

TEST(Rainbow, WhiteAtTheCentreAndWithoutIntensity) {
  const FractionColor white{0xFFFFFFFE, 0xFFFFFFFE, 0xFFFFFFFE};
  EXPECT_EQ(RainbowColor(0, 7211, 100, 50, false), white);
  for (uint32_t d : {1000u, 50000u, 200000u})
    EXPECT_EQ(RainbowColor(d, 7211, 0, 100, false), white);
}

// The rainbow's phase grows with the distance and the frequency without overflowing far out;
// its strength ramps up over twice the diagonal; a phase of 900 (plus whole turns) takes the
// blue channel out entirely.
TEST(Rainbow, PhaseStrengthAndChannels) {
  EXPECT_LT(RainbowPhase(1000, 1000, 0), RainbowPhase(1000, 1000, 50));
  EXPECT_LT(RainbowPhase(1000, 1000, 50), RainbowPhase(1000, 1000, 100));
  EXPECT_NEAR(RainbowPhase(2400000, 30000, 100), 2.0 * RainbowPhase(1200000, 30000, 100), 1);
  EXPECT_LT(RainbowStrength(100, 1000), RainbowStrength(100, 1999));
  EXPECT_EQ(RainbowStrength(100, 2000), RainbowStrength(100, 5000));
  EXPECT_EQ(RainbowStrength(1, 0), 0u);
  ASSERT_EQ(RainbowPhase(4874, 1000, 50), 4500u);
  const FractionColor c = RainbowColor(4874, 1000, 100, 50, false);
  EXPECT_LT(c.blue, 100u);
  EXPECT_GT(c.red, 0x40000000u);
  EXPECT_GT(c.green, 0x40000000u);
}

// The rainbow's palette: a colour depends on the phase only through its palette index, for
// phases in the fade-in, past it and many turns out, at every frequency and on grey hosts.
TEST(Rainbow, PaletteIndexKeepsTheColour) {
  struct Case {
    uint32_t diagonal;
    int32_t intensity, frequency;
    bool gray;
  };
  for (const Case c : {Case{7211, 50, 50, false}, Case{1000, 100, 100, false},
                       Case{30000, 20, 0, false}, Case{7211, 100, 90, true}}) {
    for (uint32_t d = 0; d < 4000000; d += 997) {
      const uint64_t phase = RainbowPhase(d, c.diagonal, c.frequency);
      const uint32_t index = RainbowPaletteIndex(phase);
      ASSERT_LT(index, kRainbowPaletteSize);
      ASSERT_EQ(RainbowColorOfPhase(index, c.intensity, c.gray),
                RainbowColor(d, c.diagonal, c.intensity, c.frequency, c.gray))
          << c.diagonal << " " << c.frequency << " " << d;
    }
  }
}

TEST(SoftFlare, FallsWithTheDistanceAndWidensWithTheLength) {
  EXPECT_GT(SoftFlareValue(0, 7211, 50), SoftFlareValue(1000, 7211, 50));
  EXPECT_GT(SoftFlareValue(1000, 7211, 50), SoftFlareValue(1000, 7211, 0));
  EXPECT_GT(SoftFlareValue(5000, 7211, 100), SoftFlareValue(5000, 7211, 0));
  EXPECT_EQ(SoftFlareValue(1000000, 7211, 0), 0u);  // v at or below 1024 gives 0
}

TEST(ColorSaturation, PositiveSettingsPushTenTimesHarder) {
  const FractionColor c{1000, 990, 980};
  EXPECT_EQ(SaturateColor(c, 100, false), (FractionColor{1150, 990, 830}));
  EXPECT_EQ(SaturateColor(c, -100, false), (FractionColor{990, 990, 990}));
  EXPECT_EQ(SaturateColor(c, 10, false), (FractionColor{1015, 990, 965}));
  EXPECT_EQ(SaturateColor(c, 0, false), c);
  EXPECT_EQ(SaturateColor(c, 100, true), c);
}

TEST(ColorSaturation, TruncatesTowardZeroAndClamps) {
  // (1001 - 1000) * -100 / 150 truncates to 0; the mean (1001 + 1000) / 2 truncates to 1000.
  EXPECT_EQ(SaturateColor({1001, 1000, 1000}, -100, false), (FractionColor{1001, 1000, 1000}));
  EXPECT_EQ(SaturateColor({0xFFFFFFFE, 0x10000000, 0x10000000}, 100, false),
            (FractionColor{0xFFFFFFFE, 0, 0}));
  EXPECT_EQ(SaturateColor({0xFFFFFFFE, 0xFFFFFFFE, 0xFFFFFFFE}, 100, false),
            (FractionColor{0xFFFFFFFE, 0xFFFFFFFE, 0xFFFFFFFE}));
}

}  // namespace
}  // namespace lumeray
