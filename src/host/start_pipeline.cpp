// Start: the run pipeline, from the stored parameters to the written-back image, and the
// clean-up that always runs in full.
#include "analysis/data_initialization.h"
#include "analysis/master_light_source_table.h"
#include "effects/effect_renderers.h"
#include "effects/effects_run_state.h"
#include "host/filter_run.h"
#include "host/final_render.h"
#include "host/host_globals.h"
#include "host/host_suites.h"
#include "host/last_saved_parameters.h"
#include "host/pipeline_steps.h"
#include "host/plugin_entry.h"
#include "host/scripting_read.h"
#include "run/input_image.h"

namespace lumeray {
namespace {

void ReadStoredParameters() {
  const int stored = ReadRegistryParameters();
  if (stored == kErrPlugInHostInsufficient) {
    if (!LoadLastSavedParameters()) CurrentParameters() = kFactoryParameters;
  } else if (stored == kErrStoredVersionMismatch) {
    CurrentParameters() = kFactoryParameters;
  }
}

void CleanUpRun(FilterRun& run, bool shapeSectionCreated) {
  ReleaseEffectTables(run.effects.renderers);
  RequestAnalysisStop(run.analysis);
  RequestRenderAbort();
  CloseLightSourceAnalysis(run.analysis);
  DeallocateMasterLightSourceTable();
  EndHostImageExchange();
  ReleaseBandColorManagement();
  ReleaseColorManagement();
  if (shapeSectionCreated) DeleteShapeBuildingSection();
  ReleaseGammaTableCache();
}

}  // namespace

// The pipeline of Start. With a trace sink the run stops after the light source analysis:
// no dialog, no render; the sink receives the light source table, line by line.
void RunStartPipeline(LightSourceTraceSink sink, void* context) {
  FilterRun& run = ActiveFilterRun();
  LockHandles();
  if (RunResult() != 0) {
    ReleaseHostSuites();
    return;
  }
  SetWatchSuspensionProperty();
  ClearRenderAbort();

  ReadStoredParameters();

  bool showDialog = true;
  if (ReadScriptingParameters(&showDialog) == kScriptingNoParameterBlock) {
    SetRunResult(kParamErr);
  }

  bool shapeSectionCreated = false;
  if (RunResult() == 0) {
    BuildPixelConversionTables();
    shapeSectionCreated = CreateShapeBuildingSection();
    if (!SetUpColorManagement()) SetRunResult(kParamErr);
  }
  if (RunResult() == 0 && !ReadHostImage()) SetRunResult(kParamErr);
  if (RunResult() == 0) {
    const int started = StartLightSourceAnalysis(run.analysis, &InputImage(), InputDepthCode());
    if (started != 0) SetRunResult(static_cast<int16_t>(started));
  }
  if (sink != nullptr) {
    if (RunResult() == 0) WaitForAnalysis(run.analysis);
    if (RunResult() == 0) {
      LightSourceTableTrace trace(run.analysis.master);
      while (auto line = trace.Next()) sink(context, line->c_str());
    }
  } else {
    if (RunResult() == 0) {
      if (showDialog) {
        if (!RunMainDialog()) SetRunResult(kUserCanceledErr);
        if (Host().showDialogFlag != nullptr) *Host().showDialogFlag = 0;
      } else {
        SetUpDirectRenderTables(run.effects.renderers);
      }
    }
    if (RunResult() == 0) RenderFinalImage();
  }

  CleanUpRun(run, shapeSectionCreated);

  if (RunResult() != 0) ReleaseHostSuites();
}

void DoStart() {
  RunStartPipeline(nullptr, nullptr);
}

void DoFinish() {
  LockHandles();
  if (RunResult() == 0) {
    WriteScriptingParameters();
    WriteRegistryParameters();
    SaveLastSavedParameters();
  }
  ReleaseHostSuites();
}

}  // namespace lumeray
