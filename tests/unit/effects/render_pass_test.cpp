// The effects pass: which light sources get stars, the colour they are drawn in, the progress
// it reports, and how it stops.
#include "render_test_support.h"

namespace lumeray {
namespace {

using testing::gProgressBudget;
using testing::gProgressUnits;
using testing::RenderTest;

constexpr WorkingPixel kBlack{0, 0, 0, 0xFFFFFFFE, 0xFFFFFFFE};

TEST(EffectsPass, QuantityCutAndVisibility) {
  EXPECT_EQ(QuantityCut(100), 0u);
  EXPECT_EQ(QuantityCut(150), 0u);
  EXPECT_EQ(QuantityCut(0), 4294967294u);
  EXPECT_EQ(QuantityCut(50), 1073741823u);
  EXPECT_EQ(QuantityCut(99), 429496u);
  EXPECT_EQ(QuantityCut(-20), 4294967294u);

  LightSourceEntry e{};
  e.brightness = 1073741823u;
  e.state = kLightSourceNormal;
  EXPECT_FALSE(IsLightSourceVisible(e, QuantityCut(50)));  // not above the cut
  e.brightness += 1;
  EXPECT_TRUE(IsLightSourceVisible(e, QuantityCut(50)));
  e.brightness = 1;
  EXPECT_TRUE(IsLightSourceVisible(e, QuantityCut(100)));
  e.brightness = 0;
  EXPECT_FALSE(IsLightSourceVisible(e, QuantityCut(100)));
  e.state = kLightSourceShown;
  EXPECT_TRUE(IsLightSourceVisible(e, QuantityCut(0)));
  e.state = kLightSourceHidden;
  e.brightness = 0xFFFFFFFE;
  EXPECT_FALSE(IsLightSourceVisible(e, QuantityCut(100)));

  EXPECT_EQ(SoftFlareFactor(30), 386547056u);
  EXPECT_EQ(SoftFlareFactor(100), 4294967294u);
  EXPECT_EQ(SoftFlareFactor(0), 0u);
}

class EffectsPassRender : public RenderTest {
 protected:
  void SetUp() override {
    RenderTest::SetUp();
    MakeOutput(kImageModeRgb16, 200, 160);
  }
  // Whether the one-point star pointing up from (x, y) was drawn.
  static bool StarAbove(int32_t x, int32_t y) { return Brightest(PixelAt(x, y - 20)) > 0; }
};

TEST_F(EffectsPassRender, QuantityAndTheUsersChoiceDecideWhichSourcesAreDrawn) {
  LightSourceEntry brightest = Source(50, 0, 100, 0);
  brightest.brightness = 0xFFFFFFFE;
  LightSourceEntry shown = Source(150, 0, 100, 0, kLightSourceShown);
  shown.brightness = 1;
  SetSources({brightest, shown});
  ParameterSetBuffer snapshot = PlainStar(EffectCode("efT0"), 1, 0);
  snapshot.parameters.Quantity = 0;
  ASSERT_TRUE(Render(snapshot));
  EXPECT_FALSE(StarAbove(50, 100));
  EXPECT_TRUE(StarAbove(150, 100));

  snapshot.parameters.Quantity = 100;
  ASSERT_TRUE(Render(snapshot));
  EXPECT_TRUE(StarAbove(50, 100));

  // Hidden by the user: never drawn, however bright.
  FillImage(&InputImage(), kBlack, InputImage().dataRect);
  brightest.state = kLightSourceHidden;
  SetSources({brightest, shown});
  snapshot.parameters.SoftFlareIntensity = 100;
  ASSERT_TRUE(Render(snapshot));
  EXPECT_EQ(Brightest(PixelAt(50, 100)), 0u);
  EXPECT_TRUE(StarAbove(150, 100));
}

TEST_F(EffectsPassRender, SourcesNotAboveThePresenceThresholdAreSkipped) {
  LightSourceEntry faint = Source(100, 0, 100, 0);
  faint.strength = Analysis().presenceThreshold.load();
  SetSources({faint});
  ParameterSetBuffer snapshot = PlainStar(EffectCode("efT0"), 6, 0);
  snapshot.parameters.SoftFlareIntensity = 100;
  ASSERT_TRUE(Render(snapshot, 1));
  EXPECT_EQ(Brightest(PixelAt(100, 100)), 0u);
  EXPECT_EQ(gProgressUnits, 2u);  // both passes still count the source
}

// The final render's progress total is one unit per source, band and pass that runs; the bands
// together advance exactly that.
TEST_F(EffectsPassRender, ProgressAdvancesOncePerSourceAndRunningPassInEveryBand) {
  SetSources({Source(20, 0, 20, 0), Source(100, 1, 80, 3), Source(180, 3, 140, 2)});
  ParameterSetBuffer spikes = PlainStar(EffectCode("efT0"), 6, 150);
  ASSERT_TRUE(Render(spikes, 4));
  EXPECT_EQ(gProgressUnits, 4u * 1 * 3);
  EXPECT_EQ(EffectsPassProgressUnits(spikes, 3), 3u);

  gProgressUnits = 0;
  ParameterSetBuffer both = spikes;
  both.parameters.SoftFlareIntensity = 1;
  ASSERT_TRUE(Render(both, 4));
  EXPECT_EQ(gProgressUnits, 4u * 2 * 3);

  gProgressUnits = 0;
  ParameterSetBuffer flareOnly = both;
  flareOnly.parameters.Intensity = 0;
  ASSERT_TRUE(Render(flareOnly, 2));
  EXPECT_EQ(gProgressUnits, 2u * 1 * 3);

  gProgressUnits = 0;
  ParameterSetBuffer nothing = spikes;
  nothing.parameters.Intensity = 0;
  ASSERT_TRUE(Render(nothing, 2));
  EXPECT_EQ(gProgressUnits, 0u);
  EXPECT_EQ(EffectsPassProgressUnits(nothing, 3), 0u);
}

TEST_F(EffectsPassRender, ACancelFromTheProgressStopsThePassWithMinus128) {
  SetSources({Source(20, 0, 20, 0), Source(100, 1, 80, 3), Source(180, 3, 140, 2)});
  gProgressBudget = 1;
  EXPECT_FALSE(Render(PlainStar(EffectCode("efT0"), 6, 150), 1));
  EXPECT_EQ(RunResult(), kUserCanceledErr);
  EXPECT_EQ(gProgressUnits, 2u);  // stopped at the second source
}

TEST_F(EffectsPassRender, TheRenderCancelFlagStopsBeforeAnythingIsDrawn) {
  SetSources({Source(100, 0, 80, 0)});
  const WorkingPixel grey{0x808080, 0x808080, 0x808080, 0xFFFFFFFE, 0xFFFFFFFE};
  FillImage(&InputImage(), grey, InputImage().dataRect);
  const uint32_t before = PixelAt(100, 80).red;
  BindEffectRenderers(Renderers(), PlainStar(EffectCode("efT0"), 6, 150),
                      CurrentRenderImageFacts(Analysis()));
  RequestRenderAbort();
  EXPECT_FALSE(RunEffectsPass(&InputImage(), InputImage().dataRect,
                              PlainStar(EffectCode("efT0"), 6, 150), Sources()));
  EXPECT_EQ(PixelAt(100, 80).red, before);
  EXPECT_EQ(gProgressUnits, 0u);
}

}  // namespace
}  // namespace lumeray
