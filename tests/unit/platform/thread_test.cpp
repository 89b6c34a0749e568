// Threads: exit codes, identifiers, handles, termination requests and queued calls.

#include "platform/thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <memory>
#include <thread>

namespace lumeray::platform {
namespace {

struct Gate {
  Event started{true, false};
  Event release{true, false};
  std::atomic<ThreadId> seenId{0};
};

uint32_t WaitAtGate(void* argument) {
  auto* gate = static_cast<Gate*>(argument);
  gate->seenId = CurrentThreadId();
  gate->started.Set();
  WaitForObject(gate->release, kInfinite);
  return 42;
}

TEST(ThreadTest, ExitCodeIsStillActiveWhileRunningThenTheRoutinesResult) {
  Gate gate;
  std::unique_ptr<Thread> thread(Thread::Start(WaitAtGate, &gate));
  ASSERT_TRUE(thread);
  ASSERT_EQ(WaitForObject(gate.started, 5000).status, WaitStatus::kSignaled);
  EXPECT_EQ(thread->Id(), gate.seenId.load());  // the kernel's id, as seen inside
  EXPECT_NE(thread->Id(), CurrentThreadId());

  uint32_t exitCode = 0;
  ASSERT_TRUE(thread->GetExitCode(&exitCode));
  EXPECT_EQ(exitCode, kStillActive);
  EXPECT_FALSE(thread->HasEnded());
  EXPECT_EQ(WaitForObject(*thread, 0).status, WaitStatus::kTimeout);

  gate.release.Set();
  EXPECT_EQ(WaitForObject(*thread, 5000).status, WaitStatus::kSignaled);
  EXPECT_TRUE(thread->HasEnded());
  ASSERT_TRUE(thread->GetExitCode(&exitCode));
  EXPECT_EQ(exitCode, 42u);
  // An ended thread stays signalled.
  EXPECT_EQ(WaitForObject(*thread, 0).status, WaitStatus::kSignaled);
  EXPECT_FALSE(thread->GetExitCode(nullptr));
  int error = 0;
  EXPECT_EQ(Thread::Start(nullptr, nullptr, &error), nullptr);
  EXPECT_EQ(error, EINVAL);
}

TEST(ThreadTest, DeletingTheHandleOfARunningThreadDoesNotBlock) {
  struct Block {
    Event release{true, false};
    Event finished{true, false};
  };
  static Block block;  // outlives the detached thread
  Thread* thread = Thread::Start(
      [](void*) -> uint32_t {
        WaitForObject(block.release, kInfinite);
        block.finished.Set();
        return 0;
      },
      nullptr);
  ASSERT_NE(thread, nullptr);
  delete thread;  // would never return if it joined: the thread waits for the next line
  block.release.Set();
  EXPECT_EQ(WaitForObject(block.finished, 5000).status, WaitStatus::kSignaled);
}

TEST(ThreadTest, TerminationIsARequestTheRoutineObserves) {
  struct Shared {
    Event started{true, false};
  } shared;
  std::unique_ptr<Thread> thread(Thread::Start(
      [](void* argument) -> uint32_t {
        static_cast<Shared*>(argument)->started.Set();
        while (!Thread::TerminationRequested()) SleepFor(1, false);
        return kForcedExitCode;
      },
      &shared));
  ASSERT_TRUE(thread);
  ASSERT_EQ(WaitForObject(shared.started, 5000).status, WaitStatus::kSignaled);
  EXPECT_EQ(WaitForObject(*thread, 0).status, WaitStatus::kTimeout);
  thread->RequestTermination();
  ASSERT_EQ(WaitForObject(*thread, 5000).status, WaitStatus::kSignaled);
  uint32_t exitCode = 0;
  ASSERT_TRUE(thread->GetExitCode(&exitCode));
  EXPECT_EQ(exitCode, kForcedExitCode);
  EXPECT_FALSE(Thread::TerminationRequested());  // not on this thread
}

TEST(ThreadTest, QueuedCallsRunOnTheTargetThreadInOrder) {
  struct Shared {
    Event started{true, false};
    Event queued{true, false};
    std::atomic<ThreadId> id{0};
    std::string order;
    ThreadId ranOn = 0;
    WaitStatus status = WaitStatus::kFailed;
  } shared;
  std::unique_ptr<Thread> thread(Thread::Start(
      [](void* argument) -> uint32_t {
        auto* s = static_cast<Shared*>(argument);
        s->started.Set();
        WaitForObject(s->queued, kInfinite);  // not alertable: the calls wait
        // Signalled already, but the queued calls run first.
        s->status = WaitForObject(s->started, kInfinite, true).status;
        return static_cast<uint32_t>(RunQueuedProcedureCalls());  // none left
      },
      &shared));
  ASSERT_TRUE(thread);
  ASSERT_EQ(WaitForObject(shared.started, 5000).status, WaitStatus::kSignaled);
  Shared* s = &shared;
  ASSERT_TRUE(QueueProcedureCall(thread->Id(), [s] { s->order += "a"; }));
  ASSERT_TRUE(QueueProcedureCall(thread->Id(), [s] {
    s->order += "b";
    s->ranOn = CurrentThreadId();
  }));
  EXPECT_FALSE(QueueProcedureCall(thread->Id(), nullptr));
  shared.queued.Set();
  ASSERT_EQ(WaitForObject(*thread, 5000).status, WaitStatus::kSignaled);
  uint32_t ran = 0;
  ASSERT_TRUE(thread->GetExitCode(&ran));
  EXPECT_EQ(shared.status, WaitStatus::kIoCompletion);
  EXPECT_EQ(ran, 0u);
  EXPECT_EQ(shared.order, "ab");
  EXPECT_EQ(shared.ranOn, thread->Id());
}

TEST(ThreadTest, QueueingToAnEndedOrUnknownThreadFails) {
  Thread* thread = Thread::Start([](void*) -> uint32_t { return 0; }, nullptr);
  ASSERT_NE(thread, nullptr);
  ThreadId id = thread->Id();
  ASSERT_EQ(WaitForObject(*thread, 5000).status, WaitStatus::kSignaled);
  delete thread;
  bool ran = false;
  EXPECT_FALSE(QueueProcedureCall(id, [&] { ran = true; }));
  EXPECT_FALSE(QueueProcedureCall(0, [&] { ran = true; }));
  EXPECT_FALSE(ran);
}

}  // namespace
}  // namespace lumeray::platform
