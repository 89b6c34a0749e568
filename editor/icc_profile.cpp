#include "icc_profile.h"

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

// ICC numbers are big-endian.
uint32_t BigEndian32(std::span<const uint8_t> bytes, size_t offset) {
  return (static_cast<uint32_t>(bytes[offset]) << 24) |
         (static_cast<uint32_t>(bytes[offset + 1]) << 16) |
         (static_cast<uint32_t>(bytes[offset + 2]) << 8) | static_cast<uint32_t>(bytes[offset + 3]);
}

}  // namespace

bool CheckIccProfile(std::span<const uint8_t> profile, int colourPlanes, std::string* error) {
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
  const uint32_t space = BigEndian32(bytes, kColourSpaceOffset);
  const uint32_t expected = colourPlanes == 1 ? kGreySpace : kRgbSpace;
  if (space != expected) {
    *error = std::string("the embedded colour profile is not for ") +
             (colourPlanes == 1 ? "greyscale" : "RGB") + " images";
    return false;
  }
  return true;
}

}  // namespace lumeray
