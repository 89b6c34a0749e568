// Building blocks of the fetch and store converters (internal to the image folder).
//
// A codec converts one sample kind between the image and the WorkingPixel scales; it is made
// once per call from the image record and keeps the table pointers it needs. A layout says
// where R, G, B live among the four samples of a pixel. The converters combine one codec, one
// layout and the edge handling; each combination is its own routine, chosen once per image.
//
// Colour encoding rules shared by all codecs: kLeaveUnchanged is never encoded (the layouts
// skip it); a value at or above kFullIntensity is written as the sample's full scale. 8-bit and
// 16-bit colour is encoded as linear_encoding.h says: a value at or above a sample's decoded
// value never encodes below that sample.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "image/float_power.h"
#include "image/gamma_tables.h"
#include "image/image_record.h"
#include "image/linear_encoding.h"
#include "image/pixel_tables.h"

namespace lumeray::sample_codecs {

// 8-bit samples: colour through the image's gamma tables, alpha through the fixed tables.
class Codec8 {
 public:
  using Sample = uint8_t;
  explicit Codec8(const ImageRecord& image)
      : decode_(image.gammaTables.decode8),
        encode_(image.gammaTables.encode8),
        alphaIn_(GetFixedTables().alpha8To32),
        alphaOut_(GetFixedTables().alpha16To8) {}

  uint32_t DecodeColor(Sample sample) const { return decode_[sample]; }
  uint32_t DecodeAlpha(Sample sample) const { return alphaIn_[sample]; }
  Sample EncodeColor(uint32_t value) const { return EncodeLinear8(decode_, encode_, value); }
  Sample EncodeAlpha(uint32_t alpha) const { return alphaOut_[alpha >> kCoverageToIndexShift]; }

 private:
  const uint32_t* decode_;
  const uint8_t* encode_;
  const uint32_t* alphaIn_;
  const uint8_t* alphaOut_;
};

// 16-bit samples.
class Codec16 {
 public:
  using Sample = uint16_t;
  explicit Codec16(const ImageRecord& image)
      : decode_(image.gammaTables.decode16),
        encode_(image.gammaTables.encode16),
        shadows_(image.gammaTables.encode16Shadows),
        alphaIn_(GetFixedTables().alpha16To32),
        alphaOut_(GetFixedTables().alpha16To16) {}

  uint32_t DecodeColor(Sample sample) const { return decode_[sample]; }
  uint32_t DecodeAlpha(Sample sample) const { return alphaIn_[sample]; }
  Sample EncodeColor(uint32_t value) const {
    return EncodeLinear16(decode_, encode_, shadows_, value);
  }
  Sample EncodeAlpha(uint32_t alpha) const { return alphaOut_[alpha >> kCoverageToIndexShift]; }

 private:
  const uint32_t* decode_;
  const uint16_t* encode_;
  const uint16_t* shadows_;
  const uint32_t* alphaIn_;
  const uint16_t* alphaOut_;
};

// 32-bit float samples, 0.0 to 1.0 for black to full intensity: colour through a power of the
// image's gamma (none at gamma 1.0; std::pow's results, through the image's power tables), alpha
// scaled. Samples outside the representable range
// (negative, not a number, too bright for 32 bits) are clamped into [0, kFullCoverage] so that
// they can never turn into kLeaveUnchanged or wrap around.
class CodecFloat {
 public:
  using Sample = float;
  explicit CodecFloat(const ImageRecord& image)
      : gamma_(image.gamma),
        inverseGamma_(1.0 / image.gamma),
        linear_(image.gamma == 1.0),
        decodePower_(image.gammaTables.floatDecode),
        encodePower_(image.gammaTables.floatEncode) {}

