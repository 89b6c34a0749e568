// A minimal in-process host for the entry's tests: real handles, the two suites with a record
// of every acquire and release, and counters for the procedures the module calls.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "dialog/dialog_procedures.h"
#include "host/plugin_entry.h"
#include "interface/filter_interface.h"

struct HandleRecord {
  std::vector<char> bytes;
  int locks = 0;
};

namespace lumeray::testing {

class FakeHost {
 public:
  FakeHost() {
    current_ = this;
    // The user of this host presses OK whenever the dialog opens.
    dialog::SetModalDialogAnswer([] { return 1; });
    handleProcs_.newProc = [](int32_t size) -> Handle {
      if (current_->failNewHandle_) return nullptr;
      auto* h = new HandleRecord;
      h->bytes.assign(static_cast<size_t>(size), 0);
      current_->handles_.push_back(h);
      return h;
    };
    handleProcs_.disposeProc = [](Handle h) {
      std::erase(current_->handles_, h);
      delete h;
    };
    handleProcs_.getSizeProc = [](Handle h) { return static_cast<int32_t>(h->bytes.size()); };
    handleProcs_.lockProc = [](Handle h, Boolean) -> char* {
      ++h->locks;
      return h->bytes.data();
    };
    handleProcs_.unlockProc = [](Handle h) {
      if (h->locks > 0) --h->locks;  // unlocking an unlocked handle is harmless
    };

    basic_.AcquireSuite = [](const char* name, int32_t version, const void** suite) -> SPErr {
      current_->suiteLog.push_back(std::string("acquire ") + name);
      if (std::strcmp(name, kPropertySuiteName) == 0 && version == 1) {
        *suite = &current_->property_;
        return kSPNoError;
      }
      if (std::strcmp(name, kErrorSuiteName) == 0 && version == 1) {
        *suite = &current_->error_;
        return kSPNoError;
      }
      return kSPSuiteNotFoundError;
    };
    basic_.ReleaseSuite = [](const char* name, int32_t) -> SPErr {
      current_->suiteLog.push_back(std::string("release ") + name);
      return kSPNoError;
    };
    property_.setPropertyProc = [](PIType signature, PIType key, int32_t index, intptr_t value,
                                   Handle) -> OSErr {
      if (signature == FourCC("8BIM") && key == FourCC("wtch") && index == 0) {
        current_->watchProperty = value;
      }
      return kNoErr;
    };

    record_.handleProcs = &handleProcs_;
    record_.sSPBasic = &basic_;
    record_.platformData = &platform_;
    record_.bigDocumentData = &big_;
    record_.abortProc = [] { return static_cast<Boolean>(current_->abortRequested); };
    record_.progressProc = [](int32_t, int32_t) { ++current_->progressCalls; };
    record_.advanceState = [] { return current_->AdvanceState(); };
    record_.imageMode = kModeRGB;
    record_.planes = 3;
    record_.maxSpace = 100000000;
    SetFilterRect(0, 0, 64, 48, 3);
  }
  ~FakeHost() {
    dialog::SetModalDialogAnswer({});
    for (Handle h : handles_) delete h;
    current_ = nullptr;
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
    height_ = bottom - top;
    planes_.assign(static_cast<size_t>(record_.planes),
                   std::vector<uint8_t>(static_cast<size_t>(width_ * height_)));
    // A flat dark grey, different per plane: no highlights, so runs stay quick at any size.
    for (size_t p = 0; p < planes_.size(); ++p) {
      std::fill(planes_[p].begin(), planes_[p].end(), static_cast<uint8_t>(kFlatLevel + p));
    }
    output = planes_;
    mask.assign(static_cast<size_t>(width_ * height_), 255);
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

  // Plays a host without big-document support: no bigDocumentData, so the module must ask in
  // the record's 16-bit rectangles.
  void OfferOnly16BitRectangles() { record_.bigDocumentData = nullptr; }

  // Serves the one request of the call from the planes, as an editor does.
  OSErr AdvanceState() {
    ++advanceCalls;
    if (advanceResult != kNoErr) return advanceResult;
    const bool big = record_.bigDocumentData != nullptr;
    const auto request = [big](const PIRect16& r16, const VRect& r32) {
      return big ? r32 : VRect{r16.top, r16.left, r16.bottom, r16.right};
    };
    const VRect in = request(record_.inRect, big_.inRect32);
    const VRect out = request(record_.outRect, big_.outRect32);
    const VRect maskRect = request(record_.maskRect, big_.maskRect32);
    if (in.right > in.left) {
      ++inputRequests;
      inRects.push_back(in);
      record_.inData = &planes_.at(static_cast<size_t>(record_.inLoPlane))[Offset(in)];
      record_.inRowBytes = width_;
    }
    if (out.right > out.left) {
      ++outputRequests;
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
  size_t liveHandles() const { return handles_.size(); }
  int lockedHandles() const {
    int n = 0;
    for (Handle h : handles_) n += h->locks;
    return n;
  }

  std::vector<std::string> suiteLog;
  intptr_t watchProperty = 0;
  bool abortRequested = false;
  bool failNewHandle_ = false;
  int progressCalls = 0;
  int advanceCalls = 0;
  int inputRequests = 0;
  int outputRequests = 0;
  std::vector<VRect> inRects;
  std::vector<VRect> outRects;
  std::vector<std::vector<uint8_t>> output;
  std::vector<uint8_t> mask;
  const std::vector<std::vector<uint8_t>>& input() const { return planes_; }
  OSErr advanceResult = kNoErr;

 private:
  static constexpr int kFlatLevel = 40;
  static inline FakeHost* current_ = nullptr;
  FilterRecord record_{};
  HandleProcs handleProcs_{};
  SPBasicSuite basic_{};
  PropertySuite1 property_{};
  ErrorSuite1 error_{};
  PlatformData platform_{};
  BigDocumentStruct big_{};
  std::vector<Handle> handles_;
  size_t Offset(const VRect& r) const {
    return static_cast<size_t>((r.top - big_.filterRect32.top) * width_ +
                               (r.left - big_.filterRect32.left));
  }

  std::vector<std::vector<uint8_t>> planes_;
  int width_ = 0;
  int height_ = 0;
  intptr_t data_ = 0;
  int16_t result_ = 0;
};

}  // namespace lumeray::testing
