#include "analysis/analysis_run_state.h"

namespace lumeray {

AnalysisRunState& CurrentAnalysisRun() {
  static AnalysisRunState run;
  return run;
}

}  // namespace lumeray
