#include "host/plugin_entry.h"

#include "diagnostics/message_report.h"
#include "host/filter_run.h"
#include "host/host_globals.h"
#include "host/host_suites.h"
#include "host/memory_negotiation.h"
#include "host/module_state.h"
#include "host/plugin_resources.h"
#include "image/image_modes.h"
#include "periphery/about_box.h"
#include "platform/error_text.h"
#include "platform/module_file.h"

namespace lumeray {
namespace {

constexpr int32_t kParameterHandleSize = sizeof(ParameterSet);
constexpr int32_t kDataHandleSize = 1;

HandleProcs* Handles() {
  FilterRecord* record = Host().filterRecord;
  return record != nullptr ? record->handleProcs : nullptr;
}

void CheckInstanceHandle() {
  if (platform::ModuleFilePath().empty()) {
    MessageReport report(__LINE__, kMessageDebug);
    report.Report(kIconError, kTitleDebugUnexpectedError,
                  "The application's instance handle has not been initialized.");
  }
}

PlatformData* RecordPlatformData() {
  HostGlobals& host = Host();
  void* data = host.filterRecord != nullptr  ? host.filterRecord->platformData
               : host.aboutRecord != nullptr ? host.aboutRecord->platformData
                                             : nullptr;
  return static_cast<PlatformData*>(data);
}

platform::WindowHandle OwnerWindow() {
  const PlatformData* data = RecordPlatformData();
  const platform::WindowHandle window = data != nullptr ? data->hwnd : 0;
  return window != 0 ? window : platform::ActiveWindow();
}

// A zero window in the platform data is replaced by the thread's active window.
void FixZeroWindow() {
  PlatformData* data = RecordPlatformData();
  if (data != nullptr && data->hwnd == 0) data->hwnd = platform::ActiveWindow();
}

// Allocates whichever of the parameter and data handles the host does not hold yet.
void AllocateMissingHandles() {
  FilterRecord* record = Host().filterRecord;
  HandleProcs* procs = Handles();
  if (record->parameters == nullptr) {
    record->parameters = procs != nullptr ? procs->newProc(kParameterHandleSize) : nullptr;
    if (record->parameters == nullptr) SetRunResult(kMemFullErr);
  }
  if (DataHandle() == nullptr) {
    Handle data = procs != nullptr ? procs->newProc(kDataHandleSize) : nullptr;
    if (data == nullptr) {
      SetRunResult(kMemFullErr);
    } else {
      *Host().data = reinterpret_cast<intptr_t>(data);
    }
  }
}

// Factory parameters and a dialog at the next Start: a run the host has no settings for.
void ResetForNewRun() {
  LockHandles();
  if (RunResult() != 0) return;
  CurrentParameters() = kFactoryParameters;
  *Host().showDialogFlag = 1;
  FixZeroWindow();
}

void UnlockHandles() {
  HostGlobals& host = Host();
  HandleProcs* procs = Handles();
  if (procs != nullptr && procs->unlockProc != nullptr) {
    if (Handle data = DataHandle()) procs->unlockProc(data);
    if (host.filterRecord->parameters != nullptr) procs->unlockProc(host.filterRecord->parameters);
  }
  host.parameters = nullptr;
  host.showDialogFlag = nullptr;
}

}  // namespace

void LockHandles() {
  HostGlobals& host = Host();
  FilterRecord* record = host.filterRecord;
  Handle data = DataHandle();
  if (record == nullptr || record->parameters == nullptr || data == nullptr) {
    SetRunResult(kFilterBadParameters);
    return;
  }
  HandleProcs* procs = record->handleProcs;
  char* parameters = procs != nullptr ? procs->lockProc(record->parameters, true) : nullptr;
  char* flag = procs != nullptr ? procs->lockProc(data, true) : nullptr;
  if (parameters == nullptr || flag == nullptr) {
    SetRunResult(kMemFullErr);
    return;
  }
  host.parameters = reinterpret_cast<ParameterSet*>(parameters);
  host.showDialogFlag = reinterpret_cast<uint8_t*>(flag);
}

void DoAbout() {
  CheckInstanceHandle();
  const PlatformData* data = RecordPlatformData();
  ShowAboutBox(data != nullptr ? data->hwnd : 0);
}

void DoParameters() {
  CheckInstanceHandle();
  if (RunResult() == 0) {
    AcquireHostSuites();
    AllocateMissingHandles();
    if (RunResult() == 0) ResetForNewRun();
    LoadPluginResources();
    if (RunResult() == 0) return;
  }
  ReleaseHostSuites();
}

void DoPrepare() {
  CheckInstanceHandle();
  AcquireHostSuites();
  FilterRecord* record = Host().filterRecord;
  if (record->parameters != nullptr && DataHandle() != nullptr) {
    LockHandles();
  } else {
    AllocateMissingHandles();
    if (RunResult() == 0) ResetForNewRun();
  }
  LoadPluginResources();

  int32_t width, height;
  if (Using32BitCoordinates()) {
    const VRect& r = record->bigDocumentData->filterRect32;
    width = r.right - r.left;
    height = r.bottom - r.top;
  } else {
    width = record->filterRect.right - record->filterRect.left;
    height = record->filterRect.bottom - record->filterRect.top;
  }
  const int bytes = static_cast<int>(BytesPerSampleOfMode(record->imageMode));
  record->bufferSpace = ComputeBufferSpace(bytes, width, height);
  record->maxSpace =
      LimitMaxSpace(record->maxSpace, record->planes, record->maskData != nullptr, width, height);

  if (RunResult() != 0) ReleaseHostSuites();
}

void DoContinue() {
  FilterRecord* record = Host().filterRecord;
  if (Using32BitCoordinates()) {
    BigDocumentStruct* big = record->bigDocumentData;
    big->inRect32 = VRect{};
    big->outRect32 = VRect{};
    big->maskRect32 = VRect{};
  } else {
    record->inRect = PIRect16{};
    record->outRect = PIRect16{};
    record->maskRect = PIRect16{};
  }
  if (RunResult() != 0) ReleaseHostSuites();
}

void TraceLightSourcesEntry(void* record, intptr_t* data, int16_t* result,
                            LightSourceTraceSink sink, void* context) {
  HostGlobals& host = Host();
  host.filterRecord = static_cast<FilterRecord*>(record);
  host.aboutRecord = nullptr;
  host.data = data;
  host.result = result;
  platform::SetLastError(0);
  if (!ModuleStateInitialized()) InitializeModuleState(OwnerWindow());
  AttachHostCall();
  if (host.filterRecord != nullptr && host.filterRecord->bigDocumentData != nullptr) {
    host.filterRecord->bigDocumentData->PluginUsing32BitCoordinates = 1;
  }
  if (host.filterRecord == nullptr || sink == nullptr) {
    SetRunResult(kParamErr);
  } else {
    RunStartPipeline(sink, context);
    UnlockHandles();
  }
  // A listing is not a filter run: nothing is recorded, and the state ends here.
  ReleaseHostSuites();
  TerminateModuleState();
}

void PluginMainEntry(int16_t selector, void* record, intptr_t* data, int16_t* result) {
  HostGlobals& host = Host();
  const bool about = selector == kFilterSelectorAbout;
  host.filterRecord = about ? nullptr : static_cast<FilterRecord*>(record);
  host.aboutRecord = about ? static_cast<AboutRecord*>(record) : nullptr;
  host.data = data;
  host.result = result;
  platform::SetLastError(0);

  if (!ModuleStateInitialized()) InitializeModuleState(OwnerWindow());
  AttachHostCall();

  if (!about && host.filterRecord != nullptr && host.filterRecord->bigDocumentData != nullptr) {
    host.filterRecord->bigDocumentData->PluginUsing32BitCoordinates = 1;
  }

  switch (selector) {
    case kFilterSelectorAbout:
      DoAbout();
      break;
    case kFilterSelectorParameters:
      DoParameters();
      break;
    case kFilterSelectorPrepare:
      DoPrepare();
      break;
    case kFilterSelectorStart:
      DoStart();
      break;
    case kFilterSelectorContinue:
      DoContinue();
      break;
    case kFilterSelectorFinish:
      DoFinish();
      break;
    default:
      break;
  }

  if (!about && host.filterRecord != nullptr) UnlockHandles();

  if (RunResult() != 0 || selector == kFilterSelectorFinish || about) TerminateModuleState();
}

}  // namespace lumeray