  uint32_t DecodeColor(Sample sample) const {
    if (!(sample > 0.0f)) return 0;  // negatives and NaN are black
    if (linear_) return RoundToNearestEven(ClampToWorkingRange(double{sample} * kFullIntensity));
    return ScaledFloatPower(decodePower_, sample, gamma_, kFullIntensity, kFullCoverage);
  }
  uint32_t DecodeAlpha(Sample sample) const {
    return RoundToNearestEven(ClampToWorkingRange(double{sample} * kFullCoverage));
  }
  Sample EncodeColor(uint32_t value) const {
    if (value >= kFullIntensity) return 1.0f;
    if (value == 0) return 0.0f;  // what the power gives, without computing it
    const double fraction = value / double{kFullIntensity};
    return linear_ ? static_cast<float>(fraction)
                   : FloatOfPower(encodePower_, fraction, inverseGamma_);
  }
  Sample EncodeAlpha(uint32_t alpha) const {
    return static_cast<float>(alpha / kAlphaFloatDivisor);
  }

 private:
  static constexpr double kAlphaFloatDivisor = 4294967296.0;  // 2^32

  // NaN and negatives give 0.
  static double ClampToWorkingRange(double value) {
    if (!(value > 0.0)) return 0.0;
    return value < kFullCoverage ? value : double{kFullCoverage};
  }

  double gamma_;
  double inverseGamma_;
  bool linear_;
  const FloatPowerTable* decodePower_;
  const FloatPowerTable* encodePower_;
};

// 32-bit unsigned samples already on the WorkingPixel scale (working mode 64).
class CodecWorking {
 public:
  using Sample = uint32_t;
  explicit CodecWorking(const ImageRecord&) {}

