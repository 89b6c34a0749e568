// The host's scripting side for the scripting tests (one object of each kind at a time):
//  * Scripting: the editor's descriptor procedures, played and recorded descriptors.
//  * CapturedMessages, HostUnderTest: user messages recorded instead of shown, and the module's
//    host globals pointed at a record of the test.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "descriptor.h"
#include "descriptor_procs.h"
#include "handles.h"
#include "host_context.h"

#include "diagnostics/message_report.h"
#include "diagnostics/user_message_display.h"
#include "effects/parameter_set.h"
#include "host/host_globals.h"
#include "interface/filter_interface.h"
#include "platform/thread.h"
#include "platform/window.h"

namespace lumeray::testing {

// The editor's own descriptor procedures (editor/descriptor_procs.h) over the handles of the
// FakeHost in scope: Play puts a descriptor where the module reads it, Recorded decodes the one
// it wrote. Items are kept as a list so that tests can drop or replace keys before playing.
class Scripting {
 public:
  Scripting() {
    parameters_.readDescriptorProcs = &read_;
    parameters_.writeDescriptorProcs = &write_;
  }
  Scripting(const Scripting&) = delete;
  Scripting& operator=(const Scripting&) = delete;

  PIDescriptorParameters* parameters() { return &parameters_; }
  ReadDescriptorProcs& readProcs() { return read_; }
  WriteDescriptorProcs& writeProcs() { return write_; }

  void Play(const std::vector<DescriptorItem>& items) {
    Descriptor descriptor;
    for (const DescriptorItem& i : items) {
      switch (i.type) {
        case kTypeBoolean:
          descriptor.PutBoolean(i.key, i.boolean);
          break;
        case kTypeFloat:
          descriptor.PutFloat(i.key, i.number);
          break;
        case kTypeUnitFloat:
          descriptor.PutUnitFloat(i.key, i.unit, i.number);
          break;
        case kTypeInteger:
          descriptor.PutInteger(i.key, i.integer);
          break;
        default:
          descriptor.PutEnumerated(i.key, i.enumType, i.enumValue);
          break;
      }
    }
    parameters_.descriptor = CurrentHostContext()->handles->NewCopy(EncodeDescriptor(descriptor));
  }
  std::vector<DescriptorItem> Recorded() {
    HandleTable& handles = *CurrentHostContext()->handles;
    const Handle handle = parameters_.descriptor;
    const auto* bytes = reinterpret_cast<const uint8_t*>(handles.Lock(handle));
    Descriptor descriptor;
    EXPECT_TRUE(DecodeDescriptor({bytes, static_cast<size_t>(handles.Size(handle))}, &descriptor));
    handles.Unlock(handle);
    return descriptor.items();
  }

 private:
  ReadDescriptorProcs read_ = MakeReadDescriptorProcs();
  WriteDescriptorProcs write_ = MakeWriteDescriptorProcs();
  PIDescriptorParameters parameters_{};
};

struct ShownMessage {
  std::string title;
  std::string text;
  uint32_t flags;
};

class CapturedMessages {
 public:
  CapturedMessages() : uiThread_(UiThread()) {
    SetUiThread(platform::CurrentThreadId());
    RecordMessageOwnerWindows(0);
    platform::SetMessageBoxHandler([this](platform::WindowHandle, const std::string& text,
                                          const std::string& title, uint32_t flags) {
      shown.push_back({title, text, flags});
      return platform::kIdOk;
    });
  }
  ~CapturedMessages() {
    platform::SetMessageBoxHandler({});
    SetUiThread(uiThread_);
  }
  CapturedMessages(const CapturedMessages&) = delete;
  CapturedMessages& operator=(const CapturedMessages&) = delete;

  std::vector<ShownMessage> shown;

 private:
  uint32_t uiThread_;
};

class HostUnderTest {
 public:
  HostUnderTest() : saved_(Host()) {
    Host() = HostGlobals{};
    Host().filterRecord = &record;
    Host().parameters = &parameters;
    Host().showDialogFlag = &showDialogFlag;
  }
  ~HostUnderTest() { Host() = saved_; }
  HostUnderTest(const HostUnderTest&) = delete;
  HostUnderTest& operator=(const HostUnderTest&) = delete;

  FilterRecord record{};
  ParameterSet parameters = kFactoryParameters;
  uint8_t showDialogFlag = 1;

 private:
  HostGlobals saved_;
};

}  // namespace lumeray::testing
