// The status of one run: its result and the request to stop its render. Every layer that works
// for a run reads and sets them through the run's RunStatus (run_state.h), which the code that
// starts a thread hands to it in its argument block.
//
// The run result is the host's 16-bit result cell of the call in progress (host_record.h),
// attached by the host at each call; without one (outside a host call, and in tests) a cell of
// the status's own stands in. It is shared by every thread of the run: workers read it to stop
// early and set it on failure, so it is only touched through these members, which access it
// atomically. "Set" means: only while it is still 0 (the first failure wins), unless
// ForceResult is used.
//
// The render abort flag is raised when a run ends early (the clean-up) and cleared when the
// next one starts; the band workers and the proxy pyramid's resampling poll it.
//
// The free functions below are the UI thread's shorthand for the status of the run in progress
// (CurrentRun, run_state.h); a worker never calls them.
//
// Threading contract: the members of RunStatus from any thread of its run; AttachHostCell on the
// UI thread at the start of a host call and when the run ends.
#pragma once

#include <atomic>
#include <cstdint>

namespace lumeray {

class RunStatus {
 public:
  // The host's result cell for the call in progress; null detaches it (the run's own cell is
  // used from then on).
  void AttachHostCell(int16_t* cell) { hostCell_.store(cell); }

  int16_t Result() const;
  // Sets the result when it is still 0; returns the result in force afterwards.
  int16_t SetResult(int16_t code);
  void ForceResult(int16_t code);

  void RequestAbort() { abort_.store(true); }
  void ClearAbort() { abort_.store(false); }
  bool AbortRequested() const { return abort_.load(); }
  // Whether the render should stop: an abort was requested or the run has a result.
  bool Stopped() const { return AbortRequested() || Result() != 0; }

 private:
  std::atomic<int16_t*> hostCell_{nullptr};
  std::atomic<int16_t> ownResult_{0};
  std::atomic<bool> abort_{false};
};

// The status of the run in progress; UI thread only (see above).
int16_t RunResult();
int16_t SetRunResult(int16_t code);
void ForceRunResult(int16_t code);
void RequestRenderAbort();
void ClearRenderAbort();
bool RenderAbortRequested();
bool RenderStopped();

}  // namespace lumeray