  uint32_t DecodeColor(Sample sample) const { return sample; }
  uint32_t DecodeAlpha(Sample sample) const { return sample; }
  Sample EncodeColor(uint32_t value) const { return value; }
  Sample EncodeAlpha(uint32_t alpha) const { return alpha; }
};

// Colour samples at the given positions of the pixel.
template <int kRed, int kGreen, int kBlue>
struct ColorLayout {
  template <class Codec>
  static void Fetch(const Codec& codec, const typename Codec::Sample* samples,
                    WorkingPixel* pixel) {
    pixel->red = codec.DecodeColor(samples[kRed]);
    pixel->green = codec.DecodeColor(samples[kGreen]);
    pixel->blue = codec.DecodeColor(samples[kBlue]);
  }
  template <class Codec>
  static void Store(const Codec& codec, const WorkingPixel& pixel,
                    typename Codec::Sample* samples) {
    if (pixel.red != kLeaveUnchanged) samples[kRed] = codec.EncodeColor(pixel.red);
    if (pixel.green != kLeaveUnchanged) samples[kGreen] = codec.EncodeColor(pixel.green);
    if (pixel.blue != kLeaveUnchanged) samples[kBlue] = codec.EncodeColor(pixel.blue);
  }
};

using RgbaLayout = ColorLayout<0, 1, 2>;
using BgraLayout = ColorLayout<2, 1, 0>;

// Grey: read from the first sample into R, G and B; R written to the first three samples.
struct GrayLayout {
  template <class Codec>
  static void Fetch(const Codec& codec, const typename Codec::Sample* samples,
                    WorkingPixel* pixel) {
    const uint32_t gray = codec.DecodeColor(samples[0]);
    pixel->red = gray;
    pixel->green = gray;
    pixel->blue = gray;
  }
  template <class Codec>
  static void Store(const Codec& codec, const WorkingPixel& pixel,
                    typename Codec::Sample* samples) {
    if (pixel.red == kLeaveUnchanged) return;
    const typename Codec::Sample gray = codec.EncodeColor(pixel.red);
    samples[0] = gray;
    samples[1] = gray;
    samples[2] = gray;
  }
};

// Whether (x, y) lies in the data rectangle: one unsigned comparison per axis.
inline bool InsideData(const ImageRecord& image, int32_t x, int32_t y) {
  const auto column = static_cast<uint64_t>(int64_t{x} - image.dataRect.left);
  const auto row = static_cast<uint64_t>(int64_t{y} - image.dataRect.top);
  return column < static_cast<uint64_t>(image.dataWidth) &&
         row < static_cast<uint64_t>(image.dataHeight);
}

// Whether the `count` pixels from (x, y) on lie in the data rectangle.
inline bool RunInsideData(const ImageRecord& image, int32_t x, int32_t y, int32_t count) {
  return count > 0 && InsideData(image, x, y) &&
         int64_t{x} + count <= int64_t{image.dataRect.right};
}

// The mask is 8-bit whatever the image's samples are.
inline uint32_t FetchMask(const ImageRecord& image, int64_t index) {
  if (!ImageHasMask(image)) return kFullCoverage;
  return GetFixedTables().alpha8To32[static_cast<const uint8_t*>(image.mask.data)[index]];
}

inline void StoreMask(const ImageRecord& image, int64_t index, uint32_t mask) {
  if (!ImageHasMask(image) || mask == kLeaveUnchanged) return;
  static_cast<uint8_t*>(image.mask.data)[index] =
      GetFixedTables().alpha16To8[mask >> kCoverageToIndexShift];
}

// The converter kinds of the image modes, for both the fetch and the store tables: each mode's
// codec and layout (mode 3 has two layouts, told apart by bgraLayout). `Procs<Codec, Layout>`
// names the two routines of a kind as kFast and kEdgeSafe.
template <class Proc>
struct ConverterEntry {
  int32_t mode;
  bool bgraLayout;
  Proc fast;
  Proc edgeSafe;
};

template <class Proc, template <class Codec, class Layout> class Procs>
constexpr std::array<ConverterEntry<Proc>, 8> ConverterTable() {
  return {{
      {kImageModeGray8, false, Procs<Codec8, GrayLayout>::kFast,
       Procs<Codec8, GrayLayout>::kEdgeSafe},
      {kImageModeRgb8, true, Procs<Codec8, BgraLayout>::kFast,
       Procs<Codec8, BgraLayout>::kEdgeSafe},
      {kImageModeRgb8, false, Procs<Codec8, RgbaLayout>::kFast,
       Procs<Codec8, RgbaLayout>::kEdgeSafe},
      {kImageModeGray16, false, Procs<Codec16, GrayLayout>::kFast,
       Procs<Codec16, GrayLayout>::kEdgeSafe},
      {kImageModeRgb16, false, Procs<Codec16, RgbaLayout>::kFast,
       Procs<Codec16, RgbaLayout>::kEdgeSafe},
      {kImageModeRgbFloat, false, Procs<CodecFloat, RgbaLayout>::kFast,
       Procs<CodecFloat, RgbaLayout>::kEdgeSafe},
      {kImageModeGrayFloat, false, Procs<CodecFloat, GrayLayout>::kFast,
       Procs<CodecFloat, GrayLayout>::kEdgeSafe},
      {kImageModeWorkingRgb, false, Procs<CodecWorking, RgbaLayout>::kFast,
       Procs<CodecWorking, RgbaLayout>::kEdgeSafe},
  }};
}

// The routine of a mode in a table, or null for a mode without converters.
template <class Proc, size_t kCount>
Proc FindConverter(const std::array<ConverterEntry<Proc>, kCount>& table, int32_t mode,
                   bool edgeSafe, bool bgraLayout) {
  for (const ConverterEntry<Proc>& entry : table) {
    if (entry.mode != mode) continue;
    if (mode == kImageModeRgb8 && entry.bgraLayout != bgraLayout) continue;
    return edgeSafe ? entry.edgeSafe : entry.fast;
  }
  return nullptr;
}

// The row routine standing where the per-pixel routine `proc` stands in its table (both tables
// made by ConverterTable, so in the same order), or null when `proc` is none of the table's.
template <class Proc, class RowProc, size_t kCount>
RowProc RowConverterBeside(const std::array<ConverterEntry<Proc>, kCount>& pixelTable,
                           const std::array<ConverterEntry<RowProc>, kCount>& rowTable, Proc proc) {
  for (size_t i = 0; i < kCount; ++i) {
    if (pixelTable[i].fast == proc || pixelTable[i].edgeSafe == proc) return rowTable[i].fast;
  }
  return nullptr;
}

}  // namespace lumeray::sample_codecs
