// A preview frame against the final render of the same scene: the preview draws each spike as a
// rotated texture of one rasterised spike, so it is close but not identical.
#include <gtest/gtest.h>

#include "preview/effect_quads.h"
#include "unit/preview/preview_test_support.h"

namespace lumeray::testing {
namespace {

constexpr int32_t kWidth = 320;
constexpr int32_t kHeight = 240;

ParameterSet Settings() {
  ParameterSet p = kFactoryParameters;
  p.Quantity = 100;
  return p;
}

std::vector<LightSourceEntry> Scene() {
  std::vector<LightSourceEntry> sources;
  const int32_t spots[][4] = {{80, 1, 60, 2}, {200, 3, 90, 0}, {150, 0, 180, 1}, {260, 2, 200, 3}};
  uint32_t strength = 0xFFFFFFFEu;
  for (const auto& s : spots) {
    LightSourceEntry e = PreviewTest::Source(s[0], s[1], s[2], s[3]);
    e.strength = strength;
    e.red = 0x04000000u;  // four times white, tinted
    e.green = 0x03000000u;
    e.blue = 0x02000000u;
    strength = strength / 4 * 3;
    sources.push_back(e);
  }
  // A bright source the user hid: neither picture may show it.
  sources.push_back(PreviewTest::Source(40, 0, 200, 0, kLightSourceHidden));
  return sources;
}

// The largest-channel difference of every display pixel against the rendered InputImage
// (both gamma 2.2 encoded BGRA bytes); `factor` image pixels per frame pixel, averaged.
Difference CompareWithRender(const ScreenBitmap& frame, const ImageRect& display, int factor) {
  const ImageRecord& image = InputImage();
  const auto* bytes = static_cast<const uint8_t*>(image.pixels.data);
  std::vector<int> d;
  for (int32_t y = display.top; y < display.bottom; ++y) {
    for (int32_t x = display.left; x < display.right; ++x) {
      const int32_t ix = (x - display.left) * factor, iy = (y - display.top) * factor;
      if (ix + factor > kWidth || iy + factor > kHeight) continue;
      int worst = 0;
      for (int c = 0; c < 3; ++c) {
        double sum = 0;
        for (int v = 0; v < factor; ++v) {
          for (int u = 0; u < factor; ++u) {
            sum += bytes[(static_cast<size_t>(iy + v) * image.dataWidth + ix + u) * 4 + c];
          }
        }
        const int rendered = static_cast<int>(std::lround(sum / (factor * factor)));
        const int shown = frame.PixelFromTop(x, y)[c];
        worst = std::max(worst, std::abs(rendered - shown));
      }
      d.push_back(worst);
    }
  }
  return Summarize(d);
}

// The brightest byte of the frame within `radius` of the image point (x, y) at 100 %.
int BrightestNear(const ScreenBitmap& frame, const ImageRect& display, int32_t x, int32_t y,
                  int32_t radius) {
  int brightest = 0;
  for (int32_t v = y - radius; v <= y + radius; ++v) {
    for (int32_t u = x - radius; u <= x + radius; ++u) {
      const uint8_t* p = frame.PixelFromTop(display.left + u, display.top + v);
      brightest = std::max({brightest, int(p[0]), int(p[1]), int(p[2])});
    }
  }
  return brightest;
}

TEST_F(PreviewTest, FrameMatchesFinalRenderAtFullAndQuarterZoom) {
  MakeScene(kWidth, kHeight);
  SetSources(Scene());
  ASSERT_TRUE(Render(MakeFinalRenderSnapshot(Settings())));
  SaveRender("final_render.png");
  struct Case {
    int32_t option;
    double zoom;
    int factor;
    double meanLimit;
    int p99Limit;
  };
  // Composed in 8-bit linear channels, faint tails would round to 0 or 1/255 (21/255 once
  // encoded with gamma 1/2.2); in 16 bits they fade through the encoded values 1 to 20.
  const Case cases[] = {{OPTIMIZE_NONE, 100, 1, 1.0, 10},
                        {OPTIMIZE_FOR_SPEED, 100, 1, 1.0, 10},
                        {OPTIMIZE_NONE, 25, 4, 1.0, 10}};
  const ImageRecord& render = InputImage();
  int hiddenInRender = 0;
  for (int32_t y = 190; y <= 210; ++y) {
    for (int32_t x = 30; x <= 50; ++x) {
      const uint8_t* p =
          static_cast<const uint8_t*>(render.pixels.data) + (y * render.dataWidth + x) * 4;
      hiddenInRender = std::max({hiddenInRender, int(p[0]), int(p[1]), int(p[2])});
    }
  }
  EXPECT_EQ(hiddenInRender, 0);
  for (const Case& c : cases) {
    const int32_t w = kWidth + 2, h = kHeight + 2;
    ASSERT_TRUE(StartPreview(w, h, c.option));
    ASSERT_TRUE(DisplayScaledProxy(&layer_, PreviewSnapshot(Settings(), w, h, c.zoom)));
    const ImageRect display = GetProxyDisplayRectangle({0, 0, w, h}, InputImage().bounds, c.zoom);
    const Difference diff = CompareWithRender(Frame(), display, c.factor);
    RecordProperty("mean_x100_zoom" + std::to_string(int(c.zoom)), int(diff.mean * 100));
    std::printf("option %d zoom %g: mean %.3f p99 %d largest %d\n", c.option, c.zoom, diff.mean,
                diff.p99, diff.largest);
    EXPECT_LE(diff.mean, c.meanLimit) << c.option << " " << c.zoom;
    EXPECT_LE(diff.p99, c.p99Limit) << c.option << " " << c.zoom;
    if (c.zoom == 100) {
      EXPECT_EQ(BrightestNear(Frame(), display, 40, 200, 10), 0) << c.option;
    }
    if (session_->drawing.precisionFormat.internalFormat != 0) {
      int faint = 0;  // encoded values no 8-bit linear composition can give
      for (uint8_t v : Frame().bits) faint += v > 0 && v < 20;
      EXPECT_GT(faint, 100) << c.option << " " << c.zoom;
    }
    SaveFrame(("preview_option" + std::to_string(c.option) + "_zoom" + std::to_string(int(c.zoom)) +
               ".png")
                  .c_str());
    EndPreview();
  }
}

// A broad flare (long Length) is drawn at a reduced resolution and magnified: the frame stays
// within a level or two of the one drawn at full resolution, and as close to the final render.
TEST_F(PreviewTest, BroadFlareAtReducedResolutionLooksAsAtFullResolution) {
  MakeScene(kWidth, kHeight);
  SetSources(Scene());
  ParameterSet p = Settings();
  p.Length = 100;
  ASSERT_TRUE(Render(MakeFinalRenderSnapshot(p)));
  const int32_t w = kWidth + 2, h = kHeight + 2;
  const ImageRect display = GetProxyDisplayRectangle({0, 0, w, h}, InputImage().bounds, 100);
  for (const int32_t option : {OPTIMIZE_NONE, OPTIMIZE_FOR_SPEED}) {
    std::vector<uint8_t> frames[2];
    Difference toRender[2];
    for (const int most : {1, 4}) {
      ASSERT_TRUE(StartPreview(w, h, option));
      if (session_->drawing.precisionFormat.internalFormat == 0) GTEST_SKIP() << "no 16-bit frame";
      layer_.mostFlareReduction = most;
      ASSERT_TRUE(DisplayScaledProxy(&layer_, PreviewSnapshot(p, w, h, 100)));
      EXPECT_EQ(layer_.flareReduction > 1, most > 1) << option;
      frames[most > 1] = Frame().bits;
      toRender[most > 1] = CompareWithRender(Frame(), display, 1);
      if (most > 1 && option == OPTIMIZE_NONE) SaveFrame("preview_broad_flare_reduced.png");
      EndPreview();
    }
    std::vector<int> d;
    for (size_t i = 0; i < frames[0].size(); ++i)
      d.push_back(std::abs(frames[0][i] - frames[1][i]));
    const Difference between = Summarize(d);
    std::printf(
        "option %d reduced against full: mean %.3f p99 %d largest %d; against the render "
        "%.3f / %.3f\n",
        option, between.mean, between.p99, between.largest, toRender[1].mean, toRender[0].mean);
    EXPECT_LE(between.mean, 0.25) << option;
    EXPECT_LE(between.p99, 2) << option;
    EXPECT_LE(toRender[1].mean, toRender[0].mean + 0.1) << option;
  }
}

// Where the host image is transparent the frame shows a checkerboard of 8-pixel squares, one of
// them white; over an opaque image the pass is left out.
TEST_F(PreviewTest, CheckerboardOnlyWhereTheHostImageIsTransparent) {
  for (const bool transparent : {false, true}) {
    MakeScene(kWidth, kHeight);
    SetSources({Source(0, 0, 0, 0, kLightSourceHidden)});  // nothing drawn
    if (transparent) {                                     // the left half of every level
      for (ImageRecord& level : pyramid_) {
        auto* bytes = static_cast<uint8_t*>(level.pixels.data);
        for (int64_t y = 0; y < level.dataHeight; ++y) {
          for (int64_t x = 0; x < level.dataWidth / 2; ++x)
            bytes[(y * level.dataWidth + x) * 4 + 3] = 0;
        }
      }
    }
    ASSERT_TRUE(StartPreview(kWidth + 2, kHeight + 2));
    ASSERT_TRUE(
        DisplayScaledProxy(&layer_, PreviewSnapshot(Settings(), kWidth + 2, kHeight + 2, 100)));
    EXPECT_EQ(layer_.counters.checkerboards, transparent ? 1u : 0u);
    const ImageRect d =
        GetProxyDisplayRectangle({0, 0, kWidth + 2, kHeight + 2}, InputImage().bounds, 100);
    const auto grey = [&](int32_t x, int32_t y) {
      return Frame().PixelFromTop(d.left + x, d.top + y)[1];
    };
    EXPECT_EQ(grey(kWidth - 20, 20), 0) << "the opaque black right half";
    if (transparent) {
      const int a = grey(20, 20), b = grey(28, 20), c = grey(28, 28);
      EXPECT_EQ(std::max(a, b), 255);
      EXPECT_NE(a, b);
      EXPECT_EQ(a, c) << "diagonal squares alike";
      EXPECT_EQ(grey(23, 17), a) << "one square";
    }
    EndPreview();
    for (ImageRecord& level : pyramid_) ReleaseImage(&level);
    pyramid_.clear();
  }
}

}  // namespace
}  // namespace lumeray::testing
