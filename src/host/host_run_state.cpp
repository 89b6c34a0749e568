#include "host/host_run_state.h"

namespace lumeray {

HostRunState& CurrentHostRun() {
  static HostRunState run;
  return run;
}

}  // namespace lumeray
