#include "host/filter_run.h"

#include <cstdlib>
#include <memory>
#include <vector>

#include "analysis/worker_threads.h"
#include "platform/thread.h"

namespace lumeray {
namespace {

// The run in progress (see the header).
std::unique_ptr<FilterRun> gFilterRun;
// Runs a worker of theirs was abandoned in: kept until the module is unloaded (see EndFilterRun).
std::vector<std::unique_ptr<FilterRun>> gRunsLeftToAbandonedWorkers;
// AbandonedThreadCount() when the run began.
uint32_t gAbandonedAtBegin = 0;

}  // namespace

FilterRun& BeginFilterRun() {
  EndFilterRun();
  gAbandonedAtBegin = AbandonedThreadCount();
  gFilterRun = std::make_unique<FilterRun>();
  gFilterRun->host.progress.uiThread = platform::CurrentThreadId();
  return *gFilterRun;
}

void EndFilterRun() {
  if (gFilterRun != nullptr && AbandonedThreadCount() != gAbandonedAtBegin) {
    // A worker of this run did not end in time and may still read the renderers, the master
    // table or the band profiles: the run is left to it (as its argument block is) rather than
    // freed under it.
    gRunsLeftToAbandonedWorkers.push_back(std::move(gFilterRun));
    return;
  }
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
