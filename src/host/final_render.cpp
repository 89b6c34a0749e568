#include "host/final_render.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "analysis/analysis_run_state.h"
#include "analysis/data_initialization.h"
#include "analysis/worker_threads.h"
#include "diagnostics/message_report.h"
#include "effects/band_render.h"
#include "effects/effect_renderers.h"
#include "effects/effects_pass.h"
#include "effects/effects_run_state.h"
#include "effects/parameter_set_buffer.h"
#include "host/filter_run.h"
#include "host/host_globals.h"
#include "host/progress.h"
#include "image/buffer.h"
#include "image/image_modes.h"
#include "platform/thread.h"
#include "run/input_image.h"

namespace lumeray {
// Waits for the data-initialisation phase, showing its progress and polling the host's abort.
void WaitForAnalysis(AnalysisRunState& analysis) {
  platform::Event* complete = DataInitializationCompleteEvent(analysis);
  if (complete == nullptr) return;
  for (;;) {
    const platform::WaitResult wait = platform::WaitForObject(*complete, kAnalysisPollMs);
    if (wait.status == platform::WaitStatus::kSignaled) return;
    const AnalysisProgress progress = GetAnalysisProgress(analysis);
    if (!PollHostProgress(OnUiThread(), progress.done, progress.total)) {
      SetRunResult(kUserCanceledErr);
      return;
    }
  }
}

std::vector<PixelRect> SplitIntoBands(const PixelRect& rect, int count) {
  std::vector<PixelRect> bands;
  if (count <= 0) return bands;
  const int32_t height = (rect.bottom - rect.top) / count;
  int32_t top = rect.top;
  for (int i = 0; i < count; ++i) {
    const int32_t bottom = i == count - 1 ? rect.bottom : top + height;
    bands.push_back({rect.left, top, rect.right, bottom});
    top = bottom;
  }
  return bands;
}

uint32_t RenderBand(void* argument) {
  const auto* args = static_cast<const RenderBandArguments*>(argument);
  RunStatus& status = args->run->state.status;
  if (status.Stopped()) return 0;
  const PixelRect band{args->left, args->top, args->right, args->bottom};
  if (!RenderBandPixels(*args->run, band, *args->snapshot, args->deal)) {
    status.SetResult(kWritErr);
  }
  return 0;
}

void RenderFinalImage() {
  FilterRun& run = ActiveFilterRun();
  // What the workers read lives in the run, which is kept for a worker that has to be abandoned.
  FinalRenderShared& shared = run.host.finalRender;
  shared.image = WorkingImageRect();
  shared.snapshot = MakeFinalRenderSnapshot(CurrentParameters());
  shared.deal.reset();
  const PixelRect& image = shared.image;

  WaitForAnalysis(run.analysis);
  if (RunResult() != 0) return;

  BufferDescriptor taskArray;
  if (ReallocateBuffer(kTaskArrayBytes, &taskArray) != 0) {
    SetRunResult(kMemFullErr);
    return;
  }
  std::memset(taskArray.data, 0, taskArray.size);
  auto* slots = static_cast<ThreadSlot*>(taskArray.data);

  const int threads = WorkerThreadCount();
  const ParameterSet& p = CurrentParameters();
  const int32_t passes = ((p.Intensity > 0 || p.SecondarySpikeIntensity > 0) ? 1 : 0) +
                         (p.SoftFlareIntensity > 0 ? 1 : 0);
  SetProgressTotal(static_cast<uint64_t>(passes) * static_cast<uint64_t>(LightSourceCount()) *
                   static_cast<uint64_t>(threads));

  const std::vector<PixelRect> bands = SplitIntoBands(image, threads);
  try {
    shared.deal = std::make_unique<StripDeal>(bands);
  } catch (const std::bad_alloc&) {
    DeallocateBuffer(&taskArray);
    SetRunResult(kMemFullErr);
    return;
  }
  int filled = 0;
  for (int i = 0; i < threads && RunResult() == 0; ++i) {
    auto* args = static_cast<RenderBandArguments*>(std::malloc(sizeof(RenderBandArguments)));
    if (args == nullptr) {
      SetRunResult(kMemFullErr);
      break;
    }
    *args = {&image,         &shared.snapshot, bands[i].left, bands[i].top,
             bands[i].right, bands[i].bottom,  &run,          shared.deal.get()};
    slots[i].startRoutine = RenderBand;
    slots[i].argument = args;
    slots[i].index = static_cast<uint32_t>(i);
    filled = i + 1;
  }

  if (RunResult() == 0) {
    if (SpawnMultipleThreads(slots, filled)) {
      if (!WaitForMultipleThreads(slots, filled, /*alertable=*/true)) {
        SetRunResult(kErrAEEventFailed);
        RequestRenderAbort();
        // After a cancel the workers see the result and stop: wait until all have ended.
        if (RunResult() == kUserCanceledErr) WaitForMultipleThreads(slots, filled, false);
      }
    } else {
      SetRunResult(kErrAEEventFailed);
      RequestRenderAbort();
      WaitForMultipleThreads(slots, filled, false);
    }
  }

  for (int i = 0; i < filled; ++i) DestroyThread(&slots[i]);
  DeallocateBuffer(&taskArray);
  if (RunResult() == 0) {
    // Every band has ended: the shapes' memory goes back before the write-back needs its own.
    // (After a failure a band may still be ending; the run's clean-up releases them later.)
    ReleaseEffectRenderers(run.effects.renderers);
    WriteResultsToHost();
  }
}

EffectsPassSources RunEffectsPassSources(FilterRun& run) {
  EffectsRunState& effects = run.effects;
  return {&run.analysis.master,
          StarShape(effects.renderers),
          SoftFlareShape(effects.renderers),
          StarPhases(effects.renderers),
          SoftFlareRadialProfile(effects.renderers),
          run.analysis.presenceThreshold.load(),
          IsHostGrayMode(run.state.inputImage.mode),
          &AdvanceImageEditorProgress,
          effects.bandWorkingProfile,
          effects.bandToHostProfile,
          &run,
          &run.state.status,
          run.state.profiles.host,
          &effects.shapeBuilding};
}

bool RenderBandPixels(FilterRun& run, const PixelRect& band, const ParameterSetBuffer& snapshot,
                      StripDeal* deal) {
  BindEffectRenderers(run.effects.renderers, snapshot, CurrentRenderImageFacts(run.analysis));
  const ImageRecord& image = run.state.inputImage;
  const PixelRect whole{image.bounds.left, image.bounds.top, image.bounds.right,
                        image.bounds.bottom};
  return RenderEffectsBand(
      {band.left, band.top, band.right, band.bottom}, snapshot, RunEffectsPassSources(run),
      &run.state.inputImage,
      FinalRenderBandPlanIn(band, SplitIntoBands(whole, WorkerThreadCount()), deal));
}

}  // namespace lumeray
