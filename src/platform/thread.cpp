// Threads with exit codes, and queued procedure calls to a thread.
//
// A Thread shares its State with the running thread, so the handle may be deleted at any time:
// the destructor joins a thread that has ended and detaches one that still runs.
//
// The end of a thread is published from a thread_local object that is the first one constructed
// in the new thread, hence the last one destroyed at its exit: by the time waiters see the thread
// signalled, the thread's other thread_local objects are gone, in particular the guard that
// marks its mutexes abandoned (sync.cpp) and its queue of procedure calls. A wait on a thread
// followed by a wait on a mutex it held therefore always reports kAbandoned.
//
// Queues of procedure calls: every thread that calls CurrentThreadId(), waits alertably, runs its
// queued calls or was started by Thread::Start has a queue, created on first use (thread_local)
// and registered under the thread's kernel identifier in a process-wide table; its destructor
// removes it at thread exit (calls still queued are dropped). QueueProcedureCall appends to the
// queue and then wakes the waiters of the wait lock (see sync.cpp), so a thread in an alertable
// wait runs the call at once.

#include "platform/thread.h"

#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <deque>
#include <system_error>
#include <unordered_map>

#include "platform/sync_internal.h"

namespace lumeray::platform {
namespace {

// ---- Queues of procedure calls ---------------------------------------------------------------

struct CallQueue {
  std::mutex lock;
  std::deque<std::function<void()>> calls;  // guarded by lock
};

struct QueueTable {
  std::mutex lock;
  std::unordered_map<ThreadId, std::shared_ptr<CallQueue>> queues;  // guarded by lock
};

QueueTable& Queues() {
  static QueueTable* table = new QueueTable;  // never destroyed: detached threads may outlive main
  return *table;
}

ThreadId KernelThreadId() {
  thread_local ThreadId id = static_cast<ThreadId>(::gettid());
  return id;
}

thread_local CallQueue* tQueue = nullptr;
thread_local bool tQueueGone = false;  // the thread is exiting and its queue was removed

struct QueueHolder {
  std::shared_ptr<CallQueue> queue = std::make_shared<CallQueue>();
  ThreadId id = KernelThreadId();

  QueueHolder() {
    {
      std::lock_guard<std::mutex> lock(Queues().lock);
      Queues().queues[id] = queue;
    }
    tQueue = queue.get();
  }

  ~QueueHolder() {
    tQueue = nullptr;
    tQueueGone = true;
    {
      std::lock_guard<std::mutex> lock(Queues().lock);
      auto it = Queues().queues.find(id);
      if (it != Queues().queues.end() && it->second == queue) Queues().queues.erase(it);
    }
    std::deque<std::function<void()>> dropped;
    {
      std::lock_guard<std::mutex> lock(queue->lock);
      dropped.swap(queue->calls);
    }
    // `dropped` is destroyed here, without locks held.
  }
};

// The calling thread's queue, created on first use; null once the thread is exiting.
CallQueue* CurrentQueue() {
  if (tQueue != nullptr || tQueueGone) return tQueue;
  thread_local QueueHolder holder;
  return holder.queue.get();
}

}  // namespace

ThreadId CurrentThreadId() {
  CurrentQueue();
  return KernelThreadId();
}

bool QueueProcedureCall(ThreadId target, std::function<void()> call) {
  if (!call) return false;
  std::shared_ptr<CallQueue> queue;
  {
    std::lock_guard<std::mutex> lock(Queues().lock);
    auto it = Queues().queues.find(target);
    if (it == Queues().queues.end()) return false;
    queue = it->second;
  }
  {
    std::lock_guard<std::mutex> lock(queue->lock);
    queue->calls.push_back(std::move(call));
  }
  // A waiter checks its queue with the wait lock held; passing through the lock after appending
  // means it either saw the call or is already waiting and gets the notification.
  { std::lock_guard<std::mutex> lock(WaitInternals::Lock()); }
  WaitInternals::Notify();
  return true;
}

size_t RunQueuedProcedureCalls() {
  CallQueue* queue = CurrentQueue();
  if (queue == nullptr) return 0;
  size_t ran = 0;
  for (;;) {
    std::function<void()> call;
    {
      std::lock_guard<std::mutex> lock(queue->lock);
      if (queue->calls.empty()) break;
      call = std::move(queue->calls.front());
      queue->calls.pop_front();
    }
    call();
    ++ran;
  }
  return ran;
}

namespace internal {

bool CurrentThreadHasQueuedCalls() {
  CallQueue* queue = CurrentQueue();
  if (queue == nullptr) return false;
  std::lock_guard<std::mutex> lock(queue->lock);
  return !queue->calls.empty();
}

}  // namespace internal

// ---- Threads ---------------------------------------------------------------------------------

struct Thread::State {
  ThreadRoutine routine;
  void* argument;

