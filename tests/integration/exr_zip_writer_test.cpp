// The editor's own OpenEXR zip writer against the image library's writer: the same pixels and
// attributes to OpenImageIO and to OpenEXR's core reader, and no file at all when it declines.
#include "exr_zip_writer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "exr_zip_chunk.h"
#include "image_io.h"
#include "support/temp_dir.h"
#include "support/test_images.h"

namespace lumeray {
namespace {

struct SourceCase {
  const char* name;
  int colourPlanes;
  bool hasAlpha;
  OIIO::TypeDesc fileType;
  const char* compression;
  int32_t height;  // not a whole number of 16-line chunks
  bool noise;      // incompressible samples: chunks stored as they are
};

// A source file as another program might have written it, with metadata of several kinds and a
// data window away from the origin.
void WriteSource(const std::string& path, const HostImage& image, const SourceCase& c,
                 int tileSize = 0) {
  OIIO::ImageSpec description(image.width, image.height, image.Channels(), c.fileType);
  description.x = 3;
  description.y = -5;
  if (image.colourPlanes == 1) description.channelnames[0] = "Y";
  if (c.hasAlpha) {
    description.alpha_channel = image.Channels() - 1;
    description.channelnames.back() = "A";
  }
  description.attribute("compression", c.compression);
  description.attribute("Copyright", "someone");
  description.attribute("takeNumber", 24);
  description.attribute("exposure", 1.5f);
  const float matrix[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  description.attribute("worldToCamera", OIIO::TypeMatrix44, matrix);
  const float chromaticities[8] = {0.64f, 0.33f, 0.3f, 0.6f, 0.15f, 0.06f, 0.3127f, 0.329f};
  description.attribute("chromaticities", OIIO::TypeDesc(OIIO::TypeDesc::FLOAT, 8), chromaticities);
  const float box[4] = {-1.5f, 2, 3, 4.25f};
  description.attribute("aBox", OIIO::TypeBox2, box);
  description.attribute("aMatrix33", OIIO::TypeMatrix33, matrix);
  description.attribute("aVector", OIIO::TypeVector, matrix);
  description.attribute("aV2f", OIIO::TypeDesc(OIIO::TypeDesc::FLOAT, OIIO::TypeDesc::VEC2), box);
  const int counts[3] = {-7, 8, 9};
  description.attribute("aV2i", OIIO::TypeDesc(OIIO::TypeDesc::INT, OIIO::TypeDesc::VEC2), counts);
  description.attribute("aV3i", OIIO::TypeDesc(OIIO::TypeDesc::INT, OIIO::TypeDesc::VEC3), counts);
  const double precise = 1.0 / 3.0;
  description.attribute("aDouble", OIIO::TypeDesc::DOUBLE, &precise);
  if (tileSize > 0) description.tile_width = description.tile_height = tileSize;
  auto output = OIIO::ImageOutput::create(path);
  ASSERT_TRUE(output->open(path, description) &&
              output->write_image(OIIO::TypeDesc::FLOAT, image.pixels.data()) && output->close())
      << output->geterror();
}

HostImage SourceImage(const SourceCase& c) {
  HostImage image =
      testing::SmoothImage(29, c.height, c.colourPlanes, c.hasAlpha, SampleType::kFloat32);
  if (c.noise) {
    image = testing::PatternImage(29, c.height, c.colourPlanes, c.hasAlpha, SampleType::kFloat32);
  }
  return image;
}

// The file read back through OpenImageIO, with OpenEXR's C++ or core library underneath.
ImageFile ReadBack(const std::string& path, bool core) {
  OIIO::attribute("openexr:core", core ? 1 : 0);
  ImageFile file;
  std::vector<std::string> notes;
  std::string error;
  EXPECT_TRUE(ReadImageFile(path, &file, &notes, &error)) << error;
  OIIO::attribute("openexr:core", 0);
  return file;
}

ExrWriteOutcome WriteWith(const ImageFile& source, const std::string& path, int threads,
                          int64_t failAfter, int* writesAfterFailure, std::string* error) {
  FILE* file = std::fopen(path.c_str(), "wb");
  int64_t total = 0;
  bool failed = false;
  ZipExrOptions options;
  options.threads = threads;
  options.write = [&](const void* data, size_t size, uint64_t offset) {
    if (failed) ++*writesAfterFailure;
    total += static_cast<int64_t>(size);
    if (failAfter >= 0 && total > failAfter) return !(failed = true);
    return std::fseek(file, static_cast<long>(offset), SEEK_SET) == 0 &&
           std::fwrite(data, 1, size, file) == size;
  };
  const ExrWriteOutcome outcome =
      WriteZipExr(source.path, source.description, source.image, options, error);
  std::fclose(file);
  return outcome;
}

TEST(ExrZipWriter, ReadersSeeWhatTheImageLibrarysWriterWrites) {
  const SourceCase cases[] = {
      {"float RGB, zip", 3, false, OIIO::TypeDesc::FLOAT, "zip", 37, false},
      {"half RGBA, zip", 3, true, OIIO::TypeDesc::HALF, "zip", 40, false},
      {"float grey with alpha, zips", 1, true, OIIO::TypeDesc::FLOAT, "zips", 7, false},
      {"half RGB noise, zip", 3, false, OIIO::TypeDesc::HALF, "zip", 21, true},
      {"float RGBA noise, zip", 3, true, OIIO::TypeDesc::FLOAT, "zip", 33, true},
  };
  testing::TempDir dir;
  for (const SourceCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string sourcePath = dir.File("source.exr");
    WriteSource(sourcePath, SourceImage(c), c);
    const ImageFile source = ReadBack(sourcePath, false);
    // The image library's own writing of the same image is the reference.
    auto reference = OIIO::ImageOutput::create("exr");
    ASSERT_TRUE(reference->open(dir.File("reference.exr"), source.description) &&
                reference->write_image(OIIO::TypeDesc::FLOAT, source.image.pixels.data()) &&
                reference->close());
    for (const int threads : {1, 3}) {
      std::string error;
      int lateWrites = 0;
      ASSERT_EQ(WriteWith(source, dir.File("fast.exr"), threads, -1, &lateWrites, &error),
                ExrWriteOutcome::kWritten)
          << error;
      const ImageFile expected = ReadBack(dir.File("reference.exr"), false);
      for (const bool core : {false, true}) {
        const ImageFile written = ReadBack(dir.File("fast.exr"), core);
        EXPECT_EQ(written.image.pixels, expected.image.pixels) << "core " << core;
        const OIIO::ImageSpec& seen = written.description;
        EXPECT_EQ(seen.format, expected.description.format);
        EXPECT_EQ(seen.channelnames, expected.description.channelnames);
        EXPECT_EQ(seen.x, 3);
        EXPECT_EQ(seen.y, -5);
        EXPECT_EQ(seen.extra_attribs.size(), expected.description.extra_attribs.size());
        for (const OIIO::ParamValue& attribute : expected.description.extra_attribs) {
          const OIIO::ParamValue* same = seen.find_attribute(attribute.name());
          ASSERT_NE(same, nullptr) << attribute.name();
          EXPECT_EQ(same->get_string(), attribute.get_string()) << attribute.name();
        }
      }
    }
    // Its own output, filtered again, takes the same way.
    std::string error;
    int lateWrites = 0;
    EXPECT_EQ(WriteWith(ReadBack(dir.File("fast.exr"), false), dir.File("again.exr"), 2, -1,
                        &lateWrites, &error),
              ExrWriteOutcome::kWritten)
        << error;
  }
}

TEST(ExrZipWriter, DeclinesWhatItDoesNotWriteBeforeWritingAnything) {
  testing::TempDir dir;
  const SourceCase zip = {"", 3, false, OIIO::TypeDesc::FLOAT, "zip", 20, false};
  const SourceCase piz = {"", 3, false, OIIO::TypeDesc::FLOAT, "piz", 20, false};
  const HostImage image = SourceImage(zip);
  WriteSource(dir.File("zip.exr"), image, zip);
  WriteSource(dir.File("piz.exr"), image, piz);
  WriteSource(dir.File("tiled.exr"), image, zip, 16);
  const ImageFile plain = ReadBack(dir.File("zip.exr"), false);

  ImageFile other = plain;
  other.path = dir.File("piz.exr");  // the header source no longer matches the description
  ImageFile noSource = plain;
  noSource.path.clear();
  ImageFile smaller = plain;
  smaller.image = testing::SmoothImage(29, 19, 3, false, SampleType::kFloat32);
  ImageFile withoutAlpha = ReadBack(dir.File("zip.exr"), false);
  withoutAlpha.description.nchannels = 4;
  const struct {
    const char* name;
    ImageFile source;
  } declined[] = {
      {"piz compression", ReadBack(dir.File("piz.exr"), false)},
      {"tiles", ReadBack(dir.File("tiled.exr"), false)},
      {"another header", other},
      {"no header source", noSource},
      {"another size", smaller},
      {"another channel count", withoutAlpha},
  };
  for (const auto& d : declined) {
    SCOPED_TRACE(d.name);
    std::string error;
    int lateWrites = 0;
    const std::string out = dir.File("out.exr");
    EXPECT_EQ(WriteWith(d.source, out, 2, -1, &lateWrites, &error), ExrWriteOutcome::kUnsupported);
    std::ifstream written(out, std::ios::binary | std::ios::ate);
    EXPECT_EQ(written.tellg(), 0);
  }
}

TEST(ExrZipWriter, AFailedWriteIsReportedAndEndsTheWriting) {
  testing::TempDir dir;
  const SourceCase c = {"", 3, true, OIIO::TypeDesc::HALF, "zips", 64, true};
  WriteSource(dir.File("source.exr"), SourceImage(c), c);
  const ImageFile source = ReadBack(dir.File("source.exr"), false);
  // In the header, in the first chunks, and in the last ones.
  for (const int64_t failAfter : {int64_t{10}, int64_t{2000}, int64_t{15000}}) {
    for (const int threads : {1, 2}) {
      SCOPED_TRACE(failAfter);
      std::string error;
      int lateWrites = 0;
      EXPECT_EQ(WriteWith(source, dir.File("out.exr"), threads, failAfter, &lateWrites, &error),
                ExrWriteOutcome::kFailed);
      EXPECT_FALSE(error.empty());
      EXPECT_EQ(lateWrites, 0);
    }
  }
}

TEST(ExrZipChunk, StoresAChunkAsItIsWhenCompressingDoesNotShrinkIt) {
  ZipChunkCompressor compressor(4);
  std::vector<uint8_t> stored;
  std::vector<uint8_t> noise(4096);
  uint32_t state = 7;
  for (uint8_t& byte : noise)
    byte = static_cast<uint8_t>((state = state * 1664525u + 1013904223u) >> 24);
  compressor.Compress(noise, &stored);
  EXPECT_EQ(stored, noise);
  const std::vector<uint8_t> flat(4096, 0x3c);
  compressor.Compress(flat, &stored);
  EXPECT_LT(stored.size(), flat.size() / 10);
}

// Split: even-indexed bytes, then odd-indexed; then each byte after the first less its
// predecessor plus 128, mod 256 (worked out by hand).
TEST(ExrZipChunk, SplitsAndDifferencesTheBytes) {
  struct Case {
    std::vector<uint8_t> raw, predicted;
  };
  const Case cases[] = {
      {{10, 200, 12, 1, 250, 3}, {10, 130, 110, 78, 185, 130}},  // 10 12 250 | 200 1 3
      {{5, 9, 4}, {5, 127, 133}},                                // 5 4 | 9
      {{7}, {7}},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> out(c.raw.size());
    PredictZipChunk(c.raw, out.data());
    EXPECT_EQ(out, c.predicted);
  }
  // Every length up to a few vector widths and a chunk's, against the rule taken step by step.
  uint32_t state = 3;
  for (size_t size = 1; size < 4200; size += size < 100 ? 1 : 1031) {
    std::vector<uint8_t> raw(size);
    for (uint8_t& byte : raw)
      byte = static_cast<uint8_t>((state = state * 1664525u + 1013904223u) >> 24);
    std::vector<uint8_t> split;
    for (size_t i = 0; i < size; i += 2) split.push_back(raw[i]);
    for (size_t i = 1; i < size; i += 2) split.push_back(raw[i]);
    std::vector<uint8_t> expected = split;
    for (size_t i = 1; i < size; ++i)
      expected[i] = static_cast<uint8_t>(split[i] - split[i - 1] + 128);
    std::vector<uint8_t> out(size);
    PredictZipChunk(raw, out.data());
    EXPECT_EQ(out, expected) << size << " bytes";
  }
}

}  // namespace
}  // namespace lumeray
