#include "host/plugin_resources.h"

#include "effects/effects_run_state.h"
#include "host/filter_run.h"
#include "host/host_globals.h"

namespace lumeray {

void LoadPluginResources() {
  PreviewTaskSources sources;
  FilterRun& run = ActiveFilterRun();
  sources.analysis = &run.analysis;
  sources.parameters = &CurrentParameters();
  run.effects.previewTaskSources = sources;
}

}  // namespace lumeray
