#include "run/run_state.h"

namespace lumeray {

RunState& CurrentRun() {
  static RunState run;
  return run;
}

}  // namespace lumeray
