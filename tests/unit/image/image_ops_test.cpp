#include "image/image_ops.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "image/gamma_tables.h"
#include "image_test_support.h"

namespace lumeray::testing {
namespace {

TEST_F(ImageTest, FillImageCoversTheClippedRectangleOnly) {
  const double gamma = 2.2;
  for (bool edgeSafe : {false, true}) {
    // The edge-safe image has a mask too, filled likewise.
    ImageRecord* image = MakeImage(kImageModeRgb8, {0, 0, 6, 4}, gamma, edgeSafe, edgeSafe);
    std::memset(image->pixels.data, 7, image->pixels.size);
    if (edgeSafe) std::memset(image->mask.data, 7, image->mask.size);
    const WorkingPixel white{0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFFFE, 0xFFFFFFFE};
    FillImage(image, white, {-5, 2, 3, 100});  // reaches past the data on three sides
    const auto* bytes = static_cast<const uint8_t*>(image->pixels.data);
    for (int64_t i = 0; i < static_cast<int64_t>(image->pixels.size); ++i) {
      const int64_t pixel = i / 4, x = pixel % 6, y = pixel / 6;
      const bool filled = y >= 2 && y < 4 && x < 3;
      ASSERT_EQ(bytes[i], filled ? 255 : 7) << edgeSafe << " " << x << "," << y;
      if (edgeSafe && i % 4 == 0) {
        ASSERT_EQ(static_cast<const uint8_t*>(image->mask.data)[pixel], filled ? 255 : 7);
      }
    }
  }
}

// Filling only alpha and mask must not touch colour: a fetch and store of a dark 8-bit sample
// at gamma 2.2 would darken it (1 -> 0), and a float sample above 1.0 would be cut to 1.0.
TEST_F(ImageTest, FillImageLeavesUnchangedSamplesUntouched) {
  const double gamma = 2.2;
  ImageRecord* image8 = MakeImage(kImageModeRgb8, {0, 0, 2, 2}, gamma, true);
  ImageRecord* imageFloat = MakeImage(kImageModeRgbFloat, {0, 0, 2, 2}, gamma);
  std::memset(image8->pixels.data, 1, image8->pixels.size);
  auto* f = static_cast<float*>(imageFloat->pixels.data);
  for (int i = 0; i < 16; ++i) f[i] = 3.5f;
  const WorkingPixel alphaOnly{kLeaveUnchanged, kLeaveUnchanged, kLeaveUnchanged, 0,
                               kLeaveUnchanged};
  FillImage(image8, alphaOnly, {0, 0, 2, 2});
  FillImage(imageFloat, alphaOnly, {0, 0, 2, 2});
  const auto* bytes = static_cast<const uint8_t*>(image8->pixels.data);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(bytes[i], i % 4 == 3 ? 0 : 1) << i;
  for (int i = 0; i < 16; ++i) EXPECT_EQ(f[i], i % 4 == 3 ? 0.0f : 3.5f) << i;
}

TEST_F(ImageTest, LinearizeRaisesEightBitSamplesToTwoPointTwo) {
  const double gamma = 2.2;
  ImageRecord* image = MakeImage(kImageModeRgb8, {0, 0, 256, 1}, gamma, true);
  auto* bytes = static_cast<uint8_t*>(image->pixels.data);
  for (int v = 0; v < 256; ++v) {
    for (int c = 0; c < 4; ++c) bytes[4 * v + c] = static_cast<uint8_t>(v);
    static_cast<uint8_t*>(image->mask.data)[v] = static_cast<uint8_t>(v);
  }
  EXPECT_TRUE(LinearizeImage(image));
  for (int v = 0; v < 256; ++v) {
    const uint32_t expected = Round(std::pow(256.0 * v / 65535.0, 2.2) * 255.0);
    for (int c = 0; c < 3; ++c) ASSERT_EQ(bytes[4 * v + c], expected) << v;
    ASSERT_EQ(bytes[4 * v + 3], v);
    ASSERT_EQ(static_cast<uint8_t*>(image->mask.data)[v], v);
  }
  EXPECT_EQ(image->gamma, 1.0);
  EXPECT_EQ(image->gammaTables.decode8, GetGammaTables(1.0).decode8);
  // Now linear: fetch reads the samples on the linear scale.
  WorkingPixel p;
  image->fetch(image, &p, 255, 0);
  EXPECT_EQ(p.red, 253u * 65793u);
}

TEST_F(ImageTest, LinearizeRaisesSixteenBitSamplesAndSkipsOtherTypes) {
  const double gamma = 2.2;
  ImageRecord* image = MakeImage(kImageModeGray16, {0, 0, 256, 256}, gamma);
  auto* samples = static_cast<uint16_t*>(image->pixels.data);
  for (int v = 0; v < 65536; ++v) {
    for (int c = 0; c < 4; ++c) samples[4 * v + c] = static_cast<uint16_t>(v);
  }
  EXPECT_TRUE(LinearizeImage(image));
  for (int v = 0; v < 65536; ++v) {
    const uint32_t expected = Round(std::pow(v / 65535.0, 2.2) * 65535.0);
    ASSERT_EQ(samples[4 * v], expected) << v;
    ASSERT_EQ(samples[4 * v + 2], expected) << v;
    ASSERT_EQ(samples[4 * v + 3], v);
  }
  EXPECT_EQ(samples[4 * 65535], 65535);

  ImageRecord* floats = MakeImage(kImageModeRgbFloat, {0, 0, 1, 1}, gamma);
  static_cast<float*>(floats->pixels.data)[0] = 0.5f;
  EXPECT_FALSE(LinearizeImage(floats));
  EXPECT_EQ(static_cast<float*>(floats->pixels.data)[0], 0.5f);
  EXPECT_EQ(floats->gamma, 1.0);
}

}  // namespace
}  // namespace lumeray::testing
