#include "color/transform_cache.h"

#include <gtest/gtest.h>
#include <lcms2.h>

#include <thread>
#include <vector>

#include "color/profile_sources.h"
#include "color_test_support.h"

namespace lumeray {
namespace {

class TransformCacheTest : public testing::ColorTest {
 protected:
  void SetUp() override {
    ColorTest::SetUp();
    ASSERT_TRUE(InitializeColorManagement());
  }
};

TEST_F(TransformCacheTest, AKeyIsMadeOnceAndThenFound) {
  const auto get = [](ProfileHandle from, uint32_t fromFormat, ProfileHandle to,
                      uint32_t toFormat) {
    return GetColorTransform(from, fromFormat, to, toFormat).get();
  };
  const cmsHTRANSFORM first = get(StandardProfile(), TYPE_RGBA_8, WorkingProfile(), TYPE_RGBA_8);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(get(StandardProfile(), TYPE_RGBA_8, WorkingProfile(), TYPE_RGBA_8), first);
  // Every part of the key counts; a missing source is a key of its own.
  EXPECT_NE(get(StandardProfile(), TYPE_BGRA_8, WorkingProfile(), TYPE_RGBA_8), first);
  EXPECT_NE(get(StandardProfile(), TYPE_RGBA_8, WorkingProfile(), TYPE_BGRA_8), first);
  EXPECT_NE(get(HostProfile(), TYPE_RGBA_8, WorkingProfile(), TYPE_RGBA_8), first);
  EXPECT_NE(get(StandardProfile(), TYPE_RGBA_8, HostProfile(), TYPE_RGBA_8), first);
  EXPECT_NE(get(nullptr, TYPE_RGBA_8, WorkingProfile(), TYPE_RGBA_8), first);
  EXPECT_EQ(CachedTransformCount(), 6);
  EXPECT_EQ(get(StandardProfile(), TYPE_RGBA_8, nullptr, TYPE_RGBA_8), nullptr);
  EXPECT_EQ(LogCount("Could not compute color transform."), 1);

  ReleaseTransformCache();
  EXPECT_EQ(CachedTransformCount(), 0);
}

TEST_F(TransformCacheTest, TheThirtyThirdTransformIsMadeUncachedEachTime) {
  std::vector<cmsHPROFILE> profiles;
  for (int i = 0; i < kTransformCacheSize; ++i) {
    profiles.push_back(testing::PowerCurveProfile(1.0 + i * 0.05));
    ASSERT_TRUE(GetColorTransform(profiles.back(), TYPE_RGBA_8, StandardProfile(), TYPE_RGBA_8));
  }
  for (int attempt = 1; attempt <= 2; ++attempt) {
    ColorTransform extra =
        GetColorTransform(StandardProfile(), TYPE_RGBA_8, WorkingProfile(), TYPE_RGBA_8);
    ASSERT_TRUE(extra);
    EXPECT_FALSE(extra.cached());  // deleted when it goes
    EXPECT_EQ(LogCount("Transform cache table size exceeded."), attempt);
  }
  EXPECT_TRUE(
      GetColorTransform(profiles.front(), TYPE_RGBA_8, StandardProfile(), TYPE_RGBA_8).cached());
  EXPECT_EQ(CachedTransformCount(), kTransformCacheSize);
  ReleaseTransformCache();
  for (cmsHPROFILE profile : profiles) cmsCloseProfile(profile);
}

TEST_F(TransformCacheTest, ThreadsShareOneTransformPerKey) {
  std::vector<cmsHTRANSFORM> seen(8);
  std::vector<std::thread> threads;
  for (size_t t = 0; t < seen.size(); ++t) {
    threads.emplace_back([&seen, t] {
      for (int i = 0; i < 50; ++i) {
        ColorTransform transform =
            GetColorTransform(StandardProfile(), TYPE_RGBA_8, LinearWorkingProfile(), TYPE_RGBA_8);
        uint8_t pixel[4] = {static_cast<uint8_t>(i), 128, 255, 0};
        cmsDoTransform(transform.get(), pixel, pixel, 1);
        seen[t] = transform.get();
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (cmsHTRANSFORM transform : seen) EXPECT_EQ(transform, seen.front());
  EXPECT_EQ(CachedTransformCount(), 1);
}

TEST_F(TransformCacheTest, GreyInRgbaOut) {
  ProfileHandle grey = OpenLinearColorProfileResource();
  EXPECT_EQ(AdaptFormatToProfile(TYPE_BGRA_8, grey), kFormatGray8);
  EXPECT_EQ(AdaptFormatToProfile(TYPE_RGBA_16, grey), kFormatGray16);
  EXPECT_EQ(AdaptFormatToProfile(TYPE_RGBA_FLT, grey), kFormatGrayFloat);
  EXPECT_EQ(AdaptFormatToProfile(kFormatGray8, StandardProfile()), TYPE_RGBA_8);
  EXPECT_EQ(AdaptFormatToProfile(kFormatGrayFloat, StandardProfile()), TYPE_RGBA_FLT);
  EXPECT_EQ(AdaptFormatToProfile(kFormatSingleColor, grey), kFormatSingleColor);

  ColorTransform transform = GetColorTransform(grey, kFormatGray8, StandardProfile(), kFormatGray8);
  ASSERT_TRUE(transform);
  uint8_t pixel[4] = {128, 0, 0, 77};
  cmsDoTransform(transform.get(), pixel, pixel, 1);
  EXPECT_GT(pixel[0], 0);
  EXPECT_EQ(pixel[0], pixel[1]);
  EXPECT_EQ(pixel[1], pixel[2]);
  EXPECT_EQ(pixel[3], 77);  // the extra channel is left alone
  ReleaseTransformCache();
  cmsCloseProfile(grey);
}

}  // namespace
}  // namespace lumeray
