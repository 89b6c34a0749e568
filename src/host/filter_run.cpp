#include "host/filter_run.h"

#include <cstdlib>
#include <memory>

#include "platform/thread.h"

namespace lumeray {
namespace {

// The run in progress (see the header).
std::unique_ptr<FilterRun> gFilterRun;

}  // namespace

FilterRun& BeginFilterRun() {
  gFilterRun = std::make_unique<FilterRun>();
  gFilterRun->host.progress.uiThread = platform::CurrentThreadId();
  return *gFilterRun;
}

void EndFilterRun() {
  gFilterRun.reset();
}

FilterRun& ActiveFilterRun() {
  if (gFilterRun == nullptr) std::abort();  // a step of a run outside any run
  return *gFilterRun;
}

bool FilterRunActive() {
  return gFilterRun != nullptr;
}

}  // namespace lumeray
