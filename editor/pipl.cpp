#include "pipl.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <set>
#include <utility>

namespace lumeray {
namespace {

constexpr uint16_t kPiplListVersion = 1;
constexpr size_t kHeaderBytes = 2 + 4 + 4;
constexpr size_t kFourCCBytes = 4;

// 'mode' flag bits: byte 0 holds the 8-bit colour models, byte 1 the 16-bit ones.
constexpr uint8_t kModeFlagGreyscale = 0x40;
constexpr uint8_t kModeFlagRGB = 0x10;
constexpr uint8_t kModeFlagGray16 = 0x20;
constexpr uint8_t kModeFlagRGB48 = 0x10;

constexpr std::string_view kEnableVariable = "PSHOP_ImageMode";

class ByteReader {
 public:
  explicit ByteReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

  size_t remaining() const { return bytes_.size() - offset_; }

  bool ReadU16(uint16_t* value) {
    if (remaining() < 2) return false;
    *value = static_cast<uint16_t>(bytes_[offset_] | (bytes_[offset_ + 1] << 8));
    offset_ += 2;
    return true;
  }

  bool ReadU32(uint32_t* value) {
    if (remaining() < 4) return false;
    *value = static_cast<uint32_t>(bytes_[offset_]) |
             (static_cast<uint32_t>(bytes_[offset_ + 1]) << 8) |
             (static_cast<uint32_t>(bytes_[offset_ + 2]) << 16) |
             (static_cast<uint32_t>(bytes_[offset_ + 3]) << 24);
    offset_ += 4;
    return true;
  }

  bool ReadBytes(size_t count, std::vector<uint8_t>* out) {
    if (remaining() < count) return false;
    out->assign(bytes_.begin() + static_cast<std::ptrdiff_t>(offset_),
                bytes_.begin() + static_cast<std::ptrdiff_t>(offset_ + count));
    offset_ += count;
    return true;
  }

  std::span<const uint8_t> Rest() const { return bytes_.subspan(offset_); }

 private:
  std::span<const uint8_t> bytes_;
  size_t offset_ = 0;
};

uint32_t LittleEndian32(const std::vector<uint8_t>& data) {
  return static_cast<uint32_t>(data[0]) | (static_cast<uint32_t>(data[1]) << 8) |
         (static_cast<uint32_t>(data[2]) << 16) | (static_cast<uint32_t>(data[3]) << 24);
}

std::string PropertyLabel(const PiplProperty& property) {
  return "'" + FourCCText(property.key) + "'";
}

bool ReadPascalString(const PiplProperty& property, std::string* out, std::string* error) {
  if (property.data.empty() || property.data[0] + 1u > property.data.size()) {
    *error = "property " + PropertyLabel(property) + " holds a string longer than its data";
    return false;
  }
  out->assign(property.data.begin() + 1, property.data.begin() + 1 + property.data[0]);
  return true;
}

// The text up to the first zero byte; fails when there is none.
bool ReadTerminatedString(const PiplProperty& property, std::string* out, std::string* error) {
  const auto end = std::find(property.data.begin(), property.data.end(), uint8_t{0});
  if (end == property.data.end()) {
    *error = "property " + PropertyLabel(property) + " holds a string without a terminating zero";
    return false;
  }
  out->assign(property.data.begin(), end);
  return true;
}

bool IsIdentifier(std::string_view text) {
  if (text.empty() || std::isdigit(static_cast<unsigned char>(text[0]))) return false;
  return std::all_of(text.begin(), text.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
  });
}

std::vector<std::string> Tokenize(std::string_view text) {
  std::vector<std::string> tokens;
  size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (std::isspace(static_cast<unsigned char>(c))) {
      ++i;
    } else if (c == '(' || c == ')' || c == ',') {
      tokens.emplace_back(1, c);
      ++i;
    } else {
      size_t j = i;
      while (j < text.size() && !std::isspace(static_cast<unsigned char>(text[j])) &&
             text[j] != '(' && text[j] != ')' && text[j] != ',') {
        ++j;
      }
      tokens.emplace_back(text.substr(i, j - i));
      i = j;
    }
  }
  return tokens;
}

