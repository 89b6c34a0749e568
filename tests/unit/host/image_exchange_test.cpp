#include "host/host_image_exchange.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
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

// At every depth and for every channel, a plane large enough to be copied by several threads
// lands in its own sample of the right pixels, leaves the other samples alone and comes back
// as the host sent it; a ragged data edge clips the request. 8-bit images keep B, G, R, A.
TEST(PlaneCopies, LargePlanesRoundTripIntoTheirOwnSample) {
  const struct {
    int32_t mode;
    int bytes;
    int sampleOfChannel[4];
  } cases[] = {
      {kModeRGB, 1, {2, 1, 0, 3}}, {kModeRGB48, 2, {0, 1, 2, 3}}, {kModeRGB96, 4, {0, 1, 2, 3}}};
  const ImageRect rect{0, 0, 1024, 700}, data{0, 0, 1000, 699};
  const size_t count = 1024 * 700;
  for (const auto& c : cases) {
    for (int channel = 0; channel < 4; ++channel) {
      SCOPED_TRACE(::testing::Message() << "mode " << c.mode << " channel " << channel);
      ImageRecord image;
      int result = 0;
      ASSERT_TRUE(CreateImage(&image, data, data, c.mode, nullptr, false, false, &result));
      std::memset(image.pixels.data, 0, image.pixels.size);
      std::vector<uint8_t> plane(count * c.bytes);
      for (size_t i = 0; i < count; ++i) {
        const uint32_t v = (i * 7919) % 32769;
        if (c.bytes == 1) plane[i] = static_cast<uint8_t>(v);
        if (c.bytes == 2) std::memcpy(&plane[2 * i], &v, 2);          // little-endian
        const float f = (static_cast<float>(v) - 4096.0f) / 8192.0f;  // some negative
        if (c.bytes == 4) std::memcpy(&plane[4 * i], &f, 4);
      }
      CopyPlaneIntoImage(&image, plane.data(), channel, rect, 1024 * c.bytes, c.bytes);
      for (int32_t y = 0; y < 699; y += 7) {
        for (int32_t x = 0; x < 1000; ++x) {
          const size_t i = static_cast<size_t>(y) * 1024 + x;
          for (int s = 0; s < 4; ++s) {
            const bool own = s == c.sampleOfChannel[channel];
            double got = 0, want = 0;
            if (c.bytes == 1) {
              got = PixelSamples<uint8_t>(image, x, y)[s];
              want = own ? plane[i] : 0;
            } else if (c.bytes == 2) {
              got = PixelSamples<uint16_t>(image, x, y)[s];
              uint16_t v;
              std::memcpy(&v, &plane[2 * i], 2);
              want = own ? std::floor(v * 65535.0 / 32768.0) : 0;
            } else {
              got = PixelSamples<float>(image, x, y)[s];
              float f;
              std::memcpy(&f, &plane[4 * i], 4);
              want = !own ? 0 : channel == 3 ? f : std::max(f, 0.0f);  // alpha as it is
            }
            ASSERT_EQ(got, want) << x << "," << y << " sample " << s;
          }
        }
      }
      std::vector<uint8_t> back = plane;  // the host's current samples
      if (c.bytes < 4) std::fill(back.begin(), back.end(), uint8_t{0});
      CopyImageIntoPlane(image, back.data(), channel, rect, 1024 * c.bytes, c.bytes);
      for (size_t y = 0; y < 700; ++y) {
        for (size_t x = 0; x < 1024; ++x) {
          const size_t at = (y * 1024 + x) * c.bytes;
          const bool inside = y < 699 && x < 1000;
          ASSERT_TRUE(std::equal(&back[at], &back[at] + c.bytes, inside ? &plane[at] : &back[at]))
              << x << "," << y;
          if (!inside && c.bytes < 4) ASSERT_EQ(back[at], 0) << x << "," << y;
        }
      }
      ReleaseImage(&image);
    }
  }
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
