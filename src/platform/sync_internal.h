// Internals shared by sync.cpp and thread.cpp; not for use outside src/platform/.
#pragma once

#include <mutex>
#include <optional>
#include <span>
#include <thread>

#include "platform/sync.h"

namespace lumeray::platform {

// Access to the process-wide wait lock and its condition variable (see sync.cpp) for code that
// changes the state of waitable objects without being a Waitable itself.
class WaitInternals {
 public:
  static std::mutex& Lock();
  // Wakes every waiter; call with the wait lock released.
  static void Notify();
  // With the wait lock held: marks every mutex owned by `thread` abandoned (thread exit).
  static void AbandonMutexesOwnedBy(std::thread::id thread);

  // The wait itself, also for no objects (alertable sleeps); arguments already checked.
  static WaitResult Wait(std::span<Waitable* const> objects, bool waitAll, uint32_t timeoutMs,
                         bool alertable);

 private:
  // With the wait lock held: acquires the first signalled object ("any") or all ("all").
  static std::optional<WaitResult> TryAcquire(std::span<Waitable* const> objects, bool waitAll);
};

namespace internal {

// True when the calling thread's queue of procedure calls is not empty. Takes only the queue's
// own lock, so it may be called with the wait lock held (lock order: wait lock, then a queue).
bool CurrentThreadHasQueuedCalls();

}  // namespace internal
}  // namespace lumeray::platform