// Accepts the one form of enable expression the editor evaluates:
//   in (PSHOP_ImageMode, Name, Name, ...)
bool ParseEnableExpression(std::string_view text, std::vector<std::string>* modes,
                           std::string* error) {
  const std::vector<std::string> tokens = Tokenize(text);
  const auto fail = [&] {
    *error = "the enable expression \"" + std::string(text) +
             "\" is not of the form \"in (PSHOP_ImageMode, ...)\"";
    return false;
  };
  if (tokens.size() < 4 || tokens[0] != "in" || tokens[1] != "(" || tokens[2] != kEnableVariable ||
      tokens.back() != ")") {
    return fail();
  }
  modes->clear();
  // After the variable: pairs of "," Name, then the closing parenthesis.
  size_t i = 3;
  while (i + 1 < tokens.size()) {
    if (tokens[i] != "," || !IsIdentifier(tokens[i + 1])) return fail();
    modes->push_back(tokens[i + 1]);
    i += 2;
  }
  if (i != tokens.size() - 1) return fail();
  return true;
}

bool InterpretProperty(const PiplProperty& property, PluginProperties* out, std::string* error) {
  switch (property.key) {
    case kPiplKind:
      if (property.data.size() < kFourCCBytes) {
        *error = "property 'kind' is shorter than a four-character code";
        return false;
      }
      out->kind = LittleEndian32(property.data);
      return true;
    case kPiplName:
      return ReadPascalString(property, &out->name, error);
    case kPiplCategory:
      return ReadPascalString(property, &out->category, error);
    case kPiplVersion:
      if (property.data.size() < sizeof(uint32_t)) {
        *error = "property 'vers' is shorter than a 32-bit number";
        return false;
      }
      out->interfaceVersion = LittleEndian32(property.data);
      return true;
    case kPiplEntryX8664:
      if (!ReadTerminatedString(property, &out->entryPoint, error)) return false;
      if (!IsIdentifier(out->entryPoint)) {
        *error = "property '8664' does not name an entry point";
        return false;
      }
      return true;
    case kPiplModes:
      if (property.data.empty()) {
        *error = "property 'mode' is empty";
        return false;
      }
      out->modeFlags = property.data;
      return true;
    case kPiplEnable: {
      std::string expression;
      if (!ReadTerminatedString(property, &expression, error)) return false;
      out->hasEnableExpression = true;
      return ParseEnableExpression(expression, &out->enabledModes, error);
    }
    default:
      return true;
  }
}

struct ModeRequirement {
  int16_t mode;
  std::string_view name;
  std::string_view description;
  bool grey;
  int deepFlagByte;  // -1: none
  uint8_t deepFlag;
};

constexpr std::array<ModeRequirement, 6> kModeRequirements{{
    {kModeGrayScale, "GrayScaleMode", "8-bit greyscale", true, -1, 0},
    {kModeRGB, "RGBMode", "8-bit RGB", false, -1, 0},
    {kModeGray16, "Gray16Mode", "16-bit greyscale", true, 1, kModeFlagGray16},
    {kModeRGB48, "RGB48Mode", "16-bit RGB", false, 1, kModeFlagRGB48},
    {kModeRGB96, "RGB96Mode", "32-bit float RGB", false, -1, 0},
    {kModeGray32, "Gray32Mode", "32-bit float greyscale", true, -1, 0},
}};

const ModeRequirement* FindMode(int16_t mode) {
  for (const ModeRequirement& requirement : kModeRequirements) {
    if (requirement.mode == mode) return &requirement;
  }
  return nullptr;
}

}  // namespace

const PiplProperty* PluginProperties::Find(FourCode key) const {
  for (const PiplProperty& property : properties) {
    if (property.vendor == kPiplVendor && property.key == key) return &property;
  }
  return nullptr;
}

