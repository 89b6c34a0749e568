// The whole light source analysis on a generated 24-megapixel night scene: about 300 lights of
// radius 1 to 12 on a dark, slightly noisy ground, with a large flat lit wall. Timed from the
// start of the data-initialisation thread to its completion event; the counters give the
// number of light sources found and the peak of the counted buffers.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <random>

#include "analysis/data_initialization.h"
#include "analysis/master_light_source_table.h"
#include "color/color_management.h"
#include "color/profile_gamma.h"
#include "host/host_globals.h"
#include "image/buffer.h"
#include "image/image_create.h"
#include "image/image_record.h"
#include "preview_scene.h"

namespace lumeray {
namespace {

constexpr int32_t kWidth = 6000;
constexpr int32_t kHeight = 4000;
constexpr int kLights = 300;
constexpr int kSubsamples = 4;  // per axis, for the lights' edge coverage

uint8_t Encode(double linear) {
  return static_cast<uint8_t>(std::lround(std::pow(std::clamp(linear, 0.0, 1.0), 1 / 2.2) * 255));
}

void PutLight(ImageRecord* image, double cx, double cy, double radius, const double colour[3]) {
  const auto x0 = std::max(0, static_cast<int>(cx - radius - 1));
  const auto x1 = std::min(kWidth - 1, static_cast<int>(cx + radius + 1));
  const auto y0 = std::max(0, static_cast<int>(cy - radius - 1));
  const auto y1 = std::min(kHeight - 1, static_cast<int>(cy + radius + 1));
  for (int y = y0; y <= y1; ++y) {
    for (int x = x0; x <= x1; ++x) {
      int inside = 0;
      for (int sy = 0; sy < kSubsamples; ++sy) {
        for (int sx = 0; sx < kSubsamples; ++sx) {
          const double dx = x - 0.5 + (sx + 0.5) / kSubsamples - cx;
          const double dy = y - 0.5 + (sy + 0.5) / kSubsamples - cy;
          inside += dx * dx + dy * dy < radius * radius;
        }
      }
      if (inside == 0) continue;
      const double c = static_cast<double>(inside) / (kSubsamples * kSubsamples);
      uint8_t* s = PixelSamples<uint8_t>(*image, x, y);  // B, G, R, A
      for (int i = 0; i < 3; ++i) {
        const double under = std::pow(s[2 - i] / 255.0, 2.2);
        s[2 - i] = Encode(under * (1 - c) + colour[i] * c);
      }
    }
  }
}

// The night scene, made once.
ImageRecord& NightScene() {
  static ImageRecord scene;
  if (scene.pixels.data != nullptr) return scene;
  int result = 0;
  const ImageRect rect{0, 0, kWidth, kHeight};
  CreateImage(&scene, rect, rect, kImageModeRgb8, HostProfile(), false, false, &result);
  std::mt19937 random(2024);
  std::uniform_int_distribution<int> noise(6, 14);
  for (int32_t y = 0; y < kHeight; ++y) {
    uint8_t* s = PixelSamples<uint8_t>(scene, 0, y);
    for (int32_t x = 0; x < kWidth; ++x, s += 4) {
      const auto level = static_cast<uint8_t>(noise(random));
      s[0] = level;
      s[1] = level;
      s[2] = level;
      s[3] = 255;
    }
  }
  for (int32_t y = 2600; y < 3400; ++y) {  // the lit wall
    uint8_t* s = PixelSamples<uint8_t>(scene, 3600, y);
    for (int32_t x = 3600; x < 5400; ++x, s += 4) {
      s[0] = 228;
      s[1] = 236;
      s[2] = 240;
    }
  }
  std::uniform_real_distribution<double> across(20, kWidth - 20), down(20, 2500), size(1, 12);
  std::uniform_real_distribution<double> tint(0.75, 1.0);
  for (int i = 0; i < kLights; ++i) {
    const double colour[3] = {1.0, tint(random), tint(random)};
    PutLight(&scene, across(random), down(random), size(random), colour);
  }
  return scene;
}

void BM_LightSourceAnalysis24Megapixels(benchmark::State& state) {
  SetProfileGammaEstimator(&EstimateProfileGamma);
  if (!InitializeColorManagement()) {
    state.SkipWithError("colour management");
    return;
  }
  const ImageRecord& scene = NightScene();
  AnalysisOptions options;
  options.depthCode = 1;
  for (auto _ : state) {
    ForceRunResult(0);
    const auto start = std::chrono::steady_clock::now();
    if (StartLightSourceAnalysisOf(bench::BenchRun().analysis, &scene, options) != 0) {
      state.SkipWithError("start");
      break;
    }
    platform::WaitForObject(*DataInitializationCompleteEvent(bench::BenchRun().analysis),
                            platform::kInfinite);
    const auto end = std::chrono::steady_clock::now();
    CloseLightSourceAnalysis(bench::BenchRun().analysis);
    state.SetIterationTime(std::chrono::duration<double>(end - start).count());
  }
  state.counters["light_sources"] = bench::BenchRun().analysis.master.count;
  state.counters["peak_buffer_MB"] = static_cast<double>(GetBufferUsage().peak) / (1 << 20);
  state.counters["run_result"] = RunResult();
  FreeMasterLightSourceTable(&bench::BenchRun().analysis.master);
}
BENCHMARK(BM_LightSourceAnalysis24Megapixels)
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace lumeray