  // Start-up handshake: the new thread publishes its identifier before Start returns.
  std::mutex startLock;
  std::condition_variable startChanged;
  bool started = false;  // guarded by startLock
  ThreadId id = 0;       // written before `started`, constant afterwards

  std::atomic<bool> terminationRequested{false};
  uint32_t routineResult = kStillActive;  // the thread's own until it ends

  // Guarded by the wait lock.
  bool ended = false;
  uint32_t exitCode = kStillActive;
};

namespace {

// The termination flag of the calling thread when it was started here.
thread_local std::atomic<bool>* tTerminationFlag = nullptr;

// Publishes the end of a thread started here; the first thread_local of that thread (see top).
struct ThreadEndPublisher {
  std::function<void()> publish;
  ~ThreadEndPublisher() {
    tTerminationFlag = nullptr;
    if (publish) publish();
  }
};

}  // namespace

Thread* Thread::Start(ThreadRoutine routine, void* argument, int* errorNumber) {
  if (routine == nullptr) {
    if (errorNumber) *errorNumber = EINVAL;
    return nullptr;
  }
  auto state = std::make_shared<State>();
  state->routine = routine;
  state->argument = argument;

  std::thread thread;
  try {
    thread = std::thread([state]() {
      thread_local ThreadEndPublisher publisher;  // constructed first, destroyed last
      publisher.publish = [state]() {
        {
          std::lock_guard<std::mutex> lock(WaitInternals::Lock());
          state->exitCode = state->routineResult;
          state->ended = true;
        }
        WaitInternals::Notify();
      };
      tTerminationFlag = &state->terminationRequested;
      ThreadId id = CurrentThreadId();  // also creates the queue of procedure calls
      {
        std::lock_guard<std::mutex> lock(state->startLock);
        state->id = id;
        state->started = true;
      }
      state->startChanged.notify_all();
      state->routineResult = state->routine(state->argument);
    });
  } catch (const std::system_error& error) {
    if (errorNumber) *errorNumber = error.code().value() != 0 ? error.code().value() : EAGAIN;
    return nullptr;
  } catch (const std::bad_alloc&) {
    if (errorNumber) *errorNumber = ENOMEM;
    return nullptr;
  }

  {
    std::unique_lock<std::mutex> lock(state->startLock);
    state->startChanged.wait(lock, [&] { return state->started; });
  }
  auto* handle = new Thread(std::move(state));
  handle->thread_ = std::move(thread);
  if (errorNumber) *errorNumber = 0;
  return handle;
}

Thread::Thread(std::shared_ptr<State> state) : state_(std::move(state)) {}

Thread::~Thread() {
  if (!thread_.joinable()) return;
  if (HasEnded()) {
    thread_.join();  // only the thread's last clean-up remains
  } else {
    thread_.detach();
  }
}

ThreadId Thread::Id() const {
  return state_->id;
}

bool Thread::GetExitCode(uint32_t* exitCode) const {
  if (exitCode == nullptr) return false;
  std::lock_guard<std::mutex> lock(WaitLock());
  *exitCode = state_->ended ? state_->exitCode : kStillActive;
  return true;
}

bool Thread::HasEnded() const {
  std::lock_guard<std::mutex> lock(WaitLock());
  return state_->ended;
}

void Thread::RequestTermination() {
  state_->terminationRequested.store(true);
}

bool Thread::TerminationRequested() {
  return tTerminationFlag != nullptr && tTerminationFlag->load();
}

bool Thread::IsSignaledLocked() const {
  return state_->ended;
}

}  // namespace lumeray::platform
