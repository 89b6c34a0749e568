// The two effect renderers of the module: the star shape (primary and secondary spikes) and the
// soft flare shape, each with the parameters its builder reads (a copy of the render's
// ParameterSetBuffer and the image facts) and the block of the parameters its sub-shapes were
// last built with (ParameterSetBuffer layout, 0xFF bytes until the first binding; the preview
// compares against it).
//
// Lifecycle: InitializeEffectRenderers (the renderer initialisation: at the start of a render
// without the dialog, and when the preview's proxy layer is set up) binds the builders, marks
// the built-with blocks empty and builds the renderer tables. BindEffectRenderers gives both
// shapes the parameters of a render (binding the builders first if no initialisation did);
// when the effect fields of the snapshot or the image facts differ from those the sub-shapes
// were built with, every sub-shape is emptied so that it is built again on its next use, and
// the star's distance tables (spike_distance_tables.h) are made for the new parameters.
// Binding also resets the star's phase set (star_phase_set.h) and makes the soft flare's radial
// profile (soft_flare_profile.h), which the final render stamps from instead of the shapes'
// sub-shapes. ReleaseEffectRenderers frees the sub-shapes, phases and profile at the end of a
// run.
//
// The renderers are the run's (effects_run_state.h); every function takes them explicitly.
//
// Threading contract: initialisation and release run on one thread while no render draws.
// BindEffectRenderers may be called by every band worker of a render at once: the
// EffectRenderersSection guards the binding (of the other locks only the buffer accounting's,
// which never waits for another, is taken while it is held). The first call with new
// parameters rebinds; later calls with the same effect fields change nothing, so no shape is
// emptied while the render draws from it. Shapes are built under the shape-building lock and
// drawn without a lock (effect_shape.h).
#pragma once

#include "analysis/effect_shape.h"
#include "effects/effect_shape_parameters.h"
#include "effects/parameter_set_buffer.h"

namespace lumeray {

struct EffectRenderers;

void InitializeEffectRenderers(EffectRenderers& renderers, void* previewFirst, void* previewSecond);
void ReleaseEffectRenderers(EffectRenderers& renderers);
// The run's steps: the renderers of a run without the dialog, and their release at its end.
void SetUpDirectRenderTables(EffectRenderers& renderers);
void ReleaseEffectTables(EffectRenderers& renderers);

// The two pointers given to the last initialisation, kept for the preview (both null for a
// render without the dialog).
struct EffectRendererArguments {
  void* first;
  void* second;
};
EffectRendererArguments GetEffectRendererArguments(EffectRenderers& renderers);

void BindEffectRenderers(EffectRenderers& renderers, const ParameterSetBuffer& snapshot,
                         const RenderImageFacts& image);

EffectShape* StarShape(EffectRenderers& renderers);
EffectShape* SoftFlareShape(EffectRenderers& renderers);
class StarPhaseSet;
struct SoftFlareProfile;
StarPhaseSet* StarPhases(EffectRenderers& renderers);
const SoftFlareProfile* SoftFlareRadialProfile(EffectRenderers& renderers);

}  // namespace lumeray
