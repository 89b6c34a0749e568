#include "color/color_management.h"

#include <gtest/gtest.h>
#include <lcms2.h>

#include <random>

#include "color/profile_blocks.h"
#include "color/profile_sources.h"
#include "color_test_support.h"

namespace lumeray {
namespace {

using testing::ProfileHandingHost;

std::string Description(ProfileHandle profile) {
  char text[128] = {};
  cmsGetProfileInfoASCII(profile, cmsInfoDescription, "en", "US", text, sizeof text);
  return text;
}

using ColorManagement = testing::ColorTest;

TEST_F(ColorManagement, RunProfilesAndTheirRelease) {
  ASSERT_TRUE(InitializeColorManagement());
  EXPECT_EQ(Description(StandardProfile()), "sRGB built-in");
  EXPECT_EQ(Description(HostProfile()), "sRGB built-in");  // another one, for the host
  EXPECT_NE(HostProfile(), StandardProfile());
  EXPECT_NEAR(EstimateProfileGamma(WorkingProfile()), 2.2, 1e-6);
  EXPECT_NEAR(EstimateProfileGamma(LinearWorkingProfile()), 1.0, 1e-6);
  const auto* red =
      static_cast<const cmsCIEXYZ*>(cmsReadTag(LinearWorkingProfile(), cmsSigRedColorantTag));
  const auto* srgbRed =
      static_cast<const cmsCIEXYZ*>(cmsReadTag(StandardProfile(), cmsSigRedColorantTag));
  EXPECT_NEAR(red->X, srgbRed->X, 1e-4);  // sRGB's primaries, as saved
  EXPECT_EQ(ProfileBlocksInUse(), 2);

  ReleaseColorManagement();
  for (ProfileHandle profile :
       {StandardProfile(), HostProfile(), WorkingProfile(), LinearWorkingProfile()}) {
    EXPECT_EQ(profile, nullptr);
  }
  EXPECT_EQ(ProfileBlocksInUse(), 0);
  EXPECT_EQ(ProfileGammaCacheCount(), 0);
}

TEST_F(ColorManagement, TheHostsProfileWhenUsableElseAFallback) {
  cmsHPROFILE own = testing::PowerCurveProfile(1.8);
  {
    ProfileHandingHost host(testing::SaveProfileBytes(own));
    ASSERT_TRUE(InitializeColorManagement());
    EXPECT_NEAR(EstimateProfileGamma(HostProfile()), 1.8, 1e-4);
    EXPECT_EQ(ProfileBlocksInUse(), 3);  // the host's copy and the two derived profiles
    EXPECT_EQ(host.handles().LockCount(host.record().iCCprofileData), 0) << "unlocked again";
    ReleaseColorManagement();
  }
  cmsCloseProfile(own);

  for (int16_t mode : {kModeGrayScale, kModeGray16, kModeGray32}) {
    ProfileHandingHost host({}, mode);
    ASSERT_TRUE(InitializeColorManagement());
    EXPECT_EQ(Description(HostProfile()), "Default Grayscale Profile") << mode;
    ReleaseColorManagement();
  }

  ProfileHandingHost locked(testing::StandardProfileBytes(), kModeGray16);
  locked.record().iCCprofileData = reinterpret_cast<Handle>(&locked);  // cannot be locked
  ASSERT_TRUE(InitializeColorManagement());
  EXPECT_EQ(LogCount("Could not acquire host editor-provided image color profile."), 1);
  EXPECT_EQ(locked.handles().BadCalls(), 1) << "the failed lock only, no unlock";
  EXPECT_EQ(Description(HostProfile()), "Default Grayscale Profile");
}

TEST_F(ColorManagement, GarbageFromTheHostIsReportedAndReplaced) {
  std::mt19937 random(11);
  std::vector<uint8_t> noise(4000);
  for (uint8_t& b : noise) b = static_cast<uint8_t>(random());
  std::vector<uint8_t> truncated = testing::StandardProfileBytes();
  truncated.resize(truncated.size() / 2);
  std::vector<uint8_t> badTags = testing::StandardProfileBytes();  // tags outside the profile
  for (size_t i = 132; i < 132 + 12 * size_t{badTags[131]}; ++i) badTags[i] = 0xEE;
  cmsHPROFILE lab = cmsCreateLab4Profile(nullptr);
  const std::vector<uint8_t> labBytes = testing::SaveProfileBytes(lab);
  cmsCloseProfile(lab);

  int reports = 0;
  for (const std::vector<uint8_t>& bytes : {noise, truncated, badTags, labBytes}) {
    ProfileHandingHost host(bytes);
    ASSERT_TRUE(InitializeColorManagement());
    EXPECT_EQ(Description(HostProfile()), "sRGB built-in");
    EXPECT_EQ(host.handles().LockCount(host.record().iCCprofileData), 0);
    EXPECT_EQ(LogCount("Could not open host editor-provided image color profile."), ++reports);
    EXPECT_EQ(ProfileBlocksInUse(), 2);  // nothing of the refused profile stays
    ReleaseColorManagement();
  }
  EXPECT_GE(LogCount("'Debug: Unexpected error' - 'Little CMS returned error code"), 1);

  // Stated sizes the handle cannot hold are never read.
  ProfileHandingHost host(testing::StandardProfileBytes());
  for (int32_t size : {0, -5, host.record().iCCprofileSize + 1}) {
    host.record().iCCprofileSize = size;
    ASSERT_TRUE(InitializeColorManagement());
    EXPECT_EQ(Description(HostProfile()), "sRGB built-in");
    ReleaseColorManagement();
  }
  EXPECT_EQ(LogCount("Could not open host editor-provided image color profile."), reports + 3);
}

TEST_F(ColorManagement, TheBlockTableHoldsSixtyThreeProfiles) {
  ASSERT_TRUE(InitializeColorManagement());
  std::vector<ProfileHandle> derived;
  while (ProfileBlocksInUse() < kProfileBlockLimit) {
    derived.push_back(DeriveProfileWithGamma(StandardProfile(), 1.5));
    ASSERT_NE(derived.back(), nullptr);
  }
  EXPECT_EQ(DeriveProfileWithGamma(StandardProfile(), 1.5), nullptr);
  EXPECT_EQ(LogCount("Ran out of room in the ProfileBlock table."), 1);

  ProfileHandingHost host(testing::StandardProfileBytes());
  EXPECT_EQ(GetHostEditorProfile(), nullptr);
  EXPECT_EQ(LogCount("Could not allocate a cache block to store the host editor-provided image "
                     "color profile."),
            1);
  for (ProfileHandle profile : derived) cmsCloseProfile(profile);
}

}  // namespace
}  // namespace lumeray
