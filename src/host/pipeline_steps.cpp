#include "host/pipeline_steps.h"

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
  dialog::AnalysisQueries analysis;
  analysis.progress = [](int32_t* done, int32_t* total) {
    if (!LightSourceAnalysisStarted()) return false;
    const AnalysisProgress progress = GetAnalysisProgress();
    *done = progress.done;
    *total = progress.total;
    return true;
  };
  analysis.complete = [] { return DataInitializationComplete(); };
  const ImageRect& bounds = InputImage().bounds;
  analysis.imageBounds[0] = bounds.left;
  analysis.imageBounds[1] = bounds.top;
  analysis.imageBounds[2] = bounds.right;
  analysis.imageBounds[3] = bounds.bottom;
  analysis.imageSource = &HostProxyImageSource;
  analysis.imageSourceContext = &ActiveFilterRun().preview.pyramid;
  return dialog::RunModalMainDialog(&CurrentParameters(), analysis);
}

void DeallocateMasterLightSourceTable() {
  FreeMasterLightSourceTable(&MasterTable());
}
int32_t LightSourceCount() {
  return static_cast<int32_t>(MasterTable().count);
}

}  // namespace lumeray
