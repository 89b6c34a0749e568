#include "host/filter_run.h"

#include <cstdlib>
#include <memory>
#include <vector>

#include "analysis/worker_threads.h"
#include "color/color_management.h"
#include "platform/thread.h"
#include "run/host_record.h"

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
  gFilterRun->analysis.run = &gFilterRun->state;
  gFilterRun->preview.pyramid.run = &gFilterRun->state;
  gFilterRun->host.progress.uiThread = platform::CurrentThreadId();
  BindCurrentRun(&gFilterRun->state);
  AttachHostCall();
  return *gFilterRun;
}

void AttachHostCall() {
  if (gFilterRun != nullptr) gFilterRun->state.status.AttachHostCell(Host().result);
}

void EndFilterRun() {
  if (gFilterRun == nullptr) return;
  // Whatever path ended the run, its profiles are closed with it (once released, this is a no-op).
  ReleaseColorManagement();
  BindCurrentRun(nullptr);
  gFilterRun->state.status.AttachHostCell(nullptr);
  if (AbandonedThreadCount() != gAbandonedAtBegin) {
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
  if (platform::CurrentThreadId() != gFilterRun->host.progress.uiThread) {
    ReportForeignThreadOnRun();
  }
  return *gFilterRun;
}

bool FilterRunActive() {
  return gFilterRun != nullptr;
}

}  // namespace lumeray
