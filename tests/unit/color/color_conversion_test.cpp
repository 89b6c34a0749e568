// Conversions checked against Little CMS's own calculator, transicc (color_test_support.h).
// transicc converts in double precision; the module's 8-bit and 16-bit transforms are
// precalculated tables, which may differ from it by up to one unit in 8 bits and
// kSixteenBitTolerance units in 16 bits on these conversions.
#include "color/color_conversion.h"

#include <gtest/gtest.h>
#include <lcms2.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <vector>

#include "color/transform_cache.h"
#include "color_test_support.h"
#include "image/image_modes.h"

namespace lumeray {
namespace {

constexpr double kSixteenBitTolerance = 16.0;
constexpr const char* kNoTransicc = "transicc (liblcms2-utils) is not installed";

class ColorConversion : public testing::ColorTest {
 protected:
  void SetUp() override {
    ColorTest::SetUp();
    ASSERT_TRUE(InitializeColorManagement());
  }
};

TEST_F(ColorConversion, SixteenBitRgbToLinearWorking) {
  if (!TransiccAvailable()) GTEST_SKIP() << kNoTransicc;
  const std::string linear = SaveProfile(LinearWorkingProfile(), "linear.icc");
  const uint16_t colors[6][3] = {{0, 0, 0},
                                 {65535, 65535, 65535},
                                 {32768, 16384, 49152},
                                 {1000, 30000, 60000},
                                 {51400, 2570, 23130},
                                 {65535, 0, 0}};
  ImageRecord* image = MakeImage(kImageModeRgb16, {0, 0, 6, 1}, StandardProfile());
  std::vector<std::vector<double>> inputs;
  for (int x = 0; x < 6; ++x) {
    uint16_t* pixel = PixelSamples<uint16_t>(*image, x, 0);
    std::memcpy(pixel, colors[x], sizeof colors[x]);
    pixel[3] = static_cast<uint16_t>(1234 * x);
    inputs.push_back({pixel[0] / 257.0, pixel[1] / 257.0, pixel[2] / 257.0});
  }
  ASSERT_TRUE(ConvertColorOf(image, LinearWorkingProfile()));
  const auto expected = Transicc("*sRGB", linear, true, inputs);
  ASSERT_EQ(expected.size(), 6u);
  for (size_t x = 0; x < 6; ++x) {
    const uint16_t* pixel = PixelSamples<uint16_t>(*image, static_cast<int32_t>(x), 0);
    for (size_t c = 0; c < 3; ++c) EXPECT_NEAR(pixel[c], expected[x][c], kSixteenBitTolerance);
    EXPECT_EQ(pixel[3], 1234 * x);  // alpha untouched
  }
  EXPECT_EQ(image->profile, LinearWorkingProfile());
  EXPECT_EQ(image->gamma, 1.0);
  EXPECT_EQ(image->gammaTables.decode16, GetGammaTables(1.0).decode16);
}

TEST_F(ColorConversion, EightBitBgraFromWorkingToStandard) {
  if (!TransiccAvailable()) GTEST_SKIP() << kNoTransicc;
  const std::string working = SaveProfile(WorkingProfile(), "working.icc");
  ImageRecord* image = MakeImage(kImageModeRgb8, {0, 0, 4, 2}, WorkingProfile());
  ASSERT_EQ(GetImageColorTransform(image), static_cast<uint32_t>(TYPE_BGRA_8));
  const uint8_t rgb[4][3] = {{255, 128, 0}, {10, 20, 30}, {200, 200, 200}, {0, 255, 64}};
  std::vector<std::vector<double>> inputs;
  for (int x = 0; x < 4; ++x) {
    uint8_t* pixel = PixelSamples<uint8_t>(*image, x, 1);
    const uint8_t bgra[4] = {rgb[x][2], rgb[x][1], rgb[x][0], 99};
    std::memcpy(pixel, bgra, 4);
    inputs.push_back({1.0 * rgb[x][0], 1.0 * rgb[x][1], 1.0 * rgb[x][2]});
  }
  ASSERT_TRUE(ConvertColorOf(image, StandardProfile()));
  const auto expected = Transicc(working, "*sRGB", false, inputs);
  ASSERT_EQ(expected.size(), 4u);
  for (size_t x = 0; x < 4; ++x) {
    const uint8_t* pixel = PixelSamples<uint8_t>(*image, static_cast<int32_t>(x), 1);
    for (size_t c = 0; c < 3; ++c) EXPECT_NEAR(pixel[2 - c], expected[x][c], 1.0) << x;
    EXPECT_EQ(pixel[3], 99);
  }
}

TEST_F(ColorConversion, AGreyRunConvertsGreyInRgbaOut) {
  if (!TransiccAvailable()) GTEST_SKIP() << kNoTransicc;
  ReleaseColorManagement();
  testing::ProfileHandingHost host({}, kModeGray16);
  ASSERT_TRUE(InitializeColorManagement());
  const std::string grey = SaveProfile(HostProfile(), "grey.icc");
  const std::string linear = SaveProfile(LinearWorkingProfile(), "linear.icc");

  ImageRecord* image = MakeImage(kImageModeGray16, {0, 0, 5, 1}, HostProfile());
  const uint16_t values[5] = {0, 4000, 20000, 45000, 65535};
  std::vector<std::vector<double>> inputs;
  for (int x = 0; x < 5; ++x) {
    const uint16_t pixel[4] = {values[x], values[x], values[x], 500};
    std::memcpy(PixelSamples<uint16_t>(*image, x, 0), pixel, sizeof pixel);
    inputs.push_back({values[x] / 257.0});
  }
  ASSERT_TRUE(ConvertColorOf(image, LinearWorkingProfile()));
  const auto expected = Transicc(grey, linear, true, inputs);
  ASSERT_EQ(expected.size(), 5u);
  for (size_t x = 0; x < 5; ++x) {
    const uint16_t* pixel = PixelSamples<uint16_t>(*image, static_cast<int32_t>(x), 0);
    ASSERT_EQ(expected[x].size(), 3u);
    for (size_t c = 0; c < 3; ++c) EXPECT_NEAR(pixel[c], expected[x][c], kSixteenBitTolerance) << x;
    EXPECT_EQ(pixel[3], 500);
  }
}

// Black pixels (colour samples all 0, +0.0 for floats) and pixels repeating their left
// neighbour's colour take shortcuts past the transform: every pixel must still come out as the
// transform makes it on its own, at the ends of runs and rows too, float colour clamped at 0 and
// alpha kept (even outside 0..1), when row bands are converted apart and in any order.
template <typename Sample>
void ExpectRowsConvertAsPixelByPixel(ImageRecord* image, ProfileHandle source,
                                     const std::vector<std::array<Sample, 4>>& input) {
  const auto width = static_cast<int32_t>(input.size());
  const uint32_t format = GetImageColorTransform(image);
  const ColorTransform transform =
      GetColorTransform(source, format, LinearWorkingProfile(), format);
  ASSERT_TRUE(transform);
  std::vector<std::array<Sample, 4>> expected = input;
  for (size_t x = 0; x < expected.size(); ++x) {
    cmsDoTransform(transform.get(), expected[x].data(), expected[x].data(), 1);
    for (int c = 0; c < 3; ++c) expected[x][c] = std::max(expected[x][c], Sample{0});
    expected[x][3] = input[x][3];
  }
  for (int32_t y = 0; y < 2; ++y) {
    for (int32_t x = 0; x < width; ++x)
      std::memcpy(PixelSamples<Sample>(*image, x, y), &input[x], sizeof input[x]);
  }
  const ColorTransform pieces = ImageConversionTransform(*image, LinearWorkingProfile());
  ConvertColorRows(pieces, image, 1, 2);
  ConvertColorRows(pieces, image, 0, 1);
  for (int32_t y = 0; y < 2; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      const Sample* pixel = PixelSamples<Sample>(*image, x, y);
      for (int c = 0; c < 4; ++c) EXPECT_EQ(pixel[c], expected[x][c]) << x << "," << y << "," << c;
    }
  }
}

TEST_F(ColorConversion, RowsWithBlackPixelsConvertAsPixelByPixel) {
  cmsHPROFILE wide = testing::WideLinearProfile();
  ExpectRowsConvertAsPixelByPixel<float>(MakeImage(kImageModeRgbFloat, {0, 0, 12, 2}, wide), wide,
                                         {{0, 0, 0, 0.25f},
                                          {0, 0, 0, 0.5f},
                                          {0.2f, 0.4f, 0.6f, 1},
                                          {0.2f, 0.4f, 0.6f, 0.5f},
                                          {0.2f, 0.4f, 0.6f, 1},
                                          {0.9f, 0, 0, -0.5f},
                                          {-0.9f, 0, 0, 1},
                                          {0, 0, 0, 0.75f},
                                          {-0.0f, 0, 0, 1},
                                          {0, 0, 0.3f, 1.5f},
                                          {0, 0, 0, 1},
                                          {0, 0, 0, 1}});
  ExpectRowsConvertAsPixelByPixel<uint16_t>(
      MakeImage(kImageModeRgb16, {0, 0, 10, 2}, StandardProfile()), StandardProfile(),
      {{0, 0, 0, 100},
       {9000, 30000, 60000, 65535},
       {9000, 30000, 60000, 1},
       {9000, 30000, 60001, 1},
       {0, 0, 0, 7},
       {0, 0, 20000, 300},
       {0, 0, 20000, 300},
       {51400, 0, 0, 0},
       {0, 0, 0, 65535},
       {51400, 0, 0, 0}});
  ExpectRowsConvertAsPixelByPixel<uint8_t>(
      MakeImage(kImageModeRgb8, {0, 0, 8, 2}, StandardProfile()), StandardProfile(),
      {{0, 0, 0, 10},
       {40, 120, 250, 255},
       {40, 120, 250, 0},
       {40, 120, 250, 9},
       {0, 0, 0, 70},
       {0, 90, 0, 3},
       {200, 0, 0, 0},
       {0, 0, 0, 255}});
  cmsCloseProfile(wide);
}

// Integer colour pixels reach Little CMS a stretch at a time without their alpha: rows longer
// than a stretch, in both sample orders, must still convert as pixel by pixel.
TEST_F(ColorConversion, LongRowsConvertAsPixelByPixel) {
  constexpr int32_t kWidth = 700;
  std::vector<std::array<uint16_t, 4>> deep;
  std::vector<std::array<uint8_t, 4>> shallow;
  uint32_t state = 12345;
  const auto next = [&state] { return state = state * 1664525u + 1013904223u; };
  for (int32_t x = 0; x < kWidth; ++x) {
    const uint32_t r = next();
    const bool black = x == 5 || x == 650;
    deep.push_back({static_cast<uint16_t>(black ? 0 : r), static_cast<uint16_t>(black ? 0 : r >> 8),
                    static_cast<uint16_t>(black ? 0 : r >> 16), static_cast<uint16_t>(x)});
    shallow.push_back({static_cast<uint8_t>(black ? 0 : r),
                       static_cast<uint8_t>(black ? 0 : r >> 8),
                       static_cast<uint8_t>(black ? 0 : r >> 16), static_cast<uint8_t>(x)});
  }
  ExpectRowsConvertAsPixelByPixel<uint16_t>(
      MakeImage(kImageModeRgb16, {0, 0, kWidth, 2}, StandardProfile()), StandardProfile(), deep);
  for (const uint32_t layout : {kGlBgra, kGlRgba}) {
    ImageRecord* image = MakeImage(kImageModeRgb8, {0, 0, kWidth, 2}, StandardProfile());
    image->glPixelFormat = layout;
    ExpectRowsConvertAsPixelByPixel<uint8_t>(image, StandardProfile(), shallow);
  }
}

TEST_F(ColorConversion, ImageGammaIsTheEstimateToTheNearestTwentieth) {
  for (const auto& [gamma, rounded] : {std::pair{1.77, 1.75}, std::pair{2.19, 2.2}}) {
    cmsHPROFILE profile = testing::PowerCurveProfile(gamma);
    ImageRecord* image = MakeImage(kImageModeRgb16, {0, 0, 2, 2}, StandardProfile());
    ASSERT_TRUE(ConvertColorOf(image, profile));
    EXPECT_DOUBLE_EQ(image->gamma, rounded) << gamma;
    EXPECT_EQ(image->gammaTables.encode16, GetGammaTables(rounded).encode16);
    ReleaseImage(image);
    ReleaseColorManagement();  // the transforms and estimates of this profile go with it
    cmsCloseProfile(profile);
    ASSERT_TRUE(InitializeColorManagement());
  }
}

TEST_F(ColorConversion, DisplayColoursEndInLinearLightOfTheDisplay) {
  if (!TransiccAvailable()) GTEST_SKIP() << kNoTransicc;
  const std::string linear = SaveProfile(LinearWorkingProfile(), "linear.icc");
  const uint32_t colors[3][3] = {{0xFFFF0000u, 0x80000000u, 0x0000FFFFu},
                                 {0x12340000u, 0xABCD0000u, 0x55550000u},
                                 {0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu}};
  std::vector<std::vector<double>> inputs;
  for (const auto& color : colors) {
    inputs.push_back(
        {(color[0] >> 16) / 257.0, (color[1] >> 16) / 257.0, (color[2] >> 16) / 257.0});
  }
  const auto displayed = Transicc(linear, "*sRGB", true, inputs);
  ASSERT_EQ(displayed.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    uint32_t color[3] = {colors[i][0], colors[i][1], colors[i][2]};
    ASSERT_TRUE(ConvertColorToDisplay(color, LinearWorkingProfile(), StandardProfile()));
    for (size_t c = 0; c < 3; ++c) {
      // The power's slope is at most 2.2: a transform's difference grows by as much.
      const double expected = std::pow(displayed[i][c] / 65535.0, 2.2) * 65535.0;
      EXPECT_NEAR(color[c] >> 16, expected, 2.2 * kSixteenBitTolerance + 0.5) << i << "," << c;
      EXPECT_EQ(color[c] & 0xFFFF, 0u);
    }
  }
}

TEST_F(ColorConversion, WithoutATransformTheImageStaysAsItWas) {
  cmsHPROFILE lab = cmsCreateLab4Profile(nullptr);
  ImageRecord* image = MakeImage(kImageModeRgb8, {0, 0, 3, 3}, StandardProfile());
  std::memset(image->pixels.data, 0x5A, image->pixels.size);
  EXPECT_FALSE(ConvertColorOf(image, lab));
  for (uint64_t i = 0; i < image->pixels.size; ++i) {
    ASSERT_EQ(static_cast<uint8_t*>(image->pixels.data)[i], 0x5A);
  }
  EXPECT_EQ(image->profile, StandardProfile());
  EXPECT_EQ(LogCount("'Debug: Unexpected error' - 'ConvertColorOf() - Could not get color "
                     "transform.'"),
            1);
  cmsCloseProfile(lab);
}

}  // namespace
}  // namespace lumeray
