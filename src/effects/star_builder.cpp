#include "effects/star_builder.h"

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

// The primary spikes, then (when they all succeeded) the secondary ones.
bool DrawStar(const StarSettings& settings, const SpikeDistanceTables& tables,
              SpikeRasterizer* spikes) {
  for (const SpikeRay& ray : LayOutPrimarySpikes(settings)) {
    if (!spikes->Draw(ray.angle, settings.slope, tables.primary, ray.amplitude)) return false;
  }
  for (const SpikeRay& ray : LayOutSecondarySpikes(settings)) {
    if (!spikes->Draw(ray.angle, settings.secondarySlope, tables.secondary, ray.amplitude)) {
      return false;
    }
  }
  return true;
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
  if (parameters.distances == nullptr) return false;
  const StarSettings settings = SettingsOf(parameters);
  SpikeRasterizer spikes(settings, *parameters.distances, scratch, xPhase, yPhase);
  if (!DrawStar(settings, *parameters.distances, &spikes)) return false;
  int32_t left, top, right, bottom;
  spikes.Box(&left, &top, &right, &bottom);
  return MakeRowIndexedPhase(scratch->data(), scratch->count, {left, top, right, bottom}, phase);
}

}  // namespace lumeray
