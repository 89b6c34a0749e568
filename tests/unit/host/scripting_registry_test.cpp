// The parameters kept in the host's descriptor registry: suites and versions, the stored block,
// and blocks that are short, unreadable or of another version.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "host/pipeline_steps.h"
#include "host/registry_parameters.h"
#include "unit/host/fake_descriptors.h"

namespace lumeray {
namespace {

using Log = std::vector<std::string>;

std::vector<uint8_t> BlockOf(const ParameterSet& parameters, size_t size = kParameterBlockSize) {
  std::vector<uint8_t> block(size, 0);
  std::memcpy(block.data(), &parameters, std::min(size, sizeof parameters));
  return block;
}

ParameterSet Stored() {
  ParameterSet p = kFactoryParameters;
  p.Intensity = 99;
  p.Angle = -305;
  return p;
}

class ScriptingRegistry : public ::testing::Test {
 protected:
  bool HoldsStored() const {
    const ParameterSet stored = Stored();
    return std::memcmp(&host.parameters, &stored, sizeof stored) == 0;
  }
  std::vector<uint8_t>& Block() { return suites.Block(kRegistryParametersKey); }

  testing::HostUnderTest host;
  testing::FakeSuites suites{host.record};
  testing::CapturedMessages messages;
};

TEST_F(ScriptingRegistry, AWrittenBlockIsReadBackAndTheSuitesReleasedInOrder) {
  host.parameters = Stored();
  host.parameters.version = {0, 0, 0, 0};  // stamped on the way out
  EXPECT_EQ(WriteRegistryParameters(), 0);
  ASSERT_EQ(Block().size(), 255u);
  EXPECT_EQ(Block()[6], 5);
  host.parameters = kFactoryParameters;
  EXPECT_EQ(ReadRegistryParameters(), 0);
  EXPECT_TRUE(HoldsStored());
  const Log once = {"acquire registry 1", "acquire descriptor 3", "release descriptor 3",
                    "release registry 1"};
  EXPECT_EQ(suites.log,
            (Log{once[0], once[1], once[2], once[3], once[0], once[1], once[2], once[3]}));
  EXPECT_EQ(suites.liveDescriptors, 0);
}

TEST_F(ScriptingRegistry, VersionTwoOfTheDescriptorSuiteServesAndMissingSuitesGiveNothing) {
  suites.descriptorVersions = {2};
  Block() = BlockOf(Stored());
  EXPECT_EQ(ReadRegistryParameters(), 0);
  EXPECT_TRUE(HoldsStored());
  EXPECT_EQ(suites.log, (Log{"acquire registry 1", "refuse descriptor 3", "acquire descriptor 2",
                             "release descriptor 2", "release registry 1"}));

  suites.log.clear();
  suites.descriptorVersions = {};
  EXPECT_EQ(WriteRegistryParameters(), kErrPlugInHostInsufficient);
  EXPECT_EQ(suites.log, (Log{"acquire registry 1", "refuse descriptor 3", "refuse descriptor 2",
                             "release registry 1"}));
  suites.offerRegistry = false;
  EXPECT_EQ(ReadRegistryParameters(), kErrPlugInHostInsufficient);
  host.record.sSPBasic = nullptr;
  EXPECT_EQ(ReadRegistryParameters(), kErrPlugInHostInsufficient);
  EXPECT_EQ(WriteRegistryParameters(), kErrPlugInHostInsufficient);
}

TEST_F(ScriptingRegistry, BlocksThatCannotBeUsedLeaveTheParametersAlone) {
  host.parameters = Stored();
  EXPECT_EQ(ReadRegistryParameters(), kErrPlugInHostInsufficient) << "no entry";
  Block() = {};
  EXPECT_EQ(ReadRegistryParameters(), kErrPlugInHostInsufficient) << "length 0";
  Block() = BlockOf(kFactoryParameters, 39);  // the right version, but cut short
  EXPECT_EQ(ReadRegistryParameters(), kErrPlugInHostInsufficient);
  EXPECT_EQ(suites.getDataCalls, 0) << "a short block is never read";
  Block() = BlockOf(kFactoryParameters);
  suites.failGetData = true;
  EXPECT_EQ(ReadRegistryParameters(), kErrPlugInHostInsufficient);
  suites.failGetData = false;

  ParameterSet old = kFactoryParameters;
  old.version = {0, 0, 0, 4};
  Block() = BlockOf(old);
  EXPECT_EQ(ReadRegistryParameters(), kErrStoredVersionMismatch);
  EXPECT_TRUE(HoldsStored()) << "Start puts the factory defaults in";
  EXPECT_EQ(suites.liveDescriptors, 0);
  EXPECT_TRUE(messages.shown.empty()) << "only logged";

  Block() = BlockOf(kFactoryParameters, 4000);  // longer than needed is fine
  EXPECT_EQ(ReadRegistryParameters(), 0);
  EXPECT_EQ(host.parameters.Intensity, kFactoryParameters.Intensity);
}

TEST_F(ScriptingRegistry, AFailedRegisterStoresNothing) {
  suites.failRegister = true;
  EXPECT_EQ(WriteRegistryParameters(), kErrPlugInHostInsufficient);
  EXPECT_TRUE(suites.registry.empty());
  EXPECT_EQ(suites.liveDescriptors, 0);
  EXPECT_EQ(suites.log.back(), "release registry 1");
}

}  // namespace
}  // namespace lumeray
