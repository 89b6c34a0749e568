// The OpenGL engine on the machine's EGL driver (Mesa's software rasteriser here): uploading the
// preview pyramid of a 24-megapixel image (6000 x 4000, 8-bit) as texture sets, one per level,
// and drawing a full 1280 x 800 frame of it in a bitmap context with the read-back into the
// screen bitmap. Both in drawing option 2 (buffer objects, shader) and option 4 (none).
#include <benchmark/benchmark.h>

#include <GL/glew.h>

#include <memory>
#include <vector>

#include "gl/gl_session.h"
#include "image/image_create.h"
#include "preview/host_proxy_image.h"

namespace lumeray {
namespace {

constexpr int32_t kWidth = 6000;
constexpr int32_t kHeight = 4000;
constexpr int32_t kFrameWidth = 1280;
constexpr int32_t kFrameHeight = 800;

// The pyramid of a noisy 24-megapixel image, made once.
struct Pyramid {
  std::vector<ImageRecord> levels;
  Pyramid() {
    const ImageRect bounds = {0, 0, kWidth, kHeight};
    for (int level = 0; level < kHostProxyLevels; ++level) {
      const ImageRect rect = ProxyLevelBounds(bounds, level);
      ImageRecord image;
      int code = 0;
      if (!CreateImage(&image, rect, rect, kImageModeRgb8, nullptr, false, true, &code)) break;
      if (level == 0) {
        auto* bytes = static_cast<uint8_t*>(image.pixels.data);
        uint32_t state = 12345;
        for (int64_t i = 0; i < image.dataWidth * image.dataHeight * 4; ++i) {
          state = state * 1664525u + 1013904223u;
          bytes[i] = static_cast<uint8_t>(state >> 24);
        }
      } else {
        Resample(levels.back(), &image, nullptr);
      }
      levels.push_back(image);
    }
  }
};

const Pyramid& SharedPyramid() {
  static const Pyramid* pyramid = new Pyramid;
  return *pyramid;
}

bool Start(GlSession* session, int32_t option, int32_t width, int32_t height) {
  GlSessionRequest request;
  request.clientRect = {0, 0, width, height};
  request.rules.assumeAccelerated = option != OPTIMIZE_NONE;
  OpenGLSettings settings;
  settings.option = option;
  return StartGlSession(session, request, settings);
}

void BM_UploadProxyPyramid(benchmark::State& state) {
  const Pyramid& pyramid = SharedPyramid();
  auto session = std::make_unique<GlSession>();
  if (!Start(session.get(), static_cast<int32_t>(state.range(0)), 64, 64)) {
    state.SkipWithError("no OpenGL context");
    return;
  }
  std::vector<TextureSet> sets(pyramid.levels.size());
  for (TextureSet& set : sets) CreateTextureSetResources(session->engine, kHostImageSet, &set);
  int64_t pixels = 0;
  for (auto _ : state) {
    for (size_t level = 0; level < sets.size(); ++level) {
      const ImageRecord& image = pyramid.levels[level];
      const ImageRect rect = {0, 0, image.dataRect.right, image.dataRect.bottom};
      CreateTextureSetFromImage(session->engine, rect, &sets[level], image, 1.0, 1.0, 0, 0, 1.0);
      pixels += image.dataWidth * image.dataHeight;
    }
    glFinish();
  }
  state.counters["Mpx/s"] =
      benchmark::Counter(static_cast<double>(pixels) / 1e6, benchmark::Counter::kIsRate);
  for (TextureSet& set : sets) DestroyTextureSet(&set);
  EndGlSession(session.get());
}
BENCHMARK(BM_UploadProxyPyramid)
    ->Arg(OPTIMIZE_FOR_SPEED)
    ->Arg(OPTIMIZE_NONE)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_DrawFrameWithReadBack(benchmark::State& state) {
  const Pyramid& pyramid = SharedPyramid();
  auto session = std::make_unique<GlSession>();
  if (!Start(session.get(), static_cast<int32_t>(state.range(0)), kFrameWidth, kFrameHeight)) {
    state.SkipWithError("no OpenGL context");
    return;
  }
  // Level 2 (1500 x 1000) covers the frame; drawn at scale 1 the frame shows its top left part.
  const ImageRecord& image = pyramid.levels[2];
  TextureSet set;
  CreateTextureSetResources(session->engine, kHostImageSet, &set);
  CreateTextureSetFromImage(session->engine, {0, 0, kFrameWidth, kFrameHeight}, &set, image, 1.0,
                            1.0, 0, 0, 1.0);
  for (auto _ : state) {
    glClear(GL_COLOR_BUFFER_BIT);
    DrawImageTextureSet(session->engine, &set, true);
    PresentFrame(&session->context);
  }
  DestroyTextureSet(&set);
  EndGlSession(session.get());
}
BENCHMARK(BM_DrawFrameWithReadBack)
    ->Arg(OPTIMIZE_FOR_SPEED)
    ->Arg(OPTIMIZE_NONE)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
}  // namespace lumeray
