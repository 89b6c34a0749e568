// The real module driven with played-back descriptors: what it renders with, what it records at
// Finish, and what it keeps in the host's registry.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "descriptor_registry.h"
#include "host_session.h"
#include "image_io.h"
#include "module_loader.h"
#include "played_settings.h"
#include "settings.h"
#include "support/temp_dir.h"
#include "support/test_images.h"

namespace lumeray {
namespace {

constexpr char kRegistryEntry[] = "383056ce-1943-4863-835d-19c2a188df95";
constexpr size_t kRegistryBlockBytes = 255;

HostImage Sample() {
  return testing::ReadTestImage(std::string(LUMERAY_SAMPLES_DIR) + "/hubble_deep_field.jpg");
}

struct Played {
  Descriptor settings;
  int16_t playInfo = kPlayDialogSilent;
};

// Settings far from the factory ones in every key.
Descriptor DistinctSettings() {
  Descriptor given;
  given.PutBoolean(FourCC("opsO"), false);
  given.PutEnumerated(FourCC("stEf"), kEffectEnumType, FourCC("efT5"));
  given.PutUnitFloat(FourCC("qntY"), kUnitPercent, 80);
  given.PutUnitFloat(FourCC("Intn"), kUnitPercent, 73);
  given.PutUnitFloat(FourCC("Lngt"), kUnitPercent, 42);
  given.PutUnitFloat(FourCC("Angl"), kUnitAngle, 22.5);
  given.PutInteger(FourCC("numP"), 9);
  given.PutUnitFloat(FourCC("spsH"), kUnitPercent, 61);
  given.PutUnitFloat(FourCC("Strt"), kUnitPercent, 12);
  given.PutUnitFloat(FourCC("rbwI"), kUnitPercent, 33);
  given.PutUnitFloat(FourCC("rbwF"), kUnitPercent, 77);
  given.PutUnitFloat(FourCC("sspI"), kUnitPercent, 25);
  given.PutUnitFloat(FourCC("sflB"), kUnitPercent, 44);
  return CompleteSettings(given);
}

class ScriptedRun : public ::testing::Test {
 protected:
  RunOutcome Run(HostImage& image, const Descriptor* played, int16_t playInfo,
                 const std::string& registryFile = "") {
    std::string error;
    const auto module = LoadedModule::Load(LUMERAY_MODULE_PATH, HostImageMode(image), &error);
    EXPECT_NE(module, nullptr) << error;
    if (module == nullptr) {
      RunOutcome failed;
      failed.result = kParamErr;
      return failed;
    }
    HostSession session(module->entry());
    EXPECT_TRUE(session.UseRegistryFile(registryFile, &error)) << error;
    RunOptions options;
    options.played = played;
    options.playInfo = playInfo;
    RunOutcome outcome = session.Run(image, options);
    EXPECT_EQ(outcome.counters.suitesHeld, 0);
    EXPECT_EQ(outcome.counters.unbalancedSuiteReleases, 0) << "released with the version held";
    EXPECT_EQ(outcome.counters.badHandleCalls, 0);
    EXPECT_EQ(outcome.counters.liveActionDescriptors, 0u) << "every descriptor made is freed";
    return outcome;
  }

  static void ExpectSameValues(const Descriptor& recorded, const Descriptor& played) {
    ASSERT_EQ(recorded.size(), played.size());
    for (const DescriptorItem& item : played.items()) {
      const DescriptorItem* got = recorded.Find(item.key);
      ASSERT_NE(got, nullptr);
      EXPECT_EQ(got->type, item.type);
      EXPECT_EQ(got->unit, item.unit);
      EXPECT_EQ(got->number, item.number);
      EXPECT_EQ(got->integer, item.integer);
      EXPECT_EQ(got->boolean, item.boolean);
      EXPECT_EQ(got->enumValue, item.enumValue);
    }
  }

  testing::TempDir dir_;
};

TEST_F(ScriptedRun, ACompleteSilentDescriptorRendersWithExactlyThePlayedValues) {
  const Descriptor played = DistinctSettings();
  HostImage image = Sample();
  const HostImage original = image;
  const RunOutcome outcome = Run(image, &played, kPlayDialogSilent);
  ASSERT_TRUE(outcome.ok()) << outcome.moduleMessage << outcome.hostMessage;
  EXPECT_EQ(outcome.errorString, "") << "no incomplete-settings warning";
  EXPECT_EQ(outcome.counters.selectorCalls[kFilterSelectorParameters], 0);
  ASSERT_TRUE(outcome.hasRecorded);
  ExpectSameValues(outcome.recorded, played);
  EXPECT_NE(image.pixels, original.pixels) << "stars were drawn";

  HostImage factoryImage = Sample();
  const Descriptor factory = CompleteSettings({});
  ASSERT_TRUE(Run(factoryImage, &factory, kPlayDialogSilent).ok());
  EXPECT_NE(image.pixels, factoryImage.pixels) << "the played values, not the factory ones";
}

TEST_F(ScriptedRun, TheRegistryEntryOutlivesTheSession) {
  const std::string file = (dir_.path() / "registry").string();
  Descriptor played = DistinctSettings();
  HostImage first = Sample();
  ASSERT_TRUE(Run(first, &played, kPlayDialogSilent, file).ok());

  DescriptorStore stored;
  std::string error;
  ASSERT_TRUE(stored.UseRegistryFile(file, &error)) << error;
  const RegistryEntry* entry = stored.Find(kRegistryEntry);
  ASSERT_NE(entry, nullptr);
  EXPECT_TRUE(entry->persistent);
  const auto block = entry->values.data.find(FourCC("PBlk"));
  ASSERT_NE(block, entry->values.data.end());
  EXPECT_EQ(block->second.size(), kRegistryBlockBytes);

  // A second session with nothing played takes the stored settings.
  HostImage second = Sample();
  const RunOutcome outcome = Run(second, nullptr, kPlayDialogSilent, file);
  ASSERT_TRUE(outcome.ok());
  ASSERT_TRUE(outcome.hasRecorded);
  ExpectSameValues(outcome.recorded, played);
  EXPECT_EQ(second.pixels, first.pixels);
}

}  // namespace
}  // namespace lumeray
