// Events, mutexes and waits: the outcomes the module's run relies on.

#include "platform/sync.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/thread.h"

namespace lumeray::platform {
namespace {

TEST(SyncTest, ArgumentsAndPollingOutcomes) {
  Event off(true, false), on(true, true);
  EXPECT_EQ(WaitForObject(off, 0).status, WaitStatus::kTimeout);
  EXPECT_EQ(WaitForObject(on, 0).status, WaitStatus::kSignaled);
  EXPECT_EQ(WaitForObjects({}, false, 0).status, WaitStatus::kFailed);
  Waitable* withNull[] = {&on, nullptr};
  EXPECT_EQ(WaitForObjects(withNull, false, 0).status, WaitStatus::kFailed);
  std::vector<Waitable*> tooMany(kMaximumWaitObjects + 1, &on);
  EXPECT_EQ(WaitForObjects(tooMany, false, 0).status, WaitStatus::kFailed);
  std::vector<Waitable*> justEnough(kMaximumWaitObjects, &on);
  EXPECT_EQ(WaitForObjects(justEnough, false, 0).status, WaitStatus::kSignaled);
  Waitable* twice[] = {&on, &on};
  EXPECT_EQ(WaitForObjects(twice, true, 0).status, WaitStatus::kFailed);
  Waitable* any[] = {&off, &on};
  EXPECT_EQ(WaitForObjects(any, false, 0).index, 1u);  // the first signalled one
}

TEST(SyncTest, AutoResetEventReleasesExactlyOneOfManyWaiters) {
  constexpr int kWaiters = 4;
  Event work(false, false), consumed(true, false), stop(true, false);
  std::atomic<int> gotWork{0}, gotStop{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < kWaiters; ++i) {
    waiters.emplace_back([&] {
      Waitable* objects[] = {&work, &stop};
      WaitResult result = WaitForObjects(objects, false, kInfinite);
      if (result.status != WaitStatus::kSignaled) return;
      if (result.index == 0) {
        ++gotWork;
        consumed.Set();
      } else {
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
  EXPECT_TRUE(stop.IsSet());  // manual reset: released everyone and stays set
}

TEST(SyncTest, WaitAllTakesNothingUnlessEverythingIsSignalled) {
  Event a(false, true), b(false, false);
  Waitable* objects[] = {&a, &b};
  EXPECT_EQ(WaitForObjects(objects, true, 0).status, WaitStatus::kTimeout);
  EXPECT_TRUE(a.IsSet());  // not consumed by the failed wait

  // A blocked wait-all holds none of its objects either.
  Event done(true, false);
  WaitResult allResult{WaitStatus::kFailed, 0};
  std::thread waiter([&] {
    allResult = WaitForObjects(objects, true, 5000);
    done.Set();
  });
  EXPECT_EQ(WaitForObject(a, 1000).status, WaitStatus::kSignaled);
  EXPECT_EQ(WaitForObject(done, 0).status, WaitStatus::kTimeout);
  a.Set();
  b.Set();
  waiter.join();
  EXPECT_EQ(allResult.status, WaitStatus::kSignaled);
  EXPECT_FALSE(a.IsSet());
  EXPECT_FALSE(b.IsSet());
}

TEST(SyncTest, MutexIsRecursiveAndOnlyItsOwnerReleasesIt) {
  Mutex mutex;
  ASSERT_EQ(WaitForObject(mutex, 0).status, WaitStatus::kSignaled);
  ASSERT_EQ(WaitForObject(mutex, 0).status, WaitStatus::kSignaled);
  auto otherThread = [&] {
    bool released = true;
    WaitStatus status = WaitStatus::kFailed;
    std::thread other([&] {
      released = mutex.Release();
      status = WaitForObject(mutex, 0).status;
      if (status == WaitStatus::kSignaled) mutex.Release();
    });
    other.join();
    EXPECT_FALSE(released);
    return status == WaitStatus::kSignaled;
  };
  EXPECT_FALSE(otherThread());
  EXPECT_TRUE(mutex.Release());
  EXPECT_FALSE(otherThread());  // still owned once
  EXPECT_TRUE(mutex.Release());
  EXPECT_TRUE(otherThread());
  EXPECT_FALSE(mutex.Release());  // not owned any more

  Mutex initiallyOwned(true);
  bool released = true;
  std::thread other([&] { released = initiallyOwned.Release(); });
  other.join();
  EXPECT_FALSE(released);
  EXPECT_TRUE(initiallyOwned.Release());

  // A critical section is recursive too and excludes other threads.
  CriticalSection section;
  section.Enter();
  EXPECT_TRUE(section.TryEnter());
  bool otherEntered = true;
  std::thread([&] { otherEntered = section.TryEnter(); }).join();
  EXPECT_FALSE(otherEntered);
  section.Leave();
  section.Leave();
}

TEST(SyncTest, MutexHeldAtThreadExitIsReportedAbandonedOnce) {
  Mutex mutex;
  std::thread owner([&] { ASSERT_EQ(WaitForObject(mutex, 0).status, WaitStatus::kSignaled); });
  owner.join();
  EXPECT_EQ(WaitForObject(mutex, 0).status, WaitStatus::kAbandoned);
  EXPECT_TRUE(mutex.Release());
  EXPECT_EQ(WaitForObject(mutex, 0).status, WaitStatus::kSignaled);
  EXPECT_TRUE(mutex.Release());

  // Owned while destroyed: forgotten, not touched at the owner's exit.
  std::thread destroyer([] { delete new Mutex(true); });
  destroyer.join();
}

TEST(SyncTest, OnlyAlertableWaitsRunQueuedCallsInOrder) {
  int calls = 0;
  ASSERT_TRUE(QueueProcedureCall(CurrentThreadId(), [&] { ++calls; }));
  ASSERT_TRUE(QueueProcedureCall(CurrentThreadId(), [&] { calls *= 10; }));
  EXPECT_EQ(SleepFor(1, false), WaitStatus::kTimeout);
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(SleepFor(5000, true), WaitStatus::kIoCompletion);
  EXPECT_EQ(calls, 10);
  EXPECT_EQ(SleepFor(1, true), WaitStatus::kTimeout);
}

}  // namespace
}  // namespace lumeray::platform
