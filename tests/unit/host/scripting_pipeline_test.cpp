// Stored and scripted parameters across whole runs: what Start takes and what Finish records.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "host/descriptor_keys.h"
#include "host/registry_parameters.h"
#include "unit/host/fake_descriptors.h"
#include "unit/host/fake_host.h"
#include "unit/temp_home.h"

namespace lumeray {
namespace {

using testing::FakeHost;

ParameterSet& HandleParameters(FakeHost& host) {
  return *reinterpret_cast<ParameterSet*>(host.record().parameters->bytes.data());
}

std::string ReadUtf16File(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  std::string text;
  for (size_t i = 2; i + 1 < bytes.size(); i += 2) text.push_back(bytes[i + 1] ? '?' : bytes[i]);
  return text;
}

class ScriptingPipeline : public ::testing::Test {
 protected:
  testing::TempHome home;
  testing::CapturedMessages messages;
};

TEST_F(ScriptingPipeline, ASilentReplayRendersWithoutTheDialogAndIsRecordedAtFinish) {
  FakeHost host;
  testing::FakeSuites suites(host.record());
  testing::FakeScripting scripting;
  scripting.newHandle = host.record().handleProcs->newProc;
  scripting.parameters()->playInfo = kPlayDialogSilent;
  scripting.parameters()->descriptor = scripting.newHandle(0);
  for (const DescriptorKeyRow& row : kDescriptorKeyTable) {
    const bool unit = row.unit != kNoUnit;
    scripting.played.push_back({row.key, unit ? kTypeUnitFloat : row.type,
                                row.type == kTypeEnumerated ? FourCC("efT6") : 22.5,
                                unit ? row.unit : row.enumType});
  }
  host.record().descriptorParameters = scripting.parameters();

  ASSERT_EQ(host.Call(kFilterSelectorPrepare), 0);
  ASSERT_EQ(host.Call(kFilterSelectorStart), 0);
  const ParameterSet played = HandleParameters(host);
  EXPECT_EQ(played.Angle, 225);
  EXPECT_EQ(played.Intensity, 22);
  EXPECT_EQ(played.EffectType, FourCC("efT6"));
  EXPECT_EQ(host.dataHandle()->bytes[0], 1) << "no dialog ran";

  ASSERT_EQ(host.Call(kFilterSelectorFinish), 0);
  const std::vector<uint8_t>& stored = suites.Block(kRegistryParametersKey);
  ASSERT_EQ(stored.size(), 255u);
  EXPECT_EQ(std::memcmp(stored.data(), &played, sizeof played), 0);
  EXPECT_EQ(scripting.closed[scripting.parameters()->descriptor].size(), 13u);
  EXPECT_EQ(suites.liveDescriptors, 0);
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(ScriptingPipeline, ARegistryBlockOfAnOlderVersionGivesTheFactoryDefaults) {
  {
    FakeHost first;  // leaves a last-saved file that would otherwise be taken
    ASSERT_EQ(first.Call(kFilterSelectorPrepare), 0);
    ASSERT_EQ(first.Call(kFilterSelectorStart), 0);
    HandleParameters(first).Intensity = 77;
    ASSERT_EQ(first.Call(kFilterSelectorFinish), 0);
  }
  FakeHost host;
  testing::FakeSuites suites(host.record());
  ParameterSet old = kFactoryParameters;
  old.version = {0, 0, 0, 4};
  old.Intensity = 12;
  std::vector<uint8_t>& block = suites.Block(kRegistryParametersKey);
  block.assign(kParameterBlockSize, 0);
  std::memcpy(block.data(), &old, sizeof old);

  ASSERT_EQ(host.Call(kFilterSelectorPrepare), 0);
  ASSERT_EQ(host.Call(kFilterSelectorStart), 0);
  EXPECT_EQ(std::memcmp(&HandleParameters(host), &kFactoryParameters, sizeof(ParameterSet)), 0);
  ASSERT_EQ(host.Call(kFilterSelectorFinish), 0);

  const std::string log = ReadUtf16File(home.logFolder() / "LumerayPro2_00.log");
  EXPECT_NE(log.find("'Debug:  Warning' - 'No parameter conversion could be done, using "
                     "defaults.  Stored version = 0.0.0.4, current version = 0.0.0.5"),
            std::string::npos)
      << log;
}

}  // namespace
}  // namespace lumeray
