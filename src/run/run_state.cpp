#include "run/run_state.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace lumeray {
namespace {

// The run bound by the host and the thread it was bound on (see the header).
std::atomic<RunState*> gBoundRun{nullptr};
std::atomic<std::thread::id> gBoundThread{};

}  // namespace

RunState& CurrentRun() {
  RunState* bound = gBoundRun.load();
  if (bound == nullptr) {
    static RunState outsideAnyRun;
    return outsideAnyRun;
  }
  if (gBoundThread.load() != std::this_thread::get_id()) ReportForeignThreadOnRun();
  return *bound;
}

void ReportForeignThreadOnRun() {
  static std::atomic<bool> reported{false};
  if (!reported.exchange(true)) {
    std::fputs("lumeray: a thread other than the run's own reached the run in progress\n", stderr);
  }
#ifndef NDEBUG
  std::abort();
#endif
}

void BindCurrentRun(RunState* run) {
  gBoundThread.store(std::this_thread::get_id());
  gBoundRun.store(run);
}

}  // namespace lumeray
