// The state of one run: what the module holds from the moment a filter call reads the host's
// image until the image is written back or the run is abandoned. This object gathers the pieces
// that the lowest layers own; each higher layer keeps the pieces whose types it defines in a
// part-object of its own (AnalysisRunState, EffectsRunState, PreviewRunState), one per run in the
// same way, so that no layer has to include upward. The host's FilterRun owns it, and the code
// that starts a thread for the run hands the thread what it needs of it (the RunState, its
// RunStatus, its profiles or its input image) in the thread's argument block.
//
// CurrentRun is the UI thread's way to the run in progress: the host binds its run to the
// thread that begins it (BindCurrentRun). Called on any other thread while a run is bound, it
// reports the fault (ReportForeignThreadOnRun): a debug build aborts, so a worker that reaches
// for the run in progress instead of the run it was given is caught by the first test that takes
// that path; a release build says so once on the standard error and answers with the bound run
// (still alive: the run outlives its threads) rather than take the user's editor and image down
// with it. Outside a
// run (no run bound: tests of the lower layers, the configuration entry) it answers with a
// stand-in state of its own.
//
// Process-wide state that is not one run's (the host globals in host_record.h, the user data
// folders, the worker count, the GL function table, the caches and constant tables) stays where
// it is; those headers say so.
//
// Threading contract, per member:
//   inputImage      written on the UI thread while the image is read from the host and while
//                   it is written back; read by the analysis, render and preview threads in
//                   between (never while the UI thread writes it).
//   imageDiagonal   written on the UI thread once the image is read; read by any thread.
//   status          any thread of the run (run_status.h).
//   profiles        opened and closed on the UI thread (color_management.h); read by any thread
//                   in between.
#pragma once

#include <atomic>
#include <cstdint>

#include "image/image_record.h"
#include "run/run_status.h"

namespace lumeray {

// The colour profiles of a run, opened when colour management is set up and closed when it is
// released.
struct RunProfiles {
  ProfileHandle standard = nullptr;
  ProfileHandle host = nullptr;
  ProfileHandle working = nullptr;
  ProfileHandle linearWorking = nullptr;
};

struct RunState {
  ImageRecord inputImage;
  std::atomic<uint32_t> imageDiagonal{0};
  RunStatus status;
  RunProfiles profiles;
};

// The run in progress; UI thread only (see above).
RunState& CurrentRun();
// Makes `run` the run in progress of the calling thread (null: none). UI thread, while no
// thread of the run is alive.
void BindCurrentRun(RunState* run);
// A thread other than the run's own reached the run in progress (see above). Any thread.
void ReportForeignThreadOnRun();

}  // namespace lumeray
