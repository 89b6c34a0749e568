#include "run/run_status.h"

#include "run/run_state.h"

namespace lumeray {

int16_t RunStatus::Result() const {
  int16_t* cell = hostCell_.load();
  if (cell == nullptr) return ownResult_.load();
  return std::atomic_ref<int16_t>(*cell).load();
}

int16_t RunStatus::SetResult(int16_t code) {
  int16_t* cell = hostCell_.load();
  int16_t expected = 0;
  if (cell == nullptr) {
    ownResult_.compare_exchange_strong(expected, code);
    return ownResult_.load();
  }
  std::atomic_ref<int16_t> shared(*cell);
  if (shared.compare_exchange_strong(expected, code)) return code;
  return expected;
}

void RunStatus::ForceResult(int16_t code) {
  int16_t* cell = hostCell_.load();
  if (cell == nullptr) {
    ownResult_.store(code);
  } else {
    std::atomic_ref<int16_t>(*cell).store(code);
  }
}

int16_t RunResult() {
  return CurrentRun().status.Result();
}
int16_t SetRunResult(int16_t code) {
  return CurrentRun().status.SetResult(code);
}
void ForceRunResult(int16_t code) {
  CurrentRun().status.ForceResult(code);
}
void RequestRenderAbort() {
  CurrentRun().status.RequestAbort();
}
void ClearRenderAbort() {
  CurrentRun().status.ClearAbort();
}
bool RenderAbortRequested() {
  return CurrentRun().status.AbortRequested();
}
bool RenderStopped() {
  return CurrentRun().status.Stopped();
}

}  // namespace lumeray
