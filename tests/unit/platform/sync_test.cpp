// Events, mutexes and waits: the outcomes the module's run relies on.

#include "platform/sync.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <utility>
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

TEST(SyncTest, MutexAndCriticalSectionAreRecursiveAndOnlyTheirOwnerReleasesThem) {
  Mutex mutex, initiallyOwned(true);
  CriticalSection section;
  ASSERT_EQ(WaitForObject(mutex, 0).status, WaitStatus::kSignaled);
  ASSERT_EQ(WaitForObject(mutex, 0).status, WaitStatus::kSignaled);
  section.Enter();
  EXPECT_TRUE(section.TryEnter());
  // What another thread may do: release either mutex, take the first one or the section.
  const auto other = [&] {
    bool released = false, taken = false, entered = false;
    std::thread([&] {
      released = mutex.Release() || initiallyOwned.Release();
      taken = WaitForObject(mutex, 0).status == WaitStatus::kSignaled && mutex.Release();
      entered = section.TryEnter();
    }).join();
    EXPECT_FALSE(released);
    return std::pair{taken, entered};
  };
  EXPECT_EQ(other(), std::pair(false, false));
  EXPECT_TRUE(mutex.Release());
  section.Leave();
  EXPECT_EQ(other(), std::pair(false, false)) << "still owned once";
  EXPECT_TRUE(mutex.Release());
  EXPECT_TRUE(other().first);
  EXPECT_FALSE(mutex.Release()) << "not owned any more";
  EXPECT_TRUE(initiallyOwned.Release());
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

}  // namespace
}  // namespace lumeray::platform
