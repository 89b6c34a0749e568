// The final render of a run without (or after) the dialog: waits for the light source
// analysis with the host's progress bar and abort, splits the working image into one band of
// rows per worker thread, renders and composites every band on the worker threads (each band's
// strips dealt to whichever worker is free, band_render.h), and writes the result back to the
// host.
//
// Threading contract: RenderFinalImage on the UI thread; RenderBand on worker threads, which
// reach their run only through their argument block and read and set its result through its
// RunStatus.
#pragma once

#include <cstdint>
#include <vector>

#include "effects/effects_pass.h"
#include "host/pipeline_steps.h"
#include "run/run_status.h"

namespace lumeray {

// The task array holds the most slots the worker count can reach.
inline constexpr uint64_t kTaskArrayBytes = 1344;
// How long each wait for the analysis lasts before progress and abort are polled.
inline constexpr uint32_t kAnalysisPollMs = 20;

void RenderFinalImage();

// Waits for the light source analysis, showing its progress and polling the host's abort
// (sets -128 when the user cancels). UI thread only.
struct AnalysisRunState;
void WaitForAnalysis(AnalysisRunState& analysis);

// The bands of rows for `count` threads: equal heights, the last band takes the remainder.
std::vector<PixelRect> SplitIntoBands(const PixelRect& rect, int count);

// The argument block of one band task: the run it draws for, its band, and the strips the
// band tasks share (null: the band's own, in order).
struct FilterRun;
class StripDeal;
struct RenderBandArguments {
  const PixelRect* image;
  const struct ParameterSetBuffer* snapshot;
  int32_t left, top, right, bottom;
  FilterRun* run;
  StripDeal* deal;
};

uint32_t RenderBand(void* arguments);

// The sources of the effects pass in `run`: the master table, the two effect renderers (shapes,
// phase set, profile), the band profiles, the presence threshold, the InputImage's mode, the
// run's status and AdvanceImageEditorProgress on the run's progress.
EffectsPassSources RunEffectsPassSources(FilterRun& run);

}  // namespace lumeray
