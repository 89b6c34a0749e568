// The TransformCache: the colour transforms of a run, made once for each key (source profile,
// source pixel format, destination profile, destination pixel format) and kept until
// ReleaseColorManagement.
//
// Every transform is made with relative colorimetric intent and the flags black point
// compensation, high-resolution precalculation and no cache (kTransformFlags): a transform
// without Little CMS's one-pixel cache may be used by any number of threads at once.
//
// Pixel formats are Little CMS format words. Grey images keep their grey value in the first of
// four samples and carry the other three as extra channels (kFormatGray8 and its kin). Before a
// transform is made, each side's format is adapted to its profile: an RGB format against a grey
// profile becomes the grey format of the same depth, a grey format against a colour profile
// the RGBA format of the same depth. The cache key keeps the formats as asked. A missing
// source or destination profile makes Little CMS's built-in sRGB (as StandardProfile) the
// source.
//
// The cache has kTransformCacheSize entries, filled from the front and never emptied during a
// run. When it is full, a new transform is still made and handed out uncached ("Transform cache
// table size exceeded."): a ColorTransform deletes an uncached transform when it goes, so the
// caller holds it for as long as it converts.
//
// A cached transform also keeps its FloatCurveTransform, made at the first request.
//
// The cache is module-wide (not part of run/run_state.h); colour management empties it at each
// run's end.
//
// Threading contract: look-up and creation run under the TransformCacheSection, from any
// thread; a cached transform is used outside it. ReleaseTransformCache must not overlap any use
// of a transform it hands out.
#pragma once

#include <lcms2.h>

#include <cstdint>
#include <memory>

#include "image/image_record.h"

namespace lumeray {

constexpr int kTransformCacheSize = 32;

constexpr cmsUInt32Number kTransformIntent = INTENT_RELATIVE_COLORIMETRIC;
constexpr cmsUInt32Number kTransformFlags =
    cmsFLAGS_BLACKPOINTCOMPENSATION | cmsFLAGS_HIGHRESPRECALC | cmsFLAGS_NOCACHE;
static_assert(kTransformFlags == 0x2440);

constexpr cmsUInt32Number kGrayExtraChannels = 3;
constexpr cmsUInt32Number kFormatGray8 =
    COLORSPACE_SH(PT_GRAY) | EXTRA_SH(kGrayExtraChannels) | CHANNELS_SH(1) | BYTES_SH(1);
constexpr cmsUInt32Number kFormatGray16 =
    COLORSPACE_SH(PT_GRAY) | EXTRA_SH(kGrayExtraChannels) | CHANNELS_SH(1) | BYTES_SH(2);
constexpr cmsUInt32Number kFormatGrayFloat = FLOAT_SH(1) | COLORSPACE_SH(PT_GRAY) |
                                             EXTRA_SH(kGrayExtraChannels) | CHANNELS_SH(1) |
                                             BYTES_SH(4);
static_assert(kFormatGray8 == 0x30189 && kFormatGray16 == 0x3018A && kFormatGrayFloat == 0x43018C);
// One colour converted on its own (ConvertColorToDisplay).
constexpr cmsUInt32Number kFormatSingleColor = TYPE_RGB_16;

// A transform handed out by the cache. Move-only; deletes the transform when it goes unless the
// cache keeps it.
class ColorTransform {
 public:
  ColorTransform() = default;
  ColorTransform(cmsHTRANSFORM handle, bool cached) : handle_(handle), cached_(cached) {}
  ColorTransform(ColorTransform&& other) noexcept;
  ColorTransform& operator=(ColorTransform&& other) noexcept;
  ColorTransform(const ColorTransform&) = delete;
  ColorTransform& operator=(const ColorTransform&) = delete;
  ~ColorTransform();

  cmsHTRANSFORM get() const { return handle_; }
  bool cached() const { return cached_; }
  explicit operator bool() const { return handle_ != nullptr; }

 private:
  cmsHTRANSFORM handle_ = nullptr;
  bool cached_ = false;
};

// The transform for the key, found or made (formats adapted to the profiles). Reports "Could
// not compute color transform." and returns an empty ColorTransform when none can be made.
ColorTransform GetColorTransform(ProfileHandle source, uint32_t sourceFormat,
                                 ProfileHandle destination, uint32_t destinationFormat);

// The kFormatSingleColor transform between two profiles, without format adaptation.
ColorTransform GetSingleColorTransform(ProfileHandle source, ProfileHandle destination);

// `format` adapted to `profile`'s colour space (see above); unchanged for other formats and
// for a null profile.
uint32_t AdaptFormatToProfile(uint32_t format, ProfileHandle profile);

class FloatCurveTransform;

// The FloatCurveTransform of a cached transform (float_curve_transform.h), made at the first
// request and kept with it until the cache is emptied; null when the transform has none or is
// not cached.
std::shared_ptr<const FloatCurveTransform> CachedFloatCurves(const ColorTransform& transform);

// Deletes every cached transform and empties the cache.
void ReleaseTransformCache();
int CachedTransformCount();

}  // namespace lumeray
