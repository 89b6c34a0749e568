// Reading and writing a 24-megapixel 16-bit RGB TIFF file (uncompressed, 16 rows per strip, as
// ImageMagick writes it) the way `lumeray apply` does: ReadImageFile into the editor's image, and
// WriteImageFile of that image to a file beside it. The file is made once in the system's
// temporary folder. Times are wall times: both use every usable processor.
#include <OpenImageIO/imageio.h>
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "image_io.h"

namespace lumeray {
namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;
constexpr int kChannels = 3;

const std::string& TiffFile() {
  static const std::string path = [] {
    const std::string made = (std::filesystem::temp_directory_path() /
                              ("lumeray_bench_" + std::to_string(getpid()) + ".tif"))
                                 .string();
    std::vector<uint16_t> samples(static_cast<size_t>(kWidth) * kHeight * kChannels);
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<uint16_t>(i * 2654435761u);
    OIIO::ImageSpec spec(kWidth, kHeight, kChannels, OIIO::TypeDesc::UINT16);
    spec.attribute("compression", "none");
    spec.attribute("tiff:RowsPerStrip", 16);
    auto output = OIIO::ImageOutput::create(made);
    if (!output || !output->open(made, spec) ||
        !output->write_image(OIIO::TypeDesc::UINT16, samples.data()) || !output->close()) {
      std::fprintf(stderr, "cannot make %s\n", made.c_str());
    }
    std::atexit([] { std::filesystem::remove(TiffFile()); });
    return made;
  }();
  return path;
}

void BM_ReadTiff16(benchmark::State& state) {
  const std::string& path = TiffFile();
  for (auto _ : state) {
    ImageFile file;
    std::vector<std::string> notices;
    std::string error;
    if (!ReadImageFile(path, &file, &notices, &error)) state.SkipWithError(error.c_str());
    benchmark::DoNotOptimize(file.image.pixels.data());
  }
  state.SetItemsProcessed(state.iterations() * int64_t{kWidth} * kHeight);
}

void BM_WriteTiff16(benchmark::State& state) {
  const std::string& path = TiffFile();
  ImageFile file;
  std::vector<std::string> notices;
  std::string error;
  if (!ReadImageFile(path, &file, &notices, &error)) state.SkipWithError(error.c_str());
  const std::string written = path + ".out.tif";
  for (auto _ : state) {
    if (!WriteImageFile(written, file.image, file, &notices, &error)) {
      state.SkipWithError(error.c_str());
    }
  }
  std::filesystem::remove(written);
  state.SetItemsProcessed(state.iterations() * int64_t{kWidth} * kHeight);
}

BENCHMARK(BM_ReadTiff16)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WriteTiff16)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace lumeray
