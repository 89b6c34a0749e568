// A filter module's plug-in property list ('PiPL' resource 16000), read from the bytes embedded
// in the module file, and the decisions the editor takes from it before loading the module.
//
// Conventions
//  * Layout: a 16-bit version (1), a 32-bit reserved word (0), a 32-bit property count, then the
//    properties, each a vendor code, a key, a 32-bit identifier, a 32-bit data length and that
//    many data bytes. Numbers are little-endian; four-character codes are 32-bit little-endian
//    numbers, so their last character comes first in the file.
//  * Every length and offset is checked against the bytes given; nothing is trusted.
//  * Only properties of vendor '8BIM' are interpreted; others are kept but not read.
//
// Threading: pure functions on values.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "filter_interface.h"

namespace lumeray {

constexpr FourCode kPiplVendor = FourCC("8BIM");
constexpr FourCode kPiplKind = FourCC("kind");
constexpr FourCode kPiplName = FourCC("name");
constexpr FourCode kPiplCategory = FourCC("catg");
constexpr FourCode kPiplVersion = FourCC("vers");
constexpr FourCode kPiplEntryX8664 = FourCC("8664");
constexpr FourCode kPiplModes = FourCC("mode");
constexpr FourCode kPiplEnable = FourCC("enbl");
constexpr FourCode kKindFilter = FourCC("8BFM");

struct PiplProperty {
  FourCode vendor = 0;
  FourCode key = 0;
  uint32_t id = 0;
  std::vector<uint8_t> data;
};

// What the editor reads from the list; fields of absent properties stay empty.
struct PluginProperties {
  std::vector<PiplProperty> properties;  // in file order
  FourCode kind = 0;
  std::string name;
  std::string category;
  std::optional<uint32_t> interfaceVersion;
  std::string entryPoint;          // from '8664'
  std::vector<uint8_t> modeFlags;  // the 'mode' bytes
  bool hasEnableExpression = false;
  std::vector<std::string> enabledModes;  // mode names listed by 'enbl'

  const PiplProperty* Find(FourCode key) const;
};

// Parses the list. On failure returns nothing and says why in *error.
std::optional<PluginProperties> ParsePipl(std::span<const uint8_t> bytes, std::string* error);

// Whether the list describes a filter module ('8BFM') with a 64-bit entry point.
bool IsUsableFilterModule(const PluginProperties& properties, std::string* error);

// Whether the module accepts images of the host image mode: the 'mode' flags must include the
// colour model (greyscale or RGB), and the 'enbl' expression, when there is one, must list the
// mode. Without an expression the 16-bit modes need their own 'mode' flag and the 32-bit modes
// are not enabled.
bool ModuleEnablesMode(const PluginProperties& properties, int16_t imageMode, std::string* error);

// The enable-expression name of a host image mode ("RGBMode", "Gray16Mode", ...), or "" for a
// mode the editor does not produce.
std::string_view ImageModeName(int16_t imageMode);

// "8BFM" for FourCC("8BFM"); unprintable bytes as '?'.
std::string FourCCText(FourCode code);

}  // namespace lumeray
