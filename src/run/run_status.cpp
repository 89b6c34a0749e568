#include "run/run_status.h"

#include <atomic>

#include "run/host_record.h"

namespace lumeray {
namespace {

// The run result as seen by threads that did not set it; the host's cell is updated alongside.
std::atomic<int16_t> gLocalResult{0};
std::atomic<bool> gRenderAbort{false};

}  // namespace

int16_t RunResult() {
  int16_t* cell = Host().result;
  if (cell == nullptr) return gLocalResult.load();
  return std::atomic_ref<int16_t>(*cell).load();
}

int16_t SetRunResult(int16_t code) {
  int16_t* cell = Host().result;
  if (cell == nullptr) {
    int16_t expected = 0;
    gLocalResult.compare_exchange_strong(expected, code);
    return gLocalResult.load();
  }
  std::atomic_ref<int16_t> shared(*cell);
  int16_t expected = 0;
  if (shared.compare_exchange_strong(expected, code)) return code;
  return expected;
}

void ForceRunResult(int16_t code) {
  int16_t* cell = Host().result;
  if (cell == nullptr) {
    gLocalResult.store(code);
  } else {
    std::atomic_ref<int16_t>(*cell).store(code);
  }
}

void RequestRenderAbort() {
  gRenderAbort = true;
}
void ClearRenderAbort() {
  gRenderAbort = false;
}
bool RenderAbortRequested() {
  return gRenderAbort;
}
bool RenderStopped() {
  return RenderAbortRequested() || RunResult() != 0;
}

}  // namespace lumeray
