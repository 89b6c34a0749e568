// Conversions between colour profiles: whole images in place, and single effect colours for
// the preview.
//
// ConvertColorOf converts every pixel of an image's data rectangle from the image's profile to
// `destination`, row by row in place, through the transform cache (the image's own pixel
// format on both sides, grey formats adapted to colour profiles and back). Float images then
// have no negative colour samples (alpha keeps its value). Pixels whose three colour samples are
// all 0 (+0.0 for floats; most of an effects image) all get the converted black pixel's colour,
// without the transform, which is what it makes of each of them. 8-bit and 16-bit colour pixels
// between colour profiles reach the transform without their alpha (three-sample formats, which
// Little CMS converts faster, to the same results). Float rows of a transform that
// FloatCurveTransform can evaluate go through it, with the same results. The image ends in the
// destination profile with the gamma tables of the profile's estimated gamma, to the nearest 0.05,
// and its fetch and store chosen again. Without a transform ("ConvertColorOf() - Could not get
// color transform.") the image is left as it was and the result is false.
//
// ImageConversionTransform and ConvertColorRows are ConvertColorOf in pieces, so that row bands
// of one image can be converted on several threads at once: the transform (reported as above
// when there is none), the conversion of the data rows [top, bottom) with it (the image keeps
// its profile), and then SetImageColorProfile with the destination.
//
// SetImageColorProfile gives an image a profile without converting its pixels: the profile,
// the edge-safe flag, the gamma tables of the profile's gamma and the converters.
//
// ConvertColorToDisplay converts one colour, three u32 samples with a 16-bit value in their
// upper halves, from `source` to `destination` (16-bit RGB transform, no grey adaptation), then
// raises each result to the power 2.2 through the encode table of the gamma 1/2.2 set: the
// colour ends in linear light of the destination's primaries, again in the upper halves.
//
// Threading contract: any thread; an image must not be used by others while it is converted,
// except that threads may convert disjoint row bands of it at once (ConvertColorRows).
#pragma once

#include <cstdint>

#include "color/transform_cache.h"
#include "image/image_record.h"

namespace lumeray {

bool ConvertColorOf(ImageRecord* image, ProfileHandle destination);

ColorTransform ImageConversionTransform(const ImageRecord& image, ProfileHandle destination);
void ConvertColorRows(const ColorTransform& transform, ImageRecord* image, int32_t top,
                      int32_t bottom);

bool SetImageColorProfile(ImageRecord* image, ProfileHandle profile, bool edgeSafe);

bool ConvertColorToDisplay(uint32_t color[3], ProfileHandle source, ProfileHandle destination);

// Sets the negative values among the first three samples of `pixelCount` float pixels to 0.
void ClearNegativeColorSamples(float* pixels, int64_t pixelCount);

}  // namespace lumeray
