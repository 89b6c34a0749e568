#include "image/float_composite.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <type_traits>
#include <vector>

#include "image/blend.h"
#include "image/float_power.h"
#include "image/sample_codecs.h"

namespace lumeray {
namespace {

using sample_codecs::CodecFloat;

// A colour decode that remembers its last sample: photos repeat samples along flat stretches
// (a dark background, a clear sky, clipped highlights), where the power need not be taken
// again. It starts from a NaN's bits, whose decode (black) is taken like any other.
class RememberingDecode {
 public:
  explicit RememberingDecode(const CodecFloat& codec)
      : codec_(codec), value_(codec.DecodeColor(std::bit_cast<float>(bits_))) {}
  uint32_t operator()(float sample) {
    const auto bits = std::bit_cast<uint32_t>(sample);
    if (bits != bits_) {
      bits_ = bits;
      value_ = codec_.DecodeColor(sample);
    }
    return value_;
  }

 private:
  const CodecFloat& codec_;
  uint32_t bits_ = 0xFFFFFFFFu;
  uint32_t value_;
};

// CodecFloat's colour decode and encode for a row at a time, with the same results: the table
// powers of a row's samples are taken in one batch (TabledPowers), then each sample is settled
// from its power as the codec settles it. Without a table of the image's power (or at gamma 1,
// which takes no power) the codec itself decodes and encodes.
class RowPowers {
 public:
  explicit RowPowers(const ImageRecord& image)
      : codec_(image),
        gamma_(image.gamma),
        inverseGamma_(1.0 / image.gamma),
        decode_(image.gammaTables.floatDecode),
        encode_(image.gammaTables.floatEncode),
        decodes_(image.gamma != 1.0 && TableHasPower(decode_, gamma_)),
        encodes_(image.gamma != 1.0 && TableHasPower(encode_, inverseGamma_)) {}

  const CodecFloat& codec() const { return codec_; }

  // Takes the decode powers of samples[i * stride + c] for c < colours, i < count.
  void PrepareDecode(const float* samples, int stride, int colours, int64_t count) {
    if (!decodes_) return;
    Reserve(count * colours);
    double* x = x_.data();
    for (int64_t i = 0, k = 0; i < count; ++i) {
      for (int c = 0; c < colours; ++c) x[k++] = samples[i * stride + c];
    }
    TabledPowers(*decode_, x_.data(), powers_.data(), count * colours);
  }
  // The decode of the k-th prepared sample, which is `sample`.
  uint32_t Decode(int64_t k, float sample) const {
    if (!decodes_) return codec_.DecodeColor(sample);
    if (!(sample > 0.0f)) return 0;
    return ScaledFloatOfTabledPower(decode_, powers_[k], sample, gamma_, kFullIntensity,
                                    kFullCoverage);
  }

  // Takes the encode powers of values[k] for k < count (kLeaveUnchanged among them).
  void PrepareEncode(const uint32_t* values, int64_t count) {
    if (!encodes_) return;
    Reserve(count);
    // Values from full intensity up (kLeaveUnchanged among them) take no power: their clamped
    // fractions are not used.
    FractionsOf(values, kFullIntensity, x_.data(), count);
    TabledPowers(*encode_, x_.data(), powers_.data(), count);
  }
  // The encode of the k-th prepared value, which is `value`.
  float Encode(int64_t k, uint32_t value) const {
    if (!encodes_ || value >= kFullIntensity || value == 0) return codec_.EncodeColor(value);
    return FloatOfTabledPower(encode_, powers_[k], x_[k], inverseGamma_);  // x_[k] is the fraction
  }

 private:
  void Reserve(int64_t count) {
    if (static_cast<int64_t>(x_.size()) >= count) return;
    x_.resize(static_cast<size_t>(count));
    powers_.resize(static_cast<size_t>(count));
  }

