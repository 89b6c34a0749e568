// `lumeray preview`: one frame of the module's live preview, written as an image.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/editor_cli.h"

namespace lumeray {
namespace {

using testing::Lumeray;

// The brightest byte of the frame, and how many pixels have the background grey.
struct FrameFacts {
  int brightest = 0;
  int background = 0;
};

FrameFacts FactsOf(const HostImage& frame) {
  FrameFacts facts;
  for (int32_t y = 0; y < frame.height; ++y) {
    for (int32_t x = 0; x < frame.width; ++x) {
      const uint8_t* p = frame.Pixel(x, y);
      facts.brightest = std::max({facts.brightest, int(p[0]), int(p[1]), int(p[2])});
      // 127/255 in linear light, encoded with gamma 1/2.2.
      if (p[0] == p[1] && p[1] == p[2] && std::abs(p[0] - 186) <= 1) ++facts.background;
    }
  }
  return facts;
}

TEST(PreviewCli, WritesAFrameOfTheSizeAskedWithStarsAndTheBackgroundAroundASmallImage) {
  testing::TempDir dir;
  struct Case {
    std::vector<std::string> options;
    int width, height;
    bool background;  // the scaled image is smaller than the frame
  };
  const Case cases[] = {
      {{"--size", "320x200"}, 320, 200, false},
      {{"--size=400x400", "--zoom", "25", "--center", "100,100"}, 400, 400, true},
  };
  for (const Case& c : cases) {
    const std::string out = dir.File("frame.png");
    std::vector<std::string> arguments = {"preview", testing::SampleImage(), out, "--quiet"};
    arguments.insert(arguments.end(), c.options.begin(), c.options.end());
    const testing::ProcessResult result = Lumeray(arguments);
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    const HostImage frame = testing::ReadTestImage(out);
    EXPECT_EQ(frame.width, c.width);
    EXPECT_EQ(frame.height, c.height);
    const FrameFacts facts = FactsOf(frame);
    EXPECT_EQ(facts.brightest, 255) << "the picture is drawn, not only the background";
    EXPECT_EQ(facts.background > c.width * 10, c.background) << facts.background;
  }
  for (const std::vector<std::string>& bad :
       {std::vector<std::string>{"preview", testing::SampleImage()},
        {"preview", testing::SampleImage(), dir.File("x.png"), "--size", "2x900"},
        {"preview", testing::SampleImage(), dir.File("x.png"), "--zoom", "0"},
        {"preview", testing::SampleImage(), dir.File("x.png"), "--center", "1"}}) {
    const testing::ProcessResult result = Lumeray(bad);
    EXPECT_EQ(result.exitStatus, 2) << bad.back();
  }
}

}  // namespace
}  // namespace lumeray
