#include "preview/convert_image_region.h"

#include <gtest/gtest.h>
#include <lcms2.h>

#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "color/color_conversion.h"
#include "color/transform_cache.h"
#include "host/host_globals.h"
#include "unit/color/color_test_support.h"

namespace lumeray {
namespace {

class ConvertRegion : public testing::ColorTest {
 protected:
  void SetUp() override {
    ColorTest::SetUp();
    ASSERT_TRUE(InitializeColorManagement());
  }
  static void Fill(ImageRecord* image, uint32_t seed) {
    std::mt19937 random(seed);
    for (const BufferDescriptor* buffer : {&image->pixels, &image->mask}) {
      auto* bytes = static_cast<uint8_t*>(buffer->data);
      for (uint64_t i = 0; i < buffer->size; ++i) bytes[i] = static_cast<uint8_t>(random());
    }
  }
  template <typename Sample>
  static Sample Alpha(const ImageRecord& image, int x) {
    return PixelSamples<Sample>(image, x, 0)[3];
  }
};

const uint8_t* MaskSample(const ImageRecord& image, int x, int y) {
  return static_cast<const uint8_t*>(image.mask.data) + PixelIndex(image, x, y);
}

bool SameRect(const ImageRect& a, const ImageRect& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

TEST_F(ConvertRegion, ClippingKeepsEverySourcePixelOverItsDestination) {
  ImageRecord source;
  ImageRecord destination;
  source.dataRect = {0, 0, 10, 10};
  destination.dataRect = {0, 0, 100, 100};
  // The source sticks out at the top left: the destination moves with the cut.
  ConvertRegions r = ClipConvertRegions(source, {-2, -3, 5, 5}, destination, {20, 30, 27, 38});
  EXPECT_TRUE(SameRect(r.source, {0, 0, 5, 5}));
  EXPECT_TRUE(SameRect(r.destination, {22, 33, 27, 38}));

  // The destination sticks out at the top left: the source moves with the cut.
  source.dataRect = {0, 0, 100, 100};
  destination.dataRect = {10, 10, 50, 50};
  r = ClipConvertRegions(source, {0, 0, 20, 20}, destination, {5, 7, 25, 27});
  EXPECT_TRUE(SameRect(r.source, {5, 3, 20, 20}));
  EXPECT_TRUE(SameRect(r.destination, {10, 10, 25, 27}));

  // Different sizes give the common part; nothing in common gives nothing.
  r = ClipConvertRegions(source, {0, 0, 20, 8}, destination, {10, 10, 20, 40});
  EXPECT_TRUE(SameRect(r.source, {0, 0, 10, 8}));
  EXPECT_TRUE(SameRect(r.destination, {10, 10, 20, 18}));
  r = ClipConvertRegions(source, {0, 0, 20, 20}, destination, {60, 60, 80, 80});
  EXPECT_LE(r.destination.right - r.destination.left, 0);
}

TEST_F(ConvertRegion, AnyThreadCountGivesTheWholeImagesConversion) {
  ImageRecord* source = MakeImage(kImageModeRgb16, {0, 0, 41, 300}, StandardProfile(), true);
  Fill(source, 3);
  ImageRecord* whole = MakeImage(kImageModeRgb16, source->dataRect, StandardProfile());
  std::memcpy(whole->pixels.data, source->pixels.data, source->pixels.size);
  ASSERT_TRUE(ConvertColorOf(whole, LinearWorkingProfile()));

  // 300 rows: over the splitting threshold; 24 threads leave 12 rows for the last band.
  for (int threads : {1, 2, 3, 5, 24}) {
    ImageRecord* destination =
        MakeImage(kImageModeRgb16, {-4, 2, 40, 310}, LinearWorkingProfile(), true);
    std::memset(destination->pixels.data, 0xA5, destination->pixels.size);
    ASSERT_TRUE(ConvertImageRegionWithThreads(*source, {1, 0, 41, 300}, destination,
                                              {-4, 6, 36, 306}, threads));
    int wrong = 0;
    for (int y = 2; y < 310; ++y) {
      for (int x = -4; x < 40; ++x) {
        const bool inside = x < 36 && y >= 6 && y < 306;
        const uint16_t* actual = PixelSamples<uint16_t>(*destination, x, y);
        const uint16_t untouched[4] = {0xA5A5, 0xA5A5, 0xA5A5, 0xA5A5};
        const uint16_t* expected =
            inside ? PixelSamples<uint16_t>(*whole, x + 5, y - 6) : untouched;
        if (std::memcmp(actual, expected, 8) != 0) ++wrong;
        if (inside && *MaskSample(*destination, x, y) != *MaskSample(*source, x + 5, y - 6))
          ++wrong;
      }
    }
    EXPECT_EQ(wrong, 0) << threads << " threads";
  }
}

TEST_F(ConvertRegion, AlphaCrossesSampleKindsAsTheConvertersDo) {
  // 8-bit 128 is 2155905152 in coverage: 32896 in 16 bits, 2155905152 / 2^32 as float.
  ImageRecord* eight = MakeImage(kImageModeRgb8, {0, 0, 3, 1}, StandardProfile());
  const uint8_t eightAlpha[3] = {0, 128, 255};
  for (int x = 0; x < 3; ++x) PixelSamples<uint8_t>(*eight, x, 0)[3] = eightAlpha[x];
  ImageRecord* sixteen = MakeImage(kImageModeRgb16, {0, 0, 3, 1}, StandardProfile());
  ImageRecord* floats = MakeImage(kImageModeRgbFloat, {0, 0, 3, 1}, StandardProfile());
  ImageRecord* eightAgain = MakeImage(kImageModeRgb8, {0, 0, 3, 1}, StandardProfile());
  ASSERT_TRUE(ConvertImageRegionSingleThread(*eight, eight->dataRect, sixteen, sixteen->dataRect));
  ASSERT_TRUE(ConvertImageRegionSingleThread(*eight, eight->dataRect, floats, floats->dataRect));
  ASSERT_TRUE(ConvertImageRegionSingleThread(*sixteen, sixteen->dataRect, eightAgain,
                                             eightAgain->dataRect));
  const uint16_t expected16[3] = {0, 32896, 65535};
  const float expectedFloat[3] = {0.0f, 2155905152.0f / 4294967296.0f, 1.0f};
  for (int x = 0; x < 3; ++x) {
    EXPECT_EQ(Alpha<uint16_t>(*sixteen, x), expected16[x]);
    EXPECT_FLOAT_EQ(Alpha<float>(*floats, x), expectedFloat[x]);
    EXPECT_EQ(Alpha<uint8_t>(*eightAgain, x), eightAlpha[x]);
  }

  // Float: round(f * 4294967294), clamped, then the 16-bit tables; float to float is copied.
  ImageRecord* floatSource = MakeImage(kImageModeRgbFloat, {0, 0, 5, 1}, StandardProfile());
  const float floatAlpha[5] = {0.5f, -0.25f, 1.5f, std::numeric_limits<float>::quiet_NaN(), 1.0f};
  for (int x = 0; x < 5; ++x) PixelSamples<float>(*floatSource, x, 0)[3] = floatAlpha[x];
  ImageRecord* eightOut = MakeImage(kImageModeRgb8, {0, 0, 5, 1}, StandardProfile());
  ImageRecord* sixteenOut = MakeImage(kImageModeRgb16, {0, 0, 5, 1}, StandardProfile());
  ImageRecord* floatOut = MakeImage(kImageModeRgbFloat, {0, 0, 5, 1}, StandardProfile());
  for (ImageRecord* out : {eightOut, sixteenOut, floatOut}) {
    ASSERT_TRUE(
        ConvertImageRegionSingleThread(*floatSource, floatSource->dataRect, out, out->dataRect));
  }
  const uint8_t expected8[5] = {127, 0, 255, 0, 255};  // 0.5 -> 32767 -> 127.498
  const uint16_t expectedFrom16[5] = {32767, 0, 65535, 0, 65535};
  for (int x = 0; x < 5; ++x) {
    EXPECT_EQ(Alpha<uint8_t>(*eightOut, x), expected8[x]) << x;
    EXPECT_EQ(Alpha<uint16_t>(*sixteenOut, x), expectedFrom16[x]) << x;
  }
  EXPECT_EQ(Alpha<float>(*floatOut, 1), -0.25f);
  EXPECT_EQ(Alpha<float>(*floatOut, 2), 1.5f);
}

TEST_F(ConvertRegion, MasksAreCopiedOrFullySelected) {
  ImageRecord* masked = MakeImage(kImageModeRgb8, {0, 0, 4, 2}, StandardProfile(), true);
  Fill(masked, 9);
  ImageRecord* unmasked = MakeImage(kImageModeRgb8, {0, 0, 4, 2}, StandardProfile());
  ImageRecord* destination = MakeImage(kImageModeRgb16, {0, 0, 4, 2}, WorkingProfile(), true);
  ASSERT_TRUE(ConvertImageRegionSingleThread(*masked, masked->dataRect, destination,
                                             destination->dataRect));
  EXPECT_EQ(std::memcmp(masked->mask.data, destination->mask.data, 8), 0);
  ASSERT_TRUE(ConvertImageRegionSingleThread(*unmasked, unmasked->dataRect, destination,
                                             destination->dataRect));
  for (int i = 0; i < 8; ++i) EXPECT_EQ(static_cast<uint8_t*>(destination->mask.data)[i], 255);
}

TEST_F(ConvertRegion, FloatDestinationsGetNoNegativeColour) {
  cmsHPROFILE wideProfile = testing::WideLinearProfile();

  ImageRecord* source = MakeImage(kImageModeRgbFloat, {0, 0, 1, 1}, wideProfile);
  const float green[4] = {0.0f, 1.0f, 0.0f, 0.75f};
  std::memcpy(source->pixels.data, green, sizeof green);
  ImageRecord* destination = MakeImage(kImageModeRgbFloat, {0, 0, 1, 1}, LinearWorkingProfile());
  ASSERT_TRUE(ConvertImageRegionSingleThread(*source, source->dataRect, destination,
                                             destination->dataRect));
  const float* pixel = PixelSamples<float>(*destination, 0, 0);
  EXPECT_EQ(pixel[0], 0.0f);
  EXPECT_GT(pixel[1], 1.0f);
  EXPECT_EQ(pixel[2], 0.0f);
  EXPECT_EQ(pixel[3], 0.75f);
  ReleaseTransformCache();
  cmsCloseProfile(wideProfile);
}

TEST_F(ConvertRegion, WithoutATransformTheRunEndsWithAParameterError) {
  cmsHPROFILE lab = cmsCreateLab4Profile(nullptr);
  ImageRecord* source = MakeImage(kImageModeRgb8, {0, 0, 8, 200}, StandardProfile());
  ImageRecord* destination = MakeImage(kImageModeRgb8, {0, 0, 8, 200}, lab);
  RunStatus status;
  EXPECT_FALSE(ConvertImageRegionWithThreads(*source, source->dataRect, destination,
                                             destination->dataRect, 4, &status));
  EXPECT_EQ(status.Result(), kParamErr);
  cmsCloseProfile(lab);
}

}  // namespace
}  // namespace lumeray
