// Fetch and store converters and LinearizeImage on a 24-megapixel image (6000 x 4000), 8-bit
// and 16-bit, edge-safe and fast. Items are pixels.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "image/gamma_tables.h"
#include "image/image_create.h"
#include "image/image_ops.h"
#include "image/image_record.h"
#include "image/linear_encoding.h"

namespace lumeray {
namespace {

constexpr int32_t kWidth = 6000;
constexpr int32_t kHeight = 4000;

// A 24-megapixel image with noise samples, released when the benchmark ends.
class BenchImage {
 public:
  BenchImage(int32_t mode, bool edgeSafe) {
    const ImageRect rect{0, 0, kWidth, kHeight};
    int result = 0;
    ok_ = CreateImage(&image_, rect, rect, mode, nullptr, false, edgeSafe, &result);
    if (!ok_) return;
    std::mt19937 random(7);
    auto* words = static_cast<uint32_t*>(image_.pixels.data);
    for (uint64_t i = 0; i < image_.pixels.size / sizeof(uint32_t); ++i) words[i] = random();
  }
  ~BenchImage() {
    ReleaseImage(&image_);
    ReleaseGammaTables();
  }
  bool ok() const { return ok_; }
  ImageRecord* get() { return &image_; }

 private:
  ImageRecord image_;
  bool ok_ = false;
};

void BM_Fetch(benchmark::State& state, int32_t mode) {
  BenchImage bench(mode, state.range(0) != 0);
  if (!bench.ok()) return state.SkipWithError("CreateImage failed");
  ImageRecord* image = bench.get();
  for (auto _ : state) {
    uint32_t sum = 0;
    WorkingPixel pixel;
    for (int32_t y = 0; y < kHeight; ++y) {
      for (int32_t x = 0; x < kWidth; ++x) {
        image->fetch(image, &pixel, x, y);
        sum += pixel.red + pixel.alpha;
      }
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * int64_t{kWidth} * kHeight);
}

void BM_Store(benchmark::State& state, int32_t mode) {
  BenchImage bench(mode, state.range(0) != 0);
  if (!bench.ok()) return state.SkipWithError("CreateImage failed");
  ImageRecord* image = bench.get();
  for (auto _ : state) {
    for (int32_t y = 0; y < kHeight; ++y) {
      for (int32_t x = 0; x < kWidth; ++x) {
        const uint32_t v = static_cast<uint32_t>(x * 2797 + y) & kFullIntensity;
        const WorkingPixel pixel{v, v >> 1, v >> 2, kFullCoverage, kLeaveUnchanged};
        image->store(image, &pixel, x, y);
      }
    }
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * int64_t{kWidth} * kHeight);
}

void BM_Linearize(benchmark::State& state, int32_t mode) {
  BenchImage bench(mode, true);
  if (!bench.ok()) return state.SkipWithError("CreateImage failed");
  for (auto _ : state) {
    LinearizeImage(bench.get());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * int64_t{kWidth} * kHeight);
}

// Encoding linear values into samples: the encode table alone (argument 0) against the encoder
// the stores use (argument 1), on values spread evenly over the encoded scale as a photo's are
// (each sample's decoded value and the point half way to the next). Items are values.
template <class Sample>
void BM_EncodeColor(benchmark::State& state) {
  constexpr bool kEight = sizeof(Sample) == 1;
  const GammaTableSet tables = GetGammaTables(kWorkingGamma);
  if (!tables) return state.SkipWithError("gamma tables");
  const uint32_t* decode = kEight ? tables.decode8 : tables.decode16;
  const uint32_t samples = kEight ? 256 : 65536;
  std::vector<uint32_t> values;
  for (uint32_t s = 0; s + 1 < samples; ++s) {
    values.push_back(decode[s]);
    values.push_back((decode[s] + decode[s + 1]) / 2);
  }
  std::shuffle(values.begin(), values.end(), std::mt19937(3));
  const bool full = state.range(0) != 0;
  for (auto _ : state) {
    uint32_t sum = 0;
    for (const uint32_t v : values) {
      if constexpr (kEight) {
        sum += full ? EncodeLinear8(tables.decode8, tables.encode8, v)
                    : tables.encode8[v >> kLinearToIndexShift];
      } else {
        sum += full ? EncodeLinear16(tables.decode16, tables.encode16, tables.encode16Shadows, v)
                    : tables.encode16[v >> kLinearToIndexShift];
      }
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(values.size()));
  ReleaseGammaTables();
}

BENCHMARK_TEMPLATE(BM_EncodeColor, uint8_t)->Arg(0)->Arg(1);
BENCHMARK_TEMPLATE(BM_EncodeColor, uint16_t)->Arg(0)->Arg(1);

// Argument: 1 edge-safe, 0 fast.
BENCHMARK_CAPTURE(BM_Fetch, Rgb8, kImageModeRgb8)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Fetch, Rgb16, kImageModeRgb16)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Store, Rgb8, kImageModeRgb8)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Store, Rgb16, kImageModeRgb16)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Linearize, Rgb8, kImageModeRgb8)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Linearize, Rgb16, kImageModeRgb16)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace lumeray
