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
    scripting.newHandle = handles.record().handleProcs->newProc;
    oldDescriptor = scripting.newHandle(0);
    scripting.parameters()->descriptor = oldDescriptor;
  }
  const std::vector<testing::FakeItem>& Recorded() {
    return scripting.closed[scripting.parameters()->descriptor];
  }

  testing::FakeHost handles;  // the host's handle procedures
  testing::HostUnderTest host;
  testing::FakeScripting scripting;
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
  EXPECT_EQ(scripting.closed.count(scripting.parameters()->descriptor), 1u);
  EXPECT_EQ(handles.handles().LiveCount(), 1u) << "the old descriptor is disposed of";
  EXPECT_EQ(Recorded().size(), kSettingTable.size());
  scripting.played = Recorded();
  scripting.parameters()->playInfo = kPlayDialogSilent;
  host.parameters = kFactoryParameters;
  bool showDialog = true;
  ASSERT_EQ(ReadScriptingParameters(&showDialog), 0);
  EXPECT_FALSE(showDialog);
  EXPECT_EQ(std::memcmp(&host.parameters, &set, sizeof set), 0);
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(ScriptingWrite, AStopIsReportedAndLeavesTheHostsDescriptor) {
  scripting.failingPut = FourCC("Angl");
  EXPECT_EQ(WriteScriptingParameters(), testing::FakeScripting::kFailedPut);
  EXPECT_EQ(scripting.parameters()->descriptor, oldDescriptor);
  EXPECT_EQ(handles.handles().LiveCount(), 1u) << "the unfinished descriptor is thrown away";
  ASSERT_EQ(scripting.closed.size(), 1u);
  EXPECT_EQ(scripting.closed.begin()->second.size(), 5u) << "nothing after 'Angl' is put";
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].title, "Scripting Error");
  EXPECT_EQ(messages.shown[0].text, "The Photoshop scripting parameters could not be saved.");

  scripting.failingPut = 0;
  scripting.writeOpenFails = true;
  EXPECT_EQ(WriteScriptingParameters(), 0x5061726D);  // 'Parm'
  EXPECT_EQ(scripting.parameters()->descriptor, oldDescriptor);

  scripting.parameters()->writeDescriptorProcs->putEnumeratedProc = nullptr;
  EXPECT_EQ(WriteScriptingParameters(), kErrPlugInHostInsufficient);
  host.record.descriptorParameters = nullptr;
  EXPECT_EQ(WriteScriptingParameters(), kErrPlugInHostInsufficient);
  EXPECT_EQ(messages.shown.size(), 2u);
}

}  // namespace
}  // namespace lumeray
