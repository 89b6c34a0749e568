#include "host/progress.h"

#include <mutex>

#include "diagnostics/message_report.h"
#include "host/filter_run.h"
#include "host/host_globals.h"
#include "platform/sync.h"
#include "platform/thread.h"

namespace lumeray {
namespace {

constexpr uint32_t kMaximumDisplaySteps = 100;

RunProgress& Progress() {
  return ActiveFilterRun().host.progress;
}

bool DisplayProgressBar(const RunProgress& progress, uint32_t done, uint32_t total) {
  return PollHostProgress(platform::CurrentThreadId() == progress.uiThread,
                          static_cast<int32_t>(done), static_cast<int32_t>(total));
}

void ReportNotOnUiThread() {
  MessageReport report(__LINE__, kMessageDebug);
  report.Report(kIconError, kTitleDebugUnexpectedError,
                "DisplayImageEditorProgressBar() - Function was not called from UI thread.");
}

}  // namespace

void SetProgressTotal(uint64_t units) {
  RunProgress& progress = Progress();
  uint32_t displayTotal;
  {
    std::lock_guard lock(progress.section);
    ProgressState& s = progress.state;
    s.deferred = true;
    s.stepsDone = 0;
    s.unitRemainder = 0;
    if (units <= kMaximumDisplaySteps) {
      s.displayTotal = static_cast<uint32_t>(units);
      s.unitsPerStep = 1;
    } else {
      s.displayTotal = kMaximumDisplaySteps;
      s.unitsPerStep = static_cast<uint32_t>(units / kMaximumDisplaySteps);
    }
    displayTotal = s.displayTotal;
  }
  DisplayImageEditorProgressBar(0, displayTotal);
}

bool AdvanceImageEditorProgress(void* run, uint32_t units) {
  FilterRun& filterRun = *static_cast<FilterRun*>(run);
  RunProgress& progress = filterRun.host.progress;
  uint32_t stepsDone, displayTotal;
  bool deferred;
  platform::ThreadId uiThread;
  {
    std::lock_guard lock(progress.section);
    ProgressState& s = progress.state;
    uint64_t remainder = uint64_t{s.unitRemainder} + units;
    uint32_t completed = 0;
    while (remainder >= s.unitsPerStep) {
      remainder -= s.unitsPerStep;
      ++completed;
    }
    s.unitRemainder = static_cast<uint32_t>(remainder);
    if (completed == 0) return true;
    s.stepsDone += completed;
    stepsDone = s.stepsDone;
    displayTotal = s.displayTotal;
    deferred = s.deferred;
    uiThread = progress.uiThread;
    if (deferred) {
      // Queued under the section, so the UI thread receives the steps in increasing order.
      const bool queued =
          platform::QueueProcedureCall(uiThread, [&filterRun, stepsDone, displayTotal] {
            if (!DisplayProgressBar(filterRun.host.progress, stepsDone, displayTotal)) {
              filterRun.state.status.SetResult(kUserCanceledErr);
            }
          });
      if (!queued) {
        MessageReport report(__LINE__, kMessageDebug);
        report.Report(kIconError, kTitleDebugUnexpectedError,
                      "AdvanceImageEditorProgress() - Could not queue progress bar update to APC "
                      "queue.");
        return false;
      }
      return true;
    }
  }
  return DisplayProgressBar(progress, stepsDone, displayTotal);
}

bool DisplayImageEditorProgressBar(uint32_t done, uint32_t total) {
  return DisplayProgressBar(Progress(), done, total);
}

bool PollHostProgress(bool onUiThread, int32_t done, int32_t total) {
  if (!onUiThread) {
    ReportNotOnUiThread();
    return false;
  }
  const FilterRecord* record = Host().filterRecord;
  if (record == nullptr) return true;
  if (record->progressProc != nullptr) record->progressProc(done, total);
  return !(record->abortProc != nullptr && record->abortProc());
}

ProgressState GetProgressState() {
  RunProgress& progress = Progress();
  std::lock_guard lock(progress.section);
  return progress.state;
}

}  // namespace lumeray
