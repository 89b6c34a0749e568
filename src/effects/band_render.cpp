#include "effects/band_render.h"

#include <algorithm>
#include <atomic>

#include "effects/blend.h"
#include "effects/effect_renderers.h"
#include "effects/effect_shape_parameters.h"
#include "host/filter_interface.h"
#include "host/host_globals.h"
#include "host/input_image.h"
#include "host/pipeline_steps.h"
#include "image/image_create.h"

namespace lumeray {
namespace {

std::atomic<ProfileHandle> gBandWorkingProfile{nullptr};
std::atomic<BandColorConversion> gBandToHostProfile{nullptr};

ImageRect Intersection(const ImageRect& a, const ImageRect& b) {
  return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
          std::min(a.bottom, b.bottom)};
}

bool IsEmpty(const ImageRect& r) {
  return r.left >= r.right || r.top >= r.bottom;
}

}  // namespace

void SetBandColorManagement(ProfileHandle workingProfile, BandColorConversion toHostProfile) {
  gBandWorkingProfile = workingProfile;
  gBandToHostProfile = toHostProfile;
}

ProfileHandle BandWorkingProfile() {
  return gBandWorkingProfile;
}

bool ConvertBandToHostProfile(ImageRecord* band) {
  const BandColorConversion convert = gBandToHostProfile;
  return convert == nullptr || convert(band);
}

void CompositeEffectsBand(const ImageRecord& effects, const ImageRect& band, bool effectsOnly,
                          ImageRecord* output) {
  const ImageRect area = Intersection(Intersection(band, output->dataRect), effects.dataRect);
  if (IsEmpty(area)) return;
  const BlendRoutine blend = effectsOnly ? &BlendEffectsOnly : &BlendScreen;
  for (int32_t y = area.top; y < area.bottom; ++y) {
    for (int32_t x = area.left; x < area.right; ++x) {
      WorkingPixel effect;
      effects.fetch(&effects, &effect, x, y);
      if (!effectsOnly && effect.red == 0 && effect.green == 0 && effect.blue == 0) continue;
      WorkingPixel pixel;
      output->fetch(output, &pixel, x, y);
      blend(&pixel, effect);
      output->store(output, &pixel, x, y);
    }
  }
}

bool RenderEffectsBand(const ImageRect& band, const ParameterSetBuffer& snapshot,
                       const EffectsPassSources& sources, ImageRecord* output) {
  if (RunResult() != 0) return true;
  if (IsEmpty(band)) {
    const uint64_t units = EffectsPassProgressUnits(snapshot, sources.table->count);
    if (units == 0 || sources.advance(static_cast<uint32_t>(units))) return true;
    SetRunResult(kUserCanceledErr);
    return false;
  }

  ImageRecord effects;
  int code = 0;
  bool rendered = CreateImage(&effects, band, band, output->mode, BandWorkingProfile(),
                              /*withMask=*/false, /*edgeSafe=*/true, &code) &&
                  code == 0;
  if (rendered) rendered = RunEffectsPass(&effects, band, snapshot, sources);
  if (rendered) {
    ConvertBandToHostProfile(&effects);  // a failed conversion is reported by the converter
    CompositeEffectsBand(effects, band, snapshot.EffectsOnly != 0, output);
  }
  ReleaseImage(&effects);
  return rendered;
}

bool RenderBandPixels(const PixelRect& band, const ParameterSetBuffer& snapshot) {
  BindEffectRenderers(snapshot, CurrentRenderImageFacts());
  return RenderEffectsBand({band.left, band.top, band.right, band.bottom}, snapshot,
                           RunEffectsPassSources(), &InputImage());
}

}  // namespace lumeray
