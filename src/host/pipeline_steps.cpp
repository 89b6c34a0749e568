#include "host/pipeline_steps.h"

#include "analysis/analysis_run_state.h"
#include "analysis/data_initialization.h"
#include "analysis/master_light_source_table.h"
#include "dialog/dialog_procedures.h"
#include "host/filter_run.h"
#include "host/host_globals.h"
#include "preview/proxy_layer.h"
#include "run/input_image.h"

namespace lumeray {

bool RunMainDialog() {
  // A host that plays nothing back yet asks for no dialog (a silent or hidden repeat of the last
  // filter) gets the render with the settings as they stand.
  if (const FilterRecord* record = Host().filterRecord) {
    const PIDescriptorParameters* played = record->descriptorParameters;
    if (played != nullptr && played->descriptor == nullptr &&
        played->playInfo != kPlayDialogDisplay) {
      return true;
    }
  }
  FilterRun& run = ActiveFilterRun();
  AnalysisRunState* analysisRun = &run.analysis;
  dialog::AnalysisQueries analysis;
  analysis.progress = [analysisRun](int32_t* done, int32_t* total) {
    if (!LightSourceAnalysisStarted(*analysisRun)) return false;
    const AnalysisProgress progress = GetAnalysisProgress(*analysisRun);
    *done = progress.done;
    *total = progress.total;
    return true;
  };
  analysis.complete = [analysisRun] { return DataInitializationComplete(*analysisRun); };
  analysis.analysis = analysisRun;
  const ImageRect& bounds = InputImage().bounds;
  analysis.imageBounds[0] = bounds.left;
  analysis.imageBounds[1] = bounds.top;
  analysis.imageBounds[2] = bounds.right;
  analysis.imageBounds[3] = bounds.bottom;
  analysis.imageSource = &HostProxyImageSource;
  analysis.imageSourceContext = &run.preview.pyramid;
  return dialog::RunModalMainDialog(&CurrentParameters(), analysis);
}

void DeallocateMasterLightSourceTable() {
  FreeMasterLightSourceTable(&ActiveFilterRun().analysis.master);
}
int32_t LightSourceCount() {
  return static_cast<int32_t>(ActiveFilterRun().analysis.master.count);
}

}  // namespace lumeray
