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

TEST(ParameterSet, SlidersRunInTheDialogsOrderAroundTheFactoryValues) {
  int16_t ParameterSet::*const order[] = {&ParameterSet::Quantity,
                                          &ParameterSet::Intensity,
                                          &ParameterSet::Length,
                                          &ParameterSet::Angle,
                                          &ParameterSet::NumberOfPoints,
                                          &ParameterSet::SpikeSharpness,
                                          &ParameterSet::ColorSaturation,
                                          &ParameterSet::RainbowIntensity,
                                          &ParameterSet::RainbowFrequency,
                                          &ParameterSet::SecondarySpikeIntensity,
                                          &ParameterSet::SoftFlareIntensity};
  ASSERT_EQ(SliderTable().size(), std::size(order));
  for (size_t i = 0; i < std::size(order); ++i) {
    const SliderDescriptor& s = SliderTable()[i];
    EXPECT_EQ(s.field, order[i]) << s.label;
    EXPECT_EQ(SliderIndex(order[i]), i) << s.label;
    EXPECT_EQ(ClampToSlider(s, kFactoryParameters.*s.field), kFactoryParameters.*s.field);
  }
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

TEST(Snapshots, PreviewSnapshotsAreNumberedInOrderThroughTheCallback) {
  ParameterSet p = kFactoryParameters;
  PreviewTaskSources sources;
  sources.parameters = &p;
  auto* first = reinterpret_cast<ParameterSetBuffer*>(
      PreviewTaskCallback(sources, kPreviewAllocateSnapshot, nullptr));
  p.Length = 99;
  auto* second = reinterpret_cast<ParameterSetBuffer*>(
      PreviewTaskCallback(sources, kPreviewAllocateSnapshot, nullptr));
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_GT(second->sequenceNumber, first->sequenceNumber);
  EXPECT_EQ(first->parameters.Length, 50);
  EXPECT_EQ(second->parameters.Length, 99);
  delete first;
  delete second;
  EXPECT_EQ(PreviewTaskCallback(sources, 7, nullptr), 0);
  TraceRenderingParametersArgs trace{"message", nullptr};
  EXPECT_EQ(PreviewTaskCallback(sources, kPreviewTraceRenderingParameters, &trace), 1);
}

TEST(Snapshots, WaitForInitializationSetsTheSplashIntervalOnItsFirstCall) {
  uint32_t interval = 0;
  bool finished = false;
  WaitForInitializationArgs args{0, &interval, &finished, 0};
  const PreviewTaskSources sources;
  EXPECT_EQ(PreviewTaskCallback(sources, kPreviewWaitForInitialization, &args), 1);
  EXPECT_EQ(interval, 250u);
  args.state = 9;
  EXPECT_EQ(WaitForInitialization(sources, &args), 1);
}

}  // namespace
}  // namespace lumeray
