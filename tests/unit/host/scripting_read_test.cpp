// Reading a played-back descriptor: the values taken, the completeness rule, the message and
// the show-dialog decision.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>

#include "host/descriptor_keys.h"
#include "host/pipeline_steps.h"
#include "host/scripting_read.h"
#include "platform/module_file.h"
#include "unit/host/fake_descriptors.h"
#include "unit/host/fake_host.h"

namespace lumeray {
namespace {

constexpr const char* kIncomplete =
    "The settings provided by the editor are incomplete.  Some settings have been set to "
    "defaults.";

std::string Describe(const ParameterSet& p) {
  char text[160];
  std::snprintf(text, sizeof text, "v%d.%d.%d.%d %d %d %d %d %d %d %d %d %d %d O%d %08X Q%d",
                p.version.major, p.version.minor, p.version.revision, p.version.build, p.Intensity,
                p.Length, p.Angle, p.NumberOfPoints, p.SpikeSharpness, p.ColorSaturation,
                p.RainbowIntensity, p.RainbowFrequency, p.SecondarySpikeIntensity,
                p.SoftFlareIntensity, p.EffectsOnly, p.EffectType, p.Quantity);
  return text;
}

DescriptorItem Percent(const char (&key)[5], double value) {
  return {.key = FourCC(key), .type = kTypeUnitFloat, .unit = FourCC("#Prc"), .number = value};
}
DescriptorItem Angle(double degrees) {
  return {.key = FourCC("Angl"), .type = kTypeUnitFloat, .unit = FourCC("#Ang"), .number = degrees};
}
DescriptorItem Points(int32_t value) {
  return {.key = FourCC("numP"), .type = kTypeInteger, .integer = value};
}
DescriptorItem Effect(const char (&value)[5]) {
  return {.key = FourCC("stEf"),
          .type = kTypeEnumerated,
          .enumType = FourCC("efTy"),
          .enumValue = FourCC(value)};
}

std::vector<DescriptorItem> FullDescriptor() {
  return {{.key = FourCC("opsO"), .type = kTypeBoolean, .boolean = true},
          Effect("efT5"),
          Percent("qntY", 77),
          Percent("Intn", 12.9),
          Percent("Lngt", 99),
          Angle(-45.5),
          Points(9),
          Percent("spsH", 0),
          Percent("Strt", -100),
          Percent("rbwI", 3),
          Percent("rbwF", 4),
          Percent("sspI", 5),
          Percent("sflB", 6)};
}

ParameterSet PlayedParameters() {
  return {kCurrentParameterVersion, 12, 99, -455, 9, 0, -100, 3, 4, 5, 6, 1, 0,
          FourCC("efT5"),           77, 0};
}

// What the registry or the last-saved file left before the descriptor is read.
ParameterSet StoredParameters() {
  ParameterSet p = kFactoryParameters;
  p.Intensity = 88;
  p.NumberOfPoints = 20;
  p.SoftFlareIntensity = 80;
  return p;
}

class ScriptingRead : public ::testing::Test {
 protected:
  void SetUp() override {
    host.record.descriptorParameters = scripting.parameters();
    host.record.errorString = errorString.data();
    played = FullDescriptor();
  }

  // Reads over the stored parameters with a show-dialog flag of 1; returns the decision.
  bool Read(int16_t playInfo) {
    scripting.Play(played);
    scripting.parameters()->playInfo = playInfo;
    host.parameters = StoredParameters();
    host.showDialogFlag = 1;
    bool showDialog = false;
    EXPECT_EQ(ReadScriptingParameters(&showDialog), 0);
    return showDialog;
  }
  void Set(const DescriptorItem& item) {
    for (DescriptorItem& at : played) {
      if (at.key == item.key) at = item;
    }
  }
  void Remove(DescriptorKeyID key) {
    std::erase_if(played, [&](const DescriptorItem& item) { return item.key == key; });
  }
  // True when exactly one incomplete-settings warning was shown since the last call.
  bool WarnedIncomplete() {
    const bool warned = messages.shown.size() == 1 &&
                        messages.shown[0].title == "Incomplete Settings" &&
                        messages.shown[0].text == kIncomplete &&
                        (messages.shown[0].flags & platform::kMbIconMask) == kIconWarning;
    messages.shown.clear();
    return warned;
  }

  testing::FakeHost handles;  // the editor's handles and descriptor procedures
  testing::HostUnderTest host;
  testing::Scripting scripting;
  std::vector<DescriptorItem> played;
  testing::CapturedMessages messages;
  std::array<unsigned char, 256> errorString{};
};

TEST_F(ScriptingRead, CompleteDescriptorTakesExactlyThePlayedValues) {
  EXPECT_FALSE(Read(kPlayDialogSilent));
  EXPECT_EQ(Describe(host.parameters), Describe(PlayedParameters()));
  EXPECT_TRUE(Read(kPlayDialogDisplay));
  EXPECT_FALSE(Read(kPlayDialogDontDisplay));
  EXPECT_EQ(Describe(host.parameters), Describe(PlayedParameters()));
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_EQ(errorString[0], 0);
}

TEST_F(ScriptingRead, MissingKeyTakesTheFactoryValueWarnsAndFollowsPlayInfo) {
  Remove(FourCC("sflB"));
  ParameterSet expected = PlayedParameters();
  expected.SoftFlareIntensity = 30;  // the factory value, not the stored 80

  EXPECT_TRUE(Read(kPlayDialogDisplay));
  EXPECT_EQ(Describe(host.parameters), Describe(expected));
  EXPECT_TRUE(WarnedIncomplete());
  EXPECT_TRUE(Read(kPlayDialogDontDisplay));
  EXPECT_TRUE(WarnedIncomplete());
  EXPECT_EQ(errorString[0], 0) << "only a silent replay hands the host the text";

  EXPECT_FALSE(Read(kPlayDialogSilent));
  EXPECT_EQ(Describe(host.parameters), Describe(expected));
  EXPECT_TRUE(WarnedIncomplete());
  ASSERT_EQ(errorString[0], 93);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&errorString[1]), 93), kIncomplete);
}

