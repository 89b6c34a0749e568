// Synchronisation objects and waits.
//
// Design: one process-wide wait lock (a std::mutex) and one condition variable serve every
// waitable object (events, mutexes, threads). The state of every waitable object is read and
// changed only with the wait lock held. Whoever changes a state so that a waiter might now
// succeed (Event::Set, Mutex::Release, a thread ending, a mutex abandoned, a procedure call
// queued to a thread) calls NotifyStateChanged() afterwards, which wakes every waiter
// (notify_all); each waiter then re-examines its own objects. Consuming a state (taking a
// mutex, resetting an event) needs no notification.
//
// Because a waiter examines all of its objects in one critical section, a "wait all" acquires
// all objects at once or none: it acquires only when every object is signalled, and nobody can
// change any of them in between. A "wait any" acquires the first signalled object in the order
// given.
//
// Alertable waits: before looking at its objects, a waiter checks its own thread's queue of
// procedure calls (thread.cpp; lock order: wait lock, then the queue's lock). A thread that queues
// a call takes and releases the wait lock after appending it and then notifies, so the waiter
// either saw the call before it slept or is woken. The calls run with the wait lock released,
// on the waiting thread, and the wait reports kIoCompletion. Since the queue and the objects are
// looked at under one hold of the wait lock, a call queued by a thread before it ended has run
// by the time a wait on that thread reports it signalled.
//
// Mutex abandonment: a thread that acquires a mutex gets a thread_local guard; at thread exit its
// destructor marks every mutex still owned by that thread as abandoned (unowned, count 0,
// abandoned flag), and the next acquisition reports kAbandoned. Owned mutexes are found through
// a process-wide set guarded by the wait lock; a mutex removes itself from it when destroyed.
//
// The lock, the condition variable and the set are allocated once and never destroyed, so that
// detached threads still running at process exit never touch destroyed objects.
//
// The design is simple rather than scalable: every state change wakes every waiter. The module
// has at most a few dozen threads waiting, which this serves well.

#include "platform/sync.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <optional>
#include <unordered_set>

#include "platform/error_text.h"
#include "platform/sync_internal.h"
#include "platform/thread.h"

namespace lumeray::platform {
namespace {

struct Globals {
  std::mutex lock;
  std::condition_variable changed;
  std::unordered_set<Mutex*> ownedMutexes;  // guarded by lock
};

Globals& G() {
  static Globals* globals = new Globals;  // never destroyed (see top)
  return *globals;
}

}  // namespace

std::mutex& WaitInternals::Lock() {
  return G().lock;
}
void WaitInternals::Notify() {
  G().changed.notify_all();
}

std::mutex& Waitable::WaitLock() {
  return G().lock;
}
void Waitable::NotifyStateChanged() {
  G().changed.notify_all();
}

// ---- Mutex ownership bookkeeping -------------------------------------------------------------

void WaitInternals::AbandonMutexesOwnedBy(std::thread::id thread) {
  auto& owned = G().ownedMutexes;
  for (auto it = owned.begin(); it != owned.end();) {
    Mutex* mutex = *it;
    if (mutex->owner_ == thread) {
      mutex->owner_ = std::thread::id();
      mutex->count_ = 0;
      mutex->abandoned_ = true;
      it = owned.erase(it);
    } else {
      ++it;
    }
  }
}

namespace {

// Exists in every thread that has acquired a mutex; its destructor runs at thread exit.
struct OwnedMutexGuard {
  ~OwnedMutexGuard() {
    {
      std::lock_guard<std::mutex> lock(G().lock);
      WaitInternals::AbandonMutexesOwnedBy(std::this_thread::get_id());
    }
    G().changed.notify_all();
  }
};

void EnsureOwnedMutexGuard() {
  thread_local OwnedMutexGuard guard;
  (void)guard;
}

}  // namespace

// ---- Waits -----------------------------------------------------------------------------------

WaitResult WaitInternals::Wait(std::span<Waitable* const> objects, bool waitAll, uint32_t timeoutMs,
                               bool alertable) {
  using Clock = std::chrono::steady_clock;
  std::optional<Clock::time_point> deadline;
  if (timeoutMs != kInfinite) deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);

  if (alertable) CurrentThreadId();  // creates the thread's call queue before the lock is held

  Globals& g = G();
  std::unique_lock<std::mutex> lock(g.lock);
  for (;;) {
    // Queued calls first: a wait that acquired its objects while calls were queued would leave
    // them to some later wait (a worker's last progress step, queued just before it ended, would
    // run in the next run).
    if (alertable && internal::CurrentThreadHasQueuedCalls()) {
      lock.unlock();
      RunQueuedProcedureCalls();
      return {WaitStatus::kIoCompletion, 0};
    }

    if (auto result = TryAcquire(objects, waitAll)) return *result;

    if (!deadline) {
      g.changed.wait(lock);
    } else {
      if (Clock::now() >= *deadline) return {WaitStatus::kTimeout, 0};
      g.changed.wait_until(lock, *deadline);
    }
  }
}

