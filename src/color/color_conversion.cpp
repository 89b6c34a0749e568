#include "color/color_conversion.h"

#include <lcms2.h>

#include <algorithm>
#include <bit>

#include "color/color_reports.h"
#include "color/profile_gamma.h"
#include "color/transform_cache.h"
#include "image/gamma_tables.h"
#include "image/image_create.h"
#include "image/image_modes.h"

namespace lumeray {
namespace {

constexpr int kColorSamples = 3;
constexpr int kSingleColorShift = 16;  // the 16-bit value in the upper half of a u32 sample

// A float pixel whose colour samples are all +0.0 (an undrawn pixel of an effects image, most
// of one) and what the transform makes of it, which every such pixel gets without the transform
// (Little CMS evaluates float pixels one by one, each on its own, through its curves' powers).
struct FloatBlack {
  explicit FloatBlack(cmsHTRANSFORM transform) {
    cmsDoTransform(transform, converted, converted, 1);
    ClearNegativeColorSamples(converted, 1);
  }
  static bool Is(const float* pixel) {
    return (std::bit_cast<uint32_t>(pixel[0]) | std::bit_cast<uint32_t>(pixel[1]) |
            std::bit_cast<uint32_t>(pixel[2])) == 0;
  }
  float converted[kSamplesPerPixel] = {};
};

// Converts one row of float pixels in place, black pixels from `black`, runs of others through
// the transform; no colour sample ends negative.
void ConvertFloatRow(cmsHTRANSFORM transform, const FloatBlack& black, float* row, int64_t width) {
  int64_t x = 0;
  while (x < width) {
    float* pixel = row + x * kSamplesPerPixel;
    if (FloatBlack::Is(pixel)) {
      std::copy_n(black.converted, kColorSamples, pixel);
      ++x;
      continue;
    }
    int64_t end = x + 1;
    while (end < width && !FloatBlack::Is(row + end * kSamplesPerPixel)) ++end;
    cmsDoTransform(transform, pixel, pixel, static_cast<cmsUInt32Number>(end - x));
    ClearNegativeColorSamples(pixel, end - x);
    x = end;
  }
}

}  // namespace

bool ConvertColorOf(ImageRecord* image, ProfileHandle destination) {
  const uint32_t format = GetImageColorTransform(image);
  const ColorTransform transform = GetColorTransform(image->profile, format, destination, format);
  if (!transform) {
    ReportColorConversionFailure(__LINE__, "ConvertColorOf() - Could not get color transform.");
    return false;
  }

  if (ImageHoldsPixels(*image)) {
    const int64_t rowBytes = image->dataWidth * kSamplesPerPixel * image->bytesPerSample;
    auto* row = static_cast<uint8_t*>(image->pixels.data);
    if (image->glPixelType == kGlFloat) {
      const FloatBlack black(transform.get());
      for (int64_t y = 0; y < image->dataHeight; ++y, row += rowBytes) {
        ConvertFloatRow(transform.get(), black, reinterpret_cast<float*>(row), image->dataWidth);
      }
    } else {
      for (int64_t y = 0; y < image->dataHeight; ++y, row += rowBytes) {
        cmsDoTransform(transform.get(), row, row, static_cast<cmsUInt32Number>(image->dataWidth));
      }
    }
  }
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
