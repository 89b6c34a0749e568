#include "icc_profile.h"

#include <lcms2.h>

#include <algorithm>
#include <array>

#include "filter_interface.h"

namespace lumeray {
namespace {

constexpr size_t kHeaderBytes = 128;
constexpr size_t kTagCountBytes = 4;
constexpr size_t kTagEntryBytes = 12;
constexpr size_t kSizeOffset = 0;
constexpr size_t kColourSpaceOffset = 16;
constexpr size_t kSignatureOffset = 36;
constexpr uint32_t kProfileSignature = FourCC("acsp");
constexpr uint32_t kGreySpace = FourCC("GRAY");
constexpr uint32_t kRgbSpace = FourCC("RGB ");
constexpr size_t kIlluminantOffset = 68;
constexpr size_t kProfileIdOffset = 84;
constexpr size_t kProfileIdBytes = 16;
// D50 (0.9642, 1.0, 0.8249) as the header's s15Fixed16 numbers, big-endian.
constexpr std::array<uint8_t, 12> kD50Illuminant{0x00, 0x00, 0xF6, 0xD6, 0x00, 0x01,
                                                 0x00, 0x00, 0x00, 0x00, 0xD3, 0x2D};

// ICC numbers are big-endian.
uint32_t BigEndian32(std::span<const uint8_t> bytes, size_t offset) {
  return (static_cast<uint32_t>(bytes[offset]) << 24) |
         (static_cast<uint32_t>(bytes[offset + 1]) << 16) |
         (static_cast<uint32_t>(bytes[offset + 2]) << 8) | static_cast<uint32_t>(bytes[offset + 3]);
}

}  // namespace

bool CheckIccProfileStructure(std::span<const uint8_t> profile, std::string* error) {
  if (profile.size() < kHeaderBytes + kTagCountBytes) {
    *error =
        "the embedded colour profile is too short (" + std::to_string(profile.size()) + " bytes)";
    return false;
  }
  if (BigEndian32(profile, kSignatureOffset) != kProfileSignature) {
    *error = "the embedded colour profile is not an ICC profile";
    return false;
  }
  const uint64_t declared = BigEndian32(profile, kSizeOffset);
  if (declared < kHeaderBytes + kTagCountBytes || declared > profile.size()) {
    *error = "the embedded colour profile declares " + std::to_string(declared) +
             " bytes but holds " + std::to_string(profile.size());
    return false;
  }
  const std::span<const uint8_t> bytes = profile.first(static_cast<size_t>(declared));
  const uint64_t tags = BigEndian32(bytes, kHeaderBytes);
  if (tags > (bytes.size() - kHeaderBytes - kTagCountBytes) / kTagEntryBytes) {
    *error = "the embedded colour profile's tag table runs past its end";
    return false;
  }
  for (uint64_t i = 0; i < tags; ++i) {
    const size_t entry = kHeaderBytes + kTagCountBytes + static_cast<size_t>(i) * kTagEntryBytes;
    const uint64_t offset = BigEndian32(bytes, entry + 4);
    const uint64_t size = BigEndian32(bytes, entry + 8);
    if (offset > bytes.size() || size > bytes.size() - offset) {
      *error = "the embedded colour profile's tag " + std::to_string(i + 1) + " lies outside it";
      return false;
    }
  }
  cmsHPROFILE opened =
      cmsOpenProfileFromMem(bytes.data(), static_cast<cmsUInt32Number>(bytes.size()));
  if (opened == nullptr) {
    *error = "the embedded colour profile cannot be read";
    return false;
  }
  cmsCloseProfile(opened);
  return true;
}

bool CheckIccProfile(std::span<const uint8_t> profile, int colourPlanes, std::string* error) {
  if (!CheckIccProfileStructure(profile, error)) return false;
  const uint32_t space = BigEndian32(profile, kColourSpaceOffset);
  const uint32_t expected = colourPlanes == 1 ? kGreySpace : kRgbSpace;
  if (space != expected) {
    *error = std::string("the embedded colour profile is not for ") +
             (colourPlanes == 1 ? "greyscale" : "RGB") + " images";
    return false;
  }
  return true;
}

bool HasD50Illuminant(std::span<const uint8_t> profile) {
  return profile.size() >= kHeaderBytes && std::equal(kD50Illuminant.begin(), kD50Illuminant.end(),
                                                      profile.begin() + kIlluminantOffset);
}

std::vector<uint8_t> WithD50Illuminant(std::span<const uint8_t> profile) {
  std::vector<uint8_t> fixed(profile.begin(), profile.end());
  if (fixed.size() < kHeaderBytes) return fixed;
  std::copy(kD50Illuminant.begin(), kD50Illuminant.end(), fixed.begin() + kIlluminantOffset);
  std::fill_n(fixed.begin() + kProfileIdOffset, kProfileIdBytes, 0);
  return fixed;
}

}  // namespace lumeray
