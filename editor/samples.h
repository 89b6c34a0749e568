// Sample conversions between the editor's 16-bit samples (0..65535, the file's range) and the
// 16-bit scale of the filter interface (0..32768).
//
// Both directions round to nearest. Every host value survives a trip to the file's scale and
// back, and the tile exchange keeps a file sample unchanged when the module hands back the same
// host value it was given, so untouched pixels stay bit-identical.
#pragma once

#include <cstdint>

namespace lumeray {

constexpr uint32_t kFileMax16 = 65535;
constexpr uint32_t kHostMax16 = 32768;

// round(v × 32768 / 65535). v / 2 is whole or a half, and the extra v / 131070 is above 0 and
// below 1/2 for every v > 0 but 65535 (exactly 1/2 there, on an odd v): so odd values round up
// and even ones down, which is (v + 1) / 2 in integers.
constexpr uint16_t FileToHost16(uint16_t v) {
  return static_cast<uint16_t>((uint32_t{v} + 1) >> 1);
}

// round(h × 65535 / 32768), halves up; values above 32768 count as 32768. The product is
// 2h − h / 32768, and h / 32768 is below 1/2 (rounds back up to 2h) up to h = 16384, where it is
// exactly 1/2 (halves up: 2h), and above 1/2 after it (2h − 1).
constexpr uint16_t HostToFile16(uint16_t h) {
  const uint32_t clamped = h > kHostMax16 ? kHostMax16 : h;
  return static_cast<uint16_t>(2 * clamped - (clamped > kHostMax16 / 2 ? 1 : 0));
}

}  // namespace lumeray
