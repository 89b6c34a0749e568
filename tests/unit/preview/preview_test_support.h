// Shared set-up of the preview tests: the render tests' scene (an output image standing in for
// the InputImage, light sources in the master table) plus a preview drawing session in a bitmap
// context without a window, a host image pyramid of the scene's own background, and helpers to
// compare a frame with the final render.
#pragma once

#include <GL/glew.h>
#include <QImage>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "gl/gl_session.h"
#include "preview/proxy_layer.h"
#include "unit/effects/render_test_support.h"

namespace lumeray::testing {

class PreviewTest : public RenderTest {
 public:
  using RenderTest::Source;

 protected:
  void TearDown() override {
    EndPreview();
    for (ImageRecord& level : pyramid_) ReleaseImage(&level);
    pyramid_.clear();
    RenderTest::TearDown();
  }

  // A black opaque 8-bit scene of width x height; its pyramid is the preview's host image.
  void MakeScene(int32_t width, int32_t height) {
    MakeOutput(kImageModeRgb8, width, height);
    const ImageRect bounds{0, 0, width, height};
    for (int level = 0; level < 4; ++level) {
      const ImageRect rect = ProxyLevelBounds(bounds, level);
      ImageRecord image;
      int code = 0;
      ASSERT_TRUE(CreateImage(&image, rect, rect, kImageModeRgb8, nullptr, false, true, &code));
      std::fill_n(static_cast<uint8_t*>(image.pixels.data), image.pixels.size, 0);
      for (size_t i = 3; i < image.pixels.size; i += 4)
        static_cast<uint8_t*>(image.pixels.data)[i] = 255;
      pyramid_.push_back(image);
    }
  }

  // The smallest level that still has at least the asked scale.
  static bool PyramidSource(void* context, ImageRecord* image, ProxyScale* scale) {
    auto& levels = *static_cast<std::vector<ImageRecord>*>(context);
    const double source = levels[0].dataRect.right;
    size_t chosen = 0;
    for (size_t i = 0; i < levels.size(); ++i) {
      if (levels[i].dataRect.right / source >= scale->x - 1e-9) chosen = i;
    }
    *image = levels[chosen];
    scale->x = scale->y = levels[chosen].dataRect.right / source;
    return true;
  }

  // A drawing session of client size w x h (option 4: bitmap, no shader; option 2: every
  // facility, the software rasteriser counted as accelerated).
  bool StartPreview(int32_t w, int32_t h, int32_t option = OPTIMIZE_NONE) {
    session_ = std::make_unique<GlSession>();
    GlSessionRequest request;
    request.clientRect = {0, 0, w, h};
    request.rules.assumeAccelerated = option != OPTIMIZE_NONE;
    OpenGLSettings settings;
    settings.option = option;
    if (!StartGlSession(session_.get(), request, settings)) return false;
    const ImageRect& bounds = InputImage().bounds;
    if (!InitializeScaledProxyLayer(&layer_, session_.get(), bounds, &PyramidSource, &pyramid_))
      return false;
    layer_.effects.analysis = &Analysis();
    return true;
  }
  void EndPreview() {
    if (!session_) return;
    DestroyScaledProxyLayer(&layer_);
    EndGlSession(session_.get());
    session_.reset();
    layer_ = ProxyLayer{};
  }

  static ParameterSetBuffer PreviewSnapshot(const ParameterSet& p, int32_t w, int32_t h,
                                            double zoom, int32_t scrollX = 0, int32_t scrollY = 0) {
    PreviewViewState view{};
    view.previewRect[2] = w;
    view.previewRect[3] = h;
    view.zoom = zoom;
    view.scrollPosition[0] = scrollX;
    view.scrollPosition[1] = scrollY;
    view.previewEnabled = 1;
    return MakePreviewSnapshot(p, view);
  }

  const ScreenBitmap& Frame() const { return *session_->context.bitmap; }

  // Writes the frame as a PNG under the build's test output folder; returns the path.
  std::string SaveFrame(const char* name) const {
    const ScreenBitmap& b = Frame();
    QImage image(b.width, b.height, QImage::Format_RGB32);
    for (int32_t y = 0; y < b.height; ++y) {
      for (int32_t x = 0; x < b.width; ++x) {
        const uint8_t* p = b.PixelFromTop(x, y);
        image.setPixel(x, y, qRgb(p[2], p[1], p[0]));
      }
    }
    const std::string path = std::string(::testing::TempDir()) + name;
    image.save(QString::fromStdString(path));
    return path;
  }

  // Writes the rendered 8-bit InputImage (BGRA bytes) as a PNG beside the frames.
  static std::string SaveRender(const char* name) {
    const ImageRecord& r = InputImage();
    QImage image(static_cast<const uchar*>(r.pixels.data), r.dataWidth, r.dataHeight,
                 static_cast<qsizetype>(r.dataWidth) * 4, QImage::Format_RGB32);
    const std::string path = std::string(::testing::TempDir()) + name;
    image.save(QString::fromStdString(path));
    return path;
  }

  std::unique_ptr<GlSession> session_;
  ProxyLayer layer_;
  std::vector<ImageRecord> pyramid_;
};

// Differences of the largest channel between two pictures, sorted.
struct Difference {
  double mean = 0;
  int p99 = 0;
  int largest = 0;
};

inline Difference Summarize(std::vector<int> d) {
  Difference r;
  if (d.empty()) return r;
  std::sort(d.begin(), d.end());
  double sum = 0;
  for (int v : d) sum += v;
  r.mean = sum / d.size();
  r.p99 = d[d.size() * 99 / 100];
  r.largest = d.back();
  return r;
}

}  // namespace lumeray::testing
