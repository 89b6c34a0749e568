#include "image/float_composite.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "image/blend.h"
#include "image_test_support.h"

namespace lumeray::testing {
namespace {

struct FloatCase {
  int32_t mode;
  double gamma;
};

class FloatComposite : public ImageTest, public ::testing::WithParamInterface<FloatCase> {
 protected:
  static constexpr ImageRect kData{-3, 5, 37, 26};
  std::vector<uint8_t> Bytes(const ImageRecord& image) {
    const auto* data = static_cast<const uint8_t*>(image.pixels.data);
    return {data, data + image.pixels.size};
  }
};

// The row loops must write what the images' own per-pixel store and fetch routines write.
TEST_P(FloatComposite, EncodingWorkingSamplesMatchesTheStoreRoutine) {
  ImageRecord* fast = MakeImage(GetParam().mode, kData, GetParam().gamma);
  ImageRecord* reference = MakeImage(GetParam().mode, kData, GetParam().gamma);
  std::mt19937 random(5);
  const uint32_t values[] = {
      0, 1, kFullIntensity - 1, kFullIntensity, 2 * kFullIntensity, kFullCoverage};
  auto* words = static_cast<uint32_t*>(fast->pixels.data);
  for (int64_t i = 0; i < fast->dataWidth * fast->dataHeight * kSamplesPerPixel; ++i) {
    words[i] = random() % 4 == 0 ? values[random() % std::size(values)] : random() % 0x1000000;
  }
  std::memcpy(reference->pixels.data, fast->pixels.data, fast->pixels.size);
  EncodeWorkingAsFloat(*fast);
  for (int32_t y = kData.top; y < kData.bottom; ++y) {
    for (int32_t x = kData.left; x < kData.right; ++x) {
      const uint32_t* w = PixelSamples<uint32_t>(*reference, x, y);
      const WorkingPixel pixel{w[0], w[1], w[2], w[kAlphaSample], kLeaveUnchanged};
      reference->store(reference, &pixel, x, y);
    }
  }
  EXPECT_EQ(Bytes(*fast), Bytes(*reference));
}

TEST_P(FloatComposite, ScreeningMatchesTheFetchAndStoreRoutines) {
  ImageRecord* effects = MakeImage(GetParam().mode, kData, GetParam().gamma);
  ImageRecord* fast = MakeImage(GetParam().mode, kData, GetParam().gamma);
  ImageRecord* reference = MakeImage(GetParam().mode, kData, GetParam().gamma);
  FillWithNoise(effects, 3);
  FillWithNoise(fast, 4);
  // Black effect pixels, and effects in one channel only, leave samples as they were.
  for (int32_t x = kData.left; x < kData.right; x += 3) {
    float* e = PixelSamples<float>(*effects, x, kData.top + (x & 7));
    e[0] = e[1] = e[2] = 0.0f;
    e[1 + (x & 1)] = x % 2 == 0 ? 0.5f : 0.0f;
  }
  // Flat stretches, within rows and from row to row, repeat the samples of the first column.
  for (int32_t y = kData.top; y < kData.bottom; ++y) {
    for (int32_t x = kData.left + 9; x < kData.left + 25; ++x) {
      std::memcpy(PixelSamples<float>(*fast, x, y),
                  PixelSamples<float>(*fast, kData.left, kData.top + (y - kData.top) / 2),
                  kSamplesPerPixel * sizeof(float));
    }
  }
  std::memcpy(reference->pixels.data, fast->pixels.data, fast->pixels.size);
  const ImageRect area{kData.left + 2, kData.top + 1, kData.right - 5, kData.bottom - 3};
  ScreenFloatImage(*effects, area, *fast);
  for (int32_t y = area.top; y < area.bottom; ++y) {
    for (int32_t x = area.left; x < area.right; ++x) {
      WorkingPixel effect;
      effects->fetch(effects, &effect, x, y);
      if (effect.red == 0 && effect.green == 0 && effect.blue == 0) continue;
      WorkingPixel pixel;
      reference->fetch(reference, &pixel, x, y);
      CompositeScreen(&pixel, effect);
      reference->store(reference, &pixel, x, y);
    }
  }
  EXPECT_EQ(Bytes(*fast), Bytes(*reference));
}

INSTANTIATE_TEST_SUITE_P(Modes, FloatComposite,
                         ::testing::Values(FloatCase{kImageModeRgbFloat, 2.2},
                                           FloatCase{kImageModeRgbFloat, 1.0},
                                           FloatCase{kImageModeGrayFloat, 1.8}));

}  // namespace
}  // namespace lumeray::testing
