// ParameterSetBuffer: the snapshot one render works from — the effect fields of the
// ParameterSet plus the view state of the moment. A snapshot is never changed after it is made;
// sequence numbers grow by one per snapshot, so a later snapshot always carries a larger one.
//
// Threading contract: snapshots may be made on any thread (the counter is atomic); each
// renderer keeps its own copy.
#pragma once

#include <cstddef>
#include <cstdint>

#include "effects/parameter_set.h"

namespace lumeray {

// The view state a preview snapshot records; the final render uses none of it but the zoom.
struct PreviewViewState {
  int32_t previewRect[4];  // left, top, right, bottom of the preview control
  int32_t toolRect[4];     // a pending Hide/Show drag of the preview window
  double zoom;             // percent; 100.0 in the final render
  int32_t scrollPosition[2];
  uint8_t previewEnabled;
  uint8_t previewWindowState;
  void* monitor;
  uint32_t lightSourceGeneration;
};

struct ParameterSetBuffer {
  uint32_t sequenceNumber;
  uint32_t creationTime;  // milliseconds of the system tick counter
  uint32_t reserved;      // always 0
  PreviewViewState view;
  ParameterSet parameters;  // the effect fields; the version words are not compared
};

// Whether two snapshots agree in every field of the setting table.
bool SameEffectFields(const ParameterSetBuffer& a, const ParameterSetBuffer& b);

// A full snapshot with the next sequence number and the current tick count.
ParameterSetBuffer MakePreviewSnapshot(const ParameterSet& parameters,
                                       const PreviewViewState& view);

// The final render's snapshot: zero-filled, the effect fields copied, zoom 100.0.
ParameterSetBuffer MakeFinalRenderSnapshot(const ParameterSet& parameters);

uint32_t NextSnapshotSequenceNumber();
uint32_t TickCountMilliseconds();

}  // namespace lumeray
