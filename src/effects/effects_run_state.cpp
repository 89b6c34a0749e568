#include "effects/effects_run_state.h"

namespace lumeray {

EffectsRunState& CurrentEffectsRun() {
  static EffectsRunState run;
  return run;
}

}  // namespace lumeray
