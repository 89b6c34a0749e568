// FilterRun: what one filter run holds, from the module state's set-up (the first selector of a
// run) to its tear-down (after Finish, after About, after any selector that fails, and at the end
// of a light source listing). It owns the analysis, effects, preview and host parts of the run;
// the host hands each part down explicitly to the code that uses it, and threads receive the
// part they need in their argument blocks. (The lowest layers' part, run/run_state.h, is still
// reached through its own accessor.)
//
// The plug-in interface calls the module several times per run (prepare, start, continue,
// finish), so the run in progress is kept in one process-wide slot: BeginFilterRun fills it,
// EndFilterRun empties it and destroys the run, so the next run starts from fresh state (a run
// in which a worker had to be abandoned is kept instead, in a second slot, for that worker). Only
// the host layer reads the slot (ActiveFilterRun); nothing below it knows there is one.
//
// Threading contract: BeginFilterRun and EndFilterRun on the UI thread, while no thread of the
// run is alive. ActiveFilterRun from any thread of the run between the two; each part's header
// says which thread may touch which member.
#pragma once

#include "analysis/analysis_run_state.h"
#include "effects/effects_run_state.h"
#include "host/host_run_state.h"
#include "preview/preview_run_state.h"

namespace lumeray {

struct FilterRun {
  AnalysisRunState analysis;
  EffectsRunState effects;
  PreviewRunState preview;
  HostRunState host;
};

// Creates the run in progress (replacing one left over); its progress bar belongs to the
// calling thread.
FilterRun& BeginFilterRun();
// Destroys the run in progress, if any.
void EndFilterRun();
// The run in progress; there must be one.
FilterRun& ActiveFilterRun();
bool FilterRunActive();

}  // namespace lumeray
