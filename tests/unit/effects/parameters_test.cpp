#include <gtest/gtest.h>

#include <cstring>

#include "effects/effect_types.h"
#include "effects/parameter_set.h"
#include "effects/parameter_set_buffer.h"
#include "effects/preview_task_callback.h"

namespace lumeray {
namespace {

TEST(ParameterSet, FactoryBlockBytesAreLittleEndianAndVersioned) {
  const uint8_t expected[40] = {
      0,    0,    0,    0,    0,   0, 5,  0,  // version 0.0.0.5
      50,   0,    50,   0,    150, 0, 6,  0,  // Intensity, Length, Angle, NumberOfPoints
      50,   0,    30,   0,    50,  0, 50, 0,  // Sharpness, Saturation, Rainbow I, Rainbow F
      15,   0,    30,   0,    0,   0, 0,  0,  // Secondary, Soft Flare, EffectsOnly, padding
      0x30, 0x54, 0x66, 0x65, 50,  0, 0,  0,  // 'efT0', Quantity, padding
  };
  EXPECT_EQ(std::memcmp(&kFactoryParameters, expected, sizeof expected), 0);
}

TEST(ParameterSet, SliderTableMatchesTheFactoryBlockAndRanges) {
  ASSERT_EQ(SliderTable().size(), 11u);
  EXPECT_EQ(SliderTable().front().id, SliderId::kQuantity);
  EXPECT_EQ(SliderTable().back().id, SliderId::kSoftFlareIntensity);
  for (const SliderDescriptor& s : SliderTable()) {
    EXPECT_EQ(kFactoryParameters.*(s.field), s.defaultValue) << s.name;
    EXPECT_LE(s.minimum, s.defaultValue) << s.name;
    EXPECT_GE(s.maximum, s.defaultValue) << s.name;
    EXPECT_EQ(s.lineSize, 1) << s.name;
  }
  EXPECT_EQ(Slider(SliderId::kAngle).pageSize, 100);
  EXPECT_EQ(Slider(SliderId::kNumberOfPoints).pageSize, 8);
  EXPECT_EQ(Slider(SliderId::kIntensity).pageSize, 10);
  EXPECT_EQ(ClampToSlider(Slider(SliderId::kAngle), 901), 900);
  EXPECT_EQ(ClampToSlider(Slider(SliderId::kAngle), -900), -900);
  EXPECT_EQ(ClampToSlider(Slider(SliderId::kColorSaturation), -100), -100);
  EXPECT_EQ(ClampToSlider(Slider(SliderId::kNumberOfPoints), 0), 1);
}

TEST(EffectTypes, ComboOrderPresetsAndTerminator) {
  const auto table = EffectTypeTable();
  ASSERT_EQ(table.size(), 8u);
  EXPECT_EQ(table.back().code, 0u);
  const char* names[] = {"Standard Star", "Star Burst",  "Hyper Star",     "Hollywood Star",
                         "North Star",    "Vector Star", "Religious Cross"};
  const int16_t presets[] = {6, 14, 14, 4, 4, 8, 4};
  for (int i = 0; i < 7; ++i) {
    EXPECT_STREQ(table[i].name, names[i]);
    ParameterSet p = kFactoryParameters;
    p.NumberOfPoints = 20;
    ASSERT_TRUE(ApplyEffectPreset(&table[i], &p));
    EXPECT_EQ(p.NumberOfPoints, presets[i]) << names[i];
  }
  EXPECT_EQ(table[1].code, EffectCode("efT6"));
  EXPECT_EQ(EffectCode("efT0"), 0x65665430u);
}

TEST(EffectTypes, UnknownCodesSelectStandardStarAndChangeNothing) {
  EXPECT_EQ(EffectComboIndex(EffectCode("zzzz")), 0);
  EXPECT_EQ(EffectComboIndex(EffectCode("efT2")), 6);
  ParameterSet p = kFactoryParameters;
  const EffectTypeRow bogus{EffectCode("efT9"), "Bogus", 3};
  EXPECT_FALSE(ApplyEffectPreset(&bogus, &p));
  EXPECT_FALSE(ApplyEffectPreset(nullptr, &p));
  EXPECT_EQ(p.NumberOfPoints, 6);
  EXPECT_EQ(FindEffectTypeByName("Vector Star")->code, EffectCode("efT5"));
  EXPECT_EQ(FindEffectTypeByName("vector star"), nullptr);
}

TEST(Snapshots, FinalRenderSnapshotCopiesOnlyTheEffectFields) {
  ParameterSet p = kFactoryParameters;
  p.EffectsOnly = 1;
  p.ColorSaturation = -100;
  p.EffectType = EffectCode("efT4");
  const ParameterSetBuffer b = MakeFinalRenderSnapshot(p);
  EXPECT_EQ(b.sequenceNumber, 0u);
  EXPECT_EQ(b.zoom, 100.0);
  EXPECT_EQ(b.EffectsOnly, 1);
  EXPECT_EQ(b.ColorSaturation, -100);
  EXPECT_EQ(b.EffectType, EffectCode("efT4"));
  EXPECT_EQ(b.Quantity, 50);
  EXPECT_EQ(b.monitor, nullptr);
}

TEST(Snapshots, PreviewSnapshotsAreNumberedInOrderThroughTheCallback) {
  ParameterSet p = kFactoryParameters;
  PreviewTaskSources sources;
  sources.parameters = &p;
  SetPreviewTaskSources(sources);
  auto* first =
      reinterpret_cast<ParameterSetBuffer*>(PreviewTaskCallback(kPreviewAllocateSnapshot, nullptr));
  p.Length = 99;
  auto* second =
      reinterpret_cast<ParameterSetBuffer*>(PreviewTaskCallback(kPreviewAllocateSnapshot, nullptr));
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_GT(second->sequenceNumber, first->sequenceNumber);
  EXPECT_EQ(first->Length, 50);
  EXPECT_EQ(second->Length, 99);
  delete first;
  delete second;
  EXPECT_EQ(PreviewTaskCallback(7, nullptr), 0);
  TraceRenderingParametersArgs trace{"message", nullptr};
  EXPECT_EQ(PreviewTaskCallback(kPreviewTraceRenderingParameters, &trace), 1);
  SetPreviewTaskSources({});
}

TEST(Snapshots, WaitForInitializationSetsTheSplashIntervalOnItsFirstCall) {
  uint32_t interval = 0;
  bool finished = false;
  WaitForInitializationArgs args{0, &interval, &finished, 0};
  EXPECT_EQ(PreviewTaskCallback(kPreviewWaitForInitialization, &args), 1);
  EXPECT_EQ(interval, 250u);
  args.state = 9;
  EXPECT_EQ(WaitForInitialization(&args), 1);
}

}  // namespace
}  // namespace lumeray
