// The star builder: builds the sub-shape of the star shape for one quarter-pixel phase — the
// primary spikes laid out by the effect type, then the 42 secondary spikes — from the
// EffectShapeParameters the shape points to. The soft flare has its own builder
// (soft_flare_builder.h).
//
// The builder marks the shape SHAPE_IMAGE, empties the sub-shape, draws the primary spikes
// (slope w, length L, fall-off intensity I) and, when they all succeeded, the secondary ones
// (slope w2, length L2, fall-off intensity E), stores the bounding box and marks the sub-shape
// built. When an entry cannot be added (the low-memory warning has been shown) it stops,
// leaves what was added but the sub-shape unbuilt, and returns false. A shape without
// parameters builds nothing and returns false. A built sub-shape always has an entry array,
// also when it holds no entry (Length 0, or every spike below the presence threshold), so that
// drawing it draws nothing instead of failing.
//
// Threading contract: as every builder, called for a shared shape only under the
// shape-building lock (shape_operations.h); it writes only the sub-shape of its phase. A build
// in two parts writes each scratch array from one thread and joins its helper before returning.
#pragma once

#include <cstddef>
#include <vector>

#include "analysis/effect_shape.h"
#include "effects/effect_shape_parameters.h"
#include "effects/row_indexed_phase.h"
#include "effects/spike.h"

namespace lumeray {

bool BuildStarSubShape(EffectShape* shape, int xPhase, int yPhase);

// The same star for one phase straight into row-indexed form (row_indexed_phase.h), through
// `scratch` (packed entries, kept by the caller for the next build); the parameters must carry
// their distance tables. False (after the low-memory warning) when memory ran out, or without
// distance tables.
bool BuildStarPhaseRows(const EffectShapeParameters& parameters, int xPhase, int yPhase,
                        PackedSpikeEntries* scratch, RowIndexedPhase* phase);

// BuildStarPhaseRows on two threads at once: the rays before `ray` in drawing order (the primary
// spikes, then the secondary ones) on the calling thread into `first`, the others on a helper
// thread into `second`; the parts' entries are joined in drawing order, so the phase is the one
// BuildStarPhaseRows makes. Without `second`, or when no helper can be started, the calling
// thread draws every ray. `rayEntries`, when given, receives each ray's entry count (for
// choosing the next split). Both arrays' entries are left for the caller, as the scratch's.
struct StarBuildSplit {
  size_t ray = 0;
  PackedSpikeEntries* first = nullptr;
  PackedSpikeEntries* second = nullptr;
};
bool BuildStarPhaseRowsInTwo(const EffectShapeParameters& parameters, int xPhase, int yPhase,
                             const StarBuildSplit& split, RowIndexedPhase* phase,
                             std::vector<uint32_t>* rayEntries = nullptr);

// Gives a sub-shape without an entry array an array of one entry; false (low-memory warning
// shown) when it cannot. Shared by the star and soft flare builders.
bool EnsureEntryArray(SubShape* subShape);

}  // namespace lumeray
