// The editor's own handles and suites (editor/handles.h, editor/suites.h) as an in-process host
// for the entry's tests, plus the image exchange served from planes and counters for the
// procedures the module calls. One host at a time; it publishes its context on the constructing
// thread, where every selector must be called.
#pragma once

#include <algorithm>
#include <vector>

#include "dialog/dialog_procedures.h"
#include "handles.h"
#include "host/plugin_entry.h"
#include "host_context.h"
#include "interface/filter_interface.h"
#include "run/host_record.h"
#include "suites.h"

namespace lumeray::testing {

class FakeHost {
 public:
  FakeHost() {
    current_ = this;
    // The user of this host presses OK whenever the dialog opens.
    dialog::SetModalDialogAnswer([] { return 1; });
    handleProcs_ = MakeHandleProcs();
    handleProcs_.newProc = [](int32_t size) -> Handle {
      return current_->failNewHandle_ ? nullptr : current_->handles_.New(size);
    };
    record_.handleProcs = &handleProcs_;
    record_.sSPBasic = suites_.basic();
    record_.platformData = &platform_;
    record_.bigDocumentData = &big_;
    record_.abortProc = []() -> Boolean { return 0; };
    record_.progressProc = [](int32_t, int32_t) {};
    record_.advanceState = [] { return current_->AdvanceState(); };
    record_.imageMode = kModeRGB;
    record_.planes = 3;
    record_.maxSpace = 100000000;
    SetFilterRect(0, 0, 64, 48, 3);
  }
  ~FakeHost() {
    dialog::SetModalDialogAnswer({});
    current_ = nullptr;
    // The module keeps the last call's record and result cell until its next call; a test that
    // begins a run without a host must not find this host's cells after it has gone.
    HostGlobals& host = Host();
    if (host.result == &result_) host.result = nullptr;
    if (host.filterRecord == &record_) host.filterRecord = nullptr;
    if (host.data == &data_) host.data = nullptr;
  }
  FakeHost(const FakeHost&) = delete;
  FakeHost& operator=(const FakeHost&) = delete;

  // The filter rectangle; the image is 8-bit with `planes` planes (0 = keep), and the output
  // starts as a copy of the input.
  void SetFilterRect(int left, int top, int right, int bottom, int planeCount = 0) {
    record_.filterRect = {static_cast<int16_t>(top), static_cast<int16_t>(left),
                          static_cast<int16_t>(bottom), static_cast<int16_t>(right)};
    big_.filterRect32 = {top, left, bottom, right};
    if (planeCount > 0) record_.planes = static_cast<int16_t>(planeCount);
    width_ = right - left;
    planes_.assign(static_cast<size_t>(record_.planes),
                   std::vector<uint8_t>(static_cast<size_t>(width_ * (bottom - top))));
    // A flat dark grey, different per plane: no highlights, so runs stay quick at any size.
    for (size_t p = 0; p < planes_.size(); ++p) {
      std::fill(planes_[p].begin(), planes_[p].end(), static_cast<uint8_t>(kFlatLevel + p));
    }
    output = planes_;
    mask.assign(planes_[0].size(), 255);
  }

  int16_t Call(int16_t selector) {
    result_ = 0;
    PluginMainEntry(selector, &record_, &data_, &result_);
    return result_;
  }

  // Prepare, Start, Finish; stops at the first failure and returns its code.
  int16_t Run() {
    for (int16_t selector : {kFilterSelectorPrepare, kFilterSelectorStart, kFilterSelectorFinish}) {
      if (int16_t r = Call(selector)) return r;
    }
    return 0;
  }

  // Serves the one request of the call from the planes, as an editor does.
  OSErr AdvanceState() {
    ++advanceCalls;
    if (advanceResult != kNoErr) return advanceResult;
    const VRect& in = big_.inRect32;
    const VRect& out = big_.outRect32;
    const VRect& maskRect = big_.maskRect32;
    if (in.right > in.left) {
      inRects.push_back(in);
      record_.inData = &planes_.at(static_cast<size_t>(record_.inLoPlane))[Offset(in)];
      record_.inRowBytes = width_;
    }
    if (out.right > out.left) {
      outRects.push_back(out);
      record_.outData = &output.at(static_cast<size_t>(record_.outLoPlane))[Offset(out)];
      record_.outRowBytes = width_;
    }
    if (maskRect.right > maskRect.left) {
      record_.maskData = &mask[Offset(maskRect)];
      record_.maskRowBytes = width_;
    }
    return kNoErr;
  }

  FilterRecord& record() { return record_; }
  intptr_t& data() { return data_; }
  Handle dataHandle() const { return reinterpret_cast<Handle>(data_); }
  HandleTable& handles() { return handles_; }
  SuiteHost& suites() { return suites_; }
  // A handle's bytes as a T, without leaving it locked.
  template <typename T>
  T& Contents(Handle handle) {
    T* bytes = reinterpret_cast<T*>(handles_.Lock(handle));
    handles_.Unlock(handle);
    return *bytes;
  }
  int lockedHandles() const {
    return handles_.LockCount(record_.parameters) + handles_.LockCount(dataHandle());
  }

  bool failNewHandle_ = false;
  int advanceCalls = 0;
  std::vector<VRect> inRects;
  std::vector<VRect> outRects;
  std::vector<std::vector<uint8_t>> output;
  std::vector<uint8_t> mask;
  const std::vector<std::vector<uint8_t>>& input() const { return planes_; }
  OSErr advanceResult = kNoErr;

 private:
  static constexpr int kFlatLevel = 40;
  static inline FakeHost* current_ = nullptr;
  HandleTable handles_;
  SuiteHost suites_;
  HostContext context_{&handles_, &suites_, nullptr, nullptr};
  HostContextScope scope_{&context_};
  FilterRecord record_{};
  HandleProcs handleProcs_{};
  PlatformData platform_{};
  BigDocumentStruct big_{};
  size_t Offset(const VRect& r) const {
    return static_cast<size_t>((r.top - big_.filterRect32.top) * width_ +
                               (r.left - big_.filterRect32.left));
  }

  std::vector<std::vector<uint8_t>> planes_;
  int width_ = 0;
  intptr_t data_ = 0;
  int16_t result_ = 0;
};

}  // namespace lumeray::testing
