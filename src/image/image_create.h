// Making, re-profiling and releasing image records (image_record.h).
//
// CreateImage fills a record for a bounds rectangle, a data rectangle and a mode, attaches the
// profile with the gamma tables of the profile's gamma (to the nearest 0.05), chooses fetch and
// store and sizes the pixel buffer (and the mask buffer, if asked) through ReallocateBuffer.
// Buffers the record already holds are reused when large enough: a record may be created again
// and again (band images) without heap traffic. Without a mask any mask buffer is released.
//
// Result codes: CreateImage hands back in `*resultCode` 0, or the code the caller passes on as
// the run result: -50 when the mode does not resolve to 1, 2 or 4 bytes per sample (reported;
// the image is still made, with converters that read zeros and write nothing), or the
// allocator's -108 (reported to the user; CreateImage then returns false). After a failure the
// record's converters read zeros and write nothing.
//
// The profile's gamma comes from the ProfileGammaEstimator installed by colour management
// (SetProfileGammaEstimator); until one is installed every profile counts as gamma 2.2.
//
// Threading contract: CreateImage, SetImageProfile and ReleaseImage may run on any thread,
// several at once on different records (the gamma table cache is shared safely); a record must
// not be used while one of them works on it. SetProfileGammaEstimator is called once during
// module set-up, before images are made.
#pragma once

#include <cstdint>

#include "image/image_record.h"

namespace lumeray {

bool CreateImage(ImageRecord* image, const ImageRect& bounds, const ImageRect& dataRect,
                 int32_t mode, ProfileHandle profile, bool withMask, bool edgeSafe,
                 int* resultCode);

// Makes `profile` the image's colour space: the gamma becomes `gamma` to the nearest 0.05, the
// gamma tables those of that gamma, and fetch and store are chosen again. False (nothing
// changed but the profile and gamma) when no gamma tables can be had.
bool SetImageProfile(ImageRecord* image, ProfileHandle profile, double gamma);

// Chooses the image's fetch and store for its mode, layout and edge-safe flag; an image that
// holds no pixels gets FetchNoPixel and StoreNoPixel.
void SelectImageConverters(ImageRecord* image);

// Whether the pixel buffer holds the whole data rectangle (which is not empty).
bool ImageHoldsPixels(const ImageRecord& image);

// Releases the pixel and mask buffers and clears the record.
void ReleaseImage(ImageRecord* image);

// The colour engine's gamma estimate of a profile.
using ProfileGammaEstimator = double (*)(ProfileHandle profile);
// Installs the estimator CreateImage asks; null restores the default (2.2 for every profile).
void SetProfileGammaEstimator(ProfileGammaEstimator estimator);
// The installed estimator's answer for `profile`.
double EstimateImageProfileGamma(ProfileHandle profile);

}  // namespace lumeray
