// The data-initialisation phase of a run: one thread per run that prepares the analysis and
// finds the light sources, and the manual-reset "data initialization complete" event it sets
// on every path (success, failure, cancel). The preview and the final render wait for it.
//
// Threading contract: Start/Stop/Close on the UI thread (the run pipeline); the completion
// test and the progress counters from any thread.
#pragma once

#include <cstdint>

#include "platform/sync.h"

namespace lumeray {

struct AnalysisProgress {
  int32_t done;
  int32_t total;
};

// Creates the analysis mutex and the completion event and starts the data-initialisation
// thread. Returns 0, or -1715 after reporting when the event or the thread cannot be created.
int StartLightSourceAnalysis();
bool LightSourceAnalysisStarted();

// Asks the analysis to stop at its next check (the analysis stop flag).
void RequestAnalysisStop();
bool AnalysisStopRequested();

// The completion event; null before StartLightSourceAnalysis and after CloseLightSourceAnalysis.
platform::Event* DataInitializationCompleteEvent();
bool DataInitializationComplete();

// Waits without limit for the completion event, then closes the event, the thread and the
// analysis mutex (the run's clean-up).
void CloseLightSourceAnalysis();

AnalysisProgress GetAnalysisProgress();
void SetAnalysisProgress(int32_t done, int32_t total);

}  // namespace lumeray
