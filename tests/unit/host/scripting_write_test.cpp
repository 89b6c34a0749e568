// A write that stops: reported, the host's descriptor kept; a whole record and play is run by the
// scripted module runs.
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
