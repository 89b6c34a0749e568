// The live preview on the machine's EGL driver (Mesa's software rasteriser here): a finished
// 1280 x 800 frame of a 2560 x 1600 scene with 1 000 light sources at 50 %, redrawn after one
// parameter change, as a slider move asks for it. Angle rebuilds the spike quads only;
// Intensity also redraws the spike textures. Bitmap context (drawing option 4, the read-back and
// the processor gamma) and every facility (option 2).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "analysis/master_light_source_table.h"
#include "analysis/presence_threshold.h"
#include "effects/parameter_set.h"
#include "image/image_create.h"
#include "image/pixel_tables.h"
#include "preview/proxy_layer.h"
#include "preview_scene.h"
#include "run/input_image.h"

namespace lumeray {
namespace {

constexpr int32_t kSceneWidth = 2560;
constexpr int32_t kSceneHeight = 1600;
constexpr int32_t kFrameWidth = 1280;
constexpr int32_t kFrameHeight = 800;
constexpr int kSources = 1000;

// The host image (one dark level at half size) and the light sources, made once.
struct Scene {
  ImageRecord half;
  Scene() {
    InitializeFixedTables();
    const ImageRect bounds{0, 0, kSceneWidth, kSceneHeight};
    int code = 0;
    CreateImage(&InputImage(), bounds, bounds, kImageModeRgb8, nullptr, false, true, &code);
    SetImageDiagonal(static_cast<uint32_t>(std::hypot(kSceneWidth, kSceneHeight) + 1.0));
    bench::BenchRun().analysis.presenceThreshold = PresenceThresholdForDepth(1);
    const ImageRect halfRect{0, 0, kSceneWidth / 2, kSceneHeight / 2};
    CreateImage(&half, halfRect, halfRect, kImageModeRgb8, nullptr, false, true, &code);
    bench::FillDarkProxy(&half);
    bench::FillLightSources(kSources, kSceneWidth, kSceneHeight, 777, 1.0f, true);
  }
};

Scene& SharedScene() {
  static Scene* scene = new Scene;
  return *scene;
}

bool HalfSource(void* context, ImageRecord* image, ProxyScale* scale) {
  *image = *static_cast<ImageRecord*>(context);
  scale->x = scale->y = 0.5;
  return true;
}

ParameterSetBuffer Snapshot(const ParameterSet& p) {
  PreviewViewState view{};
  view.previewRect[2] = kFrameWidth;
  view.previewRect[3] = kFrameHeight;
  view.zoom = 50.0;
  view.previewEnabled = 1;
  return MakePreviewSnapshot(p, view);
}

void BM_PreviewFrameAfterChange(benchmark::State& state) {
  Scene& scene = SharedScene();
  const int32_t option = static_cast<int32_t>(state.range(0));
  const bool intensity = state.range(1) != 0;
  auto session = std::make_unique<GlSession>();
  GlSessionRequest request;
  request.clientRect = {0, 0, kFrameWidth, kFrameHeight};
  request.rules.assumeAccelerated = option != OPTIMIZE_NONE;
  OpenGLSettings settings;
  settings.option = option;
  if (!StartGlSession(session.get(), request, settings)) {
    state.SkipWithError("no OpenGL context");
    return;
  }
  auto layer = std::make_unique<ProxyLayer>();
  InitializeScaledProxyLayer(layer.get(), session.get(), InputImage().bounds, &HalfSource,
                             &scene.half);
  layer->effects.analysis = &bench::BenchRun().analysis;
  ParameterSet p = kFactoryParameters;
  p.Quantity = 100;
  DisplayScaledProxy(layer.get(), Snapshot(p));
  int step = 0;
  for (auto _ : state) {
    ++step;
    if (intensity) {
      p.Intensity = static_cast<int16_t>(50 + step % 2);
    } else {
      p.Angle = static_cast<int16_t>(150 + step % 2 * 10);
    }
    if (!DisplayScaledProxy(layer.get(), Snapshot(p))) state.SkipWithError("frame failed");
  }
  DestroyScaledProxyLayer(layer.get());
  EndGlSession(session.get());
}
BENCHMARK(BM_PreviewFrameAfterChange)
    ->ArgsProduct({{OPTIMIZE_NONE, OPTIMIZE_FOR_SPEED}, {0, 1}})
    ->ArgNames({"option", "intensity"})
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

}  // namespace
}  // namespace lumeray
