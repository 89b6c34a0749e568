// The host's progress bar during the final render. Work units reported by any thread are
// counted into at most 100 visible steps; each new step is carried to the UI thread as a queued
// procedure call (run while the UI thread waits alertably for the workers), where the host's
// progressProc and abortProc are called. A cancel seen there becomes the run result -128,
// which the workers see and stop on.
//
//   total <= 100 units: one step per unit, display total = units
//   total  > 100 units: display total 100, units per step = units / 100 (so the count can end a
//                       little past the display total, e.g. 1050 units -> 105 of 100)
//
// The progress bar is the run's (host_run_state.h); it belongs to the thread that began the run.
//
// Threading contract: SetProgressTotal, DisplayImageEditorProgressBar and GetProgressState on
// the UI thread, for the run in progress; AdvanceImageEditorProgress from any thread of the run
// it is given (a ProgressAdvance, effects_pass.h: `run` is the FilterRun).
#pragma once

#include <cstdint>

namespace lumeray {

void SetProgressTotal(uint64_t units);
// False when the run should stop (the user cancelled, or the step could not be delivered).
bool AdvanceImageEditorProgress(void* run, uint32_t units);
bool DisplayImageEditorProgressBar(uint32_t done, uint32_t total);

// The one poll of the host every progress display goes through: on the UI thread it shows `done`
// of `total` with the host's progressProc, then asks its abortProc whether to stop. Called
// elsewhere (`onUiThread` false) it reports the fault and answers stop. True to go on; a run
// without a filter record goes on.
bool PollHostProgress(bool onUiThread, int32_t done, int32_t total);

struct ProgressState {
  bool deferred;
  uint32_t stepsDone;
  uint32_t unitRemainder;
  uint32_t displayTotal;
  uint32_t unitsPerStep;
};
ProgressState GetProgressState();

}  // namespace lumeray
