// The parameters kept in the host's descriptor registry, through the editor's own suites
// (editor/suites.h): suites and versions, the stored block, and blocks that are short or of
// another version.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "host/pipeline_steps.h"
#include "unit/host/fake_descriptors.h"
#include "unit/host/fake_host.h"
#include "unit/temp_home.h"

namespace lumeray {
namespace {

// The module's entry in the registry (a key the host must keep as it is).
constexpr char kEntry[] = "383056ce-1943-4863-835d-19c2a188df95";

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
  void SetUp() override { host.record.sSPBasic = suites().basic(); }
  void TearDown() override {
    EXPECT_EQ(suites().heldCount(), 0) << "every suite acquired is released";
    EXPECT_EQ(suites().unbalancedReleases(), 0);
    EXPECT_EQ(suites().descriptors().liveCount(), 0u) << "every descriptor made is freed";
  }
  SuiteHost& suites() { return editor.suites(); }
  bool HoldsStored() const {
    const ParameterSet stored = Stored();
    return std::memcmp(&host.parameters, &stored, sizeof stored) == 0;
  }
  void PutBlock(const std::vector<uint8_t>& block) {
    ActionDescriptorRecord values;
    values.data[FourCC("PBlk")] = block;
    ASSERT_EQ(suites().descriptors().Register(kEntry, values, false), kSPNoError);
  }

  testing::TempHome home;
  testing::FakeHost editor;
  testing::HostUnderTest host;
  testing::CapturedMessages messages;
};

TEST_F(ScriptingRegistry, AnOlderDescriptorSuiteServesAndMissingSuitesGiveNothing) {
  // A host that offers version 2 of the action descriptor suite only.
  SPBasicSuite older = *suites().basic();
  older.AcquireSuite = [](const char* name, int32_t version, const void** suite) -> SPErr {
    if (std::strcmp(name, kActionDescriptorSuiteName) == 0 && version != 2) {
      return kSPSuiteNotFoundError;
    }
    return CurrentHostContext()->suites->Acquire(name, version, suite);
  };
  host.record.sSPBasic = &older;
  PutBlock(BlockOf(Stored()));
  EXPECT_EQ(ReadRegistryParameters(), 0);
  EXPECT_TRUE(HoldsStored());

  host.record.sSPBasic = suites().basic();
  suites().SetRefusedSuites({kActionDescriptorSuiteName});
  EXPECT_EQ(WriteRegistryParameters(), kErrPlugInHostInsufficient);
  suites().SetRefusedSuites({kDescriptorRegistrySuiteName});
  EXPECT_EQ(ReadRegistryParameters(), kErrPlugInHostInsufficient);
  host.record.sSPBasic = nullptr;
  EXPECT_EQ(ReadRegistryParameters(), kErrPlugInHostInsufficient);
  EXPECT_EQ(WriteRegistryParameters(), kErrPlugInHostInsufficient);
}

TEST_F(ScriptingRegistry, BlocksThatCannotBeUsedLeaveTheParametersAlone) {
  host.parameters = Stored();
  EXPECT_EQ(ReadRegistryParameters(), kErrPlugInHostInsufficient) << "no entry";
  PutBlock({});
  EXPECT_EQ(ReadRegistryParameters(), kErrPlugInHostInsufficient) << "length 0";
  PutBlock(BlockOf(kFactoryParameters, 39));  // the right version, but cut short
  EXPECT_EQ(ReadRegistryParameters(), kErrPlugInHostInsufficient);

  ParameterSet old = kFactoryParameters;
  old.version = {0, 0, 0, 4};
  PutBlock(BlockOf(old));
  EXPECT_EQ(ReadRegistryParameters(), kErrStoredVersionMismatch);
  EXPECT_TRUE(HoldsStored()) << "Start puts the factory defaults in";
  EXPECT_TRUE(messages.shown.empty()) << "only logged";

  PutBlock(BlockOf(kFactoryParameters, 4000));  // longer than needed is fine
  EXPECT_EQ(ReadRegistryParameters(), 0);
  EXPECT_EQ(host.parameters.Intensity, kFactoryParameters.Intensity);
}

TEST_F(ScriptingRegistry, AFailedRegisterIsReportedAndFreesItsDescriptor) {
  // The registry file cannot be written: its folder became a file.
  const std::filesystem::path folder = home.root() / "registry-folder";
  std::filesystem::create_directories(folder);
  std::string error;
  ASSERT_TRUE(suites().descriptors().UseRegistryFile((folder / "registry").string(), &error));
  std::filesystem::remove_all(folder);
  std::ofstream(folder) << "x";
  EXPECT_EQ(WriteRegistryParameters(), kErrPlugInHostInsufficient);
}

}  // namespace
}  // namespace lumeray
