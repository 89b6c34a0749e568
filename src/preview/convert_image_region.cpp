#include "preview/convert_image_region.h"

#include <lcms2.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>

#include "analysis/worker_threads.h"
#include "color/color_conversion.h"
#include "color/transform_cache.h"
#include "image/image_create.h"
#include "image/image_modes.h"
#include "image/pixel_tables.h"
#include "interface/filter_interface.h"
#include "run/run_status.h"

namespace lumeray {
namespace {

constexpr uint8_t kMaskFullySelected = 255;
constexpr double kAlphaFloatDivisor = 4294967296.0;  // 2^32

// ---- Alpha between sample kinds ------------------------------------------------------------

// Alpha to the 32-bit coverage scale, as fetch reads it.
uint32_t DecodeAlpha(uint8_t alpha) {
  return GetFixedTables().alpha8To32[alpha];
}
uint32_t DecodeAlpha(uint16_t alpha) {
  return GetFixedTables().alpha16To32[alpha];
}
uint32_t DecodeAlpha(uint32_t alpha) {
  return alpha;
}
uint32_t DecodeAlpha(float alpha) {
  const double scaled = double{alpha} * kFullCoverage;
  if (!(scaled > 0.0)) return 0;  // negatives and NaN
  return RoundToNearestEven(std::min(scaled, double{kFullCoverage}));
}

// Coverage to a sample, as store writes it.
template <typename Sample>
Sample EncodeAlpha(uint32_t coverage) {
  if constexpr (std::is_same_v<Sample, uint8_t>) {
    return GetFixedTables().alpha16To8[coverage >> kCoverageToIndexShift];
  } else if constexpr (std::is_same_v<Sample, uint16_t>) {
    return GetFixedTables().alpha16To16[coverage >> kCoverageToIndexShift];
  } else if constexpr (std::is_same_v<Sample, float>) {
    return static_cast<float>(coverage / kAlphaFloatDivisor);
  } else {
    return coverage;
  }
}

using AlphaRowCopier = void (*)(const uint8_t* source, uint8_t* destination, int64_t pixels);

template <typename From, typename To>
void CopyAlphaRow(const uint8_t* source, uint8_t* destination, int64_t pixels) {
  const auto* from = reinterpret_cast<const From*>(source) + kAlphaSample;
  auto* to = reinterpret_cast<To*>(destination) + kAlphaSample;
  for (int64_t i = 0; i < pixels; ++i, from += kSamplesPerPixel, to += kSamplesPerPixel) {
    if constexpr (std::is_same_v<From, To>) {
      *to = *from;
    } else {
      *to = EncodeAlpha<To>(DecodeAlpha(*from));
    }
  }
}

enum SampleKind { kSample8, kSample16, kSampleFloat, kSampleWorking, kSampleKinds };

SampleKind SampleKindOf(const ImageRecord& image) {
  switch (image.bytesPerSample) {
    case 1:
      return kSample8;
    case 2:
      return kSample16;
    default:
      return image.mode == kImageModeWorkingRgb ? kSampleWorking : kSampleFloat;
  }
}

template <typename From>
constexpr std::array<AlphaRowCopier, kSampleKinds> AlphaCopiersFrom() {
  return {&CopyAlphaRow<From, uint8_t>, &CopyAlphaRow<From, uint16_t>, &CopyAlphaRow<From, float>,
          &CopyAlphaRow<From, uint32_t>};
}

constexpr std::array<std::array<AlphaRowCopier, kSampleKinds>, kSampleKinds> kAlphaCopiers = {
    AlphaCopiersFrom<uint8_t>(), AlphaCopiersFrom<uint16_t>(), AlphaCopiersFrom<float>(),
    AlphaCopiersFrom<uint32_t>()};

// ---- Rows ------------------------------------------------------------------------------------

uint8_t* PixelBytes(const ImageRecord& image, int32_t x, int32_t y) {
  return static_cast<uint8_t*>(image.pixels.data) +
         PixelIndex(image, x, y) * kSamplesPerPixel * image.bytesPerSample;
}

uint8_t* MaskBytes(const ImageRecord& image, int32_t x, int32_t y) {
  return static_cast<uint8_t*>(image.mask.data) + PixelIndex(image, x, y);
}

ImageRect Intersect(const ImageRect& a, const ImageRect& b) {
  return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
          std::min(a.bottom, b.bottom)};
}

bool IsEmpty(const ImageRect& rect) {
  return rect.right <= rect.left || rect.bottom <= rect.top;
}

// ---- Bands on worker threads -----------------------------------------------------------------

struct BandArguments {
  const ImageRecord* source;
  ImageRect sourceBand;
  ImageRecord* destination;
  ImageRect destinationBand;
  std::atomic<bool> succeeded;
  RunStatus* status;
};

void Fail(RunStatus* status, int16_t code) {
  if (status != nullptr) status->SetResult(code);
}

uint32_t ConvertBand(void* argument) {
  auto* band = static_cast<BandArguments*>(argument);
  const bool succeeded = ConvertImageRegionSingleThread(
      *band->source, band->sourceBand, band->destination, band->destinationBand, band->status);
  band->succeeded.store(succeeded);
  return succeeded ? 1 : 0;
}

}  // namespace

