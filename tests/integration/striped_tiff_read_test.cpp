// Striped TIFF files large enough to be read by several readers at once, in the layouts and
// compressions other programs write: every row must land in its own place.
#include <gtest/gtest.h>

#include <OpenImageIO/imageio.h>

#include <string>

#include "support/temp_dir.h"
#include "support/test_images.h"

namespace lumeray {
namespace {

struct StripedCase {
  const char* name;
  int colourPlanes;
  bool hasAlpha;
  SampleType type;
  const char* compression;
  int rowsPerStrip;
};

// 700 x 401 pixels: several hundred thousand samples a reader, and a last strip cut short.
constexpr int32_t kWidth = 700;
constexpr int32_t kHeight = 401;

TEST(StripedTiff, EveryRowIsReadIntoItsOwnPlace) {
  const StripedCase cases[] = {
      {"rgb16", 3, false, SampleType::kUInt16, "none", 16},
      {"rgb8-lzw", 3, false, SampleType::kUInt8, "lzw", 7},
      {"grey-alpha16-zip", 1, true, SampleType::kUInt16, "zip", 32},
      {"rgba-float", 3, true, SampleType::kFloat32, "none", 1},
  };
  testing::TempDir dir;
  for (const StripedCase& c : cases) {
    SCOPED_TRACE(c.name);
    const HostImage written =
        testing::PatternImage(kWidth, kHeight, c.colourPlanes, c.hasAlpha, c.type);
    OIIO::ImageSpec description(kWidth, kHeight, written.Channels(), SampleTypeDesc(c.type));
    if (c.hasAlpha) {
      description.alpha_channel = written.Channels() - 1;
      description.attribute("oiio:UnassociatedAlpha", 1);
    }
    description.attribute("compression", c.compression);
    description.attribute("tiff:RowsPerStrip", c.rowsPerStrip);
    const std::string path = dir.File(std::string(c.name) + ".tif");
    auto output = OIIO::ImageOutput::create(path);
    ASSERT_TRUE(output && output->open(path, description) &&
                output->write_image(SampleTypeDesc(c.type), written.pixels.data()) &&
                output->close());

    const HostImage read = testing::ReadTestImage(path);
    EXPECT_EQ(read.Channels(), written.Channels());
    EXPECT_TRUE(read.pixels == written.pixels);
  }
}

}  // namespace
}  // namespace lumeray
