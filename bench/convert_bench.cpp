// ConvertImageRegion on a 24-megapixel image (6000 x 4000), 8-bit and 16-bit RGB, from the
// host's sRGB to the linear working profile, on one thread and on all worker threads. The
// transform is made in the first iteration and found in the cache afterwards. Items are pixels.
// Also ConvertColorOf on one sixth of that image in 8-bit, 16-bit and float RGB, from the working
// profile to the host's (what a strip of a run's effects image goes through), with a given
// percentage of the pixels drawn on and the rest black.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <type_traits>
#include <vector>

#include "analysis/worker_threads.h"
#include "color/color_conversion.h"
#include "color/color_management.h"
#include "color/profile_gamma.h"
#include "image/gamma_tables.h"
#include "image/image_create.h"
#include "image/pixel_tables.h"
#include "preview/convert_image_region.h"

namespace lumeray {
namespace {

constexpr int32_t kWidth = 6000;
constexpr int32_t kHeight = 4000;

// Colour management for the benchmark and a pair of images with noise in the source.
class ConvertBench {
 public:
  explicit ConvertBench(int32_t mode) {
    InitializeFixedTables();
    SetProfileGammaEstimator(&EstimateProfileGamma);
    if (!InitializeColorManagement()) return;
    const ImageRect rect{0, 0, kWidth, kHeight};
    int result = 0;
    ok_ =
        CreateImage(&source_, rect, rect, mode, HostProfile(), false, false, &result) &&
        CreateImage(&destination_, rect, rect, mode, LinearWorkingProfile(), false, false, &result);
    if (!ok_) return;
    std::mt19937 random(7);
    auto* words = static_cast<uint32_t*>(source_.pixels.data);
    for (uint64_t i = 0; i < source_.pixels.size / sizeof(uint32_t); ++i) words[i] = random();
  }
  ~ConvertBench() {
    ReleaseImage(&source_);
    ReleaseImage(&destination_);
    ReleaseColorManagement();
    ReleaseGammaTables();
  }
  bool ok() const { return ok_; }
  bool Convert(int threads) {
    return ConvertImageRegionWithThreads(source_, source_.dataRect, &destination_,
                                         destination_.dataRect, threads);
  }

 private:
  ImageRecord source_;
  ImageRecord destination_;
  bool ok_ = false;
};

// Argument: threads (0: the worker count).
void BM_ConvertImageRegion(benchmark::State& state, int32_t mode) {
  ConvertBench bench(mode);
  if (!bench.ok()) return state.SkipWithError("set-up failed");
  const int threads = state.range(0) == 0 ? WorkerThreadCount() : static_cast<int>(state.range(0));
  for (auto _ : state) {
    if (!bench.Convert(threads)) return state.SkipWithError("conversion failed");
    benchmark::ClobberMemory();
  }
  state.counters["threads"] = threads;
  state.SetItemsProcessed(state.iterations() * int64_t{kWidth} * kHeight);
}

BENCHMARK_CAPTURE(BM_ConvertImageRegion, Rgb8, kImageModeRgb8)
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_ConvertImageRegion, Rgb16, kImageModeRgb16)
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Arguments: percentage of drawn pixels. The samples drawn are uniform over the sample range.
template <typename Sample>
void BM_ConvertEffectsStrip(benchmark::State& state, int32_t mode) {
  InitializeFixedTables();
  SetProfileGammaEstimator(&EstimateProfileGamma);
  if (!InitializeColorManagement()) return state.SkipWithError("set-up failed");
  const ImageRect rect{0, 0, kWidth, kHeight / 6};
  ImageRecord strip;
  int result = 0;
  if (!CreateImage(&strip, rect, rect, mode, WorkingProfile(), false, false, &result)) {
    return state.SkipWithError("no image");
  }
  std::mt19937 random(7);
  std::uniform_real_distribution<float> sample(0.0f, 1.0f);
  const int64_t pixels = int64_t{kWidth} * (kHeight / 6);
  std::vector<Sample> drawn(static_cast<size_t>(pixels) * kSamplesPerPixel, Sample{0});
  for (int64_t i = 0; i < pixels; ++i) {
    if (static_cast<int64_t>(random() % 100) >= state.range(0)) continue;
    for (int c = 0; c < 3; ++c) {
      if constexpr (std::is_same_v<Sample, float>) {
        drawn[i * kSamplesPerPixel + c] = sample(random);
      } else {
        drawn[i * kSamplesPerPixel + c] = static_cast<Sample>(random());
      }
    }
  }
  for (auto _ : state) {
    state.PauseTiming();
    std::copy(drawn.begin(), drawn.end(), static_cast<Sample*>(strip.pixels.data));
    SetImageColorProfile(&strip, WorkingProfile(), false);
    state.ResumeTiming();
    if (!ConvertColorOf(&strip, HostProfile())) return state.SkipWithError("conversion failed");
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * pixels);
  ReleaseImage(&strip);
  ReleaseColorManagement();
  ReleaseGammaTables();
}

void BM_ConvertEffectsStrip8(benchmark::State& state) {
  BM_ConvertEffectsStrip<uint8_t>(state, kImageModeRgb8);
}
void BM_ConvertEffectsStrip16(benchmark::State& state) {
  BM_ConvertEffectsStrip<uint16_t>(state, kImageModeRgb16);
}
void BM_ConvertEffectsStripFloat(benchmark::State& state) {
  BM_ConvertEffectsStrip<float>(state, kImageModeRgbFloat);
}

BENCHMARK(BM_ConvertEffectsStrip8)->Arg(0)->Arg(20)->Arg(100)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConvertEffectsStrip16)->Arg(0)->Arg(20)->Arg(100)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConvertEffectsStripFloat)->Arg(0)->Arg(20)->Arg(100)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace lumeray
