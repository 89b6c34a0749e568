// Events, mutexes and waits: outcomes the module relies on.

#include "platform/sync.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/thread.h"

namespace lumeray::platform {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

TEST(SyncTest, WaitTimesOutOnUnsignalledEvent) {
  Event event(true, false);
  auto start = steady_clock::now();
  WaitResult result = WaitForObject(event, 20);
  EXPECT_EQ(result.status, WaitStatus::kTimeout);
  EXPECT_GE(steady_clock::now() - start, milliseconds(19));
}

TEST(SyncTest, ZeroTimeOutPollsWithoutWaiting) {
  Event off(false, false);
  Event on(false, true);
  EXPECT_EQ(WaitForObject(off, 0).status, WaitStatus::kTimeout);
  EXPECT_EQ(WaitForObject(on, 0).status, WaitStatus::kSignaled);
}

TEST(SyncTest, UnusableArgumentsFail) {
  Event event(true, true);
  EXPECT_EQ(WaitForObjects({}, false, 0).status, WaitStatus::kFailed);
  Waitable* withNull[] = {&event, nullptr};
  EXPECT_EQ(WaitForObjects(withNull, false, 0).status, WaitStatus::kFailed);
  std::vector<Waitable*> tooMany(kMaximumWaitObjects + 1, &event);
  EXPECT_EQ(WaitForObjects(tooMany, false, 0).status, WaitStatus::kFailed);
  std::vector<Waitable*> justEnough(kMaximumWaitObjects, &event);
  EXPECT_EQ(WaitForObjects(justEnough, false, 0).status, WaitStatus::kSignaled);
  Waitable* twice[] = {&event, &event};
  EXPECT_EQ(WaitForObjects(twice, true, 0).status, WaitStatus::kFailed);
}

TEST(SyncTest, WaitAnyReportsFirstSignalledIndex) {
  Event a(true, false), b(true, true), c(true, true);
  Waitable* objects[] = {&a, &b, &c};
  WaitResult result = WaitForObjects(objects, false, 0);
  EXPECT_EQ(result.status, WaitStatus::kSignaled);
  EXPECT_EQ(result.index, 1u);
}

TEST(SyncTest, AutoResetEventIsConsumedByOneWait) {
  Event event(false, true);
  EXPECT_EQ(WaitForObject(event, 0).status, WaitStatus::kSignaled);
  EXPECT_FALSE(event.IsSet());
  EXPECT_EQ(WaitForObject(event, 0).status, WaitStatus::kTimeout);
}

TEST(SyncTest, AutoResetEventReleasesExactlyOneOfManyWaiters) {
  constexpr int kWaiters = 4;
  Event work(false, false);
  Event consumed(true, false);
  Event stop(true, false);
  std::atomic<int> gotWork{0}, gotStop{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < kWaiters; ++i) {
    waiters.emplace_back([&] {
      Waitable* objects[] = {&work, &stop};
      WaitResult result = WaitForObjects(objects, false, kInfinite);
      if (result.status == WaitStatus::kSignaled && result.index == 0) {
        ++gotWork;
        consumed.Set();
      } else if (result.status == WaitStatus::kSignaled && result.index == 1) {
        ++gotStop;
      }
    });
  }
  work.Set();
  ASSERT_EQ(WaitForObject(consumed, 5000).status, WaitStatus::kSignaled);
  stop.Set();
  for (auto& waiter : waiters) waiter.join();
  EXPECT_EQ(gotWork.load(), 1);
  EXPECT_EQ(gotStop.load(), kWaiters - 1);
  EXPECT_FALSE(work.IsSet());
}

TEST(SyncTest, ManualResetEventReleasesEveryWaiterAndStaysSet) {
  constexpr int kWaiters = 4;
  Event event(true, false);
  std::atomic<int> released{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < kWaiters; ++i) {
    waiters.emplace_back([&] {
      if (WaitForObject(event, 5000).status == WaitStatus::kSignaled) ++released;
    });
  }
  event.Set();
  for (auto& waiter : waiters) waiter.join();
  EXPECT_EQ(released.load(), kWaiters);
  EXPECT_TRUE(event.IsSet());
  event.Reset();
  EXPECT_EQ(WaitForObject(event, 0).status, WaitStatus::kTimeout);
}

TEST(SyncTest, WaitAllTakesNothingUnlessEverythingIsSignalled) {
  Event a(false, true), b(false, false);
  Waitable* objects[] = {&a, &b};
  EXPECT_EQ(WaitForObjects(objects, true, 0).status, WaitStatus::kTimeout);
  EXPECT_TRUE(a.IsSet());  // not consumed by the failed wait

  b.Set();
  WaitResult result = WaitForObjects(objects, true, 0);
  EXPECT_EQ(result.status, WaitStatus::kSignaled);
  EXPECT_EQ(result.index, 0u);
  EXPECT_FALSE(a.IsSet());
  EXPECT_FALSE(b.IsSet());
}

TEST(SyncTest, WaitAllNeverHoldsPartOfItsObjectsWhileBlocked) {
  Event a(false, true), b(false, false);
  Event done(true, false);
  WaitResult allResult{WaitStatus::kFailed, 0};
  std::thread waiter([&] {
    Waitable* objects[] = {&a, &b};
    allResult = WaitForObjects(objects, true, 5000);
    done.Set();
  });
  // Whether or not the waiter is blocked already, `a` is still free to take.
  EXPECT_EQ(WaitForObject(a, 1000).status, WaitStatus::kSignaled);
  EXPECT_EQ(WaitForObject(done, 0).status, WaitStatus::kTimeout);
  a.Set();
  b.Set();
  waiter.join();
  EXPECT_EQ(allResult.status, WaitStatus::kSignaled);
  EXPECT_FALSE(a.IsSet());
  EXPECT_FALSE(b.IsSet());
}

TEST(SyncTest, WaitAllWithMutexOwnedElsewhereLeavesEventSet) {
  Mutex mutex;
  Event owned(true, false), finish(true, false);
  std::thread owner([&] {
    ASSERT_EQ(WaitForObject(mutex, 0).status, WaitStatus::kSignaled);
    owned.Set();
    WaitForObject(finish, 5000);
    mutex.Release();
  });
  ASSERT_EQ(WaitForObject(owned, 5000).status, WaitStatus::kSignaled);
  Event event(false, true);
  Waitable* objects[] = {&event, &mutex};
  EXPECT_EQ(WaitForObjects(objects, true, 10).status, WaitStatus::kTimeout);
  EXPECT_TRUE(event.IsSet());
  finish.Set();
  EXPECT_EQ(WaitForObjects(objects, true, 5000).status, WaitStatus::kSignaled);
  EXPECT_FALSE(event.IsSet());
  EXPECT_TRUE(mutex.Release());
  owner.join();
}

TEST(SyncTest, MutexIsRecursive) {
  Mutex mutex;
  ASSERT_EQ(WaitForObject(mutex, 0).status, WaitStatus::kSignaled);
  ASSERT_EQ(WaitForObject(mutex, 0).status, WaitStatus::kSignaled);

  auto otherThreadCanTake = [&] {
    WaitStatus status = WaitStatus::kFailed;
    std::thread other([&] {
      status = WaitForObject(mutex, 0).status;
      if (status == WaitStatus::kSignaled) mutex.Release();
    });
    other.join();
    return status == WaitStatus::kSignaled;
  };
  EXPECT_FALSE(otherThreadCanTake());
  EXPECT_TRUE(mutex.Release());
  EXPECT_FALSE(otherThreadCanTake());  // still owned once
  EXPECT_TRUE(mutex.Release());
  EXPECT_TRUE(otherThreadCanTake());
  EXPECT_FALSE(mutex.Release());  // not owned any more
}

TEST(SyncTest, InitiallyOwnedMutexBelongsToItsCreator) {
  Mutex mutex(true);
  bool released = true;
  WaitStatus status = WaitStatus::kFailed;
  std::thread other([&] {
    released = mutex.Release();
    status = WaitForObject(mutex, 0).status;
  });
  other.join();
  EXPECT_FALSE(released);
  EXPECT_EQ(status, WaitStatus::kTimeout);
  EXPECT_TRUE(mutex.Release());
}

TEST(SyncTest, ReleaseByNonOwnerFails) {
  Mutex mutex;
  ASSERT_EQ(WaitForObject(mutex, 0).status, WaitStatus::kSignaled);
  bool released = true;
  std::thread other([&] { released = mutex.Release(); });
  other.join();
  EXPECT_FALSE(released);
  EXPECT_TRUE(mutex.Release());
}

TEST(SyncTest, MutexHeldAtThreadExitIsReportedAbandonedOnce) {
  Mutex mutex;
  std::thread owner([&] { ASSERT_EQ(WaitForObject(mutex, 0).status, WaitStatus::kSignaled); });
  owner.join();

  WaitResult result = WaitForObject(mutex, 0);
  EXPECT_EQ(result.status, WaitStatus::kAbandoned);
  EXPECT_EQ(result.index, 0u);
  EXPECT_TRUE(mutex.Release());
  EXPECT_EQ(WaitForObject(mutex, 0).status, WaitStatus::kSignaled);  // abandonment reported once
  EXPECT_TRUE(mutex.Release());
}

TEST(SyncTest, WaiterBlockedOnMutexIsReleasedWhenOwnerEnds) {
  Mutex mutex;
  Event owned(true, false), finish(true, false);
  std::thread owner([&] {
    WaitForObject(mutex, 0);
    owned.Set();
    WaitForObject(finish, 5000);
  });
  ASSERT_EQ(WaitForObject(owned, 5000).status, WaitStatus::kSignaled);
  Event unrelated(true, false);
  WaitResult result{WaitStatus::kFailed, 0};
  std::thread waiter([&] {
    Waitable* objects[] = {&unrelated, &mutex};
    result = WaitForObjects(objects, false, 5000);
    if (result.status == WaitStatus::kAbandoned) mutex.Release();
  });
  finish.Set();
  owner.join();
  waiter.join();
  EXPECT_EQ(result.status, WaitStatus::kAbandoned);
  EXPECT_EQ(result.index, 1u);
}

TEST(SyncTest, MutexAbandonedByStartedThreadIsSeenAfterWaitingForTheThread) {
  Mutex mutex;
  Thread* thread = Thread::Start(
      [](void* argument) -> uint32_t {
        return WaitForObject(*static_cast<Mutex*>(argument), 0).status == WaitStatus::kSignaled ? 1
                                                                                                : 0;
      },
      &mutex);
  ASSERT_NE(thread, nullptr);
  ASSERT_EQ(WaitForObject(*thread, 5000).status, WaitStatus::kSignaled);
  uint32_t exitCode = 0;
  ASSERT_TRUE(thread->GetExitCode(&exitCode));
  EXPECT_EQ(exitCode, 1u);
  delete thread;
  EXPECT_EQ(WaitForObject(mutex, 0).status, WaitStatus::kAbandoned);
  EXPECT_TRUE(mutex.Release());
}

TEST(SyncTest, DestroyedMutexDoesNotDisturbItsOwnersExit) {
  Event destroyed(true, false);
  std::thread owner([&] {
    auto* mutex = new Mutex(true);
    delete mutex;  // owned while destroyed: forgotten, not touched at thread exit
    destroyed.Set();
  });
  owner.join();
  EXPECT_TRUE(destroyed.IsSet());
}

TEST(SyncTest, AlertableWaitRunsQueuedCallOnTheWaitingThread) {
  Event never(true, false);
  Event ready(true, false);
  std::atomic<ThreadId> waiterId{0}, ranOn{0};
  WaitResult result{WaitStatus::kFailed, 0};
  std::thread waiter([&] {
    waiterId = CurrentThreadId();
    ready.Set();
    result = WaitForObject(never, 5000, true);
  });
  ASSERT_EQ(WaitForObject(ready, 5000).status, WaitStatus::kSignaled);
  ASSERT_TRUE(QueueProcedureCall(waiterId, [&] { ranOn = CurrentThreadId(); }));
  waiter.join();
  EXPECT_EQ(result.status, WaitStatus::kIoCompletion);
  EXPECT_EQ(ranOn.load(), waiterId.load());
}

TEST(SyncTest, NonAlertableWaitLeavesQueuedCallsQueued) {
  Event go(true, false), ready(true, false);
  std::atomic<ThreadId> waiterId{0};
  std::atomic<bool> ran{false}, ranDuringWait{true};
  WaitResult result{WaitStatus::kFailed, 0};
  size_t ranLater = 0;
  std::thread waiter([&] {
    waiterId = CurrentThreadId();
    ready.Set();
    result = WaitForObject(go, 5000, false);
    ranDuringWait = ran.load();
    ranLater = RunQueuedProcedureCalls();
  });
  ASSERT_EQ(WaitForObject(ready, 5000).status, WaitStatus::kSignaled);
  ASSERT_TRUE(QueueProcedureCall(waiterId, [&] { ran = true; }));
  go.Set();
  waiter.join();
  EXPECT_EQ(result.status, WaitStatus::kSignaled);
  EXPECT_FALSE(ranDuringWait.load());
  EXPECT_EQ(ranLater, 1u);
  EXPECT_TRUE(ran.load());
}

TEST(SyncTest, AlertableSleepEndsWithQueuedCalls) {
  int calls = 0;
  ASSERT_TRUE(QueueProcedureCall(CurrentThreadId(), [&] { ++calls; }));
  ASSERT_TRUE(QueueProcedureCall(CurrentThreadId(), [&] { calls *= 10; }));
  EXPECT_EQ(SleepFor(5000, true), WaitStatus::kIoCompletion);
  EXPECT_EQ(calls, 10);  // both, in order
  EXPECT_EQ(SleepFor(1, true), WaitStatus::kTimeout);
  EXPECT_EQ(SleepFor(1, false), WaitStatus::kTimeout);
}

TEST(SyncTest, NonAlertableSleepDoesNotRunQueuedCalls) {
  bool ran = false;
  ASSERT_TRUE(QueueProcedureCall(CurrentThreadId(), [&] { ran = true; }));
  EXPECT_EQ(SleepFor(1, false), WaitStatus::kTimeout);
  EXPECT_FALSE(ran);
  EXPECT_EQ(RunQueuedProcedureCalls(), 1u);
  EXPECT_TRUE(ran);
}

TEST(SyncTest, CriticalSectionIsRecursiveAndExclusive) {
  CriticalSection section;
  section.Enter();
  EXPECT_TRUE(section.TryEnter());
  bool otherEntered = true;
  std::thread other([&] {
    otherEntered = section.TryEnter();
    if (otherEntered) section.Leave();
  });
  other.join();
  EXPECT_FALSE(otherEntered);
  section.Leave();
  section.Leave();
  { std::lock_guard<CriticalSection> guard(section); }
}

TEST(SyncTest, ManyThreadsContendingForOneMutexStayExclusive) {
  Mutex mutex;
  int counter = 0;  // guarded by mutex; TSan checks the claim
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 500; ++i) {
        ASSERT_EQ(WaitForObject(mutex, kInfinite).status, WaitStatus::kSignaled);
        ++counter;
        ASSERT_TRUE(mutex.Release());
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(counter, 2000);
}

}  // namespace
}  // namespace lumeray::platform
