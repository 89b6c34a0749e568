#include "effects/star_builder.h"

#include "effects/effect_shape_parameters.h"
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

bool BuildStarSubShape(EffectShape* shape, int xPhase, int yPhase) {
  // Stored only when it differs: other threads read the type while they draw the shape.
  if (shape->shapeType != SHAPE_IMAGE) shape->shapeType = SHAPE_IMAGE;
  SubShape* subShape = &shape->subShapes[SubShapeIndex(xPhase, yPhase)];
  EmptySubShape(subShape);
  const auto* parameters = static_cast<const EffectShapeParameters*>(shape->parameters);
  if (parameters == nullptr) return false;

  const RenderImageFacts& image = parameters->image;
  const StarSettings settings = MakeStarSettings(parameters->snapshot, image.diagonal,
                                                 image.presenceThreshold, image.grayHost);
  SpikeDistanceTables ownTables;
  if (parameters->distances == nullptr) ownTables = BuildSpikeDistanceTables(settings);
  const SpikeDistanceTables& tables =
      parameters->distances != nullptr ? *parameters->distances : ownTables;

  SpikeRasterizer spikes(settings, tables, subShape, xPhase, yPhase);
  bool drawn = true;
  for (const SpikeRay& ray : LayOutPrimarySpikes(settings)) {
    drawn = spikes.Draw(ray.angle, settings.slope, tables.primary, ray.amplitude);
    if (!drawn) break;
  }
  if (drawn) {
    for (const SpikeRay& ray : LayOutSecondarySpikes(settings)) {
      drawn = spikes.Draw(ray.angle, settings.secondarySlope, tables.secondary, ray.amplitude);
      if (!drawn) break;
    }
  }
  spikes.StoreBox();
  if (!drawn || !EnsureEntryArray(subShape)) return false;
  subShape->built = 1;
  return true;
}

}  // namespace lumeray
