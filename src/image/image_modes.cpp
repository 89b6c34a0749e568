#include "image/image_modes.h"

#include <lcms2.h>

#include "diagnostics/message_report.h"

namespace lumeray {
namespace {

// Grey formats: the grey value in the first sample, the other three carried as extra channels.
constexpr uint32_t kGrayExtraChannels = 3;
constexpr uint32_t kFormatGray8 =
    COLORSPACE_SH(PT_GRAY) | EXTRA_SH(kGrayExtraChannels) | CHANNELS_SH(1) | BYTES_SH(1);
constexpr uint32_t kFormatGray16 =
    COLORSPACE_SH(PT_GRAY) | EXTRA_SH(kGrayExtraChannels) | CHANNELS_SH(1) | BYTES_SH(2);
constexpr uint32_t kFormatGrayFloat = FLOAT_SH(1) | COLORSPACE_SH(PT_GRAY) |
                                      EXTRA_SH(kGrayExtraChannels) | CHANNELS_SH(1) | BYTES_SH(4);
static_assert(kFormatGray8 == 197001 && kFormatGray16 == 197002 && kFormatGrayFloat == 4391308);

// Host mode ranges by sample size.
constexpr int32_t kLastOneByteMode = 9;
constexpr int32_t kLastTwoByteMode = 15;

}  // namespace

int64_t LookUpBytesPerSample(int32_t mode) {
  if (mode >= 0 && mode <= kLastOneByteMode) return 1;
  if (mode > kLastOneByteMode && mode <= kLastTwoByteMode) return 2;
  if (mode == kImageModeRgbFloat || mode == kImageModeGrayFloat || mode == kImageModeWorkingRgb) {
    return 4;
  }
  return 0;
}

int64_t BytesPerSampleOfMode(int32_t mode) {
  const int64_t bytes = LookUpBytesPerSample(mode);
  if (bytes != 0) return bytes;
  MessageReport report(__LINE__, kMessageDebug);
  report.Report(kIconError, kTitleDebugUnexpectedError, "Error:  Unrecognized image mode.");
  return 1;
}

bool IsHostGrayMode(int32_t mode) {
  return mode == kImageModeGray8 || mode == kImageModeGray16 || mode == kImageModeGrayFloat;
}

bool IsUnimplementedHostMode(int32_t mode) {
  constexpr int32_t kUnimplementedModes[] = {0, 2, 4, 5, 6, 7, 8, 9, 12, 13, 14, 15};
  for (int32_t unimplemented : kUnimplementedModes) {
    if (mode == unimplemented) return true;
  }
  return false;
}

uint32_t GlPixelTypeOfMode(int32_t mode) {
  if (mode == kImageModeWorkingRgb) return kGlUnsignedInt;
  switch (LookUpBytesPerSample(mode)) {
    case 1:
      return kGlUnsignedByte;
    case 2:
      return kGlUnsignedShort;
    case 4:
      return kGlFloat;
    default:
      return 0;
  }
}

uint32_t GlPixelFormatOfMode(int32_t mode) {
  return LookUpBytesPerSample(mode) == 1 ? kGlBgra : kGlRgba;
}

uint32_t GetImageColorTransform(const ImageRecord* image) {
  switch (image->mode) {
    case kImageModeGray8:
      return kFormatGray8;
    case kImageModeRgb8:
      return HasBgraLayout(*image) ? TYPE_BGRA_8 : TYPE_RGBA_8;
    case kImageModeGray16:
      return kFormatGray16;
    case kImageModeRgb16:
      return TYPE_RGBA_16;
    case kImageModeRgbFloat:
      return TYPE_RGBA_FLT;
    case kImageModeGrayFloat:
      return kFormatGrayFloat;
    default: {
      MessageReport report(__LINE__, kMessageDebug);
      report.Report(kIconError, kTitleDebugUnexpectedError,
                    "Error:  Unrecognized image mode %d in GetImageColorTransform().", image->mode);
      return 0;
    }
  }
}

}  // namespace lumeray
