// A FloatCurveTransform, wherever it is made, must give exactly what cmsDoTransform gives: bit
// for bit, over a dense sweep of one channel's float values (deep shadows, subnormals, the
// inverse sRGB curve's break point, far above 1, negatives) and over random colours of every
// scale. The run's own transform (effects drawn in the working profile, converted to a host's
// sRGB) must be one it makes.
#include "color/float_curve_transform.h"

#include <gtest/gtest.h>
#include <lcms2.h>

#include <bit>
#include <cstring>
#include <random>
#include <vector>

#include "color/transform_cache.h"
#include "color_test_support.h"

namespace lumeray {
namespace {

class FloatCurves : public testing::ColorTest {
 protected:
  void SetUp() override {
    ColorTest::SetUp();
    ASSERT_TRUE(InitializeColorManagement());
  }
};

std::vector<float> SweepPixels() {
  std::vector<float> pixels;
  const auto add = [&pixels](float r, float g, float b) {
    pixels.insert(pixels.end(), {r, g, b, 0.5f});
  };
  const uint32_t last = std::bit_cast<uint32_t>(40.0f);
  for (uint32_t bits = 0; bits < last; bits += 1999) {
    const float value = std::bit_cast<float>(bits);
    add(value, 0.25f, 0.0f);
    add(0.0f, -value, value);
  }
  std::mt19937 random(7);
  std::uniform_real_distribution<float> unit(0.0f, 1.0f);
  constexpr float kScales[] = {1.0f, 1e-2f, 1e-4f, 3.0f};
  for (int i = 0; i < 200000; ++i) {
    const float scale = kScales[i % 4];
    add(unit(random) * scale, unit(random) * scale, unit(random) * scale);
  }
  return pixels;
}

TEST_F(FloatCurves, ConvertsExactlyAsLittleCms) {
  cmsHPROFILE wide = testing::WideLinearProfile();
  cmsHPROFILE gamma18 = testing::PowerCurveProfile(1.8);
  struct Case {
    const char* name;
    ProfileHandle source, destination;
    bool made;
  };
  const Case cases[] = {
      {"working to the host's sRGB", WorkingProfile(), StandardProfile(), true},
      {"linear wide to gamma 1.8", wide, gamma18, true},
      {"sRGB to linear working", StandardProfile(), LinearWorkingProfile(), false},
      {"working to linear wide", WorkingProfile(), wide, true},
  };
  const std::vector<float> input = SweepPixels();
  for (const Case& c : cases) {
    const ColorTransform transform =
        GetColorTransform(c.source, TYPE_RGBA_FLT, c.destination, TYPE_RGBA_FLT);
    ASSERT_TRUE(transform) << c.name;
    const auto curves = FloatCurveTransform::Make(transform.get());
    if (c.made) {
      EXPECT_NE(curves, nullptr) << c.name;
    }
    if (curves == nullptr) continue;
    std::vector<float> expected = input;
    std::vector<float> converted = input;
    const auto count = static_cast<int64_t>(input.size() / 4);
    cmsDoTransform(transform.get(), expected.data(), expected.data(),
                   static_cast<cmsUInt32Number>(count));
    curves->Convert(converted.data(), count);
    int64_t differing = 0;
    for (int64_t i = 0; i < count; ++i) {
      differing += std::memcmp(&expected[i * 4], &converted[i * 4], 4 * sizeof(float)) != 0;
    }
    EXPECT_EQ(differing, 0) << c.name;
  }
  cmsCloseProfile(gamma18);
  cmsCloseProfile(wide);
}

}  // namespace
}  // namespace lumeray
