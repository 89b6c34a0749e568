// The float images' side of drawing effects: encoding a strip drawn on working samples into its
// float samples, and screening a float effects image onto a float image.
//
// Both give exactly what the images' own fetch and store routines give, pixel by pixel (the same
// codec, sample_codecs.h), but run over rows with the codec inline instead of calling a routine
// per pixel, take a row's table powers in one batch (float_power.h) and read each pixel once.
//
// Conventions: "float images" are of mode 16 (RGB) or 17 (grey) with 4-byte samples; rectangles
// are half-open and must lie inside the images' data.
//
// Threading contract: the functions touch only the pixels of the rectangle they are given; two
// threads may work on one image over rectangles that do not overlap.
#pragma once

#include "image/image_record.h"

namespace lumeray {

// Whether `image` holds float samples these functions take.
bool IsFloatImage(const ImageRecord& image);

// Rewrites each pixel of the float image `image`, whose samples hold working values (four
// 32-bit WorkingPixel fields per pixel, the mask field aside), as the float samples its store
// routine writes for them. Every colour and alpha sample is written.
void EncodeWorkingAsFloat(const ImageRecord& image);

// Screens (CompositeScreen) each pixel of `effects` whose colour is not black onto the pixel at
// the same place in `output`, over `area`; only the colour samples the screen changed are
// written. Both images are float images of the same mode.
void ScreenFloatImage(const ImageRecord& effects, const ImageRect& area, const ImageRecord& output);

}  // namespace lumeray
