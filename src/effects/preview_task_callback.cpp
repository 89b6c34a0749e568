#include "effects/preview_task_callback.h"

#include <new>

#include "analysis/data_initialization.h"
#include "diagnostics/message_report.h"
#include "effects/effects_run_state.h"

namespace lumeray {
namespace {

const PreviewTaskSources& Sources() {
  return CurrentEffectsRun().previewTaskSources;
}

void PostProgress(int32_t done, int32_t total) {
  if (Sources().dialog != 0) {
    platform::PostWindowMessage(Sources().dialog, kMsgProgress, static_cast<uintptr_t>(done),
                                static_cast<intptr_t>(total));
  }
}

}  // namespace

void SetPreviewTaskSources(const PreviewTaskSources& sources) {
  CurrentEffectsRun().previewTaskSources = sources;
}

int WaitForInitialization(WaitForInitializationArgs* args) {
  switch (args->state) {
    case 0:
      if (Sources().loadSplash != nullptr) Sources().loadSplash();
      *args->waitInterval = kSplashWaitIntervalMs;
      [[fallthrough]];
    case 1:
    case 2:
    case 3: {
      if (DataInitializationComplete()) *args->initializationFinished = true;
      const AnalysisProgress progress = GetAnalysisProgress();
      PostProgress(progress.done, progress.total);
      if (Sources().paintSplash != nullptr) Sources().paintSplash(args->window);
      break;
    }
    case 4:
    case 5:
      PostProgress(0, 0);
      break;
    default: {
      MessageReport report(__LINE__, kMessageDebug);
      report.Report(kIconError, kTitleDebugUnexpectedErrorDash,
                    "WaitForInitialization() - An invalid state value was received.");
      break;
    }
  }
  return 1;
}

void TraceRenderingParameters(const char* message, const ParameterSetBuffer* snapshot) {
  if (snapshot == nullptr) {
    MessageReport report(__LINE__, kMessageDebug);
    report.Report(kIconError, kTitleDebugUnexpectedError,
                  "TraceRenderingParameters() - A NULL pointer was specified for Parameter Set "
                  "argument.  Message: '%s'",
                  message != nullptr ? message : "");
  }
}

ParameterSetBuffer* AllocateParameterSnapshot() {
  auto* buffer = new (std::nothrow) ParameterSetBuffer;
  if (buffer == nullptr || Sources().parameters == nullptr) {
    delete buffer;
    MessageReport report(__LINE__, kMessageDebug);
    report.Report(kIconError, kTitleDebugUnexpectedError,
                  "Could not allocate a ParameterSet buffer.");
    return nullptr;
  }
  PreviewViewState view{};
  if (Sources().viewState != nullptr) view = Sources().viewState();
  *buffer = MakePreviewSnapshot(*Sources().parameters, view);
  return buffer;
}

intptr_t PreviewTaskCallback(int operation, void* argument) {
  switch (operation) {
    case kPreviewWaitForInitialization:
      return WaitForInitialization(static_cast<WaitForInitializationArgs*>(argument));
    case kPreviewTraceRenderingParameters: {
      auto* args = static_cast<TraceRenderingParametersArgs*>(argument);
      TraceRenderingParameters(args != nullptr ? args->message : nullptr,
                               args != nullptr ? args->snapshot : nullptr);
      return 1;
    }
    case kPreviewAllocateSnapshot:
      return reinterpret_cast<intptr_t>(AllocateParameterSnapshot());
    default:
      return 0;
  }
}

}  // namespace lumeray
