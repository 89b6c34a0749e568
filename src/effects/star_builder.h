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
// shape-building lock (shape_operations.h); it writes only the sub-shape of its phase.
#pragma once

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

// Gives a sub-shape without an entry array an array of one entry; false (low-memory warning
// shown) when it cannot. Shared by the star and soft flare builders.
bool EnsureEntryArray(SubShape* subShape);

}  // namespace lumeray
