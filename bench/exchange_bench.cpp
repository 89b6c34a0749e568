// The host image exchange's pixel work on a 24-megapixel image: copying the host's planes into
// the InputImage (the read) and its channels back into host planes (the write-back), 8-bit,
// 16-bit and float, tile by tile and plane by plane as a run hands them over (read tiles of
// 1024 x 1024, write-back tiles of 2048 x 2048). The editor's side of the same exchange
// (BM_Editor*): serving the module's one-plane input requests of 1024 x 1024 pixels, and its
// one-plane output requests of 2048 x 2048 pixels with their commits, as `lumeray apply` does
// (no undo, no selection). Editor times are wall times: the editor uses every usable processor.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "host/host_image_exchange.h"
#include "image/image_create.h"
#include "tile_exchange.h"

namespace lumeray {
namespace {

constexpr int32_t kWidth = 6000;
constexpr int32_t kHeight = 4000;
constexpr int kColourPlanes = 3;

void Exchange(benchmark::State& state, int32_t mode, int bytesPerSample, bool read) {
  ImageRecord image;
  int result = 0;
  const ImageRect rect{0, 0, kWidth, kHeight};
  CreateImage(&image, rect, rect, mode, nullptr, false, false, &result);
  std::memset(image.pixels.data, 0, image.pixels.size);  // its pages, as a run's read-in has
  const int32_t tileSize = read ? kDefaultReadTileSize : kWriteBackTileSize;
  const int32_t rowBytes = tileSize * bytesPerSample;
  std::vector<uint8_t> plane(static_cast<size_t>(rowBytes) * tileSize, 0x3A);
  for (auto _ : state) {
    for (int32_t top = 0; top < kHeight; top += tileSize) {
      for (int32_t left = 0; left < kWidth; left += tileSize) {
        const ImageRect tile{left, top, std::min(left + tileSize, kWidth),
                             std::min(top + tileSize, kHeight)};
        for (int p = 0; p < kColourPlanes; ++p) {
          if (read) {
            CopyPlaneIntoImage(&image, plane.data(), p, tile, rowBytes, bytesPerSample);
          } else {
            CopyImageIntoPlane(image, plane.data(), p, tile, rowBytes, bytesPerSample);
          }
          benchmark::ClobberMemory();
        }
      }
    }
  }
  state.SetItemsProcessed(state.iterations() * int64_t{kWidth} * kHeight);
  ReleaseImage(&image);
}

void BM_ReadPlanes8(benchmark::State& s) {
  Exchange(s, kImageModeRgb8, 1, true);
}
void BM_WriteBackPlanes8(benchmark::State& s) {
  Exchange(s, kImageModeRgb8, 1, false);
}
void BM_ReadPlanes16(benchmark::State& s) {
  Exchange(s, kImageModeRgb16, 2, true);
}
void BM_WriteBackPlanes16(benchmark::State& s) {
  Exchange(s, kImageModeRgb16, 2, false);
}
void BM_ReadPlanesFloat(benchmark::State& s) {
  Exchange(s, kImageModeRgbFloat, 4, true);
}
void BM_WriteBackPlanesFloat(benchmark::State& s) {
  Exchange(s, kImageModeRgbFloat, 4, false);
}

// Every tile of the image, plane by plane: `tile` pixels square, output requests when `output`.
void EditorExchange(benchmark::State& state, SampleType type, int32_t tile, bool output) {
  HostImage image = HostImage::Create(kWidth, kHeight, kColourPlanes, false, type);
  std::fill(image.pixels.begin(), image.pixels.end(), uint8_t{0x5A});
  FilterRecord record{};
  BigDocumentStruct big{};
  big.PluginUsing32BitCoordinates = 1;
  record.bigDocumentData = &big;
  record.inputRate = kUnitRate;
  TileExchange exchange(&record, &image, nullptr);
  exchange.DropUndo();
  for (auto _ : state) {
    for (int32_t top = 0; top < kHeight; top += tile) {
      for (int32_t left = 0; left < kWidth; left += tile) {
        const VRect rect{top, left, std::min(top + tile, kHeight), std::min(left + tile, kWidth)};
        for (int16_t p = 0; p < kColourPlanes; ++p) {
          big.inRect32 = output ? VRect{} : rect;
          big.outRect32 = output ? rect : VRect{};
          record.inLoPlane = record.inHiPlane = record.outLoPlane = record.outHiPlane = p;
          if (exchange.AdvanceState() != kNoErr) state.SkipWithError("request refused");
        }
      }
    }
    big.outRect32 = VRect{};
    exchange.AdvanceState();  // commits the last output
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * int64_t{kWidth} * kHeight);
}

void BM_EditorInput16(benchmark::State& s) {
  EditorExchange(s, SampleType::kUInt16, kDefaultReadTileSize, false);
}
void BM_EditorWriteBack16(benchmark::State& s) {
  EditorExchange(s, SampleType::kUInt16, kWriteBackTileSize, true);
}
void BM_EditorWriteBack8(benchmark::State& s) {
  EditorExchange(s, SampleType::kUInt8, kWriteBackTileSize, true);
}

BENCHMARK(BM_ReadPlanes8)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WriteBackPlanes8)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadPlanes16)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WriteBackPlanes16)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadPlanesFloat)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WriteBackPlanesFloat)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_EditorInput16)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_EditorWriteBack16)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_EditorWriteBack8)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace lumeray
