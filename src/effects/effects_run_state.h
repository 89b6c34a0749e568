// The effects layer's part of one run (run/run_state.h holds the lower layers' part): the two
// effect renderers, the band profiles (the working profile the bands are drawn in and the
// conversion of a finished band to the host's profile), and where the preview task's callback
// finds the parameters, the view state, the dialog and the splash painter.
//
// Owned by the run (the host's FilterRun), which hands each member to the code that uses it.
//
// Threading contract, per member:
//   renderers            through effect_renderers.h only: its section guards the binding,
//                        initialisation and release run while no render draws.
//   bandWorkingProfile,  set on the UI thread before a render starts; handed to the band
//   bandToHostProfile    workers in the pass's sources (effects_pass.h).
//   previewTaskSources   set on the UI thread before the preview task starts; read by the
//                        preview task's thread while it runs.
//   shapeBuilding        the lock the band workers build the renderers' sub-shapes under while
//                        they stamp them (shape_operations.h); any thread of the run.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "analysis/effect_shape.h"
#include "effects/band_render.h"
#include "effects/effect_renderers.h"
#include "effects/effect_shape_parameters.h"
#include "effects/parameter_set_buffer.h"
#include "effects/preview_task_callback.h"
#include "effects/soft_flare_profile.h"
#include "effects/spike_distance_tables.h"
#include "effects/star_phase_set.h"

namespace lumeray {

// Image facts no image has: the renderers were never bound to one.
inline constexpr RenderImageFacts kNoImageFacts{0xFFFFFFFFu, 0xFFFFFFFFu, false};

struct EffectRenderer {
  EffectShape shape;
  EffectShapeParameters parameters{};
  SpikeDistanceTables distances;  // the star's, made when it is bound
  ParameterSetBuffer builtWith{};
  RenderImageFacts builtImage = kNoImageFacts;
  StarPhaseSet phases;       // the star's, for the final render
  SoftFlareProfile profile;  // the soft flare's
};

struct EffectRenderers {
  std::mutex section;  // EffectRenderersSection
  EffectRenderer star;
  EffectRenderer softFlare;
  EffectRendererArguments arguments{nullptr, nullptr};
};

struct EffectsRunState {
  EffectRenderers renderers;
  std::atomic<ProfileHandle> bandWorkingProfile{nullptr};
  std::atomic<BandColorConversion> bandToHostProfile{nullptr};
  PreviewTaskSources previewTaskSources;
  platform::CriticalSection shapeBuilding;
};

}  // namespace lumeray
