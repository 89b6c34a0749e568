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
#include "effects/phase_row_slots.h"
#include "effects/row_indexed_phase.h"
#include "effects/spike.h"

namespace lumeray {

bool BuildStarSubShape(EffectShape* shape, int xPhase, int yPhase);

// The same star for one phase straight into row-indexed form (row_indexed_phase.h), through
// `scratch` (the overflow of a build in place, phase_row_slots.h: without a guess every entry);
// the parameters must carry their distance tables. False (after the low-memory warning) when
// memory ran out, or without distance tables.
bool BuildStarPhaseRows(const EffectShapeParameters& parameters, int xPhase, int yPhase,
                        PackedSpikeEntries* scratch, RowIndexedPhase* phase);

// BuildStarPhaseRows in two parts: the rays before `ray` in drawing order (the primary spikes,
// then the secondary ones) into part 0 (overflow `first`), the others into part 1 (overflow
// `second`), the latter on a helper thread when `helper` says so; the parts' entries are joined
// in drawing order, so the phase is the one BuildStarPhaseRows makes. Without `second` the
// calling thread draws every ray into part 0; when no helper can be started, it draws both parts.
// With a `guess` of the same split the phase is built in place (phase_row_slots.h). `learned`,
// when given, receives the room the entries took by row and part (phase_row_slots.h), for guessing
// the next build: of this split, or, when every entry overflowed (no guess fitted), of the split
// where the rays' entries halve (HalvingRay; every ray's when nothing can be shared). `rayEntries`,
// when given, receives each ray's entry count. Both overflow arrays are left for the caller. With
// `shown`, the spikes' walks end where nothing more can fall in it (SpikeRasterizer::ClipWalkTo):
// the phase then holds every entry of the full build inside it and fewer outside. With `keep`, the
// phase holds only the entries it keeps (KeepPhaseEntries), dropped while the build closes up.
struct StarBuildSplit {
  size_t ray = 0;
  PackedSpikeEntries* first = nullptr;
  PackedSpikeEntries* second = nullptr;
  bool helper = true;
  const RowCountGuess* guess = nullptr;
  RowCountGuess* learned = nullptr;
  const ImageRect* shown = nullptr;
  PhaseEntryFilter* keep = nullptr;
};
bool BuildStarPhaseRowsInTwo(const EffectShapeParameters& parameters, int xPhase, int yPhase,
                             const StarBuildSplit& split, RowIndexedPhase* phase,
                             std::vector<uint32_t>* rayEntries = nullptr);

// The ray before which the entries of the rays (in drawing order) are closest to halved; 0
// when there is nothing to share.
size_t HalvingRay(const std::vector<uint32_t>& rayEntries);

// Gives a sub-shape without an entry array an array of one entry; false (low-memory warning
// shown) when it cannot. Shared by the star and soft flare builders.
bool EnsureEntryArray(SubShape* subShape);

}  // namespace lumeray
