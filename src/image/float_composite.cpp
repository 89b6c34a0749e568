#include "image/float_composite.h"

#include <cstring>

#include "image/blend.h"
#include "image/sample_codecs.h"

namespace lumeray {
namespace {

using sample_codecs::CodecFloat;

template <class Layout>
void ScreenRows(const ImageRecord& effects, const ImageRect& area, const ImageRecord& output) {
  const CodecFloat from(effects);
  const CodecFloat to(output);
  for (int32_t y = area.top; y < area.bottom; ++y) {
    const float* e = PixelSamples<const float>(effects, area.left, y);
    float* o = PixelSamples<float>(output, area.left, y);
    for (int32_t x = area.left; x < area.right; ++x, e += kSamplesPerPixel, o += kSamplesPerPixel) {
      WorkingPixel effect;
      Layout::Fetch(from, e, &effect);
      if (effect.red == 0 && effect.green == 0 && effect.blue == 0) continue;
      effect.alpha = from.DecodeAlpha(e[kAlphaSample]);
      WorkingPixel pixel;
      Layout::Fetch(to, o, &pixel);
      CompositeScreen(&pixel, effect);
      Layout::Store(to, pixel, o);
    }
  }
}

}  // namespace

bool IsFloatImage(const ImageRecord& image) {
  return (image.mode == kImageModeRgbFloat || image.mode == kImageModeGrayFloat) &&
         image.bytesPerSample == sizeof(float);
}

void EncodeWorkingAsFloat(const ImageRecord& image) {
  const CodecFloat codec(image);
  const bool grey = image.mode == kImageModeGrayFloat;
  auto* samples = static_cast<uint32_t*>(image.pixels.data);
  const int64_t pixels = image.dataWidth * image.dataHeight;
  for (int64_t i = 0; i < pixels; ++i) {
    uint32_t* s = samples + i * kSamplesPerPixel;
    const WorkingPixel pixel{s[0], s[1], s[2], s[kAlphaSample], kLeaveUnchanged};
    float encoded[kSamplesPerPixel];
    std::memcpy(encoded, s, sizeof encoded);
    if (grey) {
      sample_codecs::GrayLayout::Store(codec, pixel, encoded);
    } else {
      sample_codecs::RgbaLayout::Store(codec, pixel, encoded);
    }
    if (pixel.alpha != kLeaveUnchanged) encoded[kAlphaSample] = codec.EncodeAlpha(pixel.alpha);
    std::memcpy(s, encoded, sizeof encoded);
  }
}

void ScreenFloatImage(const ImageRecord& effects, const ImageRect& area,
                      const ImageRecord& output) {
  if (area.left >= area.right || area.top >= area.bottom) return;
  if (output.mode == kImageModeGrayFloat) {
    ScreenRows<sample_codecs::GrayLayout>(effects, area, output);
  } else {
    ScreenRows<sample_codecs::RgbaLayout>(effects, area, output);
  }
}

}  // namespace lumeray
