// Little CMS's built-in sRGB profile as the bytes of an ICC file, for images that must carry a
// profile.
#pragma once

#include <lcms2.h>

#include <cstdint>
#include <vector>

namespace lumeray::testing {

inline std::vector<uint8_t> SrgbProfile() {
  cmsHPROFILE profile = cmsCreate_sRGBProfile();
  cmsUInt32Number size = 0;
  cmsSaveProfileToMem(profile, nullptr, &size);
  std::vector<uint8_t> bytes(size);
  cmsSaveProfileToMem(profile, bytes.data(), &size);
  cmsCloseProfile(profile);
  return bytes;
}

}  // namespace lumeray::testing
