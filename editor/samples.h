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

// round(v × 32768 / 65535); never an exact half, so the bias below is exact.
constexpr uint16_t FileToHost16(uint16_t v) {
  return static_cast<uint16_t>((v * kHostMax16 + (kFileMax16 - 1) / 2) / kFileMax16);
}

// round(h × 65535 / 32768), halves up; values above 32768 count as 32768.
constexpr uint16_t HostToFile16(uint16_t h) {
  const uint32_t clamped = h > kHostMax16 ? kHostMax16 : h;
  return static_cast<uint16_t>((clamped * kFileMax16 + kHostMax16 / 2) / kHostMax16);
}

}  // namespace lumeray
