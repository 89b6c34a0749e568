#include "effects/parameter_set_buffer.h"

#include <atomic>
#include <chrono>
#include <cstring>

namespace lumeray {
namespace {

constexpr double kFullResolutionZoom = 100.0;

std::atomic<uint32_t> gSnapshotCounter{0};

}  // namespace

uint32_t NextSnapshotSequenceNumber() {
  return gSnapshotCounter.fetch_add(1) + 1;
}

uint32_t TickCountMilliseconds() {
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

bool SameEffectFields(const ParameterSetBuffer& a, const ParameterSetBuffer& b) {
  for (const SettingRow& row : kSettingTable) {
    if (row.field != nullptr && a.parameters.*row.field != b.parameters.*row.field) return false;
    if (row.flag != nullptr && a.parameters.*row.flag != b.parameters.*row.flag) return false;
    if (row.code != nullptr && a.parameters.*row.code != b.parameters.*row.code) return false;
  }
  return true;
}

ParameterSetBuffer MakePreviewSnapshot(const ParameterSet& parameters,
                                       const PreviewViewState& view) {
  ParameterSetBuffer b;
  std::memset(&b, 0, sizeof b);
  b.sequenceNumber = NextSnapshotSequenceNumber();
  b.creationTime = TickCountMilliseconds();
  b.view = view;
  b.parameters = parameters;
  return b;
}

ParameterSetBuffer MakeFinalRenderSnapshot(const ParameterSet& parameters) {
  ParameterSetBuffer b;
  std::memset(&b, 0, sizeof b);
  b.parameters = parameters;
  b.view.zoom = kFullResolutionZoom;
  return b;
}

}  // namespace lumeray
