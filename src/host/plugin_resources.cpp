#include "host/plugin_resources.h"

#include "effects/preview_task_callback.h"
#include "host/host_globals.h"

namespace lumeray {

void LoadPluginResources() {
  PreviewTaskSources sources;
  sources.parameters = &CurrentParameters();
  SetPreviewTaskSources(sources);
}

}  // namespace lumeray
