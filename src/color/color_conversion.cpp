#include "color/color_conversion.h"

#include <lcms2.h>

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
    const bool floatSamples = image->glPixelType == kGlFloat;
    auto* row = static_cast<uint8_t*>(image->pixels.data);
    for (int64_t y = 0; y < image->dataHeight; ++y, row += rowBytes) {
      cmsDoTransform(transform.get(), row, row, static_cast<cmsUInt32Number>(image->dataWidth));
      if (floatSamples) ClearNegativeColorSamples(reinterpret_cast<float*>(row), image->dataWidth);
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
