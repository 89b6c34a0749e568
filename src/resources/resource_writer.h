// A compile-time writer of resource bytes: little-endian numbers, four-character codes stored
// last character first, Pascal and zero-terminated strings, zero padding. Resources built with
// it are constant data placed in their own sections of the module file.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace lumeray {

template <size_t N>
struct ResourceWriter {
  std::array<uint8_t, N> bytes{};
  size_t position = 0;

  constexpr void U8(uint8_t value) { bytes[position++] = value; }
  constexpr void U16(uint16_t value) {
    U8(static_cast<uint8_t>(value));
    U8(static_cast<uint8_t>(value >> 8));
  }
  constexpr void U32(uint32_t value) {
    U16(static_cast<uint16_t>(value));
    U16(static_cast<uint16_t>(value >> 16));
  }
  // A four-character code, last character first.
  constexpr void Code(std::string_view code) {
    for (size_t i = 4; i-- > 0;) U8(static_cast<uint8_t>(code[i]));
  }
  constexpr void Chars(std::string_view text) {
    for (char c : text) U8(static_cast<uint8_t>(c));
  }
  constexpr void PascalString(std::string_view text) {
    U8(static_cast<uint8_t>(text.size()));
    Chars(text);
  }
  // Zero bytes up to `target` bytes after `start`.
  constexpr void PadTo(size_t start, size_t target) {
    while (position < start + target) U8(0);
  }
};

}  // namespace lumeray
