// The data-initialisation phase of a run: one thread per run that finds the light sources of
// the source image and merges them into the MasterLightSourceTable, and the manual-reset "data
// initialization complete" event it sets on every path (success, failure, cancel). The preview
// and the final render wait for that event before they read the master table.
//
// The analysis, in order: the task array (counted) and the presence threshold of the source's
// depth code; the worker count; the analysis image (analysis_image.h); progress total = its
// height in rows, done = 0; one band of whole rows per task (the last band ends at the
// bottom); pass 1, the band peaks, whose largest is the global peak; pass 2, the candidate
// search (section_tasks.h); the merge of the local tables in task order into the master table
// (each band's top row in source coordinates), then normalise and sort. The cancel flag or a
// set run result skips every later phase; a cancelled analysis leaves the master table empty.
// Always: the analysis image, the tasks and the task array are freed, and a non-zero result
// becomes the run result.
//
// Every function takes the run's analysis part (analysis_run_state.h).
//
// Threading contract: Start/Stop/Close on the UI thread (the run pipeline); AnalyzeLightSources
// on any one thread at a time (it starts its own section threads); the completion test, the
// stop flag and the progress counters from any thread.
#pragma once

#include <cstdint>

#include "analysis/master_light_source_table.h"
#include "image/image_record.h"
#include "platform/sync.h"

namespace lumeray {

struct AnalysisRunState;

struct AnalysisProgress {
  int32_t done;
  int32_t total;
};

struct AnalysisOptions {
  int32_t depthCode = 1;                      // bytes per sample of the source
  int threadCount = 0;                        // 0: the worker count
  CancelTest cancelled = nullptr;             // null: the run's analysis stop flag
  platform::Mutex* floodFillMutex = nullptr;  // null: one made for the analysis
};

// Runs the whole analysis of `source` (its data rectangle) on the calling thread and its
// section threads, replacing the contents of the run's master table and setting its presence
// threshold. Returns 0 (also when cancelled), the allocator's code, -50 when the analysis image
// cannot be converted, or -1715.
int AnalyzeLightSources(AnalysisRunState& run, const ImageRecord& source,
                        const AnalysisOptions& options);

// Creates the flood-fill mutex and the completion event and starts the data-initialisation
// thread on `source` of depth code `depthCode` (the InputImage). Returns 0, or -1715 (also made the
// run result) after reporting "Could not create the data initialization complete event." or "Could
// not initiate light source table initialization".
int StartLightSourceAnalysis(AnalysisRunState& run, const ImageRecord* source, int32_t depthCode);
// The same with options (the source must outlive CloseLightSourceAnalysis); the options' mutex
// is replaced by the run's flood-fill mutex.
int StartLightSourceAnalysisOf(AnalysisRunState& run, const ImageRecord* source,
                               const AnalysisOptions& options);
bool LightSourceAnalysisStarted(const AnalysisRunState& run);

// Asks the analysis to stop at its next check (the analysis stop flag, the run's cancel flag).
void RequestAnalysisStop(AnalysisRunState& run);
bool AnalysisStopRequested(const AnalysisRunState& run);

// The completion event; null before StartLightSourceAnalysis and after CloseLightSourceAnalysis.
platform::Event* DataInitializationCompleteEvent(AnalysisRunState& run);
bool DataInitializationComplete(const AnalysisRunState& run);

// Waits without limit for the completion event, then closes the event, the thread and the
// flood-fill mutex (the run's clean-up).
void CloseLightSourceAnalysis(AnalysisRunState& run);

AnalysisProgress GetAnalysisProgress(const AnalysisRunState& run);
void SetAnalysisProgress(AnalysisRunState& run, int32_t done, int32_t total);

}  // namespace lumeray
