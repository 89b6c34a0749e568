// The two effect renderers: initialisation, binding a render's parameters, rebuilding after a
// change, and the release at the end of a run.
#include "analysis/shape_operations.h"
#include "host/pipeline_steps.h"
#include "image/blend.h"
#include "render_test_support.h"

namespace lumeray {
namespace {

using testing::RenderTest;

class EffectRenderersTest : public RenderTest {
 protected:
  void SetUp() override {
    RenderTest::SetUp();
    MakeOutput(kImageModeRgb8, 64, 64);
  }

  // Draws the star at a phase; true when it drew and the sub-shape is built.
  static bool DrawStar(int xPhase, int yPhase) {
    const WorkingPixel colour{0xFFFFFFFE, 0xFFFFFFFE, 0xFFFFFFFE, 0xFFFFFFFE, 0xFFFFFFFE};
    return DrawShapeInto(&InputImage(), InputImage().dataRect, StarShape(Renderers()), colour,
                         {32, xPhase, 32, yPhase}, kBlendScreen,
                         Analysis().presenceThreshold.load()) &&
           StarShape(Renderers())->subShapes[SubShapeIndex(xPhase, yPhase)].built != 0;
  }
  static bool AnyBuilt(const EffectShape* shape) {
    for (const SubShape& s : shape->subShapes) {
      if (s.built) return true;
    }
    return false;
  }
};

TEST_F(EffectRenderersTest, SubShapesStayWhileTheEffectFieldsStayAndAreRebuiltAfterAChange) {
  ParameterSetBuffer snapshot = PlainStar(EffectCode("efT0"), 6, 150);
  BindEffectRenderers(Renderers(), snapshot, CurrentRenderImageFacts(Analysis()));
  ASSERT_TRUE(DrawStar(1, 2));
  EXPECT_EQ(std::memcmp(StarShape(Renderers())->builtParameters, &snapshot, sizeof snapshot), 0);

  // A new snapshot of the same settings (another sequence number, zoom, view) keeps the star.
  ParameterSetBuffer again = snapshot;
  again.sequenceNumber += 7;
  again.view.zoom = 50.0;
  BindEffectRenderers(Renderers(), again, CurrentRenderImageFacts(Analysis()));
  EXPECT_TRUE(StarShape(Renderers())->subShapes[SubShapeIndex(1, 2)].built);

  // Another angle empties every sub-shape of both shapes.
  ParameterSetBuffer turned = snapshot;
  turned.parameters.Angle = 300;
  BindEffectRenderers(Renderers(), turned, CurrentRenderImageFacts(Analysis()));
  EXPECT_FALSE(AnyBuilt(StarShape(Renderers())));
  EXPECT_FALSE(AnyBuilt(SoftFlareShape(Renderers())));
  ASSERT_TRUE(DrawStar(1, 2));

  // So does another image (its diagonal or depth).
  RenderImageFacts other = CurrentRenderImageFacts(Analysis());
  other.presenceThreshold = 2048;
  BindEffectRenderers(Renderers(), turned, other);
  EXPECT_FALSE(AnyBuilt(StarShape(Renderers())));
}

TEST_F(EffectRenderersTest, SameEffectFieldsComparesOnlyWhatShapesAStar) {
  const ParameterSetBuffer a = PlainStar(EffectCode("efT0"), 6, 150);
  ParameterSetBuffer b = a;
  b.view.scrollPosition[0] = 99;
  b.view.lightSourceGeneration = 3;
  b.parameters.version = {};
  EXPECT_TRUE(SameEffectFields(a, b));
  for (int16_t ParameterSet::*field :
       {&ParameterSet::Intensity, &ParameterSet::Length, &ParameterSet::Angle,
        &ParameterSet::NumberOfPoints, &ParameterSet::SpikeSharpness,
        &ParameterSet::ColorSaturation, &ParameterSet::RainbowIntensity,
        &ParameterSet::RainbowFrequency, &ParameterSet::SecondarySpikeIntensity,
        &ParameterSet::SoftFlareIntensity, &ParameterSet::Quantity}) {
    ParameterSetBuffer c = a;
    c.parameters.*field = static_cast<int16_t>(c.parameters.*field + 1);
    EXPECT_FALSE(SameEffectFields(a, c));
  }
  b.parameters.EffectsOnly = a.parameters.EffectsOnly == 0 ? 1 : 0;
  EXPECT_FALSE(SameEffectFields(a, b));
  b = a;
  b.parameters.EffectType = EffectCode("efT1");
  EXPECT_FALSE(SameEffectFields(a, b));
}

TEST_F(EffectRenderersTest, ReleasingFreesTheSubShapesAndBindingBuildsThemAgain) {
  const ParameterSetBuffer snapshot = PlainStar(EffectCode("efT0"), 6, 150);
  BindEffectRenderers(Renderers(), snapshot, CurrentRenderImageFacts(Analysis()));
  ASSERT_TRUE(DrawStar(0, 0));
  ReleaseEffectTables(Renderers());
  for (const SubShape& s : StarShape(Renderers())->subShapes) {
    EXPECT_EQ(s.built, 0u);
    EXPECT_EQ(s.data(), nullptr);
  }
  BindEffectRenderers(Renderers(), snapshot, CurrentRenderImageFacts(Analysis()));
  EXPECT_TRUE(DrawStar(0, 0));
}

}  // namespace
}  // namespace lumeray