TEST_F(ScriptingRead, ExtraAndAbsentKeysMakeTheDescriptorIncomplete) {
  played.push_back(Points(1));
  played.back().key = FourCC("xtra");  // a fourteenth key
  EXPECT_TRUE(Read(kPlayDialogDisplay));
  EXPECT_TRUE(WarnedIncomplete());
  EXPECT_EQ(Describe(host.parameters), Describe(PlayedParameters()));

  played.clear();
  EXPECT_TRUE(Read(kPlayDialogDisplay));
  EXPECT_TRUE(WarnedIncomplete());
  EXPECT_EQ(Describe(host.parameters), Describe(kFactoryParameters));
}

TEST_F(ScriptingRead, ValuesThatCannotBeGotAreNotTakenButTheOthersAre) {
  // A key of another type than its row and a percentage without its unit.
  Set({.key = FourCC("numP"), .type = kTypeFloat, .number = 9});
  Set({.key = FourCC("qntY"), .type = kTypeFloat, .number = 77});
  ParameterSet expected = PlayedParameters();
  expected.NumberOfPoints = kFactoryParameters.NumberOfPoints;
  expected.Quantity = kFactoryParameters.Quantity;
  EXPECT_FALSE(Read(kPlayDialogSilent));
  EXPECT_TRUE(WarnedIncomplete());
  EXPECT_EQ(Describe(host.parameters), Describe(expected));

  // When the very last get fails, its status is the read's: nothing played is applied.
  Set({.key = FourCC("sflB"), .type = kTypeFloat, .number = 6});
  EXPECT_FALSE(Read(kPlayDialogSilent));
  EXPECT_TRUE(WarnedIncomplete());
  EXPECT_EQ(Describe(host.parameters), Describe(StoredParameters()));
}

TEST_F(ScriptingRead, PlayedValuesEndInsideTheirSliderRanges) {
  Set(Percent("qntY", 1e9));
  Set(Percent("Lngt", 100000));
  Set(Points(-6));
  Set(Percent("sflB", -5));
  Set(Angle(1e6));
  Set(Percent("Strt", -1e12));
  Set(Effect("efT9"));
  Read(kPlayDialogSilent);
  for (const SliderDescriptor& slider : SliderTable()) {
    const int value = host.parameters.*slider.field;
    EXPECT_GE(value, slider.minimum) << slider.label;
    EXPECT_LE(value, slider.maximum) << slider.label;
  }
  EXPECT_EQ(host.parameters.EffectType, kFactoryParameters.EffectType) << "an unknown effect";
  EXPECT_EQ(host.parameters.Intensity, 12) << "values in range are kept";
}

TEST_F(ScriptingRead, WithoutAUsableDescriptorTheParametersAndTheFlagStand) {
  auto expectUntouched = [&](const char* what) {
    SCOPED_TRACE(what);
    host.parameters = StoredParameters();
    host.showDialogFlag = 0;
    bool showDialog = true;
    EXPECT_EQ(ReadScriptingParameters(&showDialog), 0);
    EXPECT_FALSE(showDialog);
    EXPECT_EQ(Describe(host.parameters), Describe(StoredParameters()));
    EXPECT_TRUE(messages.shown.empty());
  };
  std::vector<uint8_t> garbage = {1, 2, 3};
  scripting.parameters()->descriptor = handles.handles().NewCopy(garbage);
  expectUntouched("the descriptor cannot be opened");
  scripting.parameters()->descriptor = nullptr;
  expectUntouched("no descriptor");
  scripting.readProcs().getEnumeratedProc = nullptr;
  expectUntouched("a read procedure missing");
  host.record.descriptorParameters = nullptr;
  expectUntouched("no descriptor parameters");
}

TEST(ScriptingHostRule, OnlyThatHostsProgramPathMatches) {
  EXPECT_TRUE(IsHostWithIncompleteDescriptors(
      "C:\\Program Files\\Corel\\CorelDRAW Graphics Suite X6\\Programs\\CorelPP.exe"));
  EXPECT_FALSE(IsHostWithIncompleteDescriptors(
      "C:\\Program Files\\Corel\\CorelDRAW Graphics Suite X7\\Programs\\CorelPP.exe"));
  EXPECT_FALSE(IsHostWithIncompleteDescriptors(platform::HostProgramPath()));
}

}  // namespace
}  // namespace lumeray
