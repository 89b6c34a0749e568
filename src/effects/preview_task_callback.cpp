#include "effects/preview_task_callback.h"

#include <new>

#include "analysis/analysis_run_state.h"
#include "analysis/data_initialization.h"
#include "diagnostics/message_report.h"

namespace lumeray {
namespace {

void PostProgress(const PreviewTaskSources& sources, int32_t done, int32_t total) {
  if (sources.dialog != 0) {
    platform::PostWindowMessage(sources.dialog, kMsgProgress, static_cast<uintptr_t>(done),
                                static_cast<intptr_t>(total));
  }
}

}  // namespace

int WaitForInitialization(const PreviewTaskSources& sources, WaitForInitializationArgs* args) {
  switch (args->state) {
    case 0:
      if (sources.loadSplash != nullptr) sources.loadSplash();
      *args->waitInterval = kSplashWaitIntervalMs;
      [[fallthrough]];
    case 1:
    case 2:
    case 3: {
      if (sources.analysis == nullptr || DataInitializationComplete(*sources.analysis)) {
        *args->initializationFinished = true;
      }
      const AnalysisProgress progress = sources.analysis != nullptr
                                            ? GetAnalysisProgress(*sources.analysis)
                                            : AnalysisProgress{0, 0};
      PostProgress(sources, progress.done, progress.total);
      if (sources.paintSplash != nullptr) sources.paintSplash(args->window);
      break;
    }
    case 4:
    case 5:
      PostProgress(sources, 0, 0);
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

ParameterSetBuffer* AllocateParameterSnapshot(const PreviewTaskSources& sources) {
  auto* buffer = new (std::nothrow) ParameterSetBuffer;
  if (buffer == nullptr || sources.parameters == nullptr) {
    delete buffer;
    MessageReport report(__LINE__, kMessageDebug);
    report.Report(kIconError, kTitleDebugUnexpectedError,
                  "Could not allocate a ParameterSet buffer.");
    return nullptr;
  }
  PreviewViewState view{};
  if (sources.viewState != nullptr) view = sources.viewState();
  *buffer = MakePreviewSnapshot(*sources.parameters, view);
  return buffer;
}

intptr_t PreviewTaskCallback(const PreviewTaskSources& sources, int operation, void* argument) {
  switch (operation) {
    case kPreviewWaitForInitialization:
      return WaitForInitialization(sources, static_cast<WaitForInitializationArgs*>(argument));
    case kPreviewTraceRenderingParameters: {
      auto* args = static_cast<TraceRenderingParametersArgs*>(argument);
      TraceRenderingParameters(args != nullptr ? args->message : nullptr,
                               args != nullptr ? args->snapshot : nullptr);
      return 1;
    }
    case kPreviewAllocateSnapshot:
      return reinterpret_cast<intptr_t>(AllocateParameterSnapshot(sources));
    default:
      return 0;
  }
}

}  // namespace lumeray
