#include "resources/aete_resource.h"

#include <array>
#include <string_view>

#include "host/descriptor_keys.h"
#include "resources/embedded_resources.h"
#include "resources/resource_writer.h"

namespace lumeray {
namespace {

constexpr uint8_t kFormatMajor = 1;
constexpr uint8_t kFormatMinor = 0;
constexpr uint16_t kLanguageEnglish = 0;
constexpr uint16_t kScriptRoman = 0;

constexpr std::string_view kSuiteName = "Vantrel Software";
constexpr std::string_view kSuiteDescription = "Vantrel Software";
constexpr FourCode kSuiteCode = FourCC("VTX1");
constexpr uint16_t kSuiteLevel = 1;
constexpr uint16_t kSuiteVersion = 1;

constexpr std::string_view kEventName = "Lumeray Pro 2";
constexpr std::string_view kEventDescription = "Lumeray Pro 2 filter plug-in";
constexpr FourCode kEventClass = FourCC("VTX1");
constexpr FourCode kEventId = FourCC("VTX1");
constexpr FourCode kImageReference = FourCC("#ImR");

// Parameter flags.
constexpr uint16_t kFlagOptional = 0x8000;
constexpr uint16_t kFlagEnumerated = 0x2000;
constexpr uint16_t kFlagChangesState = 0x1000;
constexpr uint16_t kDirectParameterFlags = kFlagOptional | kFlagEnumerated | kFlagChangesState;

struct Enumerator {
  FourCode code;
  std::string_view name;
  std::string_view description;
};

constexpr std::array<Enumerator, 7> kEffectTypeEnumerators = {{
    {FourCC("efT0"), "Standard Star", "Standard Star Effect"},
    {FourCC("efT1"), "Hollywood Star", "Hollywood Star Effect"},
    {FourCC("efT3"), "Hyper Star", "Hyper Star Effect"},
    {FourCC("efT4"), "North Star", "North Star Effect"},
    {FourCC("efT5"), "Vector Star", "Vector Star Effect"},
    {FourCC("efT2"), "Religious Cross", "Religious Cross Effect"},
    {FourCC("efT6"), "Star Burst", "Star Burst Effect"},
}};

// Counts the bytes WriteAete produces, so that the resource is exactly as long as its content.
struct ByteCounter {
  size_t position = 0;
  constexpr void U8(uint8_t) { position += 1; }
  constexpr void U16(uint16_t) { position += 2; }
  constexpr void U32(uint32_t) { position += 4; }
  constexpr void PascalString(std::string_view text) { position += 1 + text.size(); }
};

template <typename Writer>
constexpr void Text(Writer& w, std::string_view text) {
  if (text.size() > 255) throw "a Pascal string holds at most 255 characters";
  w.PascalString(text);
}

// A code as a little-endian number: its last character first.
template <typename Writer>
constexpr void Code(Writer& w, FourCode code) {
  w.U32(code);
}

template <typename Writer>
constexpr void WriteParameter(Writer& w, const SettingRow& row) {
  const bool enumerated = row.type == kTypeEnumerated;
  Text(w, row.scriptName);
  Code(w, row.key);
  Code(w, enumerated ? row.enumType : row.type);
  Text(w, row.scriptDescription);
  w.U16(enumerated ? kFlagEnumerated : 0);
}

template <typename Writer>
constexpr void WriteAete(Writer& w) {
  w.U8(kFormatMajor);
  w.U8(kFormatMinor);
  w.U16(kLanguageEnglish);
  w.U16(kScriptRoman);

  w.U16(1);  // suites
  Text(w, kSuiteName);
  Text(w, kSuiteDescription);
  Code(w, kSuiteCode);
  w.U16(kSuiteLevel);
  w.U16(kSuiteVersion);

  w.U16(1);  // events
  Text(w, kEventName);
  Text(w, kEventDescription);
  Code(w, kEventClass);
  Code(w, kEventId);
  Code(w, kTypeNull);  // no reply
  Text(w, "");
  w.U16(0);
  Code(w, kImageReference);
  Text(w, "");
  w.U16(kDirectParameterFlags);
  w.U16(static_cast<uint16_t>(kSettingTable.size()));
  for (const SettingRow& row : kSettingTable) WriteParameter(w, row);

  w.U16(0);  // classes
  w.U16(0);  // comparison operators
  w.U16(1);  // enumerations
  Code(w, kEffectTypeEnumeration);
  w.U16(static_cast<uint16_t>(kEffectTypeEnumerators.size()));
  for (const Enumerator& enumerator : kEffectTypeEnumerators) {
    Text(w, enumerator.name);
    Code(w, enumerator.code);
    Text(w, enumerator.description);
  }
}

constexpr size_t kAeteSize = [] {
  ByteCounter counter;
  WriteAete(counter);
  return counter.position;
}();

constexpr std::array<uint8_t, kAeteSize> BuildAete() {
  ResourceWriter<kAeteSize> w;
  WriteAete(w);
  return w.bytes;
}

}  // namespace

LUMERAY_RESOURCE_SECTION("aete", 16000)
extern const std::array<uint8_t, kAeteSize> kAeteResource = BuildAete();

std::span<const uint8_t> AeteResourceBytes() {
  return kAeteResource;
}

}  // namespace lumeray
