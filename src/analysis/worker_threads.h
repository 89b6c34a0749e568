// Worker threads: how many the module may use, and batches of threads started, waited for and
// destroyed together. There is no persistent pool: a user zeroes an array of ThreadSlot, fills
// the first `count` slots (routine, argument, index), spawns, waits and destroys every slot.
//
// The worker count is every physical core plus half of the additional hardware threads, one
// fewer than the processors when there are no additional threads and more than two processors,
// at least 1 and at most kMaximumWorkerThreads; computed once and cached.
//
// The worker count and the cancellation poll are process-wide, not one run's (run/run_state.h).
//
// Threading contract: a batch is owned by the thread that spawns and waits for it; workers only
// touch their own argument block. Cancellation is cooperative: workers poll the run result
// (SetCancellationPoll) and their own flags.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/thread.h"
#include "platform/topology.h"

namespace lumeray {

constexpr int kMaximumWorkerThreads = 24;
// How long DestroyThread waits for a thread that is still running after asking it to end.
constexpr uint32_t kThreadEndTimeoutMs = 10000;

struct ThreadSlot {
  void* security;  // always null
  uint32_t stackSize;
  platform::ThreadRoutine startRoutine;
  void* argument;  // malloc'ed block owned by the slot, freed by DestroyThread
  uint32_t creationFlags;
  uint32_t threadId;
  platform::Thread* threadHandle;  // null when no thread runs in the slot
  uint32_t index;
};
static_assert(sizeof(ThreadSlot) == 56, "24 slots fill the 1344-byte task array");

// The cached worker count (1..24).
int WorkerThreadCount();
// The formula on given records (nullopt: use the fallback with `processorCount`). Uncached.
int ComputeWorkerThreadCount(const std::optional<std::vector<platform::ProcessorRecord>>& records,
                             uint32_t processorCount);
// Forgets the cached count (tests).
void ResetWorkerThreadCount();

bool SpawnMultipleThreads(ThreadSlot* slots, int count);
bool WaitForMultipleThreads(ThreadSlot* slots, int count, bool alertable);
int DestroyThread(ThreadSlot* slot);
// How many threads DestroyThread has had to leave running since the module was loaded (any
// thread). Whatever such a thread may still read must outlive it, so the run that started it
// is never freed.
uint32_t AbandonedThreadCount();

// The cancellation poll used by alertable waits: true when the run should stop. The entry sets
// it to test the run result.
using CancellationPoll = bool (*)();
void SetCancellationPoll(CancellationPoll poll);
bool CancellationRequested();

}  // namespace lumeray
