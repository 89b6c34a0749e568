#include "color/display_profiles.h"

#include <gtest/gtest.h>
#include <lcms2.h>

#include <cstdlib>
#include <memory>

#include "color/x11_monitor_profile.h"
#include "color_test_support.h"
#include "x11_test_display.h"

namespace lumeray {
namespace {

using DisplayProfilesHeadless = testing::ColorTest;

TEST_F(DisplayProfilesHeadless, NoDisplayGivesTheStandardProfile) {
  const char* saved = std::getenv("DISPLAY");
  const std::string savedDisplay = saved != nullptr ? saved : "";
  unsetenv("DISPLAY");
  ASSERT_TRUE(InitializeColorManagement());
  EXPECT_EQ(GetDisplayProfile(), StandardProfile());
  EXPECT_EQ(LogCount("Could not get a device context for the specified monitor."), 1);
  EXPECT_EQ(LogCount("Could not get a display color profile for the current monitor."), 1);
  if (saved != nullptr) setenv("DISPLAY", savedDisplay.c_str(), 1);
}

// Every test gets a fresh X server, whose root window has no profile properties yet.
class DisplayProfiles : public testing::ColorTest {
 protected:
  void SetUp() override {
    ColorTest::SetUp();
    display_ = std::make_unique<testing::X11TestDisplay>();
    if (!display_->running()) GTEST_SKIP() << "Xvfb is not available";
    ASSERT_TRUE(InitializeColorManagement());
  }
  void TearDown() override {
    ReleaseColorManagement();
    display_.reset();
    ColorTest::TearDown();
  }
  void SetMonitorProfile(int monitor, double gamma) {
    cmsHPROFILE profile = testing::PowerCurveProfile(gamma);
    ASSERT_TRUE(display_->SetRootProperty(MonitorProfileAtomName(monitor),
                                          testing::SaveProfileBytes(profile)));
    cmsCloseProfile(profile);
  }

  std::unique_ptr<testing::X11TestDisplay> display_;
};

TEST_F(DisplayProfiles, EachMonitorHasItsPropertysProfile) {
  EXPECT_EQ(MonitorProfileAtomName(0), "_ICC_PROFILE");
  EXPECT_EQ(MonitorProfileAtomName(3), "_ICC_PROFILE_3");
  EXPECT_EQ(GetDisplayProfile(), StandardProfile());  // no property yet
  EXPECT_EQ(LogCount("Could not get a display color profile for the current monitor."), 1);

  SetMonitorProfile(0, 1.8);
  SetMonitorProfile(1, 2.4);
  ProfileHandle primary = GetDisplayProfile();
  ASSERT_NE(primary, StandardProfile());
  EXPECT_NEAR(EstimateProfileGamma(primary), 1.8, 1e-4);
  EXPECT_EQ(GetDisplayProfileOfMonitor(MonitorOfNumber(0)), primary);  // kept
  ProfileHandle second = GetDisplayProfileOfMonitor(MonitorOfNumber(1));
  EXPECT_NEAR(EstimateProfileGamma(second), 2.4, 1e-4);

  // Bytes no profile can be made of, and a profile no image can be shown in.
  ASSERT_TRUE(display_->SetRootProperty(MonitorProfileAtomName(2), std::vector<uint8_t>(300, 7)));
  EXPECT_EQ(GetDisplayProfileOfMonitor(MonitorOfNumber(2)), StandardProfile());
  cmsHPROFILE lab = cmsCreateLab4Profile(nullptr);
  ASSERT_TRUE(display_->SetRootProperty(MonitorProfileAtomName(3), testing::SaveProfileBytes(lab)));
  cmsCloseProfile(lab);
  EXPECT_EQ(GetDisplayProfileOfMonitor(MonitorOfNumber(3)), StandardProfile());
  EXPECT_EQ(LogCount("Could not open monitor color profile."), 2);
}

TEST_F(DisplayProfiles, TheSeventeenthMonitorFindsTheCacheFull) {
  for (int monitor = 0; monitor <= kDisplayProfileCacheSize; ++monitor) {
    SetMonitorProfile(monitor, 1.0 + monitor * 0.1);
  }
  for (int monitor = 0; monitor < kDisplayProfileCacheSize; ++monitor) {
    EXPECT_NE(GetDisplayProfileOfMonitor(MonitorOfNumber(monitor)), StandardProfile()) << monitor;
  }
  EXPECT_EQ(GetDisplayProfileOfMonitor(MonitorOfNumber(kDisplayProfileCacheSize)),
            StandardProfile());
  EXPECT_EQ(LogCount("The display profile cache is full."), 1);
}

}  // namespace
}  // namespace lumeray