std::optional<PluginProperties> ParsePipl(std::span<const uint8_t> bytes, std::string* error) {
  ByteReader reader(bytes);
  uint16_t version = 0;
  uint32_t reserved = 0;
  uint32_t count = 0;
  if (!reader.ReadU16(&version) || !reader.ReadU32(&reserved) || !reader.ReadU32(&count)) {
    *error = "the property list is shorter than its " + std::to_string(kHeaderBytes) +
             "-byte header (" + std::to_string(bytes.size()) + " bytes)";
    return std::nullopt;
  }
  if (version != kPiplListVersion) {
    *error = "the property list has version " + std::to_string(version) + ", not " +
             std::to_string(kPiplListVersion);
    return std::nullopt;
  }
  if (reserved != 0) {
    *error = "the property list header is malformed (reserved word is not 0)";
    return std::nullopt;
  }

  PluginProperties result;
  std::set<std::pair<FourCode, FourCode>> seen;
  for (uint32_t index = 0; index < count; ++index) {
    PiplProperty property;
    uint32_t length = 0;
    if (!reader.ReadU32(&property.vendor) || !reader.ReadU32(&property.key) ||
        !reader.ReadU32(&property.id) || !reader.ReadU32(&length)) {
      *error = "the property list announces " + std::to_string(count) +
               " properties but ends inside property " + std::to_string(index + 1);
      return std::nullopt;
    }
    if (length > reader.remaining()) {
      *error = "property " + std::to_string(index + 1) + " ('" + FourCCText(property.key) +
               "') claims " + std::to_string(length) + " data bytes but only " +
               std::to_string(reader.remaining()) + " remain";
      return std::nullopt;
    }
    reader.ReadBytes(length, &property.data);
    if (!seen.emplace(property.vendor, property.key).second) {
      *error = "property '" + FourCCText(property.key) + "' appears twice";
      return std::nullopt;
    }
    if (property.vendor == kPiplVendor && !InterpretProperty(property, &result, error)) {
      return std::nullopt;
    }
    result.properties.push_back(std::move(property));
  }
  const std::span<const uint8_t> rest = reader.Rest();
  if (std::any_of(rest.begin(), rest.end(), [](uint8_t b) { return b != 0; })) {
    *error = "the property list has " + std::to_string(rest.size()) +
             " unexpected bytes after its last property";
    return std::nullopt;
  }
  return result;
}

bool IsUsableFilterModule(const PluginProperties& properties, std::string* error) {
  if (properties.Find(kPiplKind) == nullptr) {
    *error = "the property list has no 'kind' property";
    return false;
  }
  if (properties.kind != kKindFilter) {
    *error = "the module is of kind '" + FourCCText(properties.kind) + "', not a filter ('8BFM')";
    return false;
  }
  if (properties.entryPoint.empty()) {
    *error = "the property list names no 64-bit entry point ('8664')";
    return false;
  }
  return true;
}

bool ModuleEnablesMode(const PluginProperties& properties, int16_t imageMode, std::string* error) {
  const ModeRequirement* requirement = FindMode(imageMode);
  if (requirement == nullptr) {
    *error = "image mode " + std::to_string(imageMode) + " is not one the editor supports";
    return false;
  }
  const auto refuse = [&](std::string_view why) {
    *error = "the module does not accept " + std::string(requirement->description) + " images (" +
             std::string(why) + ")";
    return false;
  };
  const uint8_t modelFlag = requirement->grey ? kModeFlagGreyscale : kModeFlagRGB;
  if (properties.modeFlags.empty() || (properties.modeFlags[0] & modelFlag) == 0) {
    return refuse("its 'mode' flags lack the colour model");
  }
  if (properties.hasEnableExpression) {
    const auto& names = properties.enabledModes;
    if (std::find(names.begin(), names.end(), requirement->name) == names.end()) {
      return refuse("its enable expression does not list " + std::string(requirement->name));
    }
    return true;
  }
  if (requirement->mode == kModeRGB96 || requirement->mode == kModeGray32) {
    return refuse("32-bit modes need an enable expression");
  }
  if (requirement->deepFlagByte >= 0) {
    const auto byte = static_cast<size_t>(requirement->deepFlagByte);
    if (properties.modeFlags.size() <= byte ||
        (properties.modeFlags[byte] & requirement->deepFlag) == 0) {
      return refuse("its 'mode' flags lack the 16-bit mode");
    }
  }
  return true;
}

std::string_view ImageModeName(int16_t imageMode) {
  const ModeRequirement* requirement = FindMode(imageMode);
  return requirement != nullptr ? requirement->name : std::string_view();
}

std::string FourCCText(FourCode code) {
  std::string text(4, '?');
  for (int i = 0; i < 4; ++i) {
    const auto c = static_cast<unsigned char>((code >> (24 - 8 * i)) & 0xFF);
    if (std::isprint(c)) text[static_cast<size_t>(i)] = static_cast<char>(c);
  }
  return text;
}

}  // namespace lumeray