  CodecFloat codec_;
  double gamma_;
  double inverseGamma_;
  const FloatPowerTable* decode_;
  const FloatPowerTable* encode_;
  bool decodes_;
  bool encodes_;
  std::vector<double> x_;
  std::vector<double> powers_;
};

// A row of the screen: the effect's colour decoded in one batch, each pixel screened (the
// output's colour decoded through RememberingDecode), and the changed samples encoded in one
// batch.
template <class Layout>
void ScreenRows(const ImageRecord& effects, const ImageRect& area, const ImageRecord& output) {
  constexpr bool kGrey = std::is_same_v<Layout, sample_codecs::GrayLayout>;
  constexpr int kColours = kGrey ? 1 : 3;
  RowPowers from(effects);
  RowPowers to(output);
  RememberingDecode red(to.codec()), green(to.codec()), blue(to.codec());
  const int64_t width = int64_t{area.right} - area.left;
  std::vector<uint32_t> screened(static_cast<size_t>(width * kColours));
  for (int32_t y = area.top; y < area.bottom; ++y) {
    const float* e = PixelSamples<const float>(effects, area.left, y);
    float* o = PixelSamples<float>(output, area.left, y);
    from.PrepareDecode(e, kSamplesPerPixel, kColours, width);
    for (int64_t x = 0; x < width; ++x) {
      const float* es = e + x * kSamplesPerPixel;
      const float* os = o + x * kSamplesPerPixel;
      uint32_t* result = screened.data() + x * kColours;
      // What Layout::Fetch(from, es, &effect) gives.
      WorkingPixel effect;
      effect.red = from.Decode(x * kColours, es[0]);
      effect.green = kGrey ? effect.red : from.Decode(x * kColours + 1, es[1]);
      effect.blue = kGrey ? effect.red : from.Decode(x * kColours + 2, es[2]);
      if (effect.red == 0 && effect.green == 0 && effect.blue == 0) {
        for (int c = 0; c < kColours; ++c) result[c] = kLeaveUnchanged;
        continue;
      }
      // CompositeScreen in its parts (blend.h), so that a pixel the effect cannot change is
      // left without reading the output.
      const uint32_t opacity = ScreenOpacity(from.codec().DecodeAlpha(es[kAlphaSample]),
                                             std::max({effect.red, effect.green, effect.blue}));
      if (opacity == 0) {
        for (int c = 0; c < kColours; ++c) result[c] = kLeaveUnchanged;
        continue;
      }
      // What Layout::Fetch(to.codec(), os, &pixel) gives.
      WorkingPixel pixel;
      pixel.red = red(os[0]);
      pixel.green = kGrey ? pixel.red : green(os[1]);
      pixel.blue = kGrey ? pixel.red : blue(os[2]);
      const WorkingPixel before = pixel;
      ScreenMix(&pixel, ScreenHueOf(effect), opacity);
      result[0] = ChangedOrLeave(pixel.red, before.red);
      if constexpr (!kGrey) {
        result[1] = ChangedOrLeave(pixel.green, before.green);
        result[2] = ChangedOrLeave(pixel.blue, before.blue);
      }
    }
    // What Layout::Store(to.codec(), pixel, os) writes.
    to.PrepareEncode(screened.data(), width * kColours);
    for (int64_t x = 0; x < width; ++x) {
      float* os = o + x * kSamplesPerPixel;
      const uint32_t* result = screened.data() + x * kColours;
      if constexpr (kGrey) {
        if (result[0] == kLeaveUnchanged) continue;
        const float grey = to.Encode(x, result[0]);
        os[0] = grey;
        os[1] = grey;
        os[2] = grey;
      } else {
        for (int c = 0; c < kColours; ++c) {
          if (result[c] != kLeaveUnchanged) os[c] = to.Encode(x * kColours + c, result[c]);
        }
      }
    }
  }
}

}  // namespace

bool IsFloatImage(const ImageRecord& image) {
  return (image.mode == kImageModeRgbFloat || image.mode == kImageModeGrayFloat) &&
         image.bytesPerSample == sizeof(float);
}

void EncodeWorkingAsFloat(const ImageRecord& image) {
  // Pixels are taken a chunk at a time, their colour powers in one batch.
  constexpr int64_t kChunk = 4096;
  constexpr int kColours = 3;
  RowPowers powers(image);
  const CodecFloat& codec = powers.codec();
  const bool grey = image.mode == kImageModeGrayFloat;
  auto* samples = static_cast<uint32_t*>(image.pixels.data);
  const int64_t pixels = image.dataWidth * image.dataHeight;
  std::vector<uint32_t> values(static_cast<size_t>(std::min(pixels, kChunk) * kColours));
  for (int64_t first = 0; first < pixels; first += kChunk) {
    const int64_t count = std::min(kChunk, pixels - first);
    uint32_t* chunk = samples + first * kSamplesPerPixel;
    for (int64_t i = 0; i < count; ++i) {
      for (int c = 0; c < kColours; ++c) values[i * kColours + c] = chunk[i * kSamplesPerPixel + c];
    }
    powers.PrepareEncode(values.data(), count * kColours);
    for (int64_t i = 0; i < count; ++i) {
      uint32_t* s = chunk + i * kSamplesPerPixel;
      // What the store routine writes: colour through the layout (grey from red, to all three
      // samples), kLeaveUnchanged samples kept. Each sample is written where it is (a pixel
      // built on the stack and copied back would stall on the partly written copy).
      const auto encode = [s](int c, float value) { s[c] = std::bit_cast<uint32_t>(value); };
      if (grey) {
        if (s[0] != kLeaveUnchanged) {
          const float value = powers.Encode(i * kColours, s[0]);
          for (int c = 0; c < kColours; ++c) encode(c, value);
        }
      } else {
        for (int c = 0; c < kColours; ++c) {
          if (s[c] != kLeaveUnchanged) encode(c, powers.Encode(i * kColours + c, s[c]));
        }
      }
      if (s[kAlphaSample] != kLeaveUnchanged) {
        encode(kAlphaSample, codec.EncodeAlpha(s[kAlphaSample]));
      }
    }
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
