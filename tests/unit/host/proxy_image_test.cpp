#include "preview/host_proxy_image.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>

#include "color/display_profiles.h"
#include "host/filter_run.h"
#include "host/final_render.h"
#include "host/pipeline_steps.h"
#include "run/input_image.h"
#include "unit/color/color_test_support.h"

namespace lumeray {
namespace {

// A 24-bit linear value as a 16-bit sample of gamma 1.0: the sample whose decoded value,
// round(s / 65535 x 0xFFFFFF), is nearest (the darker of two equally near).
uint16_t Linear16(uint32_t value) {
  if (value >= kFullIntensity) return 65535;
  const auto decoded = [](double s) { return std::nearbyint(s / 65535.0 * kFullIntensity); };
  const double below = std::floor(value * 65535.0 / kFullIntensity);
  const bool up = decoded(below + 1) - value < value - decoded(below);
  return static_cast<uint16_t>(up ? below + 1 : below);
}

int resamplePolls = 0;
bool StopAtSecondPoll(const void*) {
  return ++resamplePolls >= 2;
}

bool SameRect(const ImageRect& a, const ImageRect& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

TEST(ProxyLevelBounds, EachCoordinateIsHalvedDownToOnePixel) {
  const ImageRect image{0, 0, 5, 3};
  EXPECT_TRUE(SameRect(ProxyLevelBounds(image, 0), image));
  EXPECT_TRUE(SameRect(ProxyLevelBounds(image, 1), {0, 0, 2, 1}));
  for (int level = 2; level < kHostProxyLevels; ++level) {
    EXPECT_TRUE(SameRect(ProxyLevelBounds(image, level), {0, 0, 1, 1})) << level;
  }
  // Each coordinate on its own, not the width: 3..13 (10 wide) becomes 1..6 (5 wide), then 0..3.
  EXPECT_TRUE(SameRect(ProxyLevelBounds({3, 5, 13, 11}, 1), {1, 2, 6, 5}));
  EXPECT_TRUE(SameRect(ProxyLevelBounds({3, 5, 13, 11}, 2), {0, 1, 3, 2}));
  // Truncation goes toward zero on both sides of it.
  EXPECT_TRUE(SameRect(ProxyLevelBounds({-5, -3, 5, 3}, 1), {-2, -1, 2, 1}));
  // An empty extent becomes one pixel from the left or top edge.
  EXPECT_TRUE(SameRect(ProxyLevelBounds({9, 0, 15, 1}, 3), {1, 0, 2, 1}));
}

class HostProxy : public testing::ColorTest {
 protected:
  void SetUp() override {
    ColorTest::SetUp();
    BeginFilterRun();
    // Without a display the display profile is the standard one.
    if (const char* display = std::getenv("DISPLAY")) savedDisplay_ = display;
    unsetenv("DISPLAY");
    ASSERT_TRUE(SetUpColorManagement());
  }
  void TearDown() override {
    ReleaseHostProxyImage(Pyramid());
    ReleaseImage(&InputImage());
    if (!savedDisplay_.empty()) setenv("DISPLAY", savedDisplay_.c_str(), 1);
    EndFilterRun();
    ColorTest::TearDown();
  }
  void MakeInput(const ImageRect& bounds, uint32_t seed) {
    int result = -1;
    ASSERT_TRUE(CreateImage(&InputImage(), bounds, bounds, kImageModeRgb16, HostProfile(), false,
                            false, &result));
    std::mt19937 random(seed);
    auto* samples = static_cast<uint16_t*>(InputImage().pixels.data);
    for (uint64_t i = 0; i < InputImage().pixels.size / 2; ++i) {
      samples[i] = static_cast<uint16_t>(random());
    }
  }
  static void Count(void* context, uint32_t levels) { *static_cast<uint32_t*>(context) += levels; }

  static HostProxyPyramid& Pyramid() { return ActiveFilterRun().preview.pyramid; }

  std::string savedDisplay_;
  uint32_t progress_ = 0;
  HostProxyBuildOptions Options(bool sixteenBit = false) {
    return {sixteenBit, &HostProxy::Count, &progress_};
  }
};

TEST_F(HostProxy, SixteenLevelsWithTheirScales) {
  MakeInput({0, 0, 40, 24}, 1);
  ASSERT_TRUE(BuildHostProxyImage(Pyramid(), Options()));
  EXPECT_TRUE(HostProxyImageRendered(Pyramid()));
  EXPECT_EQ(progress_, 16u);

  const int widths[] = {40, 20, 10, 5, 2, 1, 1};
  const int heights[] = {24, 12, 6, 3, 1, 1, 1};
  for (int level = 0; level < kHostProxyLevels; ++level) {
    const ImageRecord& image = HostProxyLevelImage(Pyramid(), level);
    const int i = level < 6 ? level : 6;
    EXPECT_EQ(image.boundsWidth, widths[i]) << level;
    EXPECT_EQ(image.boundsHeight, heights[i]) << level;
    EXPECT_EQ(image.mode, kImageModeRgb8);
    EXPECT_EQ(image.gamma, 1.0);
    EXPECT_EQ(image.profile, GetDisplayProfile());
    EXPECT_DOUBLE_EQ(HostProxyLevelScale(Pyramid(), level).x, widths[i] / 40.0);
    EXPECT_DOUBLE_EQ(HostProxyLevelScale(Pyramid(), level).y, heights[i] / 24.0);
  }

  // Built already: only the progress moves.
  EXPECT_TRUE(BuildHostProxyImage(Pyramid(), Options()));
  EXPECT_EQ(progress_, 32u);
}

TEST_F(HostProxy, LevelZeroIsTheInputInDisplayColoursAndLinearLight) {
  MakeInput({0, 0, 16, 8}, 2);
  ASSERT_TRUE(BuildHostProxyImage(Pyramid(), Options(true)));
  const ImageRecord& base = HostProxyLevelImage(Pyramid(), 0);
  EXPECT_EQ(base.mode, kImageModeRgb16);
  // The host's sRGB and the display's (sRGB here) are the same colours: what is left is the
  // linearisation, to within the precalculated transform's error.
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 16; ++x) {
      const uint16_t* in = PixelSamples<uint16_t>(InputImage(), x, y);
      const uint16_t* out = PixelSamples<uint16_t>(base, x, y);
      for (int c = 0; c < 3; ++c) {
        EXPECT_NEAR(out[c], std::pow(in[c] / 65535.0, 2.2) * 65535.0, 40.0) << x << "," << y;
      }
      EXPECT_EQ(out[3], in[3]);
    }
  }
}

TEST_F(HostProxy, ReductionsAverageTheirBlocks) {
  MakeInput({0, 0, 40, 24}, 3);
  ASSERT_TRUE(BuildHostProxyImage(Pyramid(), Options(true)));
  const auto fetch = [](const ImageRecord& image, int x, int y) {
    WorkingPixel pixel;
    image.fetch(&image, &pixel, x, y);
    return pixel;
  };

  // 40 x 24 to 20 x 12: exact 2 x 2 blocks, each value divided by 4 before adding.
  const ImageRecord& big = HostProxyLevelImage(Pyramid(), 0);
  const ImageRecord& half = HostProxyLevelImage(Pyramid(), 1);
  for (int y = 0; y < 12; ++y) {
    for (int x = 0; x < 20; ++x) {
      uint32_t red = 0;
      for (int dy = 0; dy < 2; ++dy) {
        for (int dx = 0; dx < 2; ++dx) red += fetch(big, 2 * x + dx, 2 * y + dy).red >> 2;
      }
      EXPECT_EQ(PixelSamples<uint16_t>(half, x, y)[0], Linear16(red)) << x << "," << y;
    }
  }

  // 5 x 3 to 2 x 1: blocks of 3 x 3 starting at columns 0 and 2, truncated means.
  const ImageRecord& level3 = HostProxyLevelImage(Pyramid(), 3);
  const ImageRecord& level4 = HostProxyLevelImage(Pyramid(), 4);
  ASSERT_EQ(level3.boundsWidth, 5);
  ASSERT_EQ(level4.boundsWidth, 2);
  for (int x = 0; x < 2; ++x) {
    uint64_t green = 0;
    for (int sy = 0; sy < 3; ++sy) {
      for (int sx = 2 * x; sx < 2 * x + 3; ++sx) green += fetch(level3, sx, sy).green;
    }
    EXPECT_EQ(PixelSamples<uint16_t>(level4, x, 0)[1], Linear16(static_cast<uint32_t>(green / 9)))
        << x;
  }
}

TEST_F(HostProxy, TheLevelForAScaleIsTheSmallestNotBelowIt) {
  ImageRecord image;
  ProxyScale scale{1.0, 1.0};
  EXPECT_FALSE(GetHostProxyImageInfo(Pyramid(), &image, &scale)) << "not built yet";

  MakeInput({0, 0, 40, 24}, 4);
  ASSERT_TRUE(BuildHostProxyImage(Pyramid(), Options()));
  EXPECT_FALSE(GetHostProxyImageInfo(Pyramid(), nullptr, &scale));
  EXPECT_FALSE(GetHostProxyImageInfo(Pyramid(), &image, nullptr));

  struct Case {
    ProxyScale request;
    int level;
  };
  for (const Case& c : {Case{{1.0, 1.0}, 0}, Case{{0.6, 0.6}, 0}, Case{{0.5, 0.5}, 1},
                        Case{{0.3, 0.3}, 1}, Case{{0.5, 0.2}, 1}, Case{{0.2, 0.5}, 1},
                        Case{{0.25, 0.25}, 2}, Case{{0.001, 0.001}, 15}}) {
    scale = c.request;
    ASSERT_TRUE(GetHostProxyImageInfo(Pyramid(), &image, &scale));
    EXPECT_EQ(image.pixels.data, HostProxyLevelImage(Pyramid(), c.level).pixels.data)
        << c.request.x << "," << c.request.y;
    EXPECT_EQ(scale.x, HostProxyLevelScale(Pyramid(), c.level).x);
    EXPECT_EQ(scale.y, HostProxyLevelScale(Pyramid(), c.level).y);
  }
}

TEST_F(HostProxy, AnotherMonitorOrAnotherRunMeansBuildingAgain) {
  MakeInput({0, 0, 8, 8}, 5);
  ParameterSetBuffer snapshot{};
  snapshot.view.monitor = MonitorOfNumber(0);
  HandInPreviewSnapshot(Pyramid(), snapshot);
  ASSERT_TRUE(BuildHostProxyImage(Pyramid(), Options()));

  snapshot.sequenceNumber = 7;
  HandInPreviewSnapshot(Pyramid(), snapshot);
  EXPECT_TRUE(HostProxyImageRendered(Pyramid()));
  EXPECT_EQ(CurrentPreviewSnapshot(Pyramid()).sequenceNumber, 7u);

  snapshot.view.monitor = MonitorOfNumber(1);
  HandInPreviewSnapshot(Pyramid(), snapshot);
  EXPECT_FALSE(HostProxyImageRendered(Pyramid()));
  ASSERT_TRUE(BuildHostProxyImage(Pyramid(), Options()));

  ReleaseGammaTableCache();  // the end of a run
  EXPECT_FALSE(HostProxyImageRendered(Pyramid()));
  ASSERT_TRUE(BuildHostProxyImage(Pyramid(), Options()));
  ReleaseColorManagement();
  ASSERT_TRUE(SetUpColorManagement());  // the next run
  EXPECT_FALSE(HostProxyImageRendered(Pyramid()));
}

TEST_F(HostProxy, TheRenderAbortStopsTheBuild) {
  MakeInput({0, 0, 8, 8}, 6);
  RequestRenderAbort();
  EXPECT_FALSE(BuildHostProxyImage(Pyramid(), Options()));
  EXPECT_FALSE(HostProxyImageRendered(Pyramid()));
  EXPECT_EQ(progress_, 0u);

  ClearRenderAbort();
  ASSERT_TRUE(BuildHostProxyImage(Pyramid(), Options()));
  resamplePolls = 0;
  EXPECT_FALSE(Resample(HostProxyLevelImage(Pyramid(), 0),
                        const_cast<ImageRecord*>(&HostProxyLevelImage(Pyramid(), 1)),
                        &StopAtSecondPoll));
  EXPECT_EQ(resamplePolls, 2);  // once per row: stopped after the second
}

}  // namespace
}  // namespace lumeray
