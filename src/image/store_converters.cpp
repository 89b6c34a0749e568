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

struct StoreConverterEntry {
  int32_t mode;
  bool bgraLayout;  // distinguishes the two entries of mode 3
  StorePixelProc fast;
  StorePixelProc edgeSafe;
};

template <class Codec, class Layout>
constexpr StoreConverterEntry Entry(int32_t mode, bool bgraLayout) {
  return {mode, bgraLayout, &StoreConverted<Codec, Layout, false>,
          &StoreConverted<Codec, Layout, true>};
}

constexpr StoreConverterEntry kStoreConverters[] = {
    Entry<Codec8, GrayLayout>(kImageModeGray8, false),
    Entry<Codec8, BgraLayout>(kImageModeRgb8, true),
    Entry<Codec8, RgbaLayout>(kImageModeRgb8, false),
    Entry<Codec16, GrayLayout>(kImageModeGray16, false),
    Entry<Codec16, RgbaLayout>(kImageModeRgb16, false),
    Entry<CodecFloat, RgbaLayout>(kImageModeRgbFloat, false),
    Entry<CodecFloat, GrayLayout>(kImageModeGrayFloat, false),
    Entry<CodecWorking, RgbaLayout>(kImageModeWorkingRgb, false),
};

}  // namespace

void StoreNoPixel(const ImageRecord*, const WorkingPixel*, int32_t, int32_t) {}

StorePixelProc ChooseStoreConverter(int32_t mode, bool edgeSafe, bool bgraLayout) {
  for (const StoreConverterEntry& entry : kStoreConverters) {
    if (entry.mode != mode) continue;
    if (mode == kImageModeRgb8 && entry.bgraLayout != bgraLayout) continue;
    return edgeSafe ? entry.edgeSafe : entry.fast;
  }
  MessageReport report(__LINE__, kMessageDebug);
  if (IsUnimplementedHostMode(mode)) {
    report.Report(kIconError, kTitleDebugUnexpectedError, "InputImage mode not yet implemented.");
  } else {
    report.Report(kIconError, kTitleDebugUnexpectedError, "Unrecognized image mode.");
  }
  return &StoreUnimplementedMode;
}

}  // namespace lumeray
