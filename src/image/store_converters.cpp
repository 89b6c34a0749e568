#include "diagnostics/message_report.h"
#include "image/image_modes.h"
#include "image/pixel_converters.h"
#include "image/sample_codecs.h"

namespace lumeray {
namespace {

using namespace sample_codecs;

// An edge-safe store outside the data writes nothing.
template <class Codec, class Layout, bool kEdgeSafe>
void StoreConverted(const ImageRecord* image, const WorkingPixel* pixel, int32_t x, int32_t y) {
  if constexpr (kEdgeSafe) {
    if (!InsideData(*image, x, y)) return;
  }
  const int64_t index = PixelIndex(*image, x, y);
  auto* samples =
      static_cast<typename Codec::Sample*>(image->pixels.data) + index * kSamplesPerPixel;
  const Codec codec(*image);
  Layout::Store(codec, *pixel, samples);
  if (pixel->alpha != kLeaveUnchanged) samples[kAlphaSample] = codec.EncodeAlpha(pixel->alpha);
  StoreMask(*image, index, pixel->mask);
}

void StoreUnimplementedMode(const ImageRecord*, const WorkingPixel*, int32_t, int32_t) {
  MessageReport report(__LINE__, kMessageDebug);
  report.Report(kIconError, kTitleDebugUnexpectedError, "OutputImage mode not implemented.");
}

// The two routines of a converter kind, for the shared table (sample_codecs.h).
template <class Codec, class Layout>
struct StoreProcs {
  static constexpr StorePixelProc kFast = &StoreConverted<Codec, Layout, false>;
  static constexpr StorePixelProc kEdgeSafe = &StoreConverted<Codec, Layout, true>;
};

constexpr auto kStoreConverters = ConverterTable<StorePixelProc, StoreProcs>();

// A run of pixels inside the data: what StoreConverted does for each.
using StoreRowProc = void (*)(const ImageRecord& image, const WorkingPixel* pixels, int32_t x,
                              int32_t y, int32_t count);

template <class Codec, class Layout>
void StoreRowConverted(const ImageRecord& image, const WorkingPixel* pixels, int32_t x, int32_t y,
                       int32_t count) {
  const int64_t index = PixelIndex(image, x, y);
  auto* samples =
      static_cast<typename Codec::Sample*>(image.pixels.data) + index * kSamplesPerPixel;
  const Codec codec(image);
  for (int32_t i = 0; i < count; ++i, samples += kSamplesPerPixel) {
    const WorkingPixel& pixel = pixels[i];
    Layout::Store(codec, pixel, samples);
    if (pixel.alpha != kLeaveUnchanged) samples[kAlphaSample] = codec.EncodeAlpha(pixel.alpha);
    StoreMask(image, index + i, pixel.mask);
  }
}

template <class Codec, class Layout>
struct StoreRowProcs {
  static constexpr StoreRowProc kFast = &StoreRowConverted<Codec, Layout>;
  static constexpr StoreRowProc kEdgeSafe = kFast;
};

constexpr auto kStoreRowConverters = ConverterTable<StoreRowProc, StoreRowProcs>();

}  // namespace

void StoreNoPixel(const ImageRecord*, const WorkingPixel*, int32_t, int32_t) {}

void StorePixelRow(const ImageRecord& image, const WorkingPixel* pixels, int32_t x, int32_t y,
                   int32_t count) {
  if (RunInsideData(image, x, y, count)) {
    if (const StoreRowProc row =
            RowConverterBeside(kStoreConverters, kStoreRowConverters, image.store)) {
      row(image, pixels, x, y, count);
      return;
    }
  }
  for (int32_t i = 0; i < count; ++i) image.store(&image, &pixels[i], x + i, y);
}

StorePixelProc ChooseStoreConverter(int32_t mode, bool edgeSafe, bool bgraLayout) {
  if (const StorePixelProc converter = FindConverter(kStoreConverters, mode, edgeSafe, bgraLayout))
    return converter;
  MessageReport report(__LINE__, kMessageDebug);
  if (IsUnimplementedHostMode(mode)) {
    report.Report(kIconError, kTitleDebugUnexpectedError, "InputImage mode not yet implemented.");
  } else {
    report.Report(kIconError, kTitleDebugUnexpectedError, "Unrecognized image mode.");
  }
  return &StoreUnimplementedMode;
}

}  // namespace lumeray
