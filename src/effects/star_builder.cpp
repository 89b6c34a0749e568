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
// count to `counts` when given (packed entries only).
bool DrawRays(const StarSettings& settings, const SpikeDistanceTables& tables,
              const std::vector<StarRay>& rays, size_t first, size_t last, SpikeRasterizer* spikes,
              const PackedSpikeEntries* packed, std::vector<uint32_t>* counts) {
  for (size_t i = first; i < last; ++i) {
    const StarRay& r = rays[i];
    const uint32_t before = packed != nullptr ? packed->count : 0;
    if (!spikes->Draw(r.ray.angle, r.secondary ? settings.secondarySlope : settings.slope,
                      r.secondary ? tables.secondary : tables.primary, r.ray.amplitude)) {
      return false;
    }
    if (counts != nullptr && packed != nullptr) counts->push_back(packed->count - before);
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

bool BuildStarPhaseRowsInTwo(const EffectShapeParameters& parameters, int xPhase, int yPhase,
                             const StarBuildSplit& split, RowIndexedPhase* phase,
                             std::vector<uint32_t>* rayEntries) {
  if (parameters.distances == nullptr || split.first == nullptr) return false;
  const StarSettings settings = SettingsOf(parameters);
  const SpikeDistanceTables& tables = *parameters.distances;
  const std::vector<StarRay> rays = RaysOf(settings);
  const size_t at = split.second == nullptr ? rays.size() : std::min(split.ray, rays.size());

  SpikeRasterizer head(settings, tables, split.first, xPhase, yPhase);
  // The helper's rasteriser and scratch exist only with a second array.
  PackedSpikeEntries unused;
  PackedSpikeEntries* second = split.second != nullptr ? split.second : &unused;
  SpikeRasterizer tail(settings, tables, second, xPhase, yPhase);
  std::vector<uint32_t> tailCounts;
  std::vector<uint32_t>* headCounts = rayEntries;
  if (headCounts != nullptr) headCounts->clear();
  std::vector<uint32_t>* tailCountsOut = rayEntries != nullptr ? &tailCounts : nullptr;

  bool tailDrawn = true;
  const auto drawTail = [&] {
    tailDrawn = DrawRays(settings, tables, rays, at, rays.size(), &tail, second, tailCountsOut);
  };
  std::thread helper;
  if (at > 0 && at < rays.size()) {
    try {
      helper = std::thread(drawTail);
    } catch (const std::system_error&) {
      // No helper: the calling thread draws the tail after the head.
    }
  }
  const bool headDrawn = DrawRays(settings, tables, rays, 0, at, &head, split.first, headCounts);
  if (helper.joinable()) {
    helper.join();
  } else if (at < rays.size() && headDrawn) {
    drawTail();
  }
  if (!headDrawn || !tailDrawn) return false;
  if (rayEntries != nullptr)
    rayEntries->insert(rayEntries->end(), tailCounts.begin(), tailCounts.end());

  // The entries' box: the union of the parts' boxes that hold entries.
  ImageRect box{0, 0, 0, 0};
  bool any = false;
  for (const auto& [spikes, entries] : {std::pair{&head, split.first}, std::pair{&tail, second}}) {
    if (entries->count == 0) continue;
    ImageRect b;
    spikes->Box(&b.left, &b.top, &b.right, &b.bottom);
    box = any ? ImageRect{std::min(box.left, b.left), std::min(box.top, b.top),
                          std::max(box.right, b.right), std::max(box.bottom, b.bottom)}
              : b;
    any = true;
  }
  const std::array<PackedEntrySpan, 2> parts{
      PackedEntrySpan{split.first->data(), split.first->count},
      PackedEntrySpan{second->data(), second->count}};
  return MakeRowIndexedPhase(parts, box, phase);
}

}  // namespace lumeray
