#include "diagnostics/logging_thread.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <memory>

#include "diagnostics/log_file.h"
#include "diagnostics/log_queue.h"
#include "diagnostics/message_report.h"
#include "platform/sync.h"
#include "platform/thread.h"

namespace lumeray {
namespace {

// Exit codes of the thread besides kForcedExitCode (asked to end at once, or abandoned).
constexpr uint32_t kLoggingThreadDone = 0;
constexpr uint32_t kLoggingThreadWaitFailed = 1;

// Shared by the thread and its owner; freed by the one that releases it last.
struct LoggingThreadContext {
  platform::Event termination{true, false};
  platform::Event ioStart{false, false};
  int descriptor = -1;             // the thread's own duplicate; the thread closes it
  void* argumentBlock = nullptr;   // owned here once the thread is abandoned
  std::atomic<int> references{2};  // the thread and its owner
};

void ReleaseContext(LoggingThreadContext* context) {
  if (context->references.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
  std::free(context->argumentBlock);
  delete context;
}

// The block handed to the thread when it starts.
struct LoggingThreadArgument {
  LoggingThreadContext* context;
};

void ReportDebug(uint32_t line, const char* text) {
  MessageReport report(line, kMessageDebug);
  report.Report(kIconError, kTitleDebugUnexpectedError, "%s", text);
}

void ReportSystemError(uint32_t line, int errorNumber, const char* text) {
  MessageReport report(line, kMessageSystemError, static_cast<uint32_t>(errorNumber));
  report.Report(kIconError, kTitleDebugUnexpectedError, "%s", text);
}

// Writes queued entries until the queue is empty. Returns false when the thread has to end at
// once (asked to, or no longer the queue's writer).
bool WriteQueuedEntries(LoggingThreadContext& context, uint64_t* offset) {
  LogQueue& queue = LogQueue::Instance();
  for (;;) {
    if (platform::Thread::TerminationRequested()) return false;
    std::unique_ptr<LogQueueEntry> entry;
    switch (queue.TakeFirst(&context, &entry)) {
      case TakeOutcome::kEntry:
        // A failed write drops the entry; reporting it would only queue more of the same.
        WriteLogEntryAt(context.descriptor, *entry, offset);
        break;
      case TakeOutcome::kEmpty:
        return true;
      case TakeOutcome::kNotWriter:
        return false;
    }
  }
}

uint32_t RunLoggingThread(LoggingThreadContext& context) {
  const std::array<platform::Waitable*, 2> events = {&context.termination, &context.ioStart};
  constexpr size_t kTerminationIndex = 0;
  uint64_t offset = 0;
  bool endRequested = false;
  for (;;) {
    const platform::WaitResult result =
        platform::WaitForObjects(events, false, platform::kInfinite, true);
    if (result.status == platform::WaitStatus::kIoCompletion) continue;
    if (result.status != platform::WaitStatus::kSignaled) return kLoggingThreadWaitFailed;
    if (result.index == kTerminationIndex) {
      endRequested = true;
      context.termination.Reset();
      continue;
    }
    if (!WriteQueuedEntries(context, &offset)) return platform::kForcedExitCode;
    FlushLogFile(context.descriptor);
    if (endRequested) return kLoggingThreadDone;
  }
}

uint32_t LoggingThreadMain(void* argument) {
  LoggingThreadContext* context = static_cast<LoggingThreadArgument*>(argument)->context;
  const uint32_t exitCode = RunLoggingThread(*context);
  close(context->descriptor);
  ReleaseContext(context);
  return exitCode;
}

// Waits for the thread to end after asking it to. Returns false when it is to be abandoned.
bool AwaitLoggingThreadEnd(platform::Thread& thread, LoggingThreadContext& context,
                           uint32_t timeoutMs) {
  context.termination.Set();
  context.ioStart.Set();
  bool terminationRequested = false;
  for (;;) {
    const platform::WaitResult result = platform::WaitForObject(thread, timeoutMs);
    switch (result.status) {
      case platform::WaitStatus::kSignaled: {
        uint32_t exitCode = 0;
        if (thread.GetExitCode(&exitCode) && exitCode == platform::kForcedExitCode) {
          ReportDebug(__LINE__, "Timeout occurred while waiting for Logging thread to terminate");
        }
        return true;
      }
      case platform::WaitStatus::kAbandoned:
        ReportDebug(__LINE__,
                    "Unexpected wait event WAIT_ABANDONED returned while waiting for logging "
                    "thread termination.");
        return true;
      case platform::WaitStatus::kTimeout:
        ReportDebug(__LINE__, "Timeout occurred while waiting for Logging thread to terminate");
        if (terminationRequested) return false;
        thread.RequestTermination();
        terminationRequested = true;
        break;
      default:
        ReportSystemError(__LINE__, errno, "Error while waiting for logging thread termination.");
        return true;
    }
  }
}

}  // namespace

struct LoggingThread {
  platform::Thread* handle = nullptr;  // null when no thread runs
  LoggingThreadArgument* argument = nullptr;
  LoggingThreadContext* context = nullptr;
};

LoggingThread* StartLoggingThread(int descriptor) {
  auto* context = new LoggingThreadContext;
  context->descriptor = fcntl(descriptor, F_DUPFD_CLOEXEC, 0);
  if (context->descriptor < 0) {
    ReportSystemError(__LINE__, errno, "Could not create a Logging Thread argument block.");
    delete context;
    return nullptr;
  }
  auto* argument = static_cast<LoggingThreadArgument*>(std::malloc(sizeof(LoggingThreadArgument)));
  if (argument == nullptr) {
    ReportDebug(__LINE__, "Could not create a Logging Thread argument block.");
    close(context->descriptor);
    delete context;
    return nullptr;
  }
  argument->context = context;

  int errorNumber = 0;
  platform::Thread* handle = platform::Thread::Start(LoggingThreadMain, argument, &errorNumber);
  if (handle == nullptr) {
    ReportSystemError(__LINE__, errorNumber, "Could not spawn the logging thread.");
    std::free(argument);
    close(context->descriptor);
    delete context;
    return nullptr;
  }
  auto* thread = new LoggingThread{handle, argument, context};
  LogQueue::Instance().EnterThreadedMode(context, &context->ioStart);
  context->ioStart.Set();
  return thread;
}

void StopLoggingThread(LoggingThread* thread, uint32_t timeoutMs) {
  if (thread == nullptr) return;
  LoggingThreadContext* context = thread->context;
  platform::Thread* handle = thread->handle;
  bool abandon = false;
  uint32_t exitCode = 0;
  if (handle == nullptr) {
    // Never started; nothing to wait for.
  } else if (!handle->GetExitCode(&exitCode)) {
    ReportSystemError(__LINE__, errno, "Failed to get logging thread exit status.");
  } else if (exitCode != platform::kStillActive) {
    MessageReport report(__LINE__, kMessageDebug);
    report.Report(kIconError, kTitleDebugUnexpectedError,
                  "Logging thread terminated prematurely with exit status %X", exitCode);
  } else {
    abandon = !AwaitLoggingThreadEnd(*handle, *context, timeoutMs);
  }

  LogQueue::Instance().DetachWriter(context);
  // A thread that may still run may still read its argument block: it lives on with the context.
  if (abandon || (handle != nullptr && !handle->HasEnded())) {
    context->argumentBlock = thread->argument;
  } else {
    std::free(thread->argument);
  }
  delete handle;  // a thread still running is detached, never blocked on
  ReleaseContext(context);
  delete thread;
}

}  // namespace lumeray
