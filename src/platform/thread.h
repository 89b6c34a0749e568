// Threads with exit codes, and queued procedure calls to a thread.
//
// A Thread is a waitable object that is signalled when its routine has returned; its exit code
// is the routine's return value, kStillActive while it runs. A thread cannot be killed safely on
// this platform: RequestTermination() only raises a flag that cooperative routines may poll
// (TerminationRequested()); callers that must end a thread request it, wait for it with a
// time-out and report when it does not end.
//
// Queued procedure calls: QueueProcedureCall() appends a call to the queue of a thread named by
// its identifier; the calls run on that thread only, in order, during its next alertable wait
// (sync.h), which then returns kIoCompletion, even when its objects are signalled. A thread has a
// queue once it was started by Thread::Start or has called CurrentThreadId(),
// RunQueuedProcedureCalls() or an alertable wait; the queue goes (with calls still in it) when the
// thread ends. Queuing to a thread without one fails.
//
// A Thread is signalled, and its exit code readable, only after the thread's thread_local
// objects are gone: a mutex it still held is abandoned by then.
//
// Threading contract: every operation may be called from any thread. Deleting a Thread object
// (closing the handle) never blocks: a thread still running is detached and ends on its own.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "platform/sync.h"

namespace lumeray::platform {

using ThreadId = uint32_t;  // the kernel's thread identifier

constexpr uint32_t kStillActive = 259;
constexpr uint32_t kForcedExitCode = 0xC000013Au;

ThreadId CurrentThreadId();

using ThreadRoutine = uint32_t (*)(void* argument);

class Thread final : public Waitable {
 public:
  // Starts routine(argument) at once; when it returns, Id() is valid and calls may be queued to
  // the thread. Returns null and sets *errorNumber (errno style) when the thread cannot be
  // started (EINVAL for a null routine).
  static Thread* Start(ThreadRoutine routine, void* argument, int* errorNumber = nullptr);
  ~Thread() override;

  ThreadId Id() const;
  // Returns false when the state cannot be read; *exitCode is kStillActive while running.
  bool GetExitCode(uint32_t* exitCode) const;
  bool HasEnded() const;

  void RequestTermination();
  // True inside a thread whose termination was requested (false on threads not started here).
  static bool TerminationRequested();

 protected:
  bool IsSignaledLocked() const override;
  bool AcquireLocked() override { return false; }

 private:
  struct State;
  explicit Thread(std::shared_ptr<State> state);
  std::shared_ptr<State> state_;
  std::thread thread_;
};

// Returns false when no live thread has that identifier.
bool QueueProcedureCall(ThreadId target, std::function<void()> call);

// Runs the calling thread's queued calls now; returns how many ran.
size_t RunQueuedProcedureCalls();

}  // namespace lumeray::platform
