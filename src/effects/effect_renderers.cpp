#include "effects/effect_renderers.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "analysis/analysis_run_state.h"
#include "effects/effects_run_state.h"
#include "effects/renderer_tables.h"
#include "effects/soft_flare_builder.h"
#include "effects/soft_flare_profile.h"
#include "effects/spike_distance_tables.h"
#include "effects/star_builder.h"
#include "effects/star_phase_set.h"
#include "effects/star_settings.h"
#include "image/image_modes.h"

namespace lumeray {
namespace {

constexpr uint8_t kNeverBuiltByte = 0xFF;
// The star's phases are all kept while they take at most this many bytes per squared diagonal
// pixel and byte of the host's samples (about four bytes per pixel of an 8-bit 3:2 photo, the
// size of its working copy); a longer star keeps only the phases the bands are stamping
// (star_phase_set.h) and its bands are drawn in one piece, each band's effects image as large as
// the band in the host's sample size. A deeper image's stars are larger too (a lower presence
// threshold keeps fainter entries: 2.3 times the entries at 16 bits, 3.5 in float), so a budget
// of 8-bit bytes would turn every float star long and draw half-image float effects images.
constexpr uint64_t kStarPhaseBytesPerSquaredDiagonal = 2;

void MarkNeverBuilt(EffectRenderer* renderer) {
  std::memset(&renderer->builtWith, kNeverBuiltByte, sizeof renderer->builtWith);
  renderer->builtImage = kNoImageFacts;
}

// The colour of a star entry beyond the rainbow table (context: the star's parameters).
FractionColor FarRainbowColor(uint32_t distanceIndex, const void* context) {
  const auto* p = static_cast<const EffectShapeParameters*>(context);
  return RainbowColor(distanceIndex, p->image.diagonal, p->snapshot.parameters.RainbowIntensity,
                      p->snapshot.parameters.RainbowFrequency, p->image.grayHost);
}

StampColours StarColours(const EffectRenderer& star) {
  StampColours colours;
  const std::vector<FractionColor>& rainbow = star.distances.rainbow;
  colours.far = &FarRainbowColor;
  colours.context = &star.parameters;
  colours.index = star.distances.rainbowIndex.data();
  colours.palette = star.distances.rainbowPalette.data();
  colours.tableSize = static_cast<uint32_t>(star.distances.rainbowIndex.size());
  bool uniform = true;
  for (const FractionColor& c : rainbow) uniform = uniform && c == rainbow.front();
  // Entries lie where the fall-off tables reach, which the rainbow table covers.
  colours.uniform = uniform && !rainbow.empty();
  if (colours.uniform) colours.single = rainbow.front();
  return colours;
}

void Attach(EffectRenderer* renderer, ShapeBuilder builder) {
  renderer->phases.Release();
  renderer->profile = SoftFlareProfile{};
  ReleaseEffectShape(&renderer->shape);
  renderer->shape.shapeType = SHAPE_IMAGE;
  renderer->shape.builder = builder;
  renderer->shape.parameters = &renderer->parameters;
  renderer->shape.builtParameters = &renderer->builtWith;
  renderer->parameters = EffectShapeParameters{};
  renderer->distances = SpikeDistanceTables{};
  MarkNeverBuilt(renderer);
}

void Bind(EffectRenderer* renderer, ShapeBuilder builder, const ParameterSetBuffer& snapshot,
          const RenderImageFacts& image) {
  if (renderer->shape.builder == nullptr) Attach(renderer, builder);
  if (SameEffectFields(renderer->builtWith, snapshot) && renderer->builtImage == image) return;
  for (SubShape& subShape : renderer->shape.subShapes) EmptySubShape(&subShape);
  renderer->parameters.snapshot = snapshot;
  renderer->parameters.image = image;
  renderer->parameters.distances = nullptr;
  if (builder == &BuildStarSubShape) {
    renderer->distances = BuildSpikeDistanceTables(
        MakeStarSettings(snapshot, image.diagonal, image.presenceThreshold, image.grayHost));
    renderer->parameters.distances = &renderer->distances;
    renderer->phases.Reset(&renderer->shape, StarColours(*renderer),
                           kStarPhaseBytesPerSquaredDiagonal * std::max(image.sampleBytes, 1u) *
                               uint64_t{image.diagonal} * image.diagonal);
  } else {
    renderer->profile = MakeSoftFlareProfile(snapshot.parameters.Length, image);
  }
  renderer->builtWith = snapshot;
  renderer->builtImage = image;
}

}  // namespace

RenderImageFacts CurrentRenderImageFacts(const AnalysisRunState& analysis) {
  const RunState& run = *analysis.run;
  return {run.imageDiagonal.load(), analysis.presenceThreshold.load(),
          IsHostGrayMode(run.inputImage.mode),
          static_cast<uint32_t>(std::max<int64_t>(run.inputImage.bytesPerSample, 1))};
}

void InitializeEffectRenderers(EffectRenderers& renderers, void* previewFirst,
                               void* previewSecond) {
  BuildRendererTables();
  std::lock_guard lock(renderers.section);
  renderers.arguments = {previewFirst, previewSecond};
  Attach(&renderers.star, &BuildStarSubShape);
  Attach(&renderers.softFlare, &BuildSoftFlareSubShape);
}

void ReleaseEffectRenderers(EffectRenderers& renderers) {
  std::lock_guard lock(renderers.section);
  for (EffectRenderer* renderer : {&renderers.star, &renderers.softFlare}) {
    renderer->phases.Release();
    renderer->profile = SoftFlareProfile{};
    ReleaseEffectShape(&renderer->shape);
    MarkNeverBuilt(renderer);
    renderer->parameters.distances = nullptr;
    renderer->distances = SpikeDistanceTables{};
  }
}

EffectRendererArguments GetEffectRendererArguments(EffectRenderers& renderers) {
  std::lock_guard lock(renderers.section);
  return renderers.arguments;
}

void BindEffectRenderers(EffectRenderers& renderers, const ParameterSetBuffer& snapshot,
                         const RenderImageFacts& image) {
  std::lock_guard lock(renderers.section);
  Bind(&renderers.star, &BuildStarSubShape, snapshot, image);
  Bind(&renderers.softFlare, &BuildSoftFlareSubShape, snapshot, image);
}

EffectShape* StarShape(EffectRenderers& renderers) {
  return &renderers.star.shape;
}
EffectShape* SoftFlareShape(EffectRenderers& renderers) {
  return &renderers.softFlare.shape;
}
StarPhaseSet* StarPhases(EffectRenderers& renderers) {
  return &renderers.star.phases;
}
const SoftFlareProfile* SoftFlareRadialProfile(EffectRenderers& renderers) {
  return &renderers.softFlare.profile;
}

// The run pipeline's steps for the renderers.
void SetUpDirectRenderTables(EffectRenderers& renderers) {
  InitializeEffectRenderers(renderers, nullptr, nullptr);
}
void ReleaseEffectTables(EffectRenderers& renderers) {
  ReleaseEffectRenderers(renderers);
}

}  // namespace lumeray
