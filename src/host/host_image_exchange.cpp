#include "host/host_image_exchange.h"

#include <lcms2.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <type_traits>
#include <vector>

#include "analysis/worker_threads.h"

#include "color/color_management.h"
#include "diagnostics/message_report.h"
#include "host/host_globals.h"
#include "host/pipeline_steps.h"
#include "host/progress.h"
#include "image/image_create.h"
#include "image/image_modes.h"
#include "image/image_ops.h"
#include "parallel/row_blocks.h"
#include "run/input_image.h"

namespace lumeray {
namespace {

constexpr int32_t kUnitRate = 0x00010000;  // 1.0 in 16.16 fixed point
constexpr int16_t kPaddingValue = 255;
constexpr int kAlphaChannel = 3;

ImageRect FilterRectangle(const FilterRecord& record) {
  if (Using32BitCoordinates()) {
    const VRect& r = record.bigDocumentData->filterRect32;
    return {r.left, r.top, r.right, r.bottom};
  }
  const PIRect16& r = record.filterRect;
  return {r.left, r.top, r.right, r.bottom};
}

// The request rectangles: the 32-bit ones of bigDocumentData when the module uses them (which
// implies the host offers that record), else the record's own 16-bit ones.
enum class Request { kInput, kOutput, kMask };

void SetRequest(FilterRecord& record, Request request, const ImageRect& r) {
  if (Using32BitCoordinates()) {
    BigDocumentStruct& big = *record.bigDocumentData;
    VRect& rect32 = request == Request::kInput    ? big.inRect32
                    : request == Request::kOutput ? big.outRect32
                                                  : big.maskRect32;
    rect32 = VRect{r.top, r.left, r.bottom, r.right};
    return;
  }
  PIRect16& rect16 = request == Request::kInput    ? record.inRect
                     : request == Request::kOutput ? record.outRect
                                                   : record.maskRect;
  rect16 = PIRect16{static_cast<int16_t>(r.top), static_cast<int16_t>(r.left),
                    static_cast<int16_t>(r.bottom), static_cast<int16_t>(r.right)};
}

void SetInRect(FilterRecord& record, const ImageRect& r) {
  SetRequest(record, Request::kInput, r);
}
void SetOutRect(FilterRecord& record, const ImageRect& r) {
  SetRequest(record, Request::kOutput, r);
}
void SetMaskRect(FilterRecord& record, const ImageRect& r) {
  SetRequest(record, Request::kMask, r);
}

int ColorPlanes(const FilterRecord& record) {
  if (record.inLayerPlanes != 0) return record.inLayerPlanes;
  return IsHostGrayMode(record.imageMode) ? 1 : 3;
}

// The sample of `channel` within a pixel: BGRA images mirror the colour channels.
int SampleOfChannel(const ImageRecord& image, int channel) {
  if (image.glPixelFormat == kGlBgra && channel < kAlphaChannel) return 2 - channel;
  return channel;
}

void ShowUserError(uint32_t line, const char* text) {
  MessageReport report(line, kMessageUser);
  report.Report(kIconError, kTitleErrorExiting, "%s", text);
}

bool HostProfileIsGray() {
  ProfileHandle profile = HostProfile();
  return profile == nullptr ||
         cmsGetColorSpace(static_cast<cmsHPROFILE>(profile)) == cmsSigGrayData;
}

// Shows the write-back's progress and asks the host whether to stop.
void ShowWriteBackProgress() {
  const ProgressState state = GetProgressState();
  if (!PollHostProgress(OnUiThread(), static_cast<int32_t>(state.stepsDone),
                        static_cast<int32_t>(state.displayTotal))) {
    SetRunResult(kUserCanceledErr);
  }
}

}  // namespace

// (min(v, 32768) × 65535) >> 15: 32768 itself gives 65535, so the clamp is the only branch.
uint16_t HostSampleToWorking16(uint16_t v) {
  const uint32_t clamped = std::min<uint32_t>(v, kHostSixteenBitMaximum);
  return static_cast<uint16_t>((clamped * 65535u) >> 15);
}

// round(s × 32768 / 65535), the inverse of the read for every host value 0..32768. s / 2 is
// whole or a half and the extra s / 131070 lies in (0, 1/2] for s > 0, reaching 1/2 only at the
// odd 65535: odd values round up, even ones down, which is (s + 1) / 2.
uint16_t Working16ToHostSample(uint16_t s) {
  return static_cast<uint16_t>((uint32_t{s} + 1) >> 1);
}

namespace {

// The row loops of the plane copies: one per sample kind and direction, the sample's place in
// the pixel a constant and the two rows unaliased, so that each loop vectorizes. Host rows may
// be unaligned: their samples are moved with memcpy.
// Whole pixels as words: byte stores four apart vectorize poorly.
template <int kSample>
void PlaneRowIntoPixels8(uint8_t* __restrict pixels, const uint8_t* __restrict row, int64_t width) {
  constexpr int kShift = 8 * (std::endian::native == std::endian::little ? kSample : 3 - kSample);
  constexpr uint32_t kKeep = ~(uint32_t{0xFF} << kShift);
  for (int64_t x = 0; x < width; ++x) {
    uint32_t pixel;
    std::memcpy(&pixel, pixels + x * kSamplesPerPixel, sizeof pixel);
    pixel = (pixel & kKeep) | (uint32_t{row[x]} << kShift);
    std::memcpy(pixels + x * kSamplesPerPixel, &pixel, sizeof pixel);
  }
}

// Host samples of type Sample, converted, into their place in each pixel.
template <int kSample, typename Sample, typename Convert>
void PlaneRowIntoPixels(Sample* __restrict pixels, const uint8_t* __restrict row, int64_t width,
                        const Convert& convert) {
  for (int64_t x = 0; x < width; ++x) {
    Sample value;
    std::memcpy(&value, row + sizeof value * x, sizeof value);
    pixels[x * kSamplesPerPixel + kSample] = convert(value);
  }
}

template <int kSample>
void PlaneRowIntoPixels16(uint16_t* pixels, const uint8_t* row, int64_t width) {
  PlaneRowIntoPixels<kSample>(pixels, row, width,
                              [](uint16_t value) { return HostSampleToWorking16(value); });
}

// A negative colour sample becomes 0 (NaN stays as it is); alpha is copied as it is.
template <int kSample>
void PlaneRowIntoPixelsFloat(float* pixels, const uint8_t* row, int64_t width) {
  PlaneRowIntoPixels<kSample>(pixels, row, width, [](float value) {
    return kSample == kAlphaSample || !(value < 0.0f) ? value : 0.0f;
  });
}

template <int kSample>
void PixelsIntoPlaneRow8(uint8_t* __restrict row, const uint8_t* __restrict pixels, int64_t width) {
  for (int64_t x = 0; x < width; ++x) row[x] = pixels[x * kSamplesPerPixel + kSample];
}

template <int kSample>
void PixelsIntoPlaneRow16(uint8_t* __restrict row, const uint16_t* __restrict pixels,
                          int64_t width) {
  for (int64_t x = 0; x < width; ++x) {
    const uint16_t v = Working16ToHostSample(pixels[x * kSamplesPerPixel + kSample]);
    std::memcpy(row + 2 * x, &v, sizeof v);
  }
}

// The row holds the host's own samples: one the read made 0 (a negative) and the render left
// at 0 is written back as the host had it, bit for bit.
template <int kSample>
void PixelsIntoPlaneRowFloat(uint8_t* __restrict row, const float* __restrict pixels,
                             int64_t width) {
  for (int64_t x = 0; x < width; ++x) {
    const float value = pixels[x * kSamplesPerPixel + kSample];
    float host;
    std::memcpy(&host, row + 4 * x, sizeof host);
    const float out = value == 0.0f && host < 0.0f ? host : value;
    std::memcpy(row + 4 * x, &out, sizeof out);
  }
}

// body(std::integral_constant<int, sample>) for a sample place 0..3.
template <typename Body>
void WithSamplePlace(int sample, const Body& body) {
  switch (sample) {
    case 0:
      body(std::integral_constant<int, 0>{});
      break;
    case 1:
      body(std::integral_constant<int, 1>{});
      break;
    case 2:
      body(std::integral_constant<int, 2>{});
      break;
    default:
      body(std::integral_constant<int, 3>{});
      break;
  }
}

}  // namespace

void CopyPlaneIntoImage(ImageRecord* image, const void* plane, int channel, const ImageRect& rect,
                        int32_t rowBytes, int bytesPerSample) {
  const ImageRect& d = image->dataRect;
  const int32_t left = std::max(rect.left, d.left), right = std::min(rect.right, d.right);
  const int32_t top = std::max(rect.top, d.top), bottom = std::min(rect.bottom, d.bottom);
  if (left >= right || top >= bottom) return;
  if (bytesPerSample != 1 && bytesPerSample != 2 && bytesPerSample != 4) return;
  const int64_t width = right - left;
  WithSamplePlace(SampleOfChannel(*image, channel), [&](auto place) {
    constexpr int kSample = decltype(place)::value;
    ForRowBlocks(top, bottom, width, WorkerThreadCount(), [&](int32_t first, int32_t end) {
      for (int32_t y = first; y < end; ++y) {
        const auto* row = static_cast<const uint8_t*>(plane) +
                          static_cast<int64_t>(y - rect.top) * rowBytes +
                          static_cast<int64_t>(left - rect.left) * bytesPerSample;
        if (bytesPerSample == 1) {
          PlaneRowIntoPixels8<kSample>(PixelSamples<uint8_t>(*image, left, y), row, width);
        } else if (bytesPerSample == 2) {
          PlaneRowIntoPixels16<kSample>(PixelSamples<uint16_t>(*image, left, y), row, width);
        } else {
          PlaneRowIntoPixelsFloat<kSample>(PixelSamples<float>(*image, left, y), row, width);
        }
      }
    });
  });
}

void CopyImageIntoPlane(const ImageRecord& image, void* plane, int channel, const ImageRect& rect,
                        int32_t rowBytes, int bytesPerSample) {
  const ImageRect& d = image.dataRect;
  const int32_t left = std::max(rect.left, d.left), right = std::min(rect.right, d.right);
  const int32_t top = std::max(rect.top, d.top), bottom = std::min(rect.bottom, d.bottom);
  if (left >= right || top >= bottom) return;
  if (bytesPerSample != 1 && bytesPerSample != 2 && bytesPerSample != 4) return;
  const int64_t width = right - left;
  WithSamplePlace(SampleOfChannel(image, channel), [&](auto place) {
    constexpr int kSample = decltype(place)::value;
    ForRowBlocks(top, bottom, width, WorkerThreadCount(), [&](int32_t first, int32_t end) {
      for (int32_t y = first; y < end; ++y) {
        auto* row = static_cast<uint8_t*>(plane) + static_cast<int64_t>(y - rect.top) * rowBytes +
                    static_cast<int64_t>(left - rect.left) * bytesPerSample;
        if (bytesPerSample == 1) {
          PixelsIntoPlaneRow8<kSample>(row, PixelSamples<uint8_t>(image, left, y), width);
        } else if (bytesPerSample == 2) {
          PixelsIntoPlaneRow16<kSample>(row, PixelSamples<uint16_t>(image, left, y), width);
        } else {
          PixelsIntoPlaneRowFloat<kSample>(row, PixelSamples<float>(image, left, y), width);
        }
      }
    });
  });
}

bool ReadHostImage() {
  FilterRecord* record = Host().filterRecord;
  if (record == nullptr) return false;
  const int16_t mode = record->imageMode;
  const int colorPlanes = ColorPlanes(*record);
  const int planesRead = colorPlanes + (record->inTransparencyMask != 0 ? 1 : 0);

  switch (mode) {
    case kModeGrayScale:
    case kModeGray16:
    case kModeGray32:
      if (!HostProfileIsGray()) {
        MessageReport report(__LINE__, kMessageUser);
        report.Report(kIconWarning, "Warning:  Operating On a Grayscale Channel",
                      "You appear to be running the plug-in on a single channel or mask from a "
                      "color image.");
      }
      break;
    case kModeRGB:
    case kModeRGB48:
    case kModeRGB96:
      break;
    default: {
      MessageReport report(__LINE__, kMessageDebug);
      report.Report(kIconError, kTitleDebugUnexpectedError,
                    "Error:  Unexpected image mode %d in ReadHostImage().", mode);
      SetRunResult(kParamErr);
      return false;
    }
  }

  int32_t tileWidth = record->inTileWidth, tileHeight = record->inTileHeight;
  if (tileWidth <= 0 || tileHeight <= 0) tileWidth = tileHeight = kDefaultReadTileSize;

  const ImageRect filter = FilterRectangle(*record);
  ImageRecord& image = InputImage();
  int createResult = 0;
  if (!CreateImage(&image, filter, filter, mode, HostProfile(), record->haveMask != 0,
                   /*edgeSafe=*/false, &createResult)) {
    if (createResult != 0) SetRunResult(static_cast<int16_t>(createResult));
    return false;
  }
  const bool empty = filter.right <= filter.left || filter.bottom <= filter.top;
  if (!empty) {
    // In row blocks on worker threads: this is also the first touch of the image's pages.
    ForRowBlocks(filter.top, filter.bottom, int64_t{filter.right} - filter.left,
                 WorkerThreadCount(), [&](int32_t first, int32_t end) {
                   FillImage(&image, {0, 0, 0, kFullCoverage, kFullCoverage},
                             {filter.left, first, filter.right, end});
                 });
  }

  const double w = static_cast<double>(filter.right) - filter.left;
  const double h = static_cast<double>(filter.bottom) - filter.top;
  SetImageDiagonal(static_cast<uint32_t>(std::sqrt(w * w + h * h) + 1.0));
  record->inputRate = kUnitRate;
  record->maskRate = kUnitRate;
  record->inputPadding = kPaddingValue;
  record->maskPadding = kPaddingValue;

  const int bytes = static_cast<int>(image.bytesPerSample);
  const bool masked = record->haveMask != 0;
  for (int32_t top = filter.top; top < filter.bottom && RunResult() == 0; top += tileHeight) {
    for (int32_t left = filter.left; left < filter.right; left += tileWidth) {
      const ImageRect tile{left, top, std::min(left + tileWidth, filter.right),
                           std::min(top + tileHeight, filter.bottom)};
      SetOutRect(*record, {});
      SetInRect(*record, tile);
      for (int p = 0; p < planesRead; ++p) {
        record->inLoPlane = record->inHiPlane = static_cast<int16_t>(p);
        SetMaskRect(*record, p == 0 && masked ? tile : ImageRect{});
        const OSErr error = record->advanceState();
        if (error != kNoErr) {
          SetRunResult(error);
          ShowUserError(__LINE__, "Could not read input image.");
          return false;
        }
        const int channel = p < colorPlanes ? p : kAlphaChannel;
        CopyPlaneIntoImage(&image, record->inData, channel, tile, record->inRowBytes, bytes);
        if (p == 0 && colorPlanes == 1) {
          CopyPlaneIntoImage(&image, record->inData, 1, tile, record->inRowBytes, bytes);
          CopyPlaneIntoImage(&image, record->inData, 2, tile, record->inRowBytes, bytes);
        }
        if (p == 0 && masked && record->maskData != nullptr && ImageHasMask(image)) {
          for (int32_t y = tile.top; y < tile.bottom; ++y) {
            const auto* row = static_cast<const uint8_t*>(record->maskData) +
                              static_cast<int64_t>(y - tile.top) * record->maskRowBytes;
            auto* out = static_cast<uint8_t*>(image.mask.data) + PixelIndex(image, tile.left, y);
            std::memcpy(out, row, static_cast<size_t>(tile.right - tile.left));
          }
        }
      }
    }
  }
  return RunResult() == 0;
}

void WriteResultsToHost() {
  FilterRecord* record = Host().filterRecord;
  if (record == nullptr) return;
  const ImageRecord& image = InputImage();
  const int outputPlanes = IsHostGrayMode(record->imageMode) ? 1 : 3;
  const int bytes = static_cast<int>(image.bytesPerSample);
  SetInRect(*record, {});
  SetMaskRect(*record, {});
  const ImageRect& b = image.bounds;
  for (int32_t top = b.top; top < b.bottom && RunResult() == 0; top += kWriteBackTileSize) {
    for (int32_t left = b.left; left < b.right && RunResult() == 0; left += kWriteBackTileSize) {
      const ImageRect tile{left, top, std::min(left + kWriteBackTileSize, b.right),
                           std::min(top + kWriteBackTileSize, b.bottom)};
      SetOutRect(*record, tile);
      for (int p = 0; p < outputPlanes; ++p) {
        record->outLoPlane = record->outHiPlane = static_cast<int16_t>(p);
        const OSErr error = record->advanceState();
        if (error != kNoErr) {
          SetRunResult(error);
          if (error != kUserCanceledErr) {
            ShowUserError(__LINE__, "Could not write results back to editor.");
          }
          break;
        }
        CopyImageIntoPlane(image, record->outData, p, tile, record->outRowBytes, bytes);
      }
      if (RunResult() == 0) ShowWriteBackProgress();
    }
  }
}

void EndHostImageExchange() {
  FilterRecord* record = Host().filterRecord;
  if (record != nullptr && RunResult() == 0) {
    SetInRect(*record, {});
    SetOutRect(*record, {});
    SetMaskRect(*record, {});
    if (record->advanceState != nullptr) {
      const OSErr error = record->advanceState();
      if (error != kNoErr) SetRunResult(error);
    }
  }
  ReleaseImage(&InputImage());
  SetImageDiagonal(0);
}

}  // namespace lumeray
