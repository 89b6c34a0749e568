#include "color/color_conversion.h"

#include <lcms2.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <type_traits>

#include "color/color_reports.h"
#include "color/float_curve_transform.h"
#include "color/profile_gamma.h"
#include "color/transform_cache.h"
#include "image/gamma_tables.h"
#include "image/image_create.h"
#include "image/image_modes.h"

namespace lumeray {
namespace {

constexpr int kColorSamples = 3;
constexpr int kSingleColorShift = 16;  // the 16-bit value in the upper half of a u32 sample

// A pixel whose colour samples are all 0 (+0.0 for floats: an undrawn pixel of an effects image,
// most of one) and what the transform makes of it, which every such pixel gets without the
// transform (Little CMS evaluates every pixel on its own: the transforms have no cache, and float
// pixels go through their curves' powers).
template <typename Sample>
struct BlackPixel {
  explicit BlackPixel(cmsHTRANSFORM transform) {
    cmsDoTransform(transform, converted, converted, 1);
    if constexpr (std::is_same_v<Sample, float>) ClearNegativeColorSamples(converted, 1);
  }
  static bool Is(const Sample* pixel) {
    if constexpr (std::is_same_v<Sample, float>) {
      return (std::bit_cast<uint32_t>(pixel[0]) | std::bit_cast<uint32_t>(pixel[1]) |
              std::bit_cast<uint32_t>(pixel[2])) == 0;
    } else {
      return (pixel[0] | pixel[1] | pixel[2]) == 0;
    }
  }
  Sample converted[kSamplesPerPixel] = {};
};

// Whether two pixels hold the same colour samples, bit for bit.
template <typename Sample>
bool SameColour(const Sample* a, const Sample* b) {
  return std::memcmp(a, b, kColorSamples * sizeof(Sample)) == 0;
}

// Converts one row of pixels in place, black pixels from `black`, runs of others with
// `convertRun` (pixels, count). A pixel whose colour repeats the one before it takes that
// pixel's result (a transform gives one colour one result): flat areas, which make up most of
// many photos, are converted once per stretch. Repeats are found before their model is
// converted in place.
template <typename Sample, typename ConvertRun>
void ConvertRow(const BlackPixel<Sample>& black, Sample* row, int64_t width,
                const ConvertRun& convertRun) {
  const Sample blackColour[kColorSamples] = {black.converted[0], black.converted[1],
                                             black.converted[2]};
  const auto at = [row](int64_t x) { return row + x * kSamplesPerPixel; };
  int64_t x = 0;
  while (x < width) {
    Sample* pixel = at(x);
    if (BlackPixel<Sample>::Is(pixel)) {
      for (int c = 0; c < kColorSamples; ++c) pixel[c] = blackColour[c];
      ++x;
      continue;
    }
    int64_t end = x + 1;
    while (end < width && !BlackPixel<Sample>::Is(at(end)) && !SameColour(at(end), at(end - 1))) {
      ++end;
    }
    int64_t repeatsEnd = end;
    while (repeatsEnd < width && SameColour(at(repeatsEnd), at(end - 1))) ++repeatsEnd;
    convertRun(pixel, end - x);
    for (int64_t r = end; r < repeatsEnd; ++r) std::memcpy(at(r), at(end - 1), sizeof blackColour);
    x = repeatsEnd;
  }
}

// Converts `count` pixels through a transform of three-sample pixels: their colour samples are
// packed into a buffer a stretch at a time and written back; alpha is left as it is.
template <typename Sample>
void ConvertPacked(cmsHTRANSFORM transform, Sample* pixels, int64_t count) {
  constexpr int64_t kStretch = 256;
  Sample packed[kStretch * kColorSamples];
  for (int64_t done = 0; done < count; done += kStretch) {
    const int64_t n = std::min(kStretch, count - done);
    Sample* from = pixels + done * kSamplesPerPixel;
    for (int64_t i = 0; i < n; ++i) {
      for (int c = 0; c < kColorSamples; ++c) {
        packed[i * kColorSamples + c] = from[i * kSamplesPerPixel + c];
      }
    }
    cmsDoTransform(transform, packed, packed, static_cast<cmsUInt32Number>(n));
    for (int64_t i = 0; i < n; ++i) {
      for (int c = 0; c < kColorSamples; ++c) {
        from[i * kSamplesPerPixel + c] = packed[i * kColorSamples + c];
      }
    }
  }
}

// Float runs go through the transform's FloatCurveTransform when it has one (the same results);
// no float colour sample ends negative.
template <typename Sample>
void ConvertRowsOf(const ColorTransform& colorTransform, ImageRecord* image, int32_t top,
                   int32_t bottom) {
  cmsHTRANSFORM transform = colorTransform.get();
  const BlackPixel<Sample> black(transform);
  const auto rows = [&](const auto& convertRun) {
    for (int32_t y = top; y < bottom; ++y) {
      ConvertRow(black, PixelSamples<Sample>(*image, image->dataRect.left, y), image->dataWidth,
                 convertRun);
    }
  };
  const auto throughLittleCms = [transform](Sample* pixels, int64_t count) {
    cmsDoTransform(transform, pixels, pixels, static_cast<cmsUInt32Number>(count));
    if constexpr (std::is_same_v<Sample, float>) ClearNegativeColorSamples(pixels, count);
  };
  if constexpr (!std::is_same_v<Sample, float>) {
    if (T_EXTRA(cmsGetTransformInputFormat(transform)) == 0) {
      return rows(
          [transform](Sample* pixels, int64_t count) { ConvertPacked(transform, pixels, count); });
    }
  }
  if constexpr (std::is_same_v<Sample, float>) {
    if (const auto curves = CachedFloatCurves(colorTransform)) {
      return rows([&curves](float* pixels, int64_t count) {
        curves->Convert(pixels, count);
        ClearNegativeColorSamples(pixels, count);
      });
    }
  }
  rows(throughLittleCms);
}

// The three-sample format of the same pixels without their alpha; 0 for formats without one.
uint32_t PackedFormat(uint32_t format) {
  switch (format) {
    case TYPE_RGBA_8:
      return TYPE_RGB_8;
    case TYPE_BGRA_8:  // B, G, R, A in memory
      return TYPE_BGR_8;
    case TYPE_RGBA_16:
      return TYPE_RGB_16;
    default:
      return 0;
  }
}

}  // namespace

ColorTransform ImageConversionTransform(const ImageRecord& image, ProfileHandle destination) {
  uint32_t format = GetImageColorTransform(&image);
  // Integer colour pixels between colour profiles go through Little CMS without their alpha:
  // its routines for three samples convert them a third faster than the same pixels with an
  // extra channel, to the same results. (A missing source profile stands for sRGB.)
  const uint32_t packed = PackedFormat(format);
  const bool colourProfiles =
      (image.profile == nullptr || cmsGetColorSpace(image.profile) == cmsSigRgbData) &&
      destination != nullptr && cmsGetColorSpace(destination) == cmsSigRgbData;
  if (packed != 0 && colourProfiles) format = packed;
  ColorTransform transform = GetColorTransform(image.profile, format, destination, format);
  if (!transform) {
    ReportColorConversionFailure(__LINE__, "ConvertColorOf() - Could not get color transform.");
  }
  return transform;
}

void ConvertColorRows(const ColorTransform& transform, ImageRecord* image, int32_t top,
                      int32_t bottom) {
  top = std::max(top, image->dataRect.top);
  bottom = std::min(bottom, image->dataRect.bottom);
  if (!transform || !ImageHoldsPixels(*image) || top >= bottom) return;
  switch (image->glPixelType) {
    case kGlFloat:
      ConvertRowsOf<float>(transform, image, top, bottom);
      break;
    case kGlUnsignedShort:
      ConvertRowsOf<uint16_t>(transform, image, top, bottom);
      break;
    case kGlUnsignedByte:
      ConvertRowsOf<uint8_t>(transform, image, top, bottom);
      break;
    default:  // no other mode has a transform
      break;
  }
}

bool ConvertColorOf(ImageRecord* image, ProfileHandle destination) {
  const ColorTransform transform = ImageConversionTransform(*image, destination);
  if (!transform) return false;
  ConvertColorRows(transform, image, image->dataRect.top, image->dataRect.bottom);
  return SetImageColorProfile(image, destination, image->edgeSafe != 0);
}

bool SetImageColorProfile(ImageRecord* image, ProfileHandle profile, bool edgeSafe) {
  image->edgeSafe = edgeSafe ? 1 : 0;
  return SetImageProfile(image, profile, EstimateProfileGamma(profile));
}

bool ConvertColorToDisplay(uint32_t color[3], ProfileHandle source, ProfileHandle destination) {
  const ColorTransform transform = GetSingleColorTransform(source, destination);
  if (!transform) return false;
  const GammaTableSet tables = GetGammaTables(kLinearizingGamma);
  if (!tables) return false;

  uint16_t samples[kColorSamples];
  for (int i = 0; i < kColorSamples; ++i) {
    samples[i] = static_cast<uint16_t>(color[i] >> kSingleColorShift);
  }
  cmsDoTransform(transform.get(), samples, samples, 1);
  for (int i = 0; i < kColorSamples; ++i) {
    color[i] = uint32_t{tables.encode16[samples[i]]} << kSingleColorShift;
  }
  return true;
}

void ClearNegativeColorSamples(float* pixels, int64_t pixelCount) {
  for (int64_t i = 0; i < pixelCount; ++i, pixels += kSamplesPerPixel) {
    for (int sample = 0; sample < kColorSamples; ++sample) {
      if (pixels[sample] < 0.0f) pixels[sample] = 0.0f;
    }
  }
}

}  // namespace lumeray
