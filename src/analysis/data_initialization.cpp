#include "analysis/data_initialization.h"

#include <atomic>
#include <memory>

#include "diagnostics/message_report.h"
#include "platform/thread.h"

namespace lumeray {
namespace {

// The run's analysis objects; created by StartLightSourceAnalysis, released by
// CloseLightSourceAnalysis, both on the UI thread.
struct AnalysisRun {
  std::unique_ptr<platform::Mutex> mutex;
  std::unique_ptr<platform::Event> complete;
  std::unique_ptr<platform::Thread> thread;
  bool started = false;
};

AnalysisRun gRun;
std::atomic<bool> gStopRequested{false};
std::atomic<int32_t> gProgressDone{0};
std::atomic<int32_t> gProgressTotal{0};

// The data-initialisation thread. The light source search is not part of the run yet: the
// thread only signals completion, which it must do on every path.
uint32_t DataInitializationThread(void* argument) {
  auto* complete = static_cast<platform::Event*>(argument);
  complete->Set();
  return 0;
}

}  // namespace

int StartLightSourceAnalysis() {
  gStopRequested = false;
  gProgressDone = 0;
  gProgressTotal = 0;
  gRun.mutex = std::make_unique<platform::Mutex>();
  gRun.complete = std::make_unique<platform::Event>(/*manualReset=*/true, false);
  int errorNumber = 0;
  gRun.thread.reset(
      platform::Thread::Start(DataInitializationThread, gRun.complete.get(), &errorNumber));
  if (!gRun.thread) {
    MessageReport report(__LINE__, kMessageSystemError, static_cast<uint32_t>(errorNumber));
    report.Report(kIconError, kTitleDebugUnexpectedError,
                  "Could not start the data initialization thread.");
    gRun.complete.reset();
    gRun.mutex.reset();
    return -1715;
  }
  gRun.started = true;
  return 0;
}

bool LightSourceAnalysisStarted() { return gRun.started; }

void RequestAnalysisStop() { gStopRequested = true; }
bool AnalysisStopRequested() { return gStopRequested; }

platform::Event* DataInitializationCompleteEvent() { return gRun.complete.get(); }

bool DataInitializationComplete() { return gRun.complete && gRun.complete->IsSet(); }

void CloseLightSourceAnalysis() {
  if (gRun.started && gRun.complete) {
    platform::WaitForObject(*gRun.complete, platform::kInfinite);
  }
  if (gRun.thread) platform::WaitForObject(*gRun.thread, platform::kInfinite);
  gRun.thread.reset();
  gRun.complete.reset();
  gRun.mutex.reset();
  gRun.started = false;
}

AnalysisProgress GetAnalysisProgress() { return {gProgressDone.load(), gProgressTotal.load()}; }

void SetAnalysisProgress(int32_t done, int32_t total) {
  gProgressTotal = total;
  gProgressDone = done;
}

}  // namespace lumeray
