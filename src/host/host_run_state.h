// The host layer's part of one run (run/run_state.h holds the lower layers' part): the state of
// the host's progress bar.
//
// Owned by the run in progress (filter_run.h).
//
// Threading contract: through progress.h only; every member under progress.section.
#pragma once

#include "host/progress.h"
#include "platform/sync.h"
#include "platform/thread.h"

namespace lumeray {

struct RunProgress {
  platform::CriticalSection section;  // ProgressComputationSection
  platform::ThreadId uiThread = 0;
  ProgressState state{false, 0, 0, 0, 1};
};

struct HostRunState {
  RunProgress progress;
};

}  // namespace lumeray
