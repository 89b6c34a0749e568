#include "analysis/worker_threads.h"

#include <atomic>
#include <bit>
#include <cstdlib>
#include <string>

#include "diagnostics/message_report.h"
#include "platform/error_text.h"
#include "platform/sync.h"

namespace lumeray {
namespace {

// The run-wide cached count; 0 until first computed. Every computation yields the same value,
// so concurrent first calls only repeat the work.
std::atomic<int> gWorkerCount{0};
std::atomic<CancellationPoll> gCancellationPoll{nullptr};
std::atomic<uint32_t> gAbandonedThreads{0};

void ReportDebug(uint32_t line, const std::string& text, uint32_t errorCode = 0) {
  MessageReport report(line, errorCode != 0 ? kMessageSystemError : kMessageDebug, errorCode);
  report.Report(kIconError, kTitleDebugUnexpectedError, "%s", text.c_str());
}

int FallbackCount(uint32_t processors) {
  if (processors <= 1) return 1;
  if (processors == 2) return 2;
  return static_cast<int>(processors - 1);
}

}  // namespace

int ComputeWorkerThreadCount(const std::optional<std::vector<platform::ProcessorRecord>>& records,
                             uint32_t processorCount) {
  int count;
  if (!records) {
    count = FallbackCount(processorCount);
  } else {
    uint32_t cores = 0;
    uint32_t logical = 0;
    uint32_t packages = 0;
    for (const platform::ProcessorRecord& record : *records) {
      switch (record.relationship) {
        case platform::kProcessorCore:
          ++cores;
          logical += static_cast<uint32_t>(std::popcount(record.processorMask));
          break;
        case platform::kProcessorPackage:
          ++packages;
          break;
        case platform::kNumaNode:
        case platform::kCache:
          break;
        default: {
          MessageReport report(__LINE__, kMessageDebug);
          report.Report(kIconError, kTitleDebugUnexpectedError,
                        "Unsupported LOGICAL_PROCESSOR_RELATIONSHIP value %d.",
                        record.relationship);
          break;
        }
      }
    }
    // Every physical core plus half of the additional hardware threads.
    const uint32_t extra = (logical - cores) >> 1;
    count = static_cast<int>(logical - extra);
    if (count <= 0) count = 1;
    // Without additional hardware threads, leave one processor to the user interface.
    if (static_cast<uint32_t>(count) == logical && logical > 2)
      count = static_cast<int>(logical) - 1;
  }
  if (count > kMaximumWorkerThreads) count = kMaximumWorkerThreads;
  return count;
}

int WorkerThreadCount() {
  int count = gWorkerCount.load(std::memory_order_relaxed);
  if (count != 0) return count;
  count = ComputeWorkerThreadCount(platform::QueryLogicalProcessorInformation(),
                                   platform::NativeProcessorCount());
  gWorkerCount.store(count, std::memory_order_relaxed);
  return count;
}

void ResetWorkerThreadCount() {
  gWorkerCount.store(0);
}

bool SpawnMultipleThreads(ThreadSlot* slots, int count) {
  for (int i = 0; i < count; ++i) {
    ThreadSlot& slot = slots[i];
    int errorNumber = 0;
    platform::Thread* thread =
        platform::Thread::Start(slot.startRoutine, slot.argument, &errorNumber);
    if (thread == nullptr) {
      std::string text = platform::SystemErrorText(errorNumber);
      MessageReport report(__LINE__, kMessageDebug);
      report.Report(kIconError, kTitleDebugUnexpectedError,
                    "SpawnMultipleThreads() - Could not start thread %d : %s.",
                    static_cast<int>(slot.index), text.c_str());
      return false;
    }
    slot.threadHandle = thread;
    slot.threadId = thread->Id();
  }
  return true;
}

bool WaitForMultipleThreads(ThreadSlot* slots, int count, bool alertable) {
  std::vector<platform::Waitable*> handles;
  std::vector<ThreadSlot*> owners;
  for (int i = 0; i < count; ++i) {
    if (slots[i].threadHandle != nullptr) {
      handles.push_back(slots[i].threadHandle);
      owners.push_back(&slots[i]);
    }
  }
  if (handles.empty()) return true;

  for (;;) {
    const platform::WaitResult result =
        platform::WaitForObjects(handles, /*waitAll=*/true, platform::kInfinite, alertable);
    switch (result.status) {
      case platform::WaitStatus::kSignaled:
        for (ThreadSlot* slot : owners) {
          delete slot->threadHandle;
          slot->threadHandle = nullptr;
        }
        return true;
      case platform::WaitStatus::kAbandoned:
        ReportDebug(__LINE__, "WaitForMultipleThreads() - An object was abandoned.");
        return false;
      case platform::WaitStatus::kIoCompletion:
        if (CancellationRequested()) return false;
        continue;
      case platform::WaitStatus::kTimeout:
        ReportDebug(__LINE__, "WaitForMultipleThreads() - A wait timed out.");
        return false;
      case platform::WaitStatus::kFailed:
      default:
        ReportDebug(__LINE__, "WaitForMultipleThreads() - Waiting for events failed.",
                    static_cast<uint32_t>(platform::LastError()));
        return false;
    }
  }
}

int DestroyThread(ThreadSlot* slot) {
  int result = 1;
  bool stillRunning = false;
  if (slot->threadHandle != nullptr) {
    uint32_t exitCode = 0;
    if (!slot->threadHandle->GetExitCode(&exitCode)) {
      ReportDebug(__LINE__, "DestroyThread() - Failed to get thread exit status.");
      result = 0;
    } else if (exitCode == platform::kStillActive) {
      // A thread cannot be killed safely here: ask it to end and give it the time-out.
      slot->threadHandle->RequestTermination();
      const platform::WaitResult wait =
          platform::WaitForObject(*slot->threadHandle, kThreadEndTimeoutMs);
      if (wait.status != platform::WaitStatus::kSignaled) {
        stillRunning = true;
        gAbandonedThreads.fetch_add(1);
        ReportDebug(__LINE__, "DestroyThread() - Thread " + std::to_string(slot->threadId) +
                                  " did not end within the time-out and was abandoned.");
      }
    }
    delete slot->threadHandle;  // a thread still running is detached, never blocked on
    slot->threadHandle = nullptr;
  }
  if (slot->argument != nullptr) {
    // A thread that is still running may still read its argument block: keep it alive.
    if (!stillRunning) std::free(slot->argument);
    slot->argument = nullptr;
  }
  return result;
}

uint32_t AbandonedThreadCount() {
  return gAbandonedThreads.load();
}

void SetCancellationPoll(CancellationPoll poll) {
  gCancellationPoll.store(poll);
}

bool CancellationRequested() {
  CancellationPoll poll = gCancellationPoll.load();
  return poll != nullptr && poll();
}

}  // namespace lumeray
