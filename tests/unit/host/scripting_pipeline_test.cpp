// Stored and scripted parameters across whole runs: what Start takes and what Finish records.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "support/module_log.h"
#include "unit/host/fake_descriptors.h"
#include "unit/host/fake_host.h"
#include "unit/temp_home.h"

namespace lumeray {
namespace {

using testing::FakeHost;

ParameterSet& HandleParameters(FakeHost& host) {
  return host.Contents<ParameterSet>(host.record().parameters);
}

class ScriptingPipeline : public ::testing::Test {
 protected:
  testing::TempHome home;
  testing::CapturedMessages messages;
};

TEST_F(ScriptingPipeline, ARegistryBlockOfAnOlderVersionGivesTheFactoryDefaults) {
  {
    FakeHost first;  // leaves a last-saved file that would otherwise be taken
    ASSERT_EQ(first.Call(kFilterSelectorPrepare), 0);
    ASSERT_EQ(first.Call(kFilterSelectorStart), 0);
    HandleParameters(first).Intensity = 77;
    ASSERT_EQ(first.Call(kFilterSelectorFinish), 0);
  }
  FakeHost host;
  ParameterSet old = kFactoryParameters;
  old.version = {0, 0, 0, 4};
  old.Intensity = 12;
  ActionDescriptorRecord entry;
  std::vector<uint8_t>& block = entry.data[FourCC("PBlk")];
  block.assign(kParameterBlockSize, 0);
  std::memcpy(block.data(), &old, sizeof old);
  // The entry's name stays what earlier versions stored their settings under.
  const char* kEntry = "383056ce-1943-4863-835d-19c2a188df95";
  ASSERT_EQ(host.suites().descriptors().Register(kEntry, entry, true), kSPNoError);

  ASSERT_EQ(host.Call(kFilterSelectorPrepare), 0);
  ASSERT_EQ(host.Call(kFilterSelectorStart), 0);
  EXPECT_EQ(std::memcmp(&HandleParameters(host), &kFactoryParameters, sizeof(ParameterSet)), 0);
  ASSERT_EQ(host.Call(kFilterSelectorFinish), 0);

  const auto log = testing::ReadModuleLog((home.logFolder() / "LumerayPro2_00.log").string());
  EXPECT_TRUE(std::any_of(log.begin(), log.end(), [](const std::string& line) {
    return line.find("Stored version = 0.0.0.4, current version = 0.0.0.5") != std::string::npos;
  })) << "the refused block is logged";
}

}  // namespace
}  // namespace lumeray
