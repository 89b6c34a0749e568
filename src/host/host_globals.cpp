#include "host/host_globals.h"

#include <atomic>

namespace lumeray {
namespace {

HostGlobals gHost;
// Stands in for the parameter handle while none is locked (outside a run, and in tests).
ParameterSet gUnlockedParameters = kFactoryParameters;

// The run result as seen by threads that did not set it; the host's cell is updated alongside.
std::atomic<int16_t> gLocalResult{0};

}  // namespace

HostGlobals& Host() {
  return gHost;
}

int16_t RunResult() {
  if (gHost.result == nullptr) return gLocalResult.load();
  return std::atomic_ref<int16_t>(*gHost.result).load();
}

int16_t SetRunResult(int16_t code) {
  if (gHost.result == nullptr) {
    int16_t expected = 0;
    gLocalResult.compare_exchange_strong(expected, code);
    return gLocalResult.load();
  }
  std::atomic_ref<int16_t> cell(*gHost.result);
  int16_t expected = 0;
  if (cell.compare_exchange_strong(expected, code)) return code;
  return expected;
}

void ForceRunResult(int16_t code) {
  if (gHost.result == nullptr) {
    gLocalResult.store(code);
  } else {
    std::atomic_ref<int16_t>(*gHost.result).store(code);
  }
}

Handle DataHandle() {
  return gHost.data == nullptr ? nullptr : reinterpret_cast<Handle>(*gHost.data);
}

bool Using32BitCoordinates() {
  return gHost.filterRecord != nullptr && gHost.filterRecord->bigDocumentData != nullptr &&
         gHost.filterRecord->bigDocumentData->PluginUsing32BitCoordinates != 0;
}

ParameterSet& CurrentParameters() {
  return gHost.parameters != nullptr ? *gHost.parameters : gUnlockedParameters;
}

}  // namespace lumeray
