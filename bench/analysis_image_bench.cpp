// Making the analysis image of a 24-megapixel source at each depth: the 2.5-fold reduction to
// 2400 x 1600 (every source pixel read, means stored as 16-bit samples) and its conversion to
// the linear working profile, on two threads as a run does it.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>

#include "analysis/analysis_image.h"
#include "color/color_management.h"
#include "color/profile_gamma.h"
#include "host/host_globals.h"
#include "image/image_create.h"

namespace lumeray {
namespace {

constexpr int32_t kWidth = 6000;
constexpr int32_t kHeight = 4000;

template <typename Sample>
void FillNoise(ImageRecord* image, double fullScale) {
  std::mt19937 random(11);
  std::uniform_real_distribution<double> level(0.0, fullScale);
  auto* s = static_cast<Sample*>(image->pixels.data);
  for (int64_t i = 0; i < int64_t{kWidth} * kHeight * 4; ++i) {
    s[i] = static_cast<Sample>(level(random));
  }
}

void BuildAnalysis(benchmark::State& state, int32_t mode) {
  SetProfileGammaEstimator(&EstimateProfileGamma);
  if (!InitializeColorManagement()) {
    state.SkipWithError("colour management");
    return;
  }
  ImageRecord source;
  int result = 0;
  const ImageRect rect{0, 0, kWidth, kHeight};
  if (!CreateImage(&source, rect, rect, mode, HostProfile(), true, false, &result)) {
    state.SkipWithError("source image");
    return;
  }
  if (mode == kImageModeRgb8) FillNoise<uint8_t>(&source, 255.0);
  if (mode == kImageModeRgb16) FillNoise<uint16_t>(&source, 65535.0);
  if (mode == kImageModeRgbFloat) FillNoise<float>(&source, 1.0);
  for (auto _ : state) {
    AnalysisImage analysis;
    if (BuildAnalysisImage(source, 2, nullptr, LinearWorkingProfile(), &analysis) != 0) {
      state.SkipWithError("build");
      break;
    }
    ReleaseAnalysisImage(&analysis);
  }
  state.SetItemsProcessed(state.iterations() * int64_t{kWidth} * kHeight);
  ReleaseImage(&source);
}

void BM_BuildAnalysisImage8(benchmark::State& s) {
  BuildAnalysis(s, kImageModeRgb8);
}
void BM_BuildAnalysisImage16(benchmark::State& s) {
  BuildAnalysis(s, kImageModeRgb16);
}
void BM_BuildAnalysisImageFloat(benchmark::State& s) {
  BuildAnalysis(s, kImageModeRgbFloat);
}
BENCHMARK(BM_BuildAnalysisImage8)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BuildAnalysisImage16)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BuildAnalysisImageFloat)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace lumeray
