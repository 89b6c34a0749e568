// One 16-line chunk of a 6000-pixel-wide float RGB OpenEXR output, compressed as the zip
// compression stores it: argument 0 with zlib at level 3 (what the image library's writer does
// for the editor), 1 with libdeflate at level 4 (the editor's own writer, exr_zip_chunk.h). Both
// run the same byte split and difference step first. The chunk is a filtered night scene's: a
// dark gradient in 8-bit steps with noise, under glows that fall off smoothly from a few lamps
// and end at their reach.
// Items are chunks; the counter `ratio` is the stored size over the raw size.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "exr_zip_chunk.h"

namespace lumeray {
namespace {

constexpr int kWidth = 6000;
constexpr int kLines = 16;
constexpr int kChannels = 3;
// A glow's reach in pixels: the lamps cover about a third of a row.
constexpr float kReach = 100.0f;

std::vector<uint8_t> NightChunk() {
  std::mt19937 random(5);
  std::uniform_int_distribution<int> noise(-2, 2);
  std::uniform_real_distribution<float> place(0.0f, 1.0f);
  struct Lamp {
    float x, y, power;
  };
  std::vector<Lamp> lamps;
  for (int i = 0; i < 12; ++i) {
    lamps.push_back({place(random) * kWidth, place(random) * 200.0f - 100.0f, place(random)});
  }
  std::vector<uint8_t> raw(static_cast<size_t>(kWidth) * kLines * kChannels * sizeof(float));
  uint8_t* out = raw.data();
  for (int y = 0; y < kLines; ++y) {
    for (int c = 0; c < kChannels; ++c) {
      for (int x = 0; x < kWidth; ++x, out += sizeof(float)) {
        const int level = std::max(0, 8 + 4 * c + x * 6 / kWidth + noise(random));
        float value = std::pow(static_cast<float>(level) / 255.0f, 2.2f);
        for (const Lamp& lamp : lamps) {
          const float distance =
              std::hypot(static_cast<float>(x) - lamp.x, static_cast<float>(y) - lamp.y);
          if (distance < kReach) value += lamp.power * 0.3f / (1.0f + distance * distance / 400.0f);
        }
        std::memcpy(out, &value, sizeof value);
      }
    }
  }
  return raw;
}

void BM_CompressExrZipChunk(benchmark::State& state) {
  const std::vector<uint8_t> raw = NightChunk();
  std::vector<uint8_t> stored;
  std::vector<uint8_t> predicted(raw.size());
  ZipChunkCompressor compressor(4);
  for (auto _ : state) {
    if (state.range(0) == 0) {
      PredictZipChunk(raw, predicted.data());
      uLongf size = compressBound(static_cast<uLong>(raw.size()));
      stored.resize(size);
      compress2(stored.data(), &size, predicted.data(), static_cast<uLong>(raw.size()), 3);
      stored.resize(size);
    } else {
      compressor.Compress(raw, &stored);
    }
    benchmark::DoNotOptimize(stored.data());
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["ratio"] = static_cast<double>(stored.size()) / static_cast<double>(raw.size());
}
BENCHMARK(BM_CompressExrZipChunk)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace lumeray
