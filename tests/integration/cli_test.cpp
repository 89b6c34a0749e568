// The `lumeray` command as a user runs it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "support/editor_cli.h"
#include "support/test_images.h"

namespace lumeray {
namespace {

using testing::kExitFailure;
using testing::kExitUsage;
using testing::Lumeray;
using testing::PatternImage;
using testing::ProcessResult;

using Cli = testing::EditorCli;

TEST_F(Cli, HelpAndVersion) {
  const ProcessResult help = Lumeray({"--help"});
  EXPECT_EQ(help.exitStatus, 0);
  EXPECT_NE(help.out.find("lumeray apply INPUT OUTPUT"), std::string::npos);
  EXPECT_NE(help.out.find("\"Religious Cross\""), std::string::npos);
  const ProcessResult version = Lumeray({"--version"});
  EXPECT_EQ(version.exitStatus, 0);
  EXPECT_EQ(version.out, "lumeray " LUMERAY_VERSION_STRING "\n");
}

TEST_F(Cli, UsageErrorsExitWith2BeforeTouchingAnything) {
  const std::string out = dir_.File("out.png");
  ExpectRefused(kExitUsage, {});
  ExpectRefused(kExitUsage, {"paint", input_, out});
  ExpectRefused(kExitUsage, {"apply", input_});
  ExpectRefused(kExitUsage, {"apply", input_, out, "extra.png"});
  ExpectRefused(kExitUsage, {"apply", input_, out, "--bogus"});
  ExpectRefused(kExitUsage, {"apply", input_, out, "--tile", "0"});
  ExpectRefused(kExitUsage, {"apply", input_, out, "--tile"});
  ExpectRefused(kExitUsage, {"apply", input_, out, "--quantity", "101"});
  ExpectRefused(kExitUsage, {"apply", input_, out, "--angle=-90.5"});
  ExpectRefused(kExitUsage, {"apply", input_, out, "--points", "2.5"});
  ExpectRefused(kExitUsage, {"apply", input_, out, "--intensity", "10", "--intensity", "20"});
  ExpectRefused(kExitUsage, {"apply", input_, out, "--effects-only=yes"});
  ExpectRefused(kExitUsage, {"apply", input_, out, "--effect", "Nova"});
}

TEST_F(Cli, BadInputsExitWith1AndLeaveNoOutput) {
  const std::string out = dir_.File("out.png");
  ExpectRefused(kExitFailure, {"apply", dir_.File("missing.png"), out});

  std::vector<uint8_t> png = testing::ReadFileBytes(input_);
  png.resize(png.size() / 2);
  testing::WriteFileBytes(dir_.File("truncated.png"), png);
  ExpectRefused(kExitFailure, {"apply", dir_.File("truncated.png"), out});

  HostImage withBadProfile = PatternImage(16, 16, 3, false, SampleType::kUInt8);
  withBadProfile.iccProfile = testing::MinimalIccProfile("RGB ");
  withBadProfile.iccProfile[0] = 0x7F;  // declares far more bytes than it has
  testing::WriteTestImage(dir_.File("badprofile.tif"), withBadProfile);
  ExpectRefused(kExitFailure, {"apply", dir_.File("badprofile.tif"), out});
  HostImage greyProfileOnRgb = PatternImage(16, 16, 3, false, SampleType::kUInt8);
  greyProfileOnRgb.iccProfile = testing::MinimalIccProfile("GRAY");
  testing::WriteTestImage(dir_.File("greyprofile.tif"), greyProfileOnRgb);
  ExpectRefused(kExitFailure, {"apply", dir_.File("greyprofile.tif"), out});

  testing::WriteTestImage(dir_.File("mask.png"),
                          PatternImage(47, 32, 1, false, SampleType::kUInt8));
  const ProcessResult mask =
      ExpectRefused(kExitFailure, {"apply", input_, out, "--mask", dir_.File("mask.png")});
  EXPECT_NE(mask.err.find("47 x 32"), std::string::npos) << mask.err;
  ExpectRefused(kExitFailure, {"apply", input_, out, "--mask", dir_.File("nomask.png")});

  ExpectRefused(kExitFailure, {"apply", input_, dir_.File("out.unknown")});
  ExpectRefused(kExitFailure, {"apply", input_, dir_.File("no/such/folder/out.png")});
  ExpectRefused(kExitFailure, {"apply", input_, out, "--plugin", dir_.File("none.8bf")});
  ExpectRefused(kExitFailure, {"apply", input_, out}, {{"LUMERAY_PLUGIN", input_}});
}

TEST_F(Cli, OptionsWithoutADisplayStopWithAMessage) {
  const ProcessResult result =
      Lumeray({"options"}, {{"QT_QPA_PLATFORM", ""}, {"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}});
  EXPECT_EQ(result.exitStatus, kExitFailure);
  EXPECT_NE(result.err.find("no display"), std::string::npos) << result.err;
}

TEST_F(Cli, InstallConfigStoresADrawingOption) {
  const ProcessResult result = Lumeray({"install-config"});
  ASSERT_EQ(result.exitStatus, 0) << result.err;
  int option = 0;
  ASSERT_EQ(std::sscanf(result.out.c_str(), "OpenGL drawing option %d", &option), 1) << result.out;
  EXPECT_GE(option, 1);
  EXPECT_LE(option, 4);
  const std::vector<uint8_t> bytes =
      testing::ReadFileBytes(std::string(getenv("XDG_CONFIG_HOME")) + "/lumeray/local-machine.ini");
  const std::string registry(bytes.begin(), bytes.end());
  char stored[64];
  std::snprintf(stored, sizeof stored, "OpenGLOptimizationSetting=dword:0x%08X", option);
  EXPECT_NE(registry.find(stored), std::string::npos) << registry;
}

TEST_F(Cli, SourcesListsTheLightSourcesOfTheSampleBrightestFirst) {
  const ProcessResult result = Lumeray({"sources", testing::SampleImage(), "--quiet"});
  ASSERT_EQ(result.exitStatus, 0) << result.err;
  int count = 0;
  ASSERT_EQ(std::sscanf(result.out.c_str(), "NumberOfLightSources = %d", &count), 1) << result.out;
  EXPECT_GT(count, 100);
  const std::string first = "\n\nLightSourceTable[0000] x = ";
  EXPECT_NE(result.out.find(first), std::string::npos) << result.out.substr(0, 200);
  // One line per source after the count line and its blank line.
  EXPECT_EQ(std::count(result.out.begin(), result.out.end(), '\n'), count + 2);
  unsigned previous = 0xFFFFFFFFu;
  size_t at = 0;
  while ((at = result.out.find("Bright = ", at)) != std::string::npos) {
    const unsigned bright =
        static_cast<unsigned>(std::stoul(result.out.substr(at + 9, 8), nullptr, 16));
    EXPECT_LE(bright, previous);
    previous = bright;
    at += 9;
  }
  ExpectRefused(kExitUsage, {"sources"});
  ExpectRefused(kExitUsage, {"sources", testing::SampleImage(), "--what"});
  ExpectRefused(kExitFailure, {"sources", dir_.File("missing.png")});
}

TEST_F(Cli, ApplyWritesTheImageBackUnchangedInItsOwnFormat) {
  HostImage image = testing::SmoothImage(61, 37, 3, true, SampleType::kUInt16);
  image.iccProfile = testing::ReadTestImage(testing::SampleImage()).iccProfile;
  ASSERT_FALSE(image.iccProfile.empty());
  const std::string input = dir_.File("deep.png");
  testing::WriteTestImage(input, image);
  const std::string out = dir_.File("deep-out.png");
  const ProcessResult result = Lumeray({"apply", input, out, "--tile", "16", "--quiet"});
  ASSERT_EQ(result.exitStatus, 0) << result.err;
  EXPECT_EQ(result.err, "");
  const HostImage written = testing::ReadTestImage(out);
  EXPECT_EQ(written.sampleType, SampleType::kUInt16);
  EXPECT_TRUE(written.hasAlpha);
  EXPECT_EQ(written.iccProfile, image.iccProfile);
  EXPECT_EQ(written.pixels, image.pixels);
}

TEST_F(Cli, AnOpenExrOutputKeepsItsCompressionAndItsPixels) {
  const HostImage image = testing::SmoothImage(61, 37, 3, false, SampleType::kFloat32);
  for (const char* compression : {"zip", "zips", "piz", "none"}) {
    SCOPED_TRACE(compression);
    const std::string input = dir_.File("in.exr");
    const std::string out = dir_.File("out.exr");
    OIIO::ImageSpec description(image.width, image.height, 3, OIIO::TypeDesc::FLOAT);
    description.attribute("compression", compression);
    auto writer = OIIO::ImageOutput::create(input);
    ASSERT_TRUE(writer && writer->open(input, description) &&
                writer->write_image(OIIO::TypeDesc::FLOAT, image.pixels.data()) && writer->close());
    const ProcessResult result = Lumeray({"apply", input, out, "--quiet"});
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    auto reader = OIIO::ImageInput::open(out);
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->spec().get_string_attribute("compression"), compression);
    EXPECT_EQ(testing::ReadTestImage(out).pixels, image.pixels);
  }
}

}  // namespace
}  // namespace lumeray
