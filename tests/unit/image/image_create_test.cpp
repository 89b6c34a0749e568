#include "image/image_create.h"

#include <gtest/gtest.h>

#include <limits>

#include "image/gamma_tables.h"
#include "image/image_modes.h"
#include "image_test_support.h"

namespace lumeray::testing {
namespace {

struct ModeFields {
  int32_t mode;
  int64_t bytesPerSample;
  uint32_t glType;
  uint32_t glFormat;
  uint32_t colorFormat;
};

TEST_F(ImageTest, RecordFieldsFollowTheMode) {
  const ModeFields table[] = {
      {kImageModeGray8, 1, 0x1401, 0x80E1, 197001},
      {kImageModeRgb8, 1, 0x1401, 0x80E1, 0x44499},  // TYPE_BGRA_8
      {kImageModeGray16, 2, 0x1403, 0x1908, 197002},
      {kImageModeRgb16, 2, 0x1403, 0x1908, 0x4009A},      // TYPE_RGBA_16
      {kImageModeRgbFloat, 4, 0x1406, 0x1908, 0x44009C},  // TYPE_RGBA_FLT
      {kImageModeGrayFloat, 4, 0x1406, 0x1908, 4391308},
      {kImageModeWorkingRgb, 4, 0x1405, 0x1908, 0},  // no colour engine format
  };
  const double gamma = 1.8;
  for (const ModeFields& m : table) {
    SCOPED_TRACE(m.mode);
    ImageRecord* image = MakeImage(m.mode, {-2, 3, 8, 7}, gamma, true, false);
    EXPECT_EQ(image->bytesPerSample, m.bytesPerSample);
    EXPECT_EQ(image->samplesPerPixel, 4);
    EXPECT_EQ(image->glPixelType, m.glType);
    EXPECT_EQ(image->glPixelFormat, m.glFormat);
    EXPECT_EQ(GetImageColorTransform(image), m.colorFormat);
    EXPECT_EQ(image->dataWidth, 10);
    EXPECT_EQ(image->dataHeight, 4);
    EXPECT_EQ(image->boundsWidth, 10);
    EXPECT_EQ(image->pixels.size, uint64_t(5 * 10 * 4 * m.bytesPerSample));  // one spare row
    EXPECT_EQ(image->mask.size, 5u * 10u);
    EXPECT_EQ(image->gamma, 1.8);
    EXPECT_EQ(image->edgeSafe, 0);
  }
  ImageRecord* rgba = MakeImage(kImageModeRgb8, {0, 0, 1, 1}, gamma);
  rgba->glPixelFormat = kGlRgba;
  EXPECT_EQ(GetImageColorTransform(rgba), 0x40099u);  // TYPE_RGBA_8
}

// Sizes no allocator can meet fail with its out-of-memory code; empty rectangles succeed. Either
// way the image reads zeros and writes nothing.
TEST_F(ImageTest, UnusableSizesGiveInertImages) {
  const double gamma = 2.2;
  const int32_t lo = std::numeric_limits<int32_t>::min(), hi = std::numeric_limits<int32_t>::max();
  const ImageRect absurd[] = {
      {lo, lo, hi, hi},          // 2^64 bytes and more
      {0, 0, 1 << 20, 1 << 20},  // terabytes
      {10, 10, 0, 0},            // inverted: negative extents
      {10, 0, 0, 1 << 20},       // inverted width only
      {0, 1, 4, 0},              // inverted by one row
  };
  const ImageRect empty[] = {{5, 5, 5, 9}, {0, 3, 7, 3}};
  const uint64_t before = GetBufferUsage().current;
  for (const ImageRect& rect : absurd) {
    ImageRecord image;
    int result = 0;
    EXPECT_FALSE(
        CreateImage(&image, rect, rect, kImageModeRgb16, TestProfile(gamma), true, true, &result));
    EXPECT_EQ(result, -108);
    EXPECT_EQ(image.pixels.data, nullptr);
    WorkingPixel p{1, 1, 1, 1, 1};
    image.fetch(&image, &p, 0, 0);
    EXPECT_EQ(p.red, 0u);
    image.store(&image, &p, 0, 0);
    ReleaseImage(&image);
  }
  for (const ImageRect& rect : empty) {
    ImageRecord image;
    int result = -1;
    EXPECT_TRUE(
        CreateImage(&image, rect, rect, kImageModeRgb8, TestProfile(gamma), true, true, &result));
    EXPECT_EQ(result, 0);
    WorkingPixel p{1, 1, 1, 1, 1};
    image.fetch(&image, &p, rect.left, rect.top);
    EXPECT_EQ(p.alpha, 0u);
    image.store(&image, &p, rect.left, rect.top);
    ReleaseImage(&image);
  }
  ReleaseGammaTables();
  EXPECT_EQ(GetBufferUsage().current, before);
}

// Band images are made again and again in the same record: a large enough pixel buffer is kept,
// and a mask is dropped when the new image has none.
TEST_F(ImageTest, RecreationReusesBuffersAndDropsTheMask) {
  const double gamma = 2.2;
  ImageRecord* image = MakeImage(kImageModeRgb8, {0, 0, 100, 100}, gamma, true);
  const void* pixels = image->pixels.data;
  const uint64_t used = GetBufferUsage().current;
  int result = -1;
  ASSERT_TRUE(CreateImage(image, {0, 0, 10, 10}, {0, 0, 10, 10}, kImageModeRgb8, TestProfile(gamma),
                          false, true, &result));
  EXPECT_EQ(image->pixels.data, pixels);
  EXPECT_EQ(image->mask.data, nullptr);
  EXPECT_EQ(GetBufferUsage().current, used - 101 * 100);
  WorkingPixel p;
  image->fetch(image, &p, 3, 3);
  EXPECT_EQ(p.mask, 0xFFFFFFFEu);

  ReleaseImage(image);
  EXPECT_EQ(image->pixels.data, nullptr);
  EXPECT_EQ(image->fetch, nullptr);
  EXPECT_EQ(GetBufferUsage().current, used - 101 * 100 - 101 * 100 * 4);
}

TEST_F(ImageTest, ReprofilingChangesTablesAndConverters) {
  const double gamma = 2.2;
  ImageRecord* image = MakeImage(kImageModeRgb16, {0, 0, 2, 2}, gamma);
  static_cast<uint16_t*>(image->pixels.data)[0] = 32768;
  ASSERT_TRUE(SetImageProfile(image, nullptr, 1.02));
  EXPECT_EQ(image->gamma, 1.0);
  EXPECT_EQ(image->profile, nullptr);
  WorkingPixel p;
  image->fetch(image, &p, 0, 0);
  EXPECT_EQ(p.red, 32768u * 256u + 128u);  // round(32768 / 65535 * 0xFFFFFF)
}

TEST(ImageModesTest, BytesPerSampleByModeRange) {
  for (int32_t mode = 0; mode <= 9; ++mode) EXPECT_EQ(BytesPerSampleOfMode(mode), 1) << mode;
  for (int32_t mode = 10; mode <= 15; ++mode) EXPECT_EQ(BytesPerSampleOfMode(mode), 2) << mode;
  for (int32_t mode : {16, 17, 64}) EXPECT_EQ(BytesPerSampleOfMode(mode), 4) << mode;
  for (int32_t mode : {-1, 18, 63, 65}) {
    EXPECT_EQ(BytesPerSampleOfMode(mode), 1) << mode;  // reported, counts 1
    EXPECT_EQ(LookUpBytesPerSample(mode), 0) << mode;
  }
}

}  // namespace
}  // namespace lumeray::testing
