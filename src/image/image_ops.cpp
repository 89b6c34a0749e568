#include "image/image_ops.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#include "diagnostics/message_report.h"
#include "image/gamma_tables.h"
#include "image/image_create.h"
#include "image/pixel_tables.h"

namespace lumeray {
namespace {

// An 8-bit sample indexes the 16-bit-indexed encode table at v * 256.
constexpr int kEightBitToIndexShift = 8;
constexpr int kColorSamples = 3;

int64_t HeldPixelCount(const ImageRecord& image) {
  return ImageHoldsPixels(image) ? image.dataWidth * image.dataHeight : 0;
}

void LinearizeSamples8(const ImageRecord& image, const GammaTableSet& encoding) {
  std::array<uint8_t, kEightBitEntries> linear;
  for (int v = 0; v < kEightBitEntries; ++v) {
    linear[v] = encoding.encode8[v << kEightBitToIndexShift];
  }
  auto* samples = static_cast<uint8_t*>(image.pixels.data);
  const int64_t count = HeldPixelCount(image);
  for (int64_t i = 0; i < count; ++i, samples += kSamplesPerPixel) {
    for (int c = 0; c < kColorSamples; ++c) samples[c] = linear[samples[c]];
  }
}

void LinearizeSamples16(const ImageRecord& image, const GammaTableSet& encoding) {
  auto* samples = static_cast<uint16_t*>(image.pixels.data);
  const int64_t count = HeldPixelCount(image);
  for (int64_t i = 0; i < count; ++i, samples += kSamplesPerPixel) {
    for (int c = 0; c < kColorSamples; ++c) samples[c] = encoding.encode16[samples[c]];
  }
}

}  // namespace

void FillImage(ImageRecord* image, const WorkingPixel& pixel, const ImageRect& rect) {
  // Stores leave kLeaveUnchanged samples alone, so no position needs to be fetched first (a
  // fetch and store of an untouched sample could round it).
  const int32_t left = std::max(rect.left, image->dataRect.left);
  const int32_t right = std::min(rect.right, image->dataRect.right);
  const int32_t top = std::max(rect.top, image->dataRect.top);
  const int32_t bottom = std::min(rect.bottom, image->dataRect.bottom);
  if (left >= right || top >= bottom) return;
  const StorePixelProc store = image->store;
  const bool everyField = pixel.red != kLeaveUnchanged && pixel.green != kLeaveUnchanged &&
                          pixel.blue != kLeaveUnchanged && pixel.alpha != kLeaveUnchanged &&
                          pixel.mask != kLeaveUnchanged;
  if (!everyField || !ImageHoldsPixels(*image)) {
    for (int32_t y = top; y < bottom; ++y) {
      for (int32_t x = left; x < right; ++x) store(image, &pixel, x, y);
    }
    return;
  }
  // A pixel that sets every sample is encoded once; its bytes (and mask byte) are copied.
  store(image, &pixel, left, top);
  const auto pixelBytes = static_cast<size_t>(kSamplesPerPixel * image->bytesPerSample);
  const auto width = static_cast<size_t>(right - left);
  auto* pixels = static_cast<uint8_t*>(image->pixels.data);
  auto* mask = static_cast<uint8_t*>(image->mask.data);
  const int64_t first = PixelIndex(*image, left, top);
  uint8_t* firstRow = pixels + first * static_cast<int64_t>(pixelBytes);
  for (size_t x = 1; x < width; ++x) std::memcpy(firstRow + x * pixelBytes, firstRow, pixelBytes);
  for (int32_t y = top; y < bottom; ++y) {
    const int64_t row = PixelIndex(*image, left, y);
    if (y != top) {
      std::memcpy(pixels + row * static_cast<int64_t>(pixelBytes), firstRow, width * pixelBytes);
    }
    if (mask != nullptr) std::memset(mask + row, mask[first], width);
  }
}

bool LinearizeImage(ImageRecord* image) {
  const GammaTableSet encoding = GetGammaTables(kLinearizingGamma);
  bool converted = false;
  switch (image->glPixelType) {
    case kGlUnsignedByte:
      if (encoding) LinearizeSamples8(*image, encoding);
      converted = static_cast<bool>(encoding);
      break;
    case kGlUnsignedShort:
      if (encoding) LinearizeSamples16(*image, encoding);
      converted = static_cast<bool>(encoding);
      break;
    default: {
      MessageReport report(__LINE__, kMessageDebug);
      report.Report(kIconError, kTitleDebugUnexpectedError,
                    "Pixel type 0x%X is not recognized in function LinearizeImage.",
                    image->glPixelType);
      break;
    }
  }
  image->gamma = 1.0;
  const GammaTableSet linear = GetGammaTables(1.0);
  if (linear) image->gammaTables = linear;
  return converted && static_cast<bool>(linear);
}

}  // namespace lumeray
