// Builds plug-in property lists byte by byte, for tests of the editor's reader.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "filter_interface.h"

namespace lumeray::testing {

inline void PutU16(std::vector<uint8_t>* out, uint16_t value) {
  out->push_back(static_cast<uint8_t>(value));
  out->push_back(static_cast<uint8_t>(value >> 8));
}

inline void PutU32(std::vector<uint8_t>* out, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out->push_back(static_cast<uint8_t>(value >> shift));
}

inline std::vector<uint8_t> Padded(std::vector<uint8_t> data, size_t size) {
  data.resize(size, 0);
  return data;
}

inline std::vector<uint8_t> Text(const std::string& text) {
  return std::vector<uint8_t>(text.begin(), text.end());
}

inline std::vector<uint8_t> PascalString(const std::string& text) {
  std::vector<uint8_t> data{static_cast<uint8_t>(text.size())};
  data.insert(data.end(), text.begin(), text.end());
  return Padded(data, (data.size() + 3) / 4 * 4);
}

inline std::vector<uint8_t> Code(FourCode code) {
  std::vector<uint8_t> data;
  PutU32(&data, code);
  return data;
}

struct PiplEntry {
  FourCode key;
  std::vector<uint8_t> data;
  FourCode vendor = FourCC("8BIM");
};

inline std::vector<uint8_t> BuildPipl(const std::vector<PiplEntry>& entries) {
  std::vector<uint8_t> out;
  PutU16(&out, 1);
  PutU32(&out, 0);
  PutU32(&out, static_cast<uint32_t>(entries.size()));
  for (const PiplEntry& entry : entries) {
    PutU32(&out, entry.vendor);
    PutU32(&out, entry.key);
    PutU32(&out, 0);
    PutU32(&out, static_cast<uint32_t>(entry.data.size()));
    out.insert(out.end(), entry.data.begin(), entry.data.end());
  }
  return out;
}

inline constexpr char kAllModesExpression[] =
    "in (PSHOP_ImageMode, RGBMode, GrayScaleMode, RGB48Mode, Gray16Mode, RGB96Mode, Gray32Mode)";

// The properties of the Lumeray Pro 2 module, in its order.
inline std::vector<PiplEntry> LumerayPiplEntries() {
  constexpr size_t kScopeBytes = 56;
  constexpr size_t kEnableBytes = 92;
  std::vector<uint8_t> terminology;
  PutU32(&terminology, 0);
  PutU32(&terminology, FourCC("VTX1"));
  PutU32(&terminology, FourCC("VTX1"));
  PutU16(&terminology, 16000);
  const std::vector<uint8_t> scope = Text("383056ce-1943-4863-835d-19c2a188df95");
  terminology.insert(terminology.end(), scope.begin(), scope.end());
  std::vector<uint8_t> limits;
  PutU32(&limits, 32767);
  PutU32(&limits, 32767);
  std::vector<uint8_t> cases;
  for (int i = 0; i < 7; ++i) cases.insert(cases.end(), {1, 1, 0x0D, 0x00});
  return {
      {FourCC("kind"), Code(FourCC("8BFM"))},
      {FourCC("name"), PascalString("Lumeray Pro 2...")},
      {FourCC("catg"), PascalString("Vantrel Software")},
      {FourCC("vers"), Code(0x00040000)},
      {FourCC("8664"), Padded(Text("PluginMain"), 12)},
      {FourCC("mode"), {0x50, 0x00, 0x00, 0x00}},
      {FourCC("hstm"), Padded(terminology, kScopeBytes)},
      {FourCC("enbl"), Padded(Text(kAllModesExpression), kEnableBytes)},
      {FourCC("ms32"), limits},
      {FourCC("flly"), Code(0x80)},
      {FourCC("fici"), cases},
  };
}

}  // namespace lumeray::testing
