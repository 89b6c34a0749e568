// Synchronisation objects and waits with the outcomes the module's threading relies on.
//
// Waitable objects are events (manual or auto reset), recursive mutexes and threads
// (thread.h). A wait takes one or many objects, "any" or "all", a time-out in milliseconds
// (kInfinite for none) and an alertable flag, and reports one WaitResult:
//   kSignaled      an object (the first signalled one for "any", index 0 for "all") was acquired
//   kAbandoned     a mutex was acquired whose owner thread ended while holding it
//   kTimeout       the time-out passed first
//   kIoCompletion  alertable waits only: queued procedure calls of the waiting thread ran
//   kFailed        the arguments were unusable (no objects, null objects, too many objects)
// Acquiring consumes an auto-reset event's signal and takes a mutex's ownership; a "wait all"
// acquires all objects at once or none (naming one object twice in a "wait all" is kFailed).
// An alertable wait runs the calls queued to the waiting thread (with no lock held, on that
// thread) before it acquires any object, and then reports kIoCompletion: a wait that reports an
// object never leaves behind a call queued before the object was signalled.
// Time-outs are measured on the monotonic clock. Failed waits and Release() also set
// LastError() (EINVAL, EPERM).
//
// CriticalSection is a plain recursive lock for short guarded regions; it is not waitable.
//
// Threading contract: every operation may be called from any thread. Waitable objects must
// outlive every wait that names them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>
#include <thread>

namespace lumeray::platform {

constexpr uint32_t kInfinite = 0xFFFFFFFFu;
constexpr size_t kMaximumWaitObjects = 64;

enum class WaitStatus { kSignaled, kAbandoned, kTimeout, kIoCompletion, kFailed };

struct WaitResult {
  WaitStatus status;
  size_t index;  // which object, for kSignaled and kAbandoned
};

class Waitable {
 public:
  Waitable() = default;
  Waitable(const Waitable&) = delete;
  Waitable& operator=(const Waitable&) = delete;
  virtual ~Waitable() = default;

 protected:
  // Both run with the wait lock held (see sync.cpp).
  virtual bool IsSignaledLocked() const = 0;
  // Takes the object for the calling thread; returns true when it was an abandoned mutex.
  virtual bool AcquireLocked() = 0;

  // Wakes every waiter after a state change; call with the wait lock released.
  static void NotifyStateChanged();
  // The lock that guards the state of every waitable object.
  static std::mutex& WaitLock();

  friend WaitResult WaitForObjects(std::span<Waitable* const>, bool, uint32_t, bool);
  friend class WaitInternals;
};

class Event final : public Waitable {
 public:
  Event(bool manualReset, bool initiallySignaled);
  void Set();
  void Reset();
  bool IsSet() const;

 protected:
  bool IsSignaledLocked() const override { return signaled_; }
  bool AcquireLocked() override;

 private:
  const bool manualReset_;
  bool signaled_;
};

// Recursive mutex. When its owner thread ends without releasing it, the next wait that acquires
// it reports kAbandoned (and takes ownership).
class Mutex final : public Waitable {
 public:
  explicit Mutex(bool initiallyOwned = false);
  ~Mutex() override;
  // Returns false when the calling thread does not own the mutex.
  bool Release();

 protected:
  bool IsSignaledLocked() const override;
  bool AcquireLocked() override;

 private:
  friend class WaitInternals;
  std::thread::id owner_{};
  uint32_t count_ = 0;
  bool abandoned_ = false;
};

WaitResult WaitForObjects(std::span<Waitable* const> objects, bool waitAll, uint32_t timeoutMs,
                          bool alertable = false);
WaitResult WaitForObject(Waitable& object, uint32_t timeoutMs, bool alertable = false);

// Sleeps for the time given; alertable sleeps end early with kIoCompletion after running the
// calling thread's queued procedure calls, otherwise they return kTimeout.
WaitStatus SleepFor(uint32_t milliseconds, bool alertable);

class CriticalSection {
 public:
  void Enter() { mutex_.lock(); }
  bool TryEnter() { return mutex_.try_lock(); }
  void Leave() { mutex_.unlock(); }

  // Lockable interface, for std::lock_guard and std::scoped_lock.
  void lock() { Enter(); }
  void unlock() { Leave(); }

 private:
  std::recursive_mutex mutex_;
};

}  // namespace lumeray::platform
