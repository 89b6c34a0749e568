#include "analysis/worker_threads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "platform/sync.h"

namespace lumeray {
namespace {

using platform::ProcessorRecord;

std::vector<ProcessorRecord> Cores(int cores, int threadsPerCore, int packages = 1) {
  std::vector<ProcessorRecord> records;
  int cpu = 0;
  for (int c = 0; c < cores; ++c) {
    uint64_t mask = 0;
    for (int t = 0; t < threadsPerCore; ++t) mask |= uint64_t{1} << (cpu++ % 64);
    records.push_back({mask, platform::kProcessorCore});
  }
  for (int p = 0; p < packages; ++p) records.push_back({0, platform::kProcessorPackage});
  return records;
}

// From the cores and their extra hardware threads, or from the processor count without a
// topology; records other than cores and packages are passed over.
TEST(WorkerCount, FollowsCoresPlusHalfTheExtraThreadsOrFallsBackToTheProcessorCount) {
  auto withOthers = Cores(4, 2);
  withOthers.push_back({0xFF, platform::kNumaNode});
  withOthers.push_back({0xFF, platform::kCache});
  withOthers.push_back({0xFF, 7});
  const struct {
    std::optional<std::vector<ProcessorRecord>> records;
    int processors, workers;
  } cases[] = {{Cores(4, 2), 8, 6},   {Cores(4, 1), 4, 3},
               {Cores(3, 1), 3, 2},   {Cores(2, 1), 2, 2},
               {Cores(1, 1), 1, 1},   {Cores(16, 2), 32, 24},
               {withOthers, 8, 6},    {std::vector<ProcessorRecord>{}, 8, 1},
               {std::nullopt, 0, 1},  {std::nullopt, 1, 1},
               {std::nullopt, 2, 2},  {std::nullopt, 6, 5},
               {std::nullopt, 64, 24}};
  for (const auto& c : cases) {
    EXPECT_EQ(ComputeWorkerThreadCount(c.records, c.processors), c.workers) << c.processors;
  }
}

// A worker that waits for its release event, so a test controls when it ends.
uint32_t WaitingRoutine(void* argument) {
  auto* release = *static_cast<platform::Event**>(argument);
  platform::WaitForObject(*release, platform::kInfinite);
  return 0;
}

bool gCancel = false;
bool CancelPoll() {
  return gCancel;
}

TEST(ThreadBatch, AlertableWaitRunsQueuedCallsAndStopsOnCancellation) {
  platform::Event release(true, false);
  ThreadSlot slot;
  std::memset(&slot, 0, sizeof slot);
  auto** arg = static_cast<platform::Event**>(std::malloc(sizeof(platform::Event*)));
  *arg = &release;
  slot.startRoutine = WaitingRoutine;
  slot.argument = arg;
  ASSERT_TRUE(SpawnMultipleThreads(&slot, 1));

  gCancel = false;
  SetCancellationPoll(CancelPoll);
  bool ranOnWaiter = false;
  const platform::ThreadId waiter = platform::CurrentThreadId();
  ASSERT_TRUE(platform::QueueProcedureCall(waiter, [&] {
    ranOnWaiter = platform::CurrentThreadId() == waiter;
    gCancel = true;
  }));
  EXPECT_FALSE(WaitForMultipleThreads(&slot, 1, /*alertable=*/true));
  EXPECT_TRUE(ranOnWaiter);

  release.Set();
  EXPECT_TRUE(WaitForMultipleThreads(&slot, 1, false));
  EXPECT_EQ(DestroyThread(&slot), 1);
  SetCancellationPoll(nullptr);
}

std::atomic<int> gStepsRun{0};

uint32_t QueueStepAndEnd(void* argument) {
  const platform::ThreadId waiter = *static_cast<platform::ThreadId*>(argument);
  platform::QueueProcedureCall(waiter, [] { ++gStepsRun; });
  return 0;
}

TEST(ThreadBatch, AnAlertableWaitRunsEveryCallTheWorkersQueuedBeforeItReturns) {
  // The workers have queued their last progress step and ended before the wait begins: the
  // wait finds them ended at once and must still run the steps, or a later run would.
  constexpr int kWorkers = 4;
  ThreadSlot slots[kWorkers];
  std::memset(slots, 0, sizeof slots);
  for (ThreadSlot& slot : slots) {
    auto* waiter = static_cast<platform::ThreadId*>(std::malloc(sizeof(platform::ThreadId)));
    *waiter = platform::CurrentThreadId();
    slot.startRoutine = QueueStepAndEnd;
    slot.argument = waiter;
  }
  gStepsRun = 0;
  ASSERT_TRUE(SpawnMultipleThreads(slots, kWorkers));
  for (ThreadSlot& slot : slots) {
    EXPECT_NE(slot.threadId, 0u);
    platform::WaitForObject(*slot.threadHandle, platform::kInfinite);
  }
  EXPECT_TRUE(WaitForMultipleThreads(slots, kWorkers, /*alertable=*/true));
  EXPECT_EQ(gStepsRun.load(), kWorkers);
  EXPECT_EQ(platform::RunQueuedProcedureCalls(), 0u);
  // The wait closed the handles; destroying frees each argument once.
  for (ThreadSlot& slot : slots) {
    EXPECT_EQ(slot.threadHandle, nullptr);
    EXPECT_EQ(DestroyThread(&slot), 1);
    EXPECT_EQ(slot.argument, nullptr);
  }
}

TEST(WorkerCount, IsCachedAndWithinRange) {
  ResetWorkerThreadCount();
  const int count = WorkerThreadCount();
  EXPECT_GE(count, 1);
  EXPECT_LE(count, kMaximumWorkerThreads);
  EXPECT_EQ(WorkerThreadCount(), count);
}

}  // namespace
}  // namespace lumeray