std::optional<WaitResult> WaitInternals::TryAcquire(std::span<Waitable* const> objects,
                                                    bool waitAll) {
  if (objects.empty()) return std::nullopt;
  if (!waitAll) {
    for (size_t i = 0; i < objects.size(); ++i) {
      if (objects[i]->IsSignaledLocked()) {
        bool abandoned = objects[i]->AcquireLocked();
        return WaitResult{abandoned ? WaitStatus::kAbandoned : WaitStatus::kSignaled, i};
      }
    }
    return std::nullopt;
  }
  for (Waitable* object : objects) {
    if (!object->IsSignaledLocked()) return std::nullopt;
  }
  std::optional<size_t> firstAbandoned;
  for (size_t i = 0; i < objects.size(); ++i) {
    if (objects[i]->AcquireLocked() && !firstAbandoned) firstAbandoned = i;
  }
  if (firstAbandoned) return WaitResult{WaitStatus::kAbandoned, *firstAbandoned};
  return WaitResult{WaitStatus::kSignaled, 0};
}

WaitResult WaitForObjects(std::span<Waitable* const> objects, bool waitAll, uint32_t timeoutMs,
                          bool alertable) {
  bool usable = !objects.empty() && objects.size() <= kMaximumWaitObjects &&
                std::none_of(objects.begin(), objects.end(),
                             [](Waitable* object) { return object == nullptr; });
  if (usable && waitAll) {
    // The same object twice cannot be acquired "at once" (an auto-reset event would be consumed
    // twice); the system rejects it too.
    for (size_t i = 0; usable && i < objects.size(); ++i) {
      for (size_t j = i + 1; j < objects.size(); ++j) {
        if (objects[i] == objects[j]) {
          usable = false;
          break;
        }
      }
    }
  }
  if (!usable) {
    SetLastError(EINVAL);
    return {WaitStatus::kFailed, 0};
  }
  return WaitInternals::Wait(objects, waitAll, timeoutMs, alertable);
}

WaitResult WaitForObject(Waitable& object, uint32_t timeoutMs, bool alertable) {
  Waitable* objects[] = {&object};
  return WaitForObjects(objects, false, timeoutMs, alertable);
}

WaitStatus SleepFor(uint32_t milliseconds, bool alertable) {
  if (!alertable) {
    if (milliseconds == 0) {
      std::this_thread::yield();
    } else if (milliseconds == kInfinite) {
      for (;;) std::this_thread::sleep_for(std::chrono::hours(24));
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
    return WaitStatus::kTimeout;
  }
  return WaitInternals::Wait({}, false, milliseconds, true).status;
}

// ---- Event -----------------------------------------------------------------------------------

Event::Event(bool manualReset, bool initiallySignaled)
    : manualReset_(manualReset), signaled_(initiallySignaled) {}

void Event::Set() {
  {
    std::lock_guard<std::mutex> lock(WaitLock());
    signaled_ = true;
  }
  NotifyStateChanged();
}

void Event::Reset() {
  std::lock_guard<std::mutex> lock(WaitLock());
  signaled_ = false;
}

bool Event::IsSet() const {
  std::lock_guard<std::mutex> lock(WaitLock());
  return signaled_;
}

bool Event::AcquireLocked() {
  if (!manualReset_) signaled_ = false;
  return false;
}

// ---- Mutex -----------------------------------------------------------------------------------

Mutex::Mutex(bool initiallyOwned) {
  if (initiallyOwned) {
    std::lock_guard<std::mutex> lock(WaitLock());
    AcquireLocked();
  }
}

Mutex::~Mutex() {
  std::lock_guard<std::mutex> lock(WaitLock());
  G().ownedMutexes.erase(this);
}

bool Mutex::Release() {
  {
    std::lock_guard<std::mutex> lock(WaitLock());
    if (count_ == 0 || owner_ != std::this_thread::get_id()) {
      SetLastError(EPERM);
      return false;
    }
    if (--count_ > 0) return true;
    owner_ = std::thread::id();
    G().ownedMutexes.erase(this);
  }
  NotifyStateChanged();
  return true;
}

bool Mutex::IsSignaledLocked() const {
  return count_ == 0 || owner_ == std::this_thread::get_id();
}

bool Mutex::AcquireLocked() {
  if (count_ > 0) {  // owned by the calling thread (IsSignaledLocked)
    ++count_;
    return false;
  }
  EnsureOwnedMutexGuard();
  owner_ = std::this_thread::get_id();
  count_ = 1;
  G().ownedMutexes.insert(this);
  bool wasAbandoned = abandoned_;
  abandoned_ = false;
  return wasAbandoned;
}

}  // namespace lumeray::platform
