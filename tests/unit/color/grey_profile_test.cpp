#include "color/grey_profile_resource.h"

#include <gtest/gtest.h>
#include <lcms2.h>

#include <cmath>

#include "resources/embedded_resources.h"

namespace lumeray {
namespace {

TEST(GreyProfile, AVersion2GreyOutputProfileInRcData243) {
  const auto resource = FindResource("RCDATA", 243);
  ASSERT_TRUE(resource.has_value());
  ASSERT_EQ(resource->size, 912u);
  EXPECT_EQ(resource->data, LinearColorProfileResourceBytes().data());
  // The stated size and the creator, big-endian as ICC stores them.
  EXPECT_EQ(resource->data[2] << 8 | resource->data[3], 912);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(resource->data) + 80, 4), "VTSE");

  cmsHPROFILE profile = cmsOpenProfileFromMem(resource->data, 912);
  ASSERT_NE(profile, nullptr);
  EXPECT_EQ(cmsGetColorSpace(profile), cmsSigGrayData);
  EXPECT_EQ(cmsGetPCS(profile), cmsSigXYZData);
  EXPECT_EQ(cmsGetDeviceClass(profile), cmsSigOutputClass);
  EXPECT_DOUBLE_EQ(cmsGetProfileVersion(profile), 2.1);
  EXPECT_EQ(cmsGetHeaderRenderingIntent(profile), 0u);
  char text[64] = {};
  cmsGetProfileInfoASCII(profile, cmsInfoDescription, "en", "US", text, sizeof text);
  EXPECT_STREQ(text, "Default Grayscale Profile");
  const auto* white = static_cast<const cmsCIEXYZ*>(cmsReadTag(profile, cmsSigMediaWhitePointTag));
  ASSERT_NE(white, nullptr);
  EXPECT_NEAR(white->X, 0.9642, 1e-4);
  EXPECT_NEAR(white->Z, 0.8249, 1e-4);
  const auto* black = static_cast<const cmsCIEXYZ*>(cmsReadTag(profile, cmsSigMediaBlackPointTag));
  ASSERT_NE(black, nullptr);
  EXPECT_EQ(black->X + black->Y + black->Z, 0.0);

  const auto* curve = static_cast<const cmsToneCurve*>(cmsReadTag(profile, cmsSigGrayTRCTag));
  ASSERT_NE(curve, nullptr);
  ASSERT_EQ(cmsGetToneCurveEstimatedTableEntries(curve), 256u);
  const cmsUInt16Number* table = cmsGetToneCurveEstimatedTable(curve);
  // Every entry: a linear toe of 16 per step, then a power of 1.737, rounded.
  for (int i = 0; i < 256; ++i) {
    const double value = std::max(16.0 * i, 65535.0 * std::pow(i / 255.0, 1.737));
    EXPECT_EQ(table[i], std::floor(value + 0.5)) << i;
  }
  cmsCloseProfile(profile);
}

}  // namespace
}  // namespace lumeray
