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
  CopyEffectFields(kFactoryParameters, &p);
  p.EffectType = type;
  p.NumberOfPoints = points;
  p.Angle = angle;
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
  EXPECT_NEAR(SpikeSlope(50, kPrimarySharpnessScale, 7211), 0.06336731912932911, 1e-15);
  EXPECT_NEAR(SpikeSlope(50, kSecondarySharpnessScale, 7211), 0.030146411073467803, 1e-15);

  ParameterSetBuffer p = Snapshot(EffectCode("efT0"), 6, 150);
  p.Length = 1;
  EXPECT_EQ(MakeStarSettings(p, 7211, 16384, false).secondaryLength, 0);
  p.Length = 99;
  EXPECT_EQ(MakeStarSettings(p, 7211, 16384, false).secondaryLength, 89);
  p.SecondarySpikeIntensity = 15;
  EXPECT_EQ(MakeStarSettings(p, 7211, 16384, false).secondaryAmplitude, 21184361u);
}

TEST(StarSettings, OutOfRangeValuesCannotDivideByZero) {
  ParameterSetBuffer p = Snapshot(EffectCode("efT0"), 0, 150);
  p.RainbowFrequency = 107;
  p.Intensity = 300;
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

TEST(SpikeLayouts, VectorStarBendsTheRaysTowardsTheVertical) {
  EXPECT_EQ(Angles(LayOutPrimarySpikes(Settings(EffectCode("efT5"), 8, 150))),
            (std::vector<int32_t>{247, 553, 1050, 1746, 2047, 2353, 2850, 3546}));
  EXPECT_EQ(Angles(LayOutPrimarySpikes(Settings(EffectCode("efT5"), 5, 0))),
            (std::vector<int32_t>{97, 686, 1721, 2121, 2933}));
}

TEST(SpikeLayouts, HyperStarPairsOpposedRaysFromTheSecondaryTable) {
  const std::vector<SpikeRay> expected = {{1050, 1916711936}, {2850, 1533369600}, {964, 645317760},
                                          {2764, 193595328},  {830, 192411248},   {2630, 57723376},
                                          {570, 737576448},   {2370, 590061184},  {1190, 266415584},
                                          {2990, 79924680},   {1450, 964523072},  {3250, 771618496},
                                          {1563, 727585856},  {3363, 218275760}};
  EXPECT_EQ(LayOutPrimarySpikes(Settings(EffectCode("efT3"), 14, 150)), expected);

  StarSettings strong = Settings(EffectCode("efT3"), 3, -900);
  strong.amplitude = 0xFFFFFFFE;  // 4.96 x the amplitude saturates
  const std::vector<SpikeRay> saturated = {
      {0, 0xFFFFFFFE}, {1800, 0xFFFFFFFE}, {260, 2576980480u}, {2060, 3865470720u}};
  EXPECT_EQ(LayOutPrimarySpikes(strong), saturated);
}

TEST(SpikeLayouts, StarBurstPairsOpposedRaysFromTheSecondaryTable) {
  const std::vector<SpikeRay> expected = {
      {3780, 777045440}, {5580, 466227296}, {3435, 296017312}, {5235, 296017312}, {3235, 111006488},
      {5035, 111006488}, {3060, 851049728}, {4860, 510629856}, {2635, 111006488}, {4435, 111006488},
      {2460, 629036800}, {4260, 377422080}, {2075, 629036800}, {3875, 629036800}};
  EXPECT_EQ(LayOutPrimarySpikes(Settings(EffectCode("efT6"), 14, 150)), expected);
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
  EXPECT_EQ(rays[0], (SpikeRay{-60, 32 * (21184361u / 100)}));
  EXPECT_EQ(rays[41], (SpikeRay{3420, 20 * (21184361u / 100)}));
  s.secondaryIntensity = 0;
  EXPECT_TRUE(LayOutSecondarySpikes(s).empty());
}

}  // namespace
}  // namespace lumeray
