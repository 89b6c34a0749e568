#include "effects/star_builder.h"

#include <algorithm>
#include <cstdint>
#include <system_error>
#include <thread>
#include <utility>

#include "effects/effect_shape_parameters.h"
#include "effects/row_indexed_phase.h"
#include "effects/spike.h"
#include "effects/spike_distance_tables.h"
#include "effects/spike_layouts.h"
#include "effects/star_settings.h"

namespace lumeray {

bool EnsureEntryArray(SubShape* subShape) {
  if (subShape->data() != nullptr) return true;
  if (ReallocateBufferPreserveContents(sizeof(SubShapeEntry), &subShape->entries) == 0) return true;
  WarnLowMemory();
  return false;
}

namespace {

// The rays in drawing order: the primary spikes, then the secondary ones.
struct StarRay {
  SpikeRay ray;
  bool secondary;
};

std::vector<StarRay> RaysOf(const StarSettings& settings) {
  std::vector<StarRay> rays;
  for (const SpikeRay& ray : LayOutPrimarySpikes(settings)) rays.push_back({ray, false});
  for (const SpikeRay& ray : LayOutSecondarySpikes(settings)) rays.push_back({ray, true});
  return rays;
}

// Draws rays [first, last) in order, stopping at the first that fails; appends each ray's entry
// count to `counts` when given (entries added to `part` only).
bool DrawRays(const StarSettings& settings, const SpikeDistanceTables& tables,
              const std::vector<StarRay>& rays, size_t first, size_t last, SpikeRasterizer* spikes,
              const PhaseRowPart* part, std::vector<uint32_t>* counts) {
  for (size_t i = first; i < last; ++i) {
    const StarRay& r = rays[i];
    const uint64_t before = part != nullptr ? part->added() : 0;
    if (!spikes->Draw(r.ray.angle, r.secondary ? settings.secondarySlope : settings.slope,
                      r.secondary ? tables.secondary : tables.primary, r.ray.amplitude)) {
      return false;
    }
    if (counts != nullptr && part != nullptr)
      counts->push_back(static_cast<uint32_t>(part->added() - before));
  }
  return true;
}

// The primary spikes, then (when they all succeeded) the secondary ones.
bool DrawStar(const StarSettings& settings, const SpikeDistanceTables& tables,
              SpikeRasterizer* spikes) {
  const std::vector<StarRay> rays = RaysOf(settings);
  return DrawRays(settings, tables, rays, 0, rays.size(), spikes, nullptr, nullptr);
}

StarSettings SettingsOf(const EffectShapeParameters& parameters) {
  const RenderImageFacts& image = parameters.image;
  return MakeStarSettings(parameters.snapshot, image.diagonal, image.presenceThreshold,
                          image.grayHost);
}

}  // namespace

bool BuildStarSubShape(EffectShape* shape, int xPhase, int yPhase) {
  // Stored only when it differs: other threads read the type while they draw the shape.
  if (shape->shapeType != SHAPE_IMAGE) shape->shapeType = SHAPE_IMAGE;
  SubShape* subShape = &shape->subShapes[SubShapeIndex(xPhase, yPhase)];
  EmptySubShape(subShape);
  const auto* parameters = static_cast<const EffectShapeParameters*>(shape->parameters);
  if (parameters == nullptr) return false;

  const StarSettings settings = SettingsOf(*parameters);
  SpikeDistanceTables ownTables;
  if (parameters->distances == nullptr) ownTables = BuildSpikeDistanceTables(settings);
  const SpikeDistanceTables& tables =
      parameters->distances != nullptr ? *parameters->distances : ownTables;

  SpikeRasterizer spikes(settings, tables, subShape, xPhase, yPhase);
  const bool drawn = DrawStar(settings, tables, &spikes);
  spikes.StoreBox();
  if (!drawn || !EnsureEntryArray(subShape)) return false;
  subShape->built = 1;
  return true;
}

bool BuildStarPhaseRows(const EffectShapeParameters& parameters, int xPhase, int yPhase,
                        PackedSpikeEntries* scratch, RowIndexedPhase* phase) {
  return BuildStarPhaseRowsInTwo(parameters, xPhase, yPhase, {SIZE_MAX, scratch, nullptr}, phase);
}

size_t HalvingRay(const std::vector<uint32_t>& rayEntries) {
  uint64_t total = 0;
  for (const uint32_t n : rayEntries) total += n;
  uint64_t head = 0;
  size_t best = 0;
  uint64_t bestGap = total;
  for (size_t ray = 1; ray < rayEntries.size(); ++ray) {
    head += rayEntries[ray - 1];
    const uint64_t gap = head > total - head ? head - (total - head) : (total - head) - head;
    if (gap < bestGap) {
      bestGap = gap;
      best = ray;
    }
  }
  return best;
}

bool BuildStarPhaseRowsInTwo(const EffectShapeParameters& parameters, int xPhase, int yPhase,
                             const StarBuildSplit& split, RowIndexedPhase* phase,
                             std::vector<uint32_t>* rayEntries) {
  if (parameters.distances == nullptr || split.first == nullptr) return false;
  const StarSettings settings = SettingsOf(parameters);
  const SpikeDistanceTables& tables = *parameters.distances;
  const std::vector<StarRay> rays = RaysOf(settings);
  const size_t at = split.second == nullptr ? rays.size() : std::min(split.ray, rays.size());

  // The second part's overflow exists only with a second array.
  PackedSpikeEntries unused;
  PackedSpikeEntries* second = split.second != nullptr ? split.second : &unused;
  const bool guessFits = split.guess != nullptr && split.guess->splitRay == at;
  PhaseRowSlots slots;
  if (!slots.Prepare(guessFits ? split.guess : nullptr, {split.first, second}, split.keep)) {
    return false;
  }
  SpikeRasterizer head(settings, tables, slots.part(0), xPhase, yPhase);
  SpikeRasterizer tail(settings, tables, slots.part(1), xPhase, yPhase);
  if (split.shown != nullptr) {
    head.ClipWalkTo(*split.shown);
    tail.ClipWalkTo(*split.shown);
  }
  std::vector<uint32_t> headCounts, tailCounts;
  const bool counting = rayEntries != nullptr || split.learned != nullptr;

  bool tailDrawn = true;
  const auto drawTail = [&] {
    tailDrawn = DrawRays(settings, tables, rays, at, rays.size(), &tail, slots.part(1),
                         counting ? &tailCounts : nullptr);
  };
  std::thread helper;
  if (split.helper && at > 0 && at < rays.size()) {
    try {
      helper = std::thread(drawTail);
    } catch (const std::system_error&) {
      // No helper: the calling thread draws the tail after the head.
    }
  }
  const bool headDrawn = DrawRays(settings, tables, rays, 0, at, &head, slots.part(0),
                                  counting ? &headCounts : nullptr);
  if (helper.joinable()) {
    helper.join();
  } else if (at < rays.size() && headDrawn) {
    drawTail();
  }
  if (!headDrawn || !tailDrawn) {
    DeallocateBuffer(&unused.entries);
    return false;
  }
  headCounts.insert(headCounts.end(), tailCounts.begin(), tailCounts.end());

  // The entries' box: the union of the parts' boxes that hold entries.
  ImageRect box{0, 0, 0, 0};
  bool any = false;
  for (const auto& [spikes, part] :
       {std::pair{&head, slots.part(0)}, std::pair{&tail, slots.part(1)}}) {
    if (part->added() == 0) continue;
    ImageRect b;
    spikes->Box(&b.left, &b.top, &b.right, &b.bottom);
    box = any ? ImageRect{std::min(box.left, b.left), std::min(box.top, b.top),
                          std::max(box.right, b.right), std::max(box.bottom, b.bottom)}
              : b;
    any = true;
  }
  if (split.learned != nullptr) {
    // Entries that all overflowed are in drawing order: they can be counted for the split where
    // they halve, the one a shared build will use.
    size_t learnedSplit = at;
    uint64_t headEntries = 0;
    if (slots.AllOverflowed()) {
      learnedSplit = HalvingRay(headCounts);
      if (learnedSplit == 0) learnedSplit = rays.size();
      for (size_t ray = 0; ray < learnedSplit; ++ray) headEntries += headCounts[ray];
    }
    if (!slots.Count(box, learnedSplit, headEntries, split.learned)) *split.learned = {};
  }
  if (rayEntries != nullptr) *rayEntries = std::move(headCounts);
  const bool made = slots.Finish(box, phase, split.keep);
  DeallocateBuffer(&unused.entries);
  return made;
}

}  // namespace lumeray
