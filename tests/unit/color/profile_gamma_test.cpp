#include "color/profile_gamma.h"

#include <gtest/gtest.h>
#include <lcms2.h>

#include <cmath>
#include <thread>
#include <vector>

#include "color_test_support.h"

namespace lumeray {
namespace {

// An sRGB-primaries profile whose green curve is a power `low` below the middle and a power
// `high` above it: a curve no single exponent fits closely.
cmsHPROFILE KneeProfile(double low, double high) {
  float values[256];
  for (int i = 0; i < 256; ++i) {
    const double x = i / 255.0;
    values[i] = static_cast<float>(x < 0.5 ? 0.5 * std::pow(2 * x, low) * std::pow(0.5, high - 1)
                                           : std::pow(x, high));
  }
  cmsToneCurve* green = cmsBuildTabulatedToneCurveFloat(nullptr, 256, values);
  cmsToneCurve* linear = cmsBuildGamma(nullptr, 1.0);
  cmsToneCurve* curves[3] = {linear, green, linear};
  const cmsCIExyY white{0.3127, 0.3290, 1.0};
  const cmsCIExyYTRIPLE primaries{{0.64, 0.33, 1.0}, {0.30, 0.60, 1.0}, {0.15, 0.06, 1.0}};
  cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
  cmsFreeToneCurve(green);
  cmsFreeToneCurve(linear);
  return profile;
}

void SetGreenCurve(cmsHPROFILE profile, double gamma) {
  cmsToneCurve* curve = cmsBuildGamma(nullptr, gamma);
  cmsWriteTag(profile, cmsSigGreenTRCTag, curve);
  cmsFreeToneCurve(curve);
}

class ProfileGamma : public testing::ColorTest {
 protected:
  void TearDown() override {
    ClearProfileGammaCache();
    for (cmsHPROFILE profile : profiles_) cmsCloseProfile(profile);
    ColorTest::TearDown();
  }
  cmsHPROFILE Keep(cmsHPROFILE profile) {
    profiles_.push_back(profile);
    return profile;
  }
  std::vector<cmsHPROFILE> profiles_;
};

TEST_F(ProfileGamma, FineThenCoarseThenTwoPointTwo) {
  ASSERT_TRUE(InitializeColorManagement());
  EXPECT_NEAR(EstimateProfileGamma(StandardProfile()), 2.2, 0.01);  // sRGB's curve
  EXPECT_NEAR(EstimateProfileGamma(LinearWorkingProfile()), 1.0, 1e-6);

  cmsHPROFILE knee = Keep(KneeProfile(1.6, 2.8));
  const auto* green = static_cast<const cmsToneCurve*>(cmsReadTag(knee, cmsSigGreenTRCTag));
  ASSERT_EQ(cmsEstimateGamma(green, kFineGammaPrecision), -1.0);
  EXPECT_NEAR(EstimateProfileGamma(knee), 2.57, 0.01);  // the estimate within 1.0

  EXPECT_DOUBLE_EQ(EstimateProfileGamma(Keep(KneeProfile(1.0, 5.0))), 2.2);          // fits none
  EXPECT_DOUBLE_EQ(EstimateProfileGamma(Keep(cmsCreateLab4Profile(nullptr))), 2.2);  // no curve
  EXPECT_DOUBLE_EQ(EstimateProfileGamma(nullptr), 2.2);

  cmsToneCurve* curve = cmsBuildGamma(nullptr, 1.4);  // grey profiles: the grey curve
  EXPECT_NEAR(EstimateProfileGamma(Keep(cmsCreateGrayProfile(cmsD50_xyY(), curve))), 1.4, 1e-6);
  cmsFreeToneCurve(curve);
}

TEST_F(ProfileGamma, EstimatesAreKeptUntilTheCacheIsFull) {
  cmsHPROFILE first = Keep(testing::PowerCurveProfile(1.8));
  EXPECT_NEAR(EstimateProfileGamma(first), 1.8, 1e-6);
  SetGreenCurve(first, 2.6);  // not looked at again: the kept estimate answers
  EXPECT_NEAR(EstimateProfileGamma(first), 1.8, 1e-6);

  for (int i = 1; i < kProfileGammaCacheSize; ++i) {
    EXPECT_NEAR(EstimateProfileGamma(Keep(testing::PowerCurveProfile(1.0 + i / 64.0))),
                1.0 + i / 64.0, 1e-6);
  }
  EXPECT_EQ(ProfileGammaCacheCount(), kProfileGammaCacheSize);

  cmsHPROFILE late = Keep(testing::PowerCurveProfile(3.0));
  EXPECT_NEAR(EstimateProfileGamma(late), 3.0, 1e-6);
  SetGreenCurve(late, 1.2);
  EXPECT_NEAR(EstimateProfileGamma(late), 1.2, 1e-6);  // not kept: estimated afresh
  EXPECT_EQ(ProfileGammaCacheCount(), kProfileGammaCacheSize);

  ClearProfileGammaCache();
  EXPECT_NEAR(EstimateProfileGamma(first), 2.6, 1e-6);
}

TEST_F(ProfileGamma, ThreadsEstimateTogether) {
  for (int i = 0; i < 8; ++i) Keep(testing::PowerCurveProfile(1.0 + i * 0.25));
  std::vector<std::thread> threads;
  std::vector<int> wrong(8, 0);
  for (size_t t = 0; t < 8; ++t) {
    threads.emplace_back([this, &wrong, t] {
      for (size_t round = 0; round < 20; ++round) {
        const size_t i = (t + round) % 8;
        const double gamma = EstimateProfileGamma(profiles_[i]);
        if (std::fabs(gamma - (1.0 + static_cast<double>(i) * 0.25)) > 1e-6) ++wrong[t];
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int count : wrong) EXPECT_EQ(count, 0);
  EXPECT_EQ(ProfileGammaCacheCount(), 8);
}

}  // namespace
}  // namespace lumeray