ConvertRegions ClipConvertRegions(const ImageRecord& source, const ImageRect& sourceRect,
                                  const ImageRecord& destination,
                                  const ImageRect& destinationRect) {
  ImageRect from = Intersect(sourceRect, source.dataRect);
  // The destination moves with the source's clipped corner...
  ImageRect to{destinationRect.left + (from.left - sourceRect.left),
               destinationRect.top + (from.top - sourceRect.top), destinationRect.right,
               destinationRect.bottom};
  const ImageRect moved = to;
  to = Intersect(to, destination.dataRect);
  // ... and the source with what the destination's clip cut off.
  from.left += to.left - moved.left;
  from.top += to.top - moved.top;

  const int32_t width = std::max(0, std::min(from.right - from.left, to.right - to.left));
  const int32_t height = std::max(0, std::min(from.bottom - from.top, to.bottom - to.top));
  from.right = from.left + width;
  from.bottom = from.top + height;
  to.right = to.left + width;
  to.bottom = to.top + height;
  return {from, to};
}

bool ConvertImageRegion(const ImageRecord& source, const ImageRect& sourceRect,
                        ImageRecord* destination, const ImageRect& destinationRect,
                        RunStatus* status) {
  return ConvertImageRegionWithThreads(source, sourceRect, destination, destinationRect,
                                       WorkerThreadCount(), status);
}

bool ConvertImageRegionWithThreads(const ImageRecord& source, const ImageRect& sourceRect,
                                   ImageRecord* destination, const ImageRect& destinationRect,
                                   int threadCount, RunStatus* status) {
  const ConvertRegions regions =
      ClipConvertRegions(source, sourceRect, *destination, destinationRect);
  const int32_t rows = regions.source.bottom - regions.source.top;
  const int threads = std::min(threadCount, kMaximumWorkerThreads);
  if (threads < 2 || rows < kMinimumRowsToSplit) {
    return ConvertImageRegionSingleThread(source, regions.source, destination, regions.destination,
                                          status);
  }

  std::array<ThreadSlot, kMaximumWorkerThreads> slots{};
  const int32_t bandHeight = rows / threads;
  int filled = 0;
  for (int i = 0; i < threads; ++i) {
    void* block = std::malloc(sizeof(BandArguments));
    if (block == nullptr) {
      Fail(status, kMemFullErr);
      break;
    }
    const int32_t top = i * bandHeight;
    const int32_t bottom = i == threads - 1 ? rows : top + bandHeight;
    ImageRect sourceBand = regions.source;
    sourceBand.top = regions.source.top + top;
    sourceBand.bottom = regions.source.top + bottom;
    ImageRect destinationBand = regions.destination;
    destinationBand.top = regions.destination.top + top;
    destinationBand.bottom = regions.destination.top + bottom;
    auto* band =
        new (block) BandArguments{&source, sourceBand, destination, destinationBand, {}, status};
    band->succeeded.store(false);
    slots[static_cast<size_t>(i)].startRoutine = &ConvertBand;
    slots[static_cast<size_t>(i)].argument = band;
    slots[static_cast<size_t>(i)].index = static_cast<uint32_t>(i);
    filled = i + 1;
  }

  bool succeeded = filled == threads;
  if (succeeded) {
    if (!SpawnMultipleThreads(slots.data(), filled)) {
      Fail(status, kErrAEEventFailed);
      WaitForMultipleThreads(slots.data(), filled, /*alertable=*/false);
      succeeded = false;
    } else if (!WaitForMultipleThreads(slots.data(), filled, /*alertable=*/false)) {
      Fail(status, kErrAEEventFailed);
      succeeded = false;
    }
  }
  for (int i = 0; i < filled; ++i) {
    ThreadSlot& slot = slots[static_cast<size_t>(i)];
    if (succeeded) succeeded = static_cast<BandArguments*>(slot.argument)->succeeded.load();
    DestroyThread(&slot);
  }
  return succeeded;
}

bool ConvertImageRegionSingleThread(const ImageRecord& source, const ImageRect& sourceRect,
                                    ImageRecord* destination, const ImageRect& destinationRect,
                                    RunStatus* status) {
  const ConvertRegions regions =
      ClipConvertRegions(source, sourceRect, *destination, destinationRect);
  const ColorTransform transform =
      GetColorTransform(source.profile, GetImageColorTransform(&source), destination->profile,
                        GetImageColorTransform(destination));
  if (!transform) {
    Fail(status, kParamErr);
    return false;
  }
  if (IsEmpty(regions.source) || !ImageHoldsPixels(source) || !ImageHoldsPixels(*destination)) {
    return true;
  }

  const int32_t width = regions.source.right - regions.source.left;
  const bool floatDestination = destination->glPixelType == kGlFloat;
  const AlphaRowCopier copyAlpha = kAlphaCopiers[SampleKindOf(source)][SampleKindOf(*destination)];
  const bool copyMask = ImageHasMask(*destination);
  const bool sourceHasMask = ImageHasMask(source);

  for (int32_t row = 0; row < regions.source.bottom - regions.source.top; ++row) {
    const int32_t sourceY = regions.source.top + row;
    const int32_t destinationY = regions.destination.top + row;
    const uint8_t* from = PixelBytes(source, regions.source.left, sourceY);
    uint8_t* to = PixelBytes(*destination, regions.destination.left, destinationY);
    cmsDoTransform(transform.get(), from, to, static_cast<cmsUInt32Number>(width));
    if (floatDestination) ClearNegativeColorSamples(reinterpret_cast<float*>(to), width);
    copyAlpha(from, to, width);

    if (copyMask) {
      uint8_t* maskTo = MaskBytes(*destination, regions.destination.left, destinationY);
      if (sourceHasMask) {
        std::memcpy(maskTo, MaskBytes(source, regions.source.left, sourceY),
                    static_cast<size_t>(width));
      } else {
        std::memset(maskTo, kMaskFullySelected, static_cast<size_t>(width));
      }
    }
  }
  return true;
}

}  // namespace lumeray
