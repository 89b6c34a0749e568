// Writing the recorded descriptor at Finish, playing it back, and a write that stops.
#include <gtest/gtest.h>

#include <cstring>

#include "host/descriptor_keys.h"
#include "host/pipeline_steps.h"
#include "host/scripting_write.h"
#include "unit/host/fake_descriptors.h"
#include "unit/host/fake_host.h"

namespace lumeray {
namespace {

class ScriptingWrite : public ::testing::Test {
 protected:
  void SetUp() override {
    host.record.descriptorParameters = scripting.parameters();
    host.record.handleProcs = handles.record().handleProcs;
    oldDescriptor = handles.handles().New(0);
    scripting.parameters()->descriptor = oldDescriptor;
  }

  testing::FakeHost handles;  // the editor's handles and descriptor procedures
  testing::HostUnderTest host;
  testing::Scripting scripting;
  testing::CapturedMessages messages;
  Handle oldDescriptor = nullptr;
};

TEST_F(ScriptingWrite, ARecordedDescriptorPlaysBackToTheSameParameters) {
  ParameterSet set = kFactoryParameters;
  set.Angle = -899;
  set.ColorSaturation = -100;
  set.EffectType = FourCC("efT4");
  set.EffectsOnly = 1;
  host.parameters = set;
  ASSERT_EQ(WriteScriptingParameters(), 0);
  EXPECT_EQ(handles.handles().LiveCount(), 1u) << "the old descriptor is disposed of";
  const std::vector<DescriptorItem> recorded = scripting.Recorded();
  EXPECT_EQ(recorded.size(), kSettingTable.size());
  scripting.Play(recorded);
  scripting.parameters()->playInfo = kPlayDialogSilent;
  host.parameters = kFactoryParameters;
  bool showDialog = true;
  ASSERT_EQ(ReadScriptingParameters(&showDialog), 0);
  EXPECT_FALSE(showDialog);
  EXPECT_EQ(std::memcmp(&host.parameters, &set, sizeof set), 0);
  EXPECT_TRUE(messages.shown.empty());
}

constexpr OSErr kFailedPut = -1;

TEST_F(ScriptingWrite, AStopIsReportedAndLeavesTheHostsDescriptor) {
  scripting.writeProcs().putUnitFloatProc = [](PIWriteDescriptor token, DescriptorKeyID key,
                                               DescriptorUnitID unit, const double* value) {
    return key == FourCC("Angl")
               ? kFailedPut
               : MakeWriteDescriptorProcs().putUnitFloatProc(token, key, unit, value);
  };
  EXPECT_EQ(WriteScriptingParameters(), kFailedPut);
  EXPECT_EQ(scripting.parameters()->descriptor, oldDescriptor);
  EXPECT_EQ(handles.handles().LiveCount(), 1u) << "the unfinished descriptor is thrown away";
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].title, "Scripting Error");
  EXPECT_EQ(messages.shown[0].text, "The Photoshop scripting parameters could not be saved.");

  scripting.writeProcs().openWriteDescriptorProc = []() -> PIWriteDescriptor { return nullptr; };
  EXPECT_EQ(WriteScriptingParameters(), 0x5061726D);  // 'Parm'
  EXPECT_EQ(scripting.parameters()->descriptor, oldDescriptor);

  scripting.writeProcs().putEnumeratedProc = nullptr;
  EXPECT_EQ(WriteScriptingParameters(), kErrPlugInHostInsufficient);
  host.record.descriptorParameters = nullptr;
  EXPECT_EQ(WriteScriptingParameters(), kErrPlugInHostInsufficient);
  EXPECT_EQ(messages.shown.size(), 2u);
}

}  // namespace
}  // namespace lumeray
