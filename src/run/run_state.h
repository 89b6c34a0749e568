// The state of one run: what the module holds from the moment a filter call reads the host's
// image until the image is written back or the run is abandoned. This object gathers the pieces
// that the lowest layers own; each higher layer keeps the pieces whose types it defines in a
// part-object of its own (AnalysisRunState, EffectsRunState, PreviewRunState), one per run in the
// same way, so that no layer has to include upward.
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
//   localResult     any thread, atomically (through run_status.h only).
//   renderAbort     any thread, atomically (through run_status.h only).
//   profiles        opened and closed on the UI thread (color_management.h); read by any thread
//                   in between.
#pragma once

#include <atomic>
#include <cstdint>

#include "image/image_record.h"

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
  // The run result as seen by threads that did not set it when there is no host result cell.
  std::atomic<int16_t> localResult{0};
  std::atomic<bool> renderAbort{false};
  RunProfiles profiles;
};

// The run in progress (one filter call at a time).
RunState& CurrentRun();

}  // namespace lumeray
