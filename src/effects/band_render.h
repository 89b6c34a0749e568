// The work of one band of the final render: the band's effects image is created in the host's
// image mode and the working profile, filled by the effects pass, converted to the host's
// profile, and composited onto the output image (the InputImage) row by row from the top, left
// to right. A band may be drawn in strips of rows, each strip going through these steps.
//
// Compositing leaves the host's pixels alone wherever no effect reaches: in 'scrn' mode a pixel
// whose effects pixel has red, green and blue all 0 is neither fetched nor stored, so that the
// round trip through working pixels cannot crush deep shadows, clip values above white or take
// a unit off the image where nothing is drawn. With Effects Only every pixel is written ('VTst':
// the effects replace the image).
//
// Colour management gives the band images' working profile and the conversion to the host's
// profile (ConvertColorOf with HostProfile) in the pass's sources (effects_pass.h); without
// them band images have no profile (gamma 2.2) and stay as they are.
//
// Threading contract: RenderEffectsBand runs on the band workers, each on
// its own band (bands do not overlap, so no two workers store to one output pixel).
#pragma once

#include <vector>

#include "effects/effects_pass.h"
#include "effects/parameter_set_buffer.h"
#include "image/image_record.h"
#include "run/host_record.h"

namespace lumeray {

// How a band is drawn: in `strips` parts of rows one after the other (each with its own effects
// image, so that the effects images of all workers together stay a fraction of the image),
// sharing the shapes with the other bands drawing at once (`sharing`, shape_operations.h).
// `rowStamps`: stamp from the run's phase set and flare profile (effects_pass.h), which every
// band and strip shares, each phase built once; `area` (empty: unknown) holds every band that
// shares them, so that the phases keep only the entries that can show in it.
struct BandPlan {
  uint32_t strips = 1;
  ShapeSharing sharing{};
  bool rowStamps = false;
  ImageRect area{};
};

// The plan of the final render's band `band` of `bands` non-empty bands (the image's split over
// the workers) whose shortest band has `shortestBand` rows and whose largest band has
// `largestBandPixels` pixels: ceil(kEffectsImageShare / bands) strips, so that each worker's
// effects image holds about 1 / kEffectsImageShare of the image (two workers together a third),
// and more when a strip would pass kStripPixels, so that a strip's image does not grow with the
// image; at most one strip per row of the shortest band (every band draws as many strips, in
// step). More bands than kMaxSharingBands keep the shapes built.
inline constexpr uint32_t kEffectsImageShare = 6;
inline constexpr uint64_t kStripPixels = uint64_t{1} << 20;  // 4 MiB of 8-bit effects pixels
BandPlan FinalRenderBandPlan(uint32_t band, uint32_t bands, int32_t shortestBand,
                             uint64_t largestBandPixels = 0);
// The plan of `band`, one of the bands of `split` (SplitIntoBands); an empty band has the
// default plan.
BandPlan FinalRenderBandPlanIn(const PixelRect& band, const std::vector<PixelRect>& split);

// Renders and composites one band onto `output`. A band stamping by rows whose star is too long
// for its phases to be kept (StarPhaseSet::IsLong) is drawn in one piece whatever the plan's
// strips, so that each phase is built once and not again for every strip. False when a band image
// cannot be created or the effects pass fails (a cancel has then set the run result). An empty band
// draws nothing but advances the progress as its passes would (EffectsPassProgressUnits). The
// result does not depend on the plan.
bool RenderEffectsBand(const ImageRect& band, const ParameterSetBuffer& snapshot,
                       const EffectsPassSources& sources, ImageRecord* output,
                       const BandPlan& plan = {});

// Blends the effects image onto the output over the band (cut to both images' data), in 'VTst'
// mode when `effectsOnly`, else in 'scrn' mode skipping pixels without effect.
void CompositeEffectsBand(const ImageRecord& effects, const ImageRect& band, bool effectsOnly,
                          ImageRecord* output);

}  // namespace lumeray
