// The effects pass of the final render: fills a band of the effects image with the stars and
// soft flares of every visible light source.
//
//  1. Unless the render's cancel flag is set, the clip rectangle (cut to the image's data) is
//     filled with opaque black.
//  2. Quantity cut = trunc(((100 - Quantity) / 100)^2 * 4294967294), 0 for Quantity 100. A light
//     source is visible when the user showed it (state 2), or when it is in the normal state
//     (1) and its brightness is above the cut; hidden sources (state 0) never are. Sources are
//     taken in the master table's order (brightest first).
//  3. Spike pass, when Intensity or Secondary Spike Intensity is above 0: every visible source
//     whose strength is above the presence threshold is stamped with the star shape in its
//     colour (adjusted by the Color Saturation) with its strength as alpha, in 'scrn' mode.
//     The stamps go phase by phase (sub-shape index order), each phase's sources in the table's
//     order. The order is the same for every band, strip and thread count,
//     so the result does not depend on them. The progress advances with the sources stamped, by
//     the table's count over the whole band.
//  4. Soft flare pass, when Soft Flare Intensity is at least 1: as the spike pass with the soft
//     flare shape and the flare strength = strength x trunc((Soft Flare Intensity / 100)^2 *
//     4294967294) (fraction product).
//  5. The pass fails when a stamp fails (out of memory while building a shape), when the
//     progress reports a cancel (the run result becomes -128), or when the run has stopped
//     meanwhile (the render's cancel flag, or a run result set by another thread).
//
// Stamping by rows (EffectsPassRound::rowStamps, the final render's way) draws the same: the
// star from the run's StarPhaseSet (each phase built once for all bands and strips, only the
// rows inside the clip read) and the soft flare from its radial profile (soft_flare_profile.h).
//
// A pass that does not run advances nothing: the final render's progress total counts one unit
// per source, band and pass that runs (EffectsPassProgressUnits), so the bar ends at its total.
//
// Threading contract: one pass per band worker, each on its own effects image; the master table
// and the shapes are shared read-only (shapes are built under the shape-building lock).
#pragma once

#include <cstdint>
#include <vector>

#include "analysis/effect_shape.h"
#include "analysis/master_light_source_table.h"
#include "analysis/shape_operations.h"
#include "effects/parameter_set_buffer.h"
#include "image/image_record.h"
#include "run/run_status.h"

namespace lumeray {

// Advances the host's progress (of the run `context` stands for); false when the run should stop.
using ProgressAdvance = bool (*)(void* context, uint32_t units);

// Converts a band image in place to the host's profile `host`; false when it could not.
using BandColorConversion = bool (*)(ImageRecord* band, ProfileHandle host);

// What the pass draws from: the run's master table, the renderers' shapes, the presence
// threshold, the host's grey mode, the progress and the run's status (which the pass polls and
// sets); and the profile a band's effects image is drawn in with the conversion to the host's
// (band_render.h; null: no profile, no conversion).
class StarPhaseSet;
struct SoftFlareProfile;

struct EffectsPassSources {
  const MasterLightSourceTable* table;
  EffectShape* star;
  EffectShape* softFlare;
  StarPhaseSet* starPhases;                  // used when stamping by rows
  const SoftFlareProfile* softFlareProfile;  // likewise
  uint32_t presenceThreshold;
  bool grayHost;
  ProgressAdvance advance;
  ProfileHandle bandProfile = nullptr;
  BandColorConversion toHostProfile = nullptr;
  void* progressContext = nullptr;
  RunStatus* status = nullptr;          // never null when a pass runs
  ProfileHandle hostProfile = nullptr;  // the run's, for toHostProfile
  // The run's shape-building lock (shape_operations.h); null when one thread stamps the shapes.
  platform::CriticalSection* shapeBuilding = nullptr;
};

// Which passes a round draws: both (after the fill); the spike pass alone (after the fill); or
// the soft flare pass alone, without a fill, over what a spike-only round drew in the clip. A
// spike-only round and then soft-flare-only rounds over parts of its clip draw what one round
// draws; each round advances the progress of its own strip of its pass.
enum class EffectsPassPart { kAll, kSpikes, kSoftFlare };

// How one pass shares the work of its band: the band may be drawn in `strips` parts (this is
// part `strip`), each advancing its share of the band's progress units; `sharing` says how many
// bands stamp the shapes at once (shape_operations.h; bands = 0 keeps every sub-shape built);
// `rowStamps` stamps from the sources' phase set and flare profile instead of the shapes;
// `reach` (StarPhaseReach; null: none) lets the set keep only the phase entries that can show;
// `part` picks the passes (above).
struct PhaseReach;
struct EffectsPassRound {
  uint32_t strip = 0;
  uint32_t strips = 1;
  ShapeSharing sharing{};
  bool rowStamps = false;
  const PhaseReach* reach = nullptr;
  EffectsPassPart part = EffectsPassPart::kAll;
};

bool RunEffectsPass(ImageRecord* effects, const ImageRect& clip, const ParameterSetBuffer& snapshot,
                    const EffectsPassSources& sources, const EffectsPassRound& round = {});

// Where the spike pass's stamps can show their phases' entries when every strip that shares the
// phase set stamps within `area` (star_phase_set.h); no stamps when the pass does not run.
// Throws std::bad_alloc.
void StarPhaseReach(const ParameterSetBuffer& snapshot, const EffectsPassSources& sources,
                    const ImageRect& area, PhaseReach* reach);

// The star phases (sub-shape indices) the spike pass stamps, in its order; empty when the pass
// does not run. Throws std::bad_alloc.
std::vector<int> SpikePassPhases(const ParameterSetBuffer& snapshot,
                                 const EffectsPassSources& sources);

// The progress units one band's pass advances: the source count for each pass that runs.
uint64_t EffectsPassProgressUnits(const ParameterSetBuffer& snapshot, uint32_t sourceCount);

uint32_t QuantityCut(int32_t quantity);
bool IsLightSourceVisible(const LightSourceEntry& entry, uint32_t quantityCut);
// trunc((softFlareIntensity / 100)^2 * 4294967294), at most 0xFFFFFFFE.
uint32_t SoftFlareFactor(int32_t softFlareIntensity);

}  // namespace lumeray
