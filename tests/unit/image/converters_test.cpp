#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "image/gamma_tables.h"
#include "image/image_create.h"
#include "image/image_modes.h"
#include "image/linear_encoding.h"
#include "image/pixel_converters.h"
#include "image_test_support.h"

namespace lumeray::testing {
namespace {

// ---- Slow references, written from the pixel format definitions -----------------------------

bool IsFloat(int32_t mode) {
  return mode == kImageModeRgbFloat || mode == kImageModeGrayFloat;
}

// Sample positions of R, G, B.
std::array<int, 3> ColorPositions(const ImageRecord& image) {
  if (IsHostGrayMode(image.mode)) return {0, 0, 0};
  if (image.mode == kImageModeRgb8 && image.glPixelFormat == kGlBgra) return {2, 1, 0};
  return {0, 1, 2};
}

uint8_t* SampleAddress(const ImageRecord& image, int64_t index, int sample) {
  return static_cast<uint8_t*>(image.pixels.data) + (index * 4 + sample) * image.bytesPerSample;
}

double ReadSample(const ImageRecord& image, int64_t index, int sample) {
  const uint8_t* at = SampleAddress(image, index, sample);
  uint16_t v16;
  uint32_t v32;
  float f;
  switch (image.bytesPerSample) {
    case 1:
      return *at;
    case 2:
      return std::memcpy(&v16, at, 2), v16;
    default:
      if (IsFloat(image.mode)) return std::memcpy(&f, at, 4), f;
      return std::memcpy(&v32, at, 4), v32;
  }
}

// Float samples: negatives and NaN are 0, and nothing passes 0xFFFFFFFE.
uint32_t ClampedRound(double v) {
  if (std::isnan(v) || v <= 0) return 0;
  return v >= 4294967294.0 ? 0xFFFFFFFEu : Round(v);
}

uint32_t RefIn(const ImageRecord& image, double s, bool alpha) {
  if (image.mode == kImageModeWorkingRgb) return static_cast<uint32_t>(s);
  if (IsFloat(image.mode)) {
    if (alpha) return ClampedRound(s * 4294967294.0);
    return std::isnan(s) || s <= 0 ? 0 : ClampedRound(Power(s, image.gamma) * 16777215.0);
  }
  const double full = image.bytesPerSample == 1 ? 255.0 : 65535.0;
  const uint32_t v = static_cast<uint32_t>(s);
  return alpha ? RefAlphaIn(v, full) : RefDecode(v, full, image.gamma);
}

WorkingPixel ReferenceFetch(const ImageRecord& image, int32_t x, int32_t y) {
  const ImageRect& d = image.dataRect;
  const bool outside = x < d.left || x >= d.right || y < d.top || y >= d.bottom;
  x = std::clamp(x, d.left, d.right - 1);
  y = std::clamp(y, d.top, d.bottom - 1);
  const int64_t index = (int64_t{y} - d.top) * image.dataWidth + (x - d.left);
  const std::array<int, 3> at = ColorPositions(image);
  WorkingPixel p{RefIn(image, ReadSample(image, index, at[0]), false),
                 RefIn(image, ReadSample(image, index, at[1]), false),
                 RefIn(image, ReadSample(image, index, at[2]), false),
                 RefIn(image, ReadSample(image, index, 3), true), 0xFFFFFFFEu};
  if (ImageHasMask(image)) {
    p.mask = RefAlphaIn(static_cast<const uint8_t*>(image.mask.data)[index], 255.0);
  }
  if (outside) p.alpha = p.mask = 0;
  return p;
}

// Writes what a store of `value` must leave in the sample at `at`.
void WriteExpected(const ImageRecord& image, uint8_t* at, uint32_t value, bool alpha) {
  if (image.mode == kImageModeWorkingRgb) {
    std::memcpy(at, &value, 4);
  } else if (IsFloat(image.mode)) {
    const float f = alpha ? static_cast<float>(value / 4294967296.0)
                    : value >= 0xFFFFFF
                        ? 1.0f
                        : static_cast<float>(Power(value / 16777215.0, 1 / image.gamma));
    std::memcpy(at, &f, 4);
  } else {
    const double full = image.bytesPerSample == 1 ? 255.0 : 65535.0;
    const uint32_t v = alpha ? RefAlphaOut(value, full) : RefEncode(value, full, image.gamma);
    const uint16_t v16 = static_cast<uint16_t>(v);
    if (image.bytesPerSample == 1) *at = static_cast<uint8_t>(v);
    if (image.bytesPerSample == 2) std::memcpy(at, &v16, 2);
  }
}

void ReferenceStore(const ImageRecord& image, const WorkingPixel& p, int32_t x, int32_t y) {
  const ImageRect& d = image.dataRect;
  if (x < d.left || x >= d.right || y < d.top || y >= d.bottom) return;
  const int64_t index = (int64_t{y} - d.top) * image.dataWidth + (x - d.left);
  // Grey images take R into all three colour samples.
  const bool gray = IsHostGrayMode(image.mode);
  const uint32_t colors[3] = {p.red, gray ? p.red : p.green, gray ? p.red : p.blue};
  const std::array<int, 3> at = gray ? std::array<int, 3>{0, 1, 2} : ColorPositions(image);
  for (int c = 0; c < 3; ++c) {
    if (colors[c] != kLeaveUnchanged) {
      WriteExpected(image, SampleAddress(image, index, at[c]), colors[c], false);
    }
  }
  if (p.alpha != kLeaveUnchanged) {
    WriteExpected(image, SampleAddress(image, index, 3), p.alpha, true);
  }
  if (ImageHasMask(image) && p.mask != kLeaveUnchanged) {
    static_cast<uint8_t*>(image.mask.data)[index] = static_cast<uint8_t>(RefAlphaOut(p.mask, 255));
  }
}

// "Leave unchanged", full intensity and beyond, the step below full, and ordinary values.
uint32_t RandomValue(std::mt19937& random, bool color) {
  switch (random() % 8) {
    case 0:
      return kLeaveUnchanged;
    case 1:
      return color ? 0xFFFFFF + random() % 0xFF000000u : 0xFFFFFFFEu;
    case 2:
      return color ? 0xFFFFFEu : 0u;
    default:
      return color ? random() % 0xFFFFFFu : random() % 0xFFFFFFFFu;
  }
}

bool SamePixel(const WorkingPixel& a, const WorkingPixel& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

struct ConverterCase {
  int32_t mode;
  bool bgra;
};

class ConverterTest : public ImageTest, public ::testing::WithParamInterface<ConverterCase> {};

// Every mode and layout, fast and edge-safe, with and without mask, at two gammas: fetches inside
// and (edge-safe) outside the data, and stores of every kind of value, against the references.
TEST_P(ConverterTest, FetchAndStoreMatchTheReference) {
  const ConverterCase c = GetParam();
  static const double kGammas[] = {1.0, 1.8};
  const ImageRect data{-3, 5, 6, 11};
  uint32_t seed = 1;
  for (const double& gamma : kGammas) {
    for (bool edgeSafe : {false, true}) {
      for (bool withMask : {false, true}) {
        SCOPED_TRACE(::testing::Message()
                     << "mode " << c.mode << " bgra " << c.bgra << " gamma " << gamma
                     << " edgeSafe " << edgeSafe << " mask " << withMask);
        ImageRecord* image = MakeImage(c.mode, data, gamma, withMask, edgeSafe);
        if (!c.bgra) {
          image->glPixelFormat = kGlRgba;
          SelectImageConverters(image);
        }
        FillWithNoise(image, seed++);

        std::vector<std::pair<int, int>> positions;
        for (int y = data.top; y < data.bottom; ++y) {
          for (int x = data.left; x < data.right; ++x) positions.emplace_back(x, y);
        }
        if (edgeSafe) {
          positions.insert(positions.end(), {{data.left - 1, data.top - 1},
                                             {data.right, data.bottom},
                                             {data.left - 100, data.top + 2},
                                             {data.right + 5, data.top - 7},
                                             {std::numeric_limits<int32_t>::min(), 0}});
        }
        for (auto [x, y] : positions) {
          WorkingPixel fetched;
          image->fetch(image, &fetched, x, y);
          ASSERT_TRUE(SamePixel(fetched, ReferenceFetch(*image, x, y))) << x << "," << y;
        }
        // Whole rows through the row routines; edge-safe, every other run reaches out on both
        // sides.
        const int32_t width = data.right - data.left;
        std::vector<WorkingPixel> run(static_cast<size_t>(width) + 4);
        const auto runLeft = [&](int y) {
          return edgeSafe && y % 2 == 0 ? data.left - 2 : data.left;
        };
        const auto runWidth = [&](int y) { return edgeSafe && y % 2 == 0 ? width + 4 : width; };
        for (int y = data.top; y < data.bottom; ++y) {
          // A colour repeating the left neighbour's bit for bit, and one repeating two samples.
          const int64_t bytes = image->bytesPerSample * kSamplesPerPixel;
          auto* first = static_cast<uint8_t*>(image->pixels.data) +
                        PixelIndex(*image, data.left + y % 3, y) * bytes;
          std::memcpy(first + bytes, first, 3 * image->bytesPerSample);
          std::memcpy(first + 3 * bytes, first + 2 * bytes, 2 * image->bytesPerSample);
          FetchPixelRow(*image, runLeft(y), y, runWidth(y), run.data());
          for (int32_t i = 0; i < runWidth(y); ++i) {
            ASSERT_TRUE(SamePixel(run[i], ReferenceFetch(*image, runLeft(y) + i, y)))
                << i << "," << y;
          }
        }

        // The reference stores into a copy of the record's buffers.
        std::mt19937 random(seed);
        ImageRecord expected = *image;
        std::vector<uint8_t> pixels(image->pixels.size), mask(image->mask.size);
        std::memcpy(pixels.data(), image->pixels.data, image->pixels.size);
        if (withMask) std::memcpy(mask.data(), image->mask.data, image->mask.size);
        expected.pixels.data = pixels.data();
        expected.mask.data = withMask ? mask.data() : nullptr;
        const bool color = c.mode != kImageModeWorkingRgb;
        for (auto [x, y] : positions) {
          const WorkingPixel p{RandomValue(random, color), RandomValue(random, color),
                               RandomValue(random, color), RandomValue(random, false),
                               RandomValue(random, false)};
          image->store(image, &p, x, y);
          ReferenceStore(expected, p, x, y);
        }
        for (int y = data.top; y < data.bottom; ++y) {
          for (int32_t i = 0; i < runWidth(y); ++i) {
            run[i] = {RandomValue(random, color), RandomValue(random, color),
                      RandomValue(random, color), RandomValue(random, false),
                      RandomValue(random, false)};
            ReferenceStore(expected, run[i], runLeft(y) + i, y);
          }
          StorePixelRow(*image, run.data(), runLeft(y), y, runWidth(y));
        }
        ASSERT_EQ(std::memcmp(image->pixels.data, pixels.data(), pixels.size()), 0);
        if (withMask) {
          ASSERT_EQ(std::memcmp(image->mask.data, mask.data(), mask.size()), 0);
        }
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    AllModes, ConverterTest,
    ::testing::Values(ConverterCase{kImageModeGray8, true}, ConverterCase{kImageModeRgb8, true},
                      ConverterCase{kImageModeRgb8, false}, ConverterCase{kImageModeGray16, false},
                      ConverterCase{kImageModeRgb16, false},
                      ConverterCase{kImageModeRgbFloat, false},
                      ConverterCase{kImageModeGrayFloat, false},
                      ConverterCase{kImageModeWorkingRgb, false}),
    [](const ::testing::TestParamInfo<ConverterCase>& info) {
      return "Mode" + std::to_string(info.param.mode) +
             (info.param.mode == kImageModeRgb8 ? (info.param.bgra ? "Bgra" : "Rgba") : "");
    });

// Every sample of both depths at three gammas: a value one unit above the sample's decoded
// value never encodes below the sample (a brightened shadow never darkens), and the decoded
// value itself comes back as a sample decoding to it (8 bits: the sample itself).
TEST_F(ImageTest, BrightenedValuesNeverEncodeBelowTheirSample) {
  for (const double gamma : {1.0, 1.8, 2.2}) {
    const GammaTableSet t = GetGammaTables(gamma);
    ASSERT_TRUE(t);
    for (uint32_t s = 0; s < 65536; ++s) {
      const uint32_t d = t.decode16[s];
      ASSERT_GE(EncodeLinear16(t.decode16, t.encode16, t.encode16Shadows, d + 1), s)
          << gamma << " " << s;
      ASSERT_EQ(t.decode16[EncodeLinear16(t.decode16, t.encode16, t.encode16Shadows, d)], d)
          << gamma << " " << s;
      if (s > 255) continue;
      ASSERT_GE(EncodeLinear8(t.decode8, t.encode8, t.decode8[s] + 1), s) << gamma << " " << s;
      ASSERT_EQ(EncodeLinear8(t.decode8, t.encode8, t.decode8[s]), s) << gamma << " " << s;
    }
  }
}

// 16-bit encoding against a plain search of the decode table for the nearest sample (the
// first of a run decoding alike, the darker of two equally near): every value of the shadow
// table's range and past it, then values spread over the rest of the scale.
TEST_F(ImageTest, SixteenBitEncodingGivesTheNearestSample) {
  for (const double gamma : {1.0, 1.8, 2.2}) {
    const GammaTableSet t = GetGammaTables(gamma);
    ASSERT_TRUE(t);
    const auto nearest = [&](uint32_t value) {
      const auto reaching = static_cast<uint32_t>(
          std::lower_bound(t.decode16, t.decode16 + 65536, value) - t.decode16);
      if (reaching == 0) return 0u;
      const bool darker = value - t.decode16[reaching - 1] <= t.decode16[reaching] - value;
      return darker ? reaching - 1 : reaching;
    };
    for (uint32_t value = 0; value < kFullIntensity;
         value += value < 2 * kShadowEncodeEntries ? 1 : 61) {
      ASSERT_EQ(EncodeLinear16(t.decode16, t.encode16, t.encode16Shadows, value), nearest(value))
          << gamma << " " << value;
    }
  }
}

TEST_F(ImageTest, ModesWithoutConvertersReadZerosAndWriteNothing) {
  const double gamma = 2.2;
  for (int32_t mode : {0, 2, 9, 15, 18, -1, 63}) {
    ImageRecord image;
    int result = 0;
    EXPECT_TRUE(CreateImage(&image, {0, 0, 2, 2}, {0, 0, 2, 2}, mode, TestProfile(gamma), true,
                            false, &result));
    EXPECT_EQ(result, LookUpBytesPerSample(mode) == 0 ? -50 : 0) << mode;
    if (image.pixels.data != nullptr) std::memset(image.pixels.data, 0x55, image.pixels.size);
    WorkingPixel p{1, 2, 3, 4, 5};
    image.fetch(&image, &p, 1, 1);
    EXPECT_TRUE(SamePixel(p, WorkingPixel{})) << mode;
    const WorkingPixel white{0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFFFE, 0xFFFFFFFE};
    image.store(&image, &white, 1, 1);
    for (uint64_t i = 0; i < image.pixels.size; ++i) {
      ASSERT_EQ(static_cast<uint8_t*>(image.pixels.data)[i], 0x55) << mode;
    }
    ReleaseImage(&image);
  }
}

}  // namespace
}  // namespace lumeray::testing
