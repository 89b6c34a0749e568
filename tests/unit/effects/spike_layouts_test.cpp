// The renderer tables, the settings derived from a snapshot and the seven spike layouts, checked
// against values worked out independently of the code.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "effects/parameter_set.h"
#include "effects/renderer_tables.h"
#include "effects/spike_layouts.h"
#include "effects/star_settings.h"

namespace lumeray {
namespace {

constexpr uint32_t kHalfAmplitude = 616702733;  // trunc(0.5^2.8 * 4294967294)

ParameterSetBuffer Snapshot(uint32_t type, int16_t points, int16_t angle) {
  ParameterSetBuffer p{};
  p.parameters = kFactoryParameters;
  p.parameters.EffectType = type;
  p.parameters.NumberOfPoints = points;
  p.parameters.Angle = angle;
  return p;
}

StarSettings Settings(uint32_t type, int16_t points, int16_t angle) {
  return MakeStarSettings(Snapshot(type, points, angle), 7211, 16384, false);
}

std::vector<int32_t> Angles(const std::vector<SpikeRay>& rays) {
  std::vector<int32_t> angles;
  for (const SpikeRay& ray : rays) angles.push_back(ray.angle);
  return angles;
}

TEST(RendererTables, SineCoversTheCircleInTenthsOfADegree) {
  const float* sine = SineTable();
  EXPECT_EQ(sine[0], 0.0f);
  EXPECT_EQ(sine[900], 1.0f);
  EXPECT_EQ(sine[1800], 0.0f);
  EXPECT_EQ(sine[2700], -1.0f);
  for (int i = 0; i < kAngleSteps; ++i) {
    ASSERT_NEAR(sine[i], std::sin(i * M_PI / 1800.0), 4e-7) << i;
  }
}

TEST(RendererTables, HalfSineIsOneAtTheTopZeroAtTheBottomAndHalfBetween) {
  const uint32_t* half = HalfSineTable();
  EXPECT_EQ(half[900], 0xFFFFFFFEu);
  EXPECT_EQ(half[2700], 0u);
  EXPECT_EQ(half[0], 2147483647u);
  EXPECT_EQ(half[1800], 2147483647u);
  for (int i = 1; i < 900; ++i) ASSERT_GE(half[i], half[i - 1]) << i;
  for (int i = 901; i < 2700; ++i) ASSERT_LE(half[i], half[i - 1]) << i;
}

TEST(RendererTables, AnglesReduceIntoOneTurnAndFractionsMultiply) {
  EXPECT_EQ(ReduceAngle(-1), 3599);
  EXPECT_EQ(ReduceAngle(-3600), 0);
  EXPECT_EQ(ReduceAngle(7201), 1);
  EXPECT_EQ(ReduceAngle(-7199), 1);
  EXPECT_EQ(MultiplyFractions(0xFFFFFFFE, 0xFFFFFFFE), 0xFFFFFFFCu);
  EXPECT_EQ(MultiplyFractions(0xFFFFFFFE, 1000), 999u);
  EXPECT_EQ(MultiplyFractions(0x80000000, 0x80000000), 0x40000000u);
}

TEST(StarSettings, AmplitudesSlopesAndLengths) {
  EXPECT_EQ(SpikeAmplitude(100), 0xFFFFFFFEu);
  EXPECT_EQ(SpikeAmplitude(50), kHalfAmplitude);
  EXPECT_EQ(SpikeAmplitude(1), 10788u);
  EXPECT_EQ(SpikeAmplitude(0), 0u);
  // Sharpness 0 gives the widest spike: slope 15 / D.
  EXPECT_DOUBLE_EQ(SpikeSlope(0, kPrimarySharpnessScale, 1000), 15.0 / 1000);

  ParameterSetBuffer p = Snapshot(EffectCode("efT0"), 6, 150);
  p.parameters.Length = 1;
  EXPECT_EQ(MakeStarSettings(p, 7211, 16384, false).secondaryLength, 0);
  p.parameters.Length = 99;
  EXPECT_EQ(MakeStarSettings(p, 7211, 16384, false).secondaryLength, 89);
}

TEST(StarSettings, OutOfRangeValuesCannotDivideByZero) {
  ParameterSetBuffer p = Snapshot(EffectCode("efT0"), 0, 150);
  p.parameters.RainbowFrequency = 107;
  p.parameters.Intensity = 300;
  const StarSettings s = MakeStarSettings(p, 0, 16384, false);
  EXPECT_EQ(s.points, 1);
  EXPECT_EQ(s.rainbowFrequency, 100);
  EXPECT_EQ(s.amplitude, 0xFFFFFFFEu);
  EXPECT_EQ(s.diagonal, 1u);
  EXPECT_TRUE(std::isfinite(s.slope));
}

TEST(SpikeLayouts, StandardStarSpreadsThePointsEvenlyFromTheAngle) {
  const auto rays = LayOutPrimarySpikes(Settings(EffectCode("efT0"), 6, 150));
  EXPECT_EQ(Angles(rays), (std::vector<int32_t>{150, 750, 1350, 1950, 2550, 3150}));
  for (const SpikeRay& ray : rays) EXPECT_EQ(ray.amplitude, kHalfAmplitude);
  // Integer division of the turn.
  EXPECT_EQ(Angles(LayOutPrimarySpikes(Settings(EffectCode("efT0"), 7, 0))),
            (std::vector<int32_t>{0, 514, 1028, 1542, 2057, 2571, 3085}));
  EXPECT_EQ(Angles(LayOutPrimarySpikes(Settings(EffectCode("efT0"), 1, -900))),
            (std::vector<int32_t>{-900}));
}

TEST(SpikeLayouts, HollywoodStarAlternatesFourAndThreeRays) {
  const uint32_t h = kHalfAmplitude / 100;
  const uint32_t a = kHalfAmplitude;
  const std::vector<SpikeRay> expected = {
      {115, h * 25},  {267, h * 70},  {925, a},  {1012, h * 50},  // i = 0
      {1073, a},      {1164, h * 70}, {1816, a},                  // i = 1
      {1915, h * 25}, {2067, h * 70}, {2725, a}, {2812, h * 50},  // i = 2
      {2873, a},      {2964, h * 70}, {3616, a},                  // i = 3
  };
  EXPECT_EQ(LayOutPrimarySpikes(Settings(EffectCode("efT1"), 4, 150)), expected);
}

TEST(SpikeLayouts, ReligiousCrossSharesThePointsAmongFourArms) {
  StarSettings s = Settings(EffectCode("efT2"), 6, 0);
  const uint32_t a = s.amplitude;
  std::vector<SpikeRay> expected = {{-5, a / 2},   {5, a / 2},    {900, a / 10 * 4},
                                    {1795, 2 * a}, {1805, 2 * a}, {2700, a / 10 * 4}};
  EXPECT_EQ(LayOutPrimarySpikes(s), expected);
  s.points = 7;
  EXPECT_EQ(Angles(LayOutPrimarySpikes(s)),
            (std::vector<int32_t>{0, 895, 905, 1795, 1805, 2695, 2705}));
  s.points = 1;
  EXPECT_EQ(Angles(LayOutPrimarySpikes(s)), (std::vector<int32_t>{0}));
  // The long arm saturates at 1.0 once twice the amplitude would not fit.
  s.points = 4;
  s.amplitude = 0x7FFFFFFE;
  EXPECT_EQ(LayOutPrimarySpikes(s)[2].amplitude, 0xFFFFFFFCu);
  s.amplitude = 0x7FFFFFFF;
  EXPECT_EQ(LayOutPrimarySpikes(s)[2].amplitude, 0xFFFFFFFEu);
}

TEST(SpikeLayouts, NorthStarAddsTwoQuarterRaysAfterEachPoint) {
  const uint32_t a = kHalfAmplitude;
  const std::vector<SpikeRay> expected = {
      {0, a},    {378, a / 4},  {522, a / 4},  {900, a},  {1278, a / 4}, {1422, a / 4},
      {1800, a}, {2178, a / 4}, {2322, a / 4}, {2700, a}, {3078, a / 4}, {3222, a / 4}};
  EXPECT_EQ(LayOutPrimarySpikes(Settings(EffectCode("efT4"), 4, 0)), expected);
}

// The bent and the paired layouts: one ray per point (two for the paired ones, exactly
// opposed), every amplitude a fraction, and the pairs saturating rather than wrapping.
TEST(SpikeLayouts, BentAndPairedLayoutsKeepTheirShape) {
  for (const uint32_t type : {EffectCode("efT3"), EffectCode("efT5"), EffectCode("efT6")}) {
    const bool paired = type != EffectCode("efT5");
    const auto rays = LayOutPrimarySpikes(Settings(type, 14, 150));
    ASSERT_EQ(rays.size(), 14u) << type;
    for (size_t i = 0; i < rays.size(); ++i) {
      EXPECT_LE(rays[i].amplitude, 0xFFFFFFFEu) << type;
      if (paired && i % 2 == 1) {
        EXPECT_EQ(rays[i].angle - rays[i - 1].angle, 1800) << type;
      }
    }
  }
  // Four vector rays from angle 0: 0 and 1800 stay; 900 and 2700 lie 900 into their half turn
  // and bend to trunc((900 / 1200)^0.393 x 900) = trunc(803.79) = 803 into it; all turn by 97.
  EXPECT_EQ(Angles(LayOutPrimarySpikes(Settings(EffectCode("efT5"), 4, 0))),
            (std::vector<int32_t>{97, 900, 1897, 2700}));

  StarSettings strong = Settings(EffectCode("efT3"), 3, -900);
  strong.amplitude = 0xFFFFFFFE;  // 4.96 x the amplitude saturates
  const auto saturated = LayOutPrimarySpikes(strong);
  ASSERT_EQ(saturated.size(), 4u);
  EXPECT_EQ(saturated[0], (SpikeRay{0, 0xFFFFFFFE}));
  EXPECT_EQ(saturated[1], (SpikeRay{1800, 0xFFFFFFFE}));
}

TEST(SpikeLayouts, NoPrimaryRaysWithoutLengthOrForAnUnknownType) {
  StarSettings s = Settings(EffectCode("efT0"), 6, 150);
  s.length = 0;
  EXPECT_TRUE(LayOutPrimarySpikes(s).empty());
  EXPECT_TRUE(LayOutSecondarySpikes(s).empty());
  EXPECT_TRUE(LayOutPrimarySpikes(Settings(EffectCode("efT9"), 6, 150)).empty());
  EXPECT_EQ(LayOutSecondarySpikes(Settings(EffectCode("efT9"), 6, 150)).size(), 42u);
}

TEST(SpikeLayouts, SecondarySpikesFollowTheTableFromTheAngle) {
  StarSettings s = Settings(EffectCode("efT0"), 6, -100);
  const auto rays = LayOutSecondarySpikes(s);
  ASSERT_EQ(rays.size(), 42u);
  ASSERT_GT(s.secondaryAmplitude / 100, 0u);
  // Each ray is the table's weight times the hundredth of the secondary amplitude.
  for (const SpikeRay& ray : rays) EXPECT_EQ(ray.amplitude % (s.secondaryAmplitude / 100), 0u);
  s.secondaryIntensity = 0;
  EXPECT_TRUE(LayOutSecondarySpikes(s).empty());
}

}  // namespace
}  // namespace lumeray
