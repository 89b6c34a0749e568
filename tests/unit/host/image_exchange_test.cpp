#include "host/host_image_exchange.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <vector>

#include "image/image_create.h"
#include "platform/window.h"
#include "run/input_image.h"
#include "unit/host/fake_host.h"
#include "unit/temp_home.h"

namespace lumeray {
namespace {

TEST(SixteenBitScale, ReadAndWriteBackAreExactInversesForEveryHostValue) {
  EXPECT_EQ(HostSampleToWorking16(32768), 65535);
  EXPECT_EQ(HostSampleToWorking16(16384), 32767);
  EXPECT_EQ(HostSampleToWorking16(0), 0);
  EXPECT_EQ(Working16ToHostSample(65535), 32768);
  EXPECT_EQ(Working16ToHostSample(32767), 16384);
  for (uint32_t h = 0; h <= 32768; ++h) {
    ASSERT_EQ(Working16ToHostSample(HostSampleToWorking16(static_cast<uint16_t>(h))), h) << h;
  }
  // Every working value maps into the host range, monotonically.
  uint16_t previous = 0;
  for (uint32_t v = 0; v <= 65535; ++v) {
    const uint16_t h = Working16ToHostSample(static_cast<uint16_t>(v));
    ASSERT_EQ(h, std::lround(v * 32768.0 / 65535.0)) << v;  // rounded to nearest
    ASSERT_LE(h, 32768u);
    ASSERT_GE(h, previous);
    previous = h;
  }
}

// A plane large enough to be copied by several threads lands on the right rows and comes back
// unchanged, with a ragged data edge clipping the request.
TEST(PlaneCopies, LargePlanesRoundTripRowForRow) {
  ImageRecord image;
  int result = 0;
  const ImageRect rect{0, 0, 1024, 700}, data{0, 0, 1000, 699};
  ASSERT_TRUE(CreateImage(&image, data, data, 11, nullptr, false, false, &result));
  std::vector<uint16_t> plane(1024 * 700), back(plane.size());
  for (size_t i = 0; i < plane.size(); ++i) plane[i] = static_cast<uint16_t>((i * 7919) % 32769);
  CopyPlaneIntoImage(&image, plane.data(), 2, rect, 2048, 2);
  EXPECT_EQ(PixelSamples<uint16_t>(image, 999, 698)[2],
            HostSampleToWorking16(plane[698 * 1024 + 999]));
  CopyImageIntoPlane(image, back.data(), 2, rect, 2048, 2);
  for (size_t y = 0; y < 700; ++y)
    for (size_t x = 0; x < 1024; ++x)
      ASSERT_EQ(back[y * 1024 + x], y < 699 && x < 1000 ? plane[y * 1024 + x] : 0) << x << "," << y;
  ReleaseImage(&image);
}

// The write-back hands the host its own negative float samples back where the image still
// holds the 0 the read made of them, and writes every other sample.
TEST(PlaneCopies, NegativeFloatsTheRenderLeftAtZeroComeBackAsTheHostHadThem) {
  ImageRecord image;
  int result = 0;
  const ImageRect rect{0, 0, 4, 1};
  ASSERT_TRUE(CreateImage(&image, rect, rect, kModeRGB96, nullptr, false, false, &result));
  const float read[4] = {-0.25f, -2.0f, 0.0f, 4.0f};
  CopyPlaneIntoImage(&image, read, 0, rect, sizeof read, 4);
  float* samples = PixelSamples<float>(image, 0, 0);
  ASSERT_EQ(samples[0], 0.0f) << "the read makes a negative sample black for the render";
  ASSERT_EQ(samples[kSamplesPerPixel], 0.0f);
  samples[kSamplesPerPixel] = 0.125f;             // brightened by an effect
  float plane[4] = {-0.25f, -2.0f, -1.0f, 4.0f};  // the host's current samples
  CopyImageIntoPlane(image, plane, 0, rect, sizeof plane, 4);
  EXPECT_EQ(plane[0], -0.25f);
  EXPECT_EQ(plane[1], 0.125f);
  EXPECT_EQ(plane[2], -1.0f) << "the image holds 0 there: the host's sample stays";
  EXPECT_EQ(plane[3], 4.0f);
  ReleaseImage(&image);
}

class Exchange : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetMessageBoxHandler(
        [this](platform::WindowHandle, const std::string& text, const std::string&, uint32_t) {
          boxes.push_back(text);
          return platform::kIdOk;
        });
  }
  void TearDown() override { platform::SetMessageBoxHandler({}); }
  testing::TempHome home;
  std::vector<std::string> boxes;
};

TEST_F(Exchange, WriteBackUsesTilesOf2048) {
  testing::FakeHost host;
  host.SetFilterRect(0, 0, 3000, 2000, 3);
  ASSERT_EQ(host.Run(), 0);
  std::set<int> widths;
  for (const VRect& r : host.outRects) widths.insert(r.right - r.left);
  EXPECT_EQ(widths, (std::set<int>{2048, 952}));
  EXPECT_EQ(host.outRects.size(), 2u * 3u);  // two tiles, three planes each
  EXPECT_EQ(host.output, host.input());
}

TEST_F(Exchange, ATileSizeOfZeroReadsIn1024Tiles) {
  testing::FakeHost host;
  host.SetFilterRect(0, 0, 1500, 10, 3);
  host.record().inTileWidth = 0;
  ASSERT_EQ(host.Run(), 0);
  ASSERT_FALSE(host.inRects.empty());
  EXPECT_EQ(host.inRects.front().right, 1024);
}

TEST_F(Exchange, AHostRefusalWhileReadingIsReportedAndEndsTheRun) {
  testing::FakeHost host;
  ASSERT_EQ(host.Call(kFilterSelectorPrepare), 0);
  host.advanceResult = -1;
  EXPECT_EQ(host.Call(kFilterSelectorStart), -1);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0], "Could not read input image.");
}

}  // namespace
}  // namespace lumeray
