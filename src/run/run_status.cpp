#include "run/run_status.h"

#include <atomic>

#include "run/host_record.h"
#include "run/run_state.h"

namespace lumeray {

int16_t RunResult() {
  int16_t* cell = Host().result;
  if (cell == nullptr) return CurrentRun().localResult.load();
  return std::atomic_ref<int16_t>(*cell).load();
}

int16_t SetRunResult(int16_t code) {
  int16_t* cell = Host().result;
  if (cell == nullptr) {
    int16_t expected = 0;
    CurrentRun().localResult.compare_exchange_strong(expected, code);
    return CurrentRun().localResult.load();
  }
  std::atomic_ref<int16_t> shared(*cell);
  int16_t expected = 0;
  if (shared.compare_exchange_strong(expected, code)) return code;
  return expected;
}

void ForceRunResult(int16_t code) {
  int16_t* cell = Host().result;
  if (cell == nullptr) {
    CurrentRun().localResult.store(code);
  } else {
    std::atomic_ref<int16_t>(*cell).store(code);
  }
}

void RequestRenderAbort() {
  CurrentRun().renderAbort = true;
}
void ClearRenderAbort() {
  CurrentRun().renderAbort = false;
}
bool RenderAbortRequested() {
  return CurrentRun().renderAbort;
}
bool RenderStopped() {
  return RenderAbortRequested() || RunResult() != 0;
}

}  // namespace lumeray
