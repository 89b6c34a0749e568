// Stored and scripted parameters across whole runs: what Start takes and what Finish records.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "host/registry_parameters.h"
#include "support/module_log.h"
#include "unit/host/fake_descriptors.h"
#include "unit/host/fake_host.h"
#include "unit/temp_home.h"

namespace lumeray {
namespace {

using testing::FakeHost;

ParameterSet& HandleParameters(FakeHost& host) {
  return *reinterpret_cast<ParameterSet*>(host.record().parameters->bytes.data());
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

  const auto log = testing::ReadModuleLog((home.logFolder() / "LumerayPro2_00.log").string());
  EXPECT_TRUE(std::any_of(log.begin(), log.end(), [](const std::string& line) {
    return line.find("Stored version = 0.0.0.4, current version = 0.0.0.5") != std::string::npos;
  })) << "the refused block is logged";
}

}  // namespace
}  // namespace lumeray
