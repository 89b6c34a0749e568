// The host image exchange's pixel work on a 24-megapixel image: copying the host's planes into
// the InputImage (the read) and its channels back into host planes (the write-back), 8-bit and
// 16-bit, plane by plane as the editor hands them over.
#include <benchmark/benchmark.h>

#include <vector>

#include "host/host_image_exchange.h"
#include "image/image_create.h"

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
  std::vector<uint8_t> plane(static_cast<size_t>(kWidth) * kHeight * bytesPerSample, 0x5A);
  const int32_t rowBytes = kWidth * bytesPerSample;
  for (auto _ : state) {
    for (int p = 0; p < kColourPlanes; ++p) {
      if (read) {
        CopyPlaneIntoImage(&image, plane.data(), p, rect, rowBytes, bytesPerSample);
      } else {
        CopyImageIntoPlane(image, plane.data(), p, rect, rowBytes, bytesPerSample);
      }
    }
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * int64_t{kWidth} * kHeight);
  ReleaseImage(&image);
}

void BM_ReadPlanes8(benchmark::State& s) {
  Exchange(s, 3, 1, true);
}
void BM_WriteBackPlanes8(benchmark::State& s) {
  Exchange(s, 3, 1, false);
}
void BM_ReadPlanes16(benchmark::State& s) {
  Exchange(s, 11, 2, true);
}
void BM_WriteBackPlanes16(benchmark::State& s) {
  Exchange(s, 11, 2, false);
}
BENCHMARK(BM_ReadPlanes8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteBackPlanes8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadPlanes16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteBackPlanes16)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace lumeray
