// FilterRun: what one filter run holds, from the module state's set-up (the first selector of a
// run) to its tear-down (after Finish, after About, after any selector that fails, and at the end
// of a light source listing). It owns the lowest layers' part of the run (run/run_state.h: the
// input image, the run's status, its profiles) and the analysis, effects, preview and host
// parts; the host hands each part down explicitly to the code that uses it, and threads receive
// the part they need in their argument blocks.
//
// The plug-in interface calls the module several times per run (prepare, start, continue,
// finish), so the run in progress is kept in one process-wide slot: BeginFilterRun fills it,
// EndFilterRun empties it and destroys the run, so the next run starts from fresh state (a run
// in which a worker had to be abandoned is kept instead, in a second slot, for that worker). Only
// the host layer reads the slot (ActiveFilterRun); below it, only the UI thread's shorthand
// for the run in progress (CurrentRun, bound here to the thread that begins the run) knows there
// is one. The run's status is attached to the host's result cell of each call (AttachHostCall)
// and detached when the run ends, so a worker left running never writes into a later call.
//
// Threading contract: BeginFilterRun, AttachHostCall and EndFilterRun on the UI thread, while
// no thread of the run is alive. ActiveFilterRun on the UI thread between the two (a thread of
// the run is given what it reads in its argument block); each part's header says which thread
// may touch which member.
#pragma once

#include "analysis/analysis_run_state.h"
#include "effects/effects_run_state.h"
#include "host/host_run_state.h"
#include "preview/preview_run_state.h"
#include "run/run_state.h"

namespace lumeray {

struct FilterRun {
  RunState state;
  AnalysisRunState analysis;
  EffectsRunState effects;
  PreviewRunState preview;
  HostRunState host;
};

// Creates the run in progress (replacing one left over); its progress bar belongs to the
// calling thread.
FilterRun& BeginFilterRun();
// Attaches the host's result cell of the call in progress (host_record.h) to the run's status.
void AttachHostCall();
// Releases the run's colour management and destroys the run in progress, if any.
void EndFilterRun();
// The run in progress; there must be one.
FilterRun& ActiveFilterRun();
bool FilterRunActive();

}  // namespace lumeray
