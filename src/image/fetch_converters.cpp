#include <algorithm>
#include <cstring>
#include <type_traits>

#include "diagnostics/message_report.h"
#include "image/image_modes.h"
#include "image/pixel_converters.h"
#include "image/sample_codecs.h"

namespace lumeray {
namespace {

using namespace sample_codecs;

// Moves (x, y) onto the nearest pixel of the data (which is not empty); true when it had to.
inline bool ClampIntoData(const ImageRecord& image, int32_t* x, int32_t* y) {
  if (InsideData(image, *x, *y)) [[likely]]
    return false;
  *x = std::clamp(*x, image.dataRect.left, image.dataRect.right - 1);
  *y = std::clamp(*y, image.dataRect.top, image.dataRect.bottom - 1);
  return true;
}

// Outside the data an edge-safe fetch gives the nearest edge pixel's colour, fully transparent
// and unselected.
template <class Codec, class Layout, bool kEdgeSafe>
void FetchConverted(const ImageRecord* image, WorkingPixel* pixel, int32_t x, int32_t y) {
  bool outside = false;
  if constexpr (kEdgeSafe) outside = ClampIntoData(*image, &x, &y);
  const int64_t index = PixelIndex(*image, x, y);
  const auto* samples =
      static_cast<const typename Codec::Sample*>(image->pixels.data) + index * kSamplesPerPixel;
  const Codec codec(*image);
  Layout::Fetch(codec, samples, pixel);
  if (kEdgeSafe && outside) {
    pixel->alpha = 0;
    pixel->mask = 0;
    return;
  }
  pixel->alpha = codec.DecodeAlpha(samples[kAlphaSample]);
  pixel->mask = FetchMask(*image, index);
}

// The two routines of a converter kind, for the shared table (sample_codecs.h).
template <class Codec, class Layout>
struct FetchProcs {
  static constexpr FetchPixelProc kFast = &FetchConverted<Codec, Layout, false>;
  static constexpr FetchPixelProc kEdgeSafe = &FetchConverted<Codec, Layout, true>;
};

constexpr auto kFetchConverters = ConverterTable<FetchPixelProc, FetchProcs>();

// A run of pixels inside the data: what FetchConverted gives for each.
using FetchRowProc = void (*)(const ImageRecord& image, int32_t x, int32_t y, int32_t count,
                              WorkingPixel* pixels);

template <class Codec, class Layout>
void FetchRowConverted(const ImageRecord& image, int32_t x, int32_t y, int32_t count,
                       WorkingPixel* pixels) {
  const int64_t index = PixelIndex(image, x, y);
  const auto* samples =
      static_cast<const typename Codec::Sample*>(image.pixels.data) + index * kSamplesPerPixel;
  const Codec codec(image);
  for (int32_t i = 0; i < count; ++i, samples += kSamplesPerPixel) {
    // A float pixel whose colour samples repeat its left neighbour's bit for bit takes the
    // neighbour's colour: decoding a float costs a power, comparing three samples little.
    if (std::is_same_v<Codec, CodecFloat> && i != 0 &&
        std::memcmp(samples, samples - kSamplesPerPixel, 3 * sizeof *samples) == 0) {
      pixels[i].red = pixels[i - 1].red;
      pixels[i].green = pixels[i - 1].green;
      pixels[i].blue = pixels[i - 1].blue;
    } else {
      Layout::Fetch(codec, samples, &pixels[i]);
    }
    pixels[i].alpha = codec.DecodeAlpha(samples[kAlphaSample]);
  }
  if (!ImageHasMask(image)) {
    for (int32_t i = 0; i < count; ++i) pixels[i].mask = kFullCoverage;
    return;
  }
  const uint8_t* mask = static_cast<const uint8_t*>(image.mask.data) + index;
  const uint32_t* alpha8 = GetFixedTables().alpha8To32;
  for (int32_t i = 0; i < count; ++i) pixels[i].mask = alpha8[mask[i]];
}

template <class Codec, class Layout>
struct FetchRowProcs {
  static constexpr FetchRowProc kFast = &FetchRowConverted<Codec, Layout>;
  static constexpr FetchRowProc kEdgeSafe = kFast;
};

constexpr auto kFetchRowConverters = ConverterTable<FetchRowProc, FetchRowProcs>();

}  // namespace

void FetchNoPixel(const ImageRecord*, WorkingPixel* pixel, int32_t, int32_t) {
  *pixel = {};
}

void FetchPixelRow(const ImageRecord& image, int32_t x, int32_t y, int32_t count,
                   WorkingPixel* pixels) {
  if (RunInsideData(image, x, y, count)) {
    if (const FetchRowProc row =
            RowConverterBeside(kFetchConverters, kFetchRowConverters, image.fetch)) {
      row(image, x, y, count, pixels);
      return;
    }
  }
  for (int32_t i = 0; i < count; ++i) image.fetch(&image, &pixels[i], x + i, y);
}

FetchPixelProc ChooseFetchConverter(int32_t mode, bool edgeSafe, bool bgraLayout) {
  if (const FetchPixelProc converter = FindConverter(kFetchConverters, mode, edgeSafe, bgraLayout))
    return converter;
  MessageReport report(__LINE__, kMessageDebug);
  if (IsUnimplementedHostMode(mode)) {
    report.Report(kIconError, kTitleDebugUnexpectedError, "InputImage mode not implemented.");
  } else {
    report.Report(kIconError, kTitleDebugUnexpectedError, "Invalid InputImage mode.");
  }
  return &FetchNoPixel;
}

}  // namespace lumeray
