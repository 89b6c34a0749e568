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

void CopyEffectFields(const ParameterSet& p, ParameterSetBuffer* b) {
  b->Intensity = p.Intensity;
  b->Length = p.Length;
  b->Angle = p.Angle;
  b->NumberOfPoints = p.NumberOfPoints;
  b->SpikeSharpness = p.SpikeSharpness;
  b->ColorSaturation = p.ColorSaturation;
  b->RainbowIntensity = p.RainbowIntensity;
  b->RainbowFrequency = p.RainbowFrequency;
  b->SecondarySpikeIntensity = p.SecondarySpikeIntensity;
  b->SoftFlareIntensity = p.SoftFlareIntensity;
  b->EffectsOnly = static_cast<int16_t>(p.EffectsOnly);
  b->EffectType = p.EffectType;
  b->Quantity = p.Quantity;
}

ParameterSetBuffer MakePreviewSnapshot(const ParameterSet& parameters,
                                       const PreviewViewState& view) {
  ParameterSetBuffer b;
  std::memset(&b, 0, sizeof b);
  b.sequenceNumber = NextSnapshotSequenceNumber();
  b.creationTime = TickCountMilliseconds();
  std::memcpy(b.previewRect, view.previewRect, sizeof b.previewRect);
  std::memcpy(b.toolRect, view.toolRect, sizeof b.toolRect);
  b.zoom = view.zoom;
  b.scrollPosition[0] = view.scrollPosition[0];
  b.scrollPosition[1] = view.scrollPosition[1];
  b.previewEnabled = view.previewEnabled;
  b.previewWindowState = view.previewWindowState;
  b.monitor = view.monitor;
  b.lightSourceGeneration = view.lightSourceGeneration;
  CopyEffectFields(parameters, &b);
  return b;
}

ParameterSetBuffer MakeFinalRenderSnapshot(const ParameterSet& parameters) {
  ParameterSetBuffer b;
  std::memset(&b, 0, sizeof b);
  CopyEffectFields(parameters, &b);
  b.zoom = kFullResolutionZoom;
  return b;
}

}  // namespace lumeray
