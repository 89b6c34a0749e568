// The host's scripting side, faked for the scripting tests (one object of each kind at a time):
//  * FakeScripting: descriptor parameters whose read procedures play a list of typed items and
//    whose write procedures record one; a get of another type than the item's fails.
//  * CapturedMessages, HostUnderTest: user messages recorded instead of shown, and the module's
//    host globals pointed at a record of the test.
#pragma once

#include <cstdint>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "diagnostics/message_report.h"
#include "diagnostics/user_message_display.h"
#include "effects/parameter_set.h"
#include "host/host_globals.h"
#include "interface/filter_interface.h"
#include "platform/thread.h"
#include "platform/window.h"

namespace lumeray::testing {

struct FakeItem {
  DescriptorKeyID key = 0;
  DescriptorTypeID type = kTypeNull;  // 'bool', 'doub', 'UntF', 'long' or 'enum'
  double number = 0.0;                // also the value of 'bool', 'long' and 'enum' items
  uint32_t unit = 0;                  // the unit of 'UntF', the enumeration type of 'enum'
};

class FakeScripting {
 public:
  FakeScripting() {
    current_ = this;
    read_.openReadDescriptorProc = [](PIDescriptorHandle, const DescriptorKeyID* keys) {
      FakeScripting& self = *current_;
      for (self.keyArray.clear(); *keys != 0; ++keys) self.keyArray.push_back(*keys);
      self.next_ = 0;
      return self.openFails ? nullptr : reinterpret_cast<PIReadDescriptor>(&self.readToken_);
    };
    read_.closeReadDescriptorProc = [](PIReadDescriptor) -> OSErr { return kNoErr; };
    read_.getKeyProc = [](PIReadDescriptor, DescriptorKeyID* key, DescriptorTypeID* type,
                          int32_t* flags) -> Boolean {
      FakeScripting& self = *current_;
      if (self.next_ >= self.played.size()) return 0;
      self.at_ = self.played[self.next_++];
      *key = self.at_.key;
      *type = self.at_.type;
      *flags = 0;
      return 1;
    };
    read_.getIntegerProc = [](PIReadDescriptor, int32_t* value) {
      return Get(kTypeInteger, [&] { *value = static_cast<int32_t>(current_->at_.number); });
    };
    read_.getFloatProc = [](PIReadDescriptor, double* value) {
      return Get(kTypeFloat, [&] { *value = current_->at_.number; });
    };
    read_.getUnitFloatProc = [](PIReadDescriptor, DescriptorUnitID* unit, double* value) {
      return Get(kTypeUnitFloat, [&] {
        *unit = current_->at_.unit;
        *value = current_->at_.number;
      });
    };
    read_.getBooleanProc = [](PIReadDescriptor, Boolean* value) {
      return Get(kTypeBoolean, [&] { *value = current_->at_.number != 0; });
    };
    read_.getEnumeratedProc = [](PIReadDescriptor, DescriptorEnumID* value) {
      return Get(kTypeEnumerated, [&] { *value = static_cast<uint32_t>(current_->at_.number); });
    };

    write_.openWriteDescriptorProc = []() -> PIWriteDescriptor {
      current_->writing_.clear();
      return current_->writeOpenFails ? nullptr
                                      : reinterpret_cast<PIWriteDescriptor>(&current_->writeToken_);
    };
    write_.closeWriteDescriptorProc = [](PIWriteDescriptor, PIDescriptorHandle* handle) -> OSErr {
      *handle = current_->newHandle(0);
      current_->closed[*handle] = current_->writing_;
      return kNoErr;
    };
    write_.putIntegerProc = [](PIWriteDescriptor, DescriptorKeyID key, int32_t value) {
      return Put({key, kTypeInteger, static_cast<double>(value)});
    };
    write_.putFloatProc = [](PIWriteDescriptor, DescriptorKeyID key, const double* value) {
      return Put({key, kTypeFloat, *value});
    };
    write_.putUnitFloatProc = [](PIWriteDescriptor, DescriptorKeyID key, DescriptorUnitID unit,
                                 const double* value) {
      return Put({key, kTypeUnitFloat, *value, unit});
    };
    write_.putBooleanProc = [](PIWriteDescriptor, DescriptorKeyID key, Boolean value) {
      return Put({key, kTypeBoolean, static_cast<double>(value)});
    };
    write_.putEnumeratedProc = [](PIWriteDescriptor, DescriptorKeyID key, DescriptorEnumTypeID type,
                                  DescriptorEnumID value) {
      return Put({key, kTypeEnumerated, static_cast<double>(value), type});
    };

    parameters_.readDescriptorProcs = &read_;
    parameters_.writeDescriptorProcs = &write_;
  }
  ~FakeScripting() { current_ = nullptr; }
  FakeScripting(const FakeScripting&) = delete;
  FakeScripting& operator=(const FakeScripting&) = delete;

  PIDescriptorParameters* parameters() { return &parameters_; }
  ReadDescriptorProcs& readProcs() { return read_; }

  std::vector<FakeItem> played;  // in the order getKey returns them
  std::set<DescriptorKeyID> failingGets;
  DescriptorKeyID failingPut = 0;  // its put returns kFailedPut
  static constexpr OSErr kFailedPut = -1;
  bool openFails = false;
  bool writeOpenFails = false;
  NewPIHandleProc newHandle = nullptr;  // makes the handle a write descriptor closes into

  std::vector<DescriptorKeyID> keyArray;                       // as the last open got it
  std::map<PIDescriptorHandle, std::vector<FakeItem>> closed;  // what each close held

 private:
  template <typename Take>
  static OSErr Get(DescriptorTypeID type, Take take) {
    const FakeItem& item = current_->at_;
    if (item.type != type || current_->failingGets.count(item.key) != 0) return kParamErr;
    take();
    return kNoErr;
  }
  static OSErr Put(const FakeItem& item) {
    if (item.key == current_->failingPut) return kFailedPut;
    current_->writing_.push_back(item);
    return kNoErr;
  }

  static inline FakeScripting* current_ = nullptr;
  ReadDescriptorProcs read_{};
  WriteDescriptorProcs write_{};
  PIDescriptorParameters parameters_{};
  int readToken_ = 0;  // what the opened descriptors point at
  int writeToken_ = 0;
  size_t next_ = 0;
  FakeItem at_;
  std::vector<FakeItem> writing_;
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
