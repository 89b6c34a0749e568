#include "preview/preview_run_state.h"

namespace lumeray {

PreviewRunState& CurrentPreviewRun() {
  static PreviewRunState run;
  return run;
}

}  // namespace lumeray
