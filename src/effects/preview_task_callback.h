// The callback through which the background preview task obtains what it needs from the
// effect parameters: operation 0 waits for the data-initialisation phase (splash and progress),
// operation 1 traces a snapshot, operation 2 allocates a snapshot of the current parameters.
//
// Threading contract: called on the preview task's thread. The current parameters and the view
// state are read without a lock, as the dialog changes them only on the UI thread between
// requests.
#pragma once

#include <cstdint>

#include "effects/parameter_set.h"
#include "effects/parameter_set_buffer.h"
#include "platform/window.h"

namespace lumeray {

enum PreviewTaskOperation : int {
  kPreviewWaitForInitialization = 0,
  kPreviewTraceRenderingParameters = 1,
  kPreviewAllocateSnapshot = 2,
};

// The message that carries the initialisation progress to the dialog (WM_APP + 4).
constexpr uint32_t kMsgProgress = platform::kWmApp + 4;
// The first wait interval of the splash, in milliseconds.
constexpr uint32_t kSplashWaitIntervalMs = 250;

struct WaitForInitializationArgs {
  int state;
  uint32_t* waitInterval;
  bool* initializationFinished;
  platform::WindowHandle window;
};

struct TraceRenderingParametersArgs {
  const char* message;
  const ParameterSetBuffer* snapshot;
};

// Where the callback finds the parameters, the view state, the dialog, and the splash painter:
// the run's (effects_run_state.h), handed to every operation.
struct AnalysisRunState;
struct PreviewTaskSources {
  const AnalysisRunState* analysis = nullptr;  // the analysis the splash waits for
  const ParameterSet* parameters = nullptr;
  PreviewViewState (*viewState)() = nullptr;
  platform::WindowHandle dialog = 0;
  void (*loadSplash)() = nullptr;
  void (*paintSplash)(platform::WindowHandle window) = nullptr;
};
// Dispatches an operation; see the operation numbers. Operation 2 returns a ParameterSetBuffer
// allocated with new (the caller deletes it) or null.
intptr_t PreviewTaskCallback(const PreviewTaskSources& sources, int operation, void* argument);

int WaitForInitialization(const PreviewTaskSources& sources, WaitForInitializationArgs* args);
void TraceRenderingParameters(const char* message, const ParameterSetBuffer* snapshot);
ParameterSetBuffer* AllocateParameterSnapshot(const PreviewTaskSources& sources);

}  // namespace lumeray
