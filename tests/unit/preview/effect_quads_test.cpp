// Rebuild rules, level choice and vertex chunks of the effects drawn on the graphics card.
#include <gtest/gtest.h>

#include "preview/effect_quads.h"
#include "unit/preview/preview_test_support.h"

namespace lumeray::testing {
namespace {

TEST(SelectSubShapeLevel, BrightnessBeyondWhiteMovesIntoTheLevel) {
  constexpr double kWhite = 0xFFFFFF;
  struct Case {
    double colour, k;
    int level;
    double scaled;
  };
  const Case cases[] = {
      {kWhite, 1.0, 0, 1.0},         // unit white at full weight: level 0
      {4 * kWhite, 1.0, 2, 1.0},     // four times white: level 2, a quarter of the colour
      {4 * kWhite, 0.25, 0, 1.0},    // the weight already brings it to white
      {1024 * kWhite, 1.0, 8, 1.0},  // beyond 256 units: the highest level, clamped
      {0.5 * kWhite, 1.0, 0, 0.5},   // darker than white stays at level 0
  };
  for (const Case& c : cases) {
    const double colour[3] = {c.colour, c.colour / 2, 0};
    double scaled[3];
    EXPECT_EQ(SelectSubShapeLevel(colour, c.k, scaled), c.level) << c.colour << " " << c.k;
    EXPECT_NEAR(scaled[0], c.scaled, 1e-6) << c.colour << " " << c.k;
  }
}

class EffectQuads : public PreviewTest {
 protected:
  void Draw(const ParameterSet& p) {
    ASSERT_TRUE(DisplayScaledProxy(&layer_, PreviewSnapshot(p, kClient, kClient, 100)));
  }
  static constexpr int32_t kClient = 402;
};

TEST_F(EffectQuads, OnlyTheFamiliesThatDependOnAChangeRebuild) {
  MakeScene(400, 400);
  SetSources({Source(100, 0, 100, 0), Source(300, 2, 250, 1)});
  ASSERT_TRUE(StartPreview(kClient, kClient));
  ParameterSet base = kFactoryParameters;
  base.Quantity = 100;
  Draw(base);
  struct Case {
    const char* name;
    void (*change)(ParameterSet*);
    int textures[kFamilyCount];  // main, secondary, flare
    int quads[kFamilyCount];
  };
  const Case cases[] = {
      {"Angle", [](ParameterSet* p) { p->Angle += 100; }, {0, 0, 0}, {1, 1, 0}},
      {"NumberOfPoints", [](ParameterSet* p) { p->NumberOfPoints = 8; }, {0, 0, 0}, {1, 0, 0}},
      // The secondary spikes have an intensity of their own.
      {"Intensity", [](ParameterSet* p) { p->Intensity = 70; }, {1, 0, 0}, {1, 0, 1}},
      {"SecondarySpikeIntensity",
       [](ParameterSet* p) { p->SecondarySpikeIntensity = 40; },
       {0, 1, 0},
       {0, 1, 0}},
      {"SoftFlareIntensity",
       [](ParameterSet* p) { p->SoftFlareIntensity = 60; },
       {0, 0, 0},
       {0, 0, 1}},
      {"Length", [](ParameterSet* p) { p->Length = 70; }, {1, 1, 1}, {1, 1, 1}},
      {"EffectsOnly", [](ParameterSet* p) { p->EffectsOnly = 1; }, {0, 0, 0}, {0, 0, 0}},
  };
  for (const Case& c : cases) {
    uint64_t textures[kFamilyCount], quads[kFamilyCount];
    for (int f = 0; f < kFamilyCount; ++f) {
      textures[f] = layer_.effects.family[f].textureBuilds;
      quads[f] = layer_.effects.family[f].quadBuilds;
    }
    ParameterSet changed = base;
    c.change(&changed);
    Draw(changed);
    for (int f = 0; f < kFamilyCount; ++f) {
      EXPECT_EQ(layer_.effects.family[f].textureBuilds - textures[f], uint64_t(c.textures[f]))
          << c.name << " family " << f;
      EXPECT_EQ(layer_.effects.family[f].quadBuilds - quads[f], uint64_t(c.quads[f]))
          << c.name << " family " << f;
    }
    base = changed;
  }
}

TEST_F(EffectQuads, TwentyThousandFlaresFillTwoChunks) {
  MakeScene(400, 400);
  std::vector<LightSourceEntry> sources;
  for (int i = 0; i < 20000; ++i) sources.push_back(Source(i % 200 * 2, 0, i / 200 * 4, 0));
  SetSources(sources);
  ASSERT_TRUE(StartPreview(kClient, kClient));
  ParameterSet p = kFactoryParameters;
  p.Quantity = 100;
  p.Intensity = 0;
  p.SecondarySpikeIntensity = 0;
  p.Length = 2;  // small flares: the software rasteriser fills every quad
  Draw(p);
  const GLEffectShape& flare = layer_.effects.family[kSoftFlare];
  EXPECT_EQ(flare.quadCount, 20000u);
  ASSERT_EQ(flare.chunks.size(), 2u);
  EXPECT_EQ(flare.chunks[0].vertices.size(), size_t{65532});
  EXPECT_EQ(flare.chunks[1].vertices.size(), size_t{80000 - 65532});
}

}  // namespace
}  // namespace lumeray::testing
