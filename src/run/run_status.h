// The status of the run in progress: its result and the request to stop its render. Every layer
// that works for a run reads and sets them here.
//
// The run result is the host's 16-bit result cell (host_record.h); without one (outside a host
// call, and in tests) a cell of the module's own stands in. It is shared by every thread of a
// run: workers read it to stop early and set it on failure, so it is only touched through these
// accessors, which access it atomically. "Set" means: only while it is still 0 (the first
// failure wins), unless ForceRunResult is used.
//
// The render abort flag is raised when a run ends early (the clean-up) and cleared when the next
// one starts; the band workers and the proxy pyramid's resampling poll it. Both belong to the
// run in progress (run_state.h).
//
// Threading contract: any thread.
#pragma once

#include <cstdint>

namespace lumeray {

int16_t RunResult();
// Sets the result when it is still 0; returns the result in force afterwards.
int16_t SetRunResult(int16_t code);
void ForceRunResult(int16_t code);

void RequestRenderAbort();
void ClearRenderAbort();
bool RenderAbortRequested();
// Whether the render should stop: an abort was requested or the run has a result.
bool RenderStopped();

}  // namespace lumeray
