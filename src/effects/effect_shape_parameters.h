// What the star and soft flare builders read from an effect shape's parameters: the render's
// ParameterSetBuffer followed by the facts of the image the stars are drawn for and, for the
// star, the distance tables made for exactly these (without them each build makes its own). The
// snapshot comes first, so the parameters can be compared with the shape's last-built block
// (which has the ParameterSetBuffer layout) as the preview does.
//
// Threading contract: plain data; a shape's parameters do not change while it can be built or
// drawn (see effect_renderers.h).
#pragma once

#include <cstdint>

#include "effects/parameter_set_buffer.h"

namespace lumeray {

struct RenderImageFacts {
  uint32_t diagonal;           // D: trunc(sqrt(width^2 + height^2) + 1) of the source, pixels
  uint32_t presenceThreshold;  // contributions below it are not kept
  bool grayHost;               // the host image is greyscale (modes 1, 10, 17)
  uint32_t sampleBytes = 1;    // bytes per sample of the host image (1, 2, 4 for float)
  friend bool operator==(const RenderImageFacts&, const RenderImageFacts&) = default;
};

struct SpikeDistanceTables;

struct EffectShapeParameters {
  ParameterSetBuffer snapshot;
  RenderImageFacts image;
  const SpikeDistanceTables* distances;  // optional
};

// The facts of the run's InputImage (`analysis.run`): its diagonal, the run's presence threshold
// (`analysis`), its mode and its sample size.
struct AnalysisRunState;
RenderImageFacts CurrentRenderImageFacts(const AnalysisRunState& analysis);

}  // namespace lumeray
