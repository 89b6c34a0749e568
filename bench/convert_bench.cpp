// ConvertImageRegion on a 24-megapixel image (6000 x 4000), 8-bit and 16-bit RGB, from the
// host's sRGB to the linear working profile, on one thread and on all worker threads. The
// transform is made in the first iteration and found in the cache afterwards. Items are pixels.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>

#include "analysis/worker_threads.h"
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

}  // namespace
}  // namespace lumeray
