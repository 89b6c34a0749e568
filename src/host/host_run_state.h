// The host layer's part of one run (run/run_state.h holds the lower layers' part): the state of
// the host's progress bar, and what the final render's workers share.
//
// Owned by the run in progress (filter_run.h), which outlives a worker that had to be abandoned.
//
// Threading contract: progress through progress.h only, every member under progress.section.
// finalRender: written by the UI thread before the render's workers start; then read by them
// (the deal taken through its own atomic counter) until they end.
#pragma once

#include <memory>

#include "effects/band_render.h"
#include "effects/parameter_set_buffer.h"
#include "host/progress.h"
#include "platform/sync.h"
#include "platform/thread.h"

namespace lumeray {

struct RunProgress {
  platform::CriticalSection section;  // ProgressComputationSection
  platform::ThreadId uiThread = 0;
  ProgressState state{false, 0, 0, 0, 1};
};

// The final render's image rectangle, settings and strip deal, which its workers' argument blocks
// point to: they live as long as the run, not the call that starts the workers.
struct FinalRenderShared {
  PixelRect image{};
  ParameterSetBuffer snapshot{};
  std::unique_ptr<StripDeal> deal;
};

struct HostRunState {
  RunProgress progress;
  FinalRenderShared finalRender;
};

}  // namespace lumeray
