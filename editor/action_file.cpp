#include "action_file.h"

#include <cmath>
#include <cstdint>
#include <limits>

#include "json_value.h"
#include "played_settings.h"
#include "settings.h"

namespace lumeray {
namespace {

constexpr std::string_view kFormatName = "lumeray action";
constexpr double kFormatVersion = 1;
constexpr size_t kCodeLength = 4;

std::string CodeText(FourCode code) {
  std::string text(kCodeLength, ' ');
  for (size_t i = 0; i < kCodeLength; ++i) {
    text[i] = static_cast<char>((code >> (8 * (kCodeLength - 1 - i))) & 0xFF);
  }
  return text;
}

bool CodeFromText(std::string_view text, FourCode* code) {
  if (text.size() != kCodeLength) return false;
  FourCode value = 0;
  for (const char c : text) value = value << 8 | static_cast<unsigned char>(c);
  *code = value;
  return true;
}

std::string TypeText(DescriptorTypeID type) {
  return CodeText(type);
}

std::string FormatValue(const DescriptorItem& item) {
  switch (item.type) {
    case kTypeBoolean:
      return item.boolean ? "true" : "false";
    case kTypeInteger:
      return std::to_string(item.integer);
    case kTypeEnumerated:
      return JsonQuote(CodeText(item.enumValue));
    default:
      return JsonNumber(item.number);
  }
}

std::string FormatItem(const DescriptorItem& item) {
  std::string line = "{\"key\": " + JsonQuote(CodeText(item.key));
  if (const ScriptingKey* known = FindScriptingKey(item.key)) {
    line += ", \"name\": " + JsonQuote(known->name);
  }
  line += ", \"type\": " + JsonQuote(TypeText(item.type));
  if (item.type == kTypeUnitFloat) line += ", \"unit\": " + JsonQuote(CodeText(item.unit));
  if (item.type == kTypeEnumerated) {
    line += ", \"enumType\": " + JsonQuote(CodeText(item.enumType));
  }
  line += ", \"value\": " + FormatValue(item);
  if (item.type == kTypeEnumerated) {
    if (const EffectType* effect = FindEffectByCode(item.enumValue)) {
      line += ", \"effect\": " + JsonQuote(effect->name);
    }
  }
  return line + "}";
}

// Reads a four-character code member; `what` names it in messages.
bool CodeMember(const JsonValue& object, std::string_view member, const std::string& where,
                FourCode* code, std::string* error) {
  const JsonValue* value = object.Member(member);
  if (value == nullptr || value->kind != JsonValue::Kind::kString) {
    *error = where + "needs \"" + std::string(member) + "\" as a four-character text";
    return false;
  }
  if (!CodeFromText(value->text, code)) {
    *error = where + "\"" + std::string(member) + "\" must have four characters, not " +
             JsonQuote(value->text);
    return false;
  }
  return true;
}

bool CheckMembers(const JsonValue& object, const std::string& where, std::string* error) {
  static constexpr std::string_view kKnown[] = {"key",      "name",  "type",  "unit",
                                                "enumType", "value", "effect"};
  for (const auto& [name, value] : object.members) {
    bool known = false;
    for (const std::string_view candidate : kKnown) known = known || candidate == name;
    if (!known) {
      *error = where + "has an unknown member " + JsonQuote(name);
      return false;
    }
  }
  return true;
}

bool ReadValue(const JsonValue& object, const ScriptingKey& key, const std::string& where,
               Descriptor* settings, std::string* error) {
  const JsonValue* value = object.Member("value");
  if (value == nullptr) {
    *error = where + "has no \"value\"";
    return false;
  }
  switch (key.type) {
    case kTypeBoolean:
      if (value->kind != JsonValue::Kind::kBoolean) {
        *error = where + "needs true or false as its value";
        return false;
      }
      settings->PutBoolean(key.key, value->boolean);
      return true;
    case kTypeInteger: {
      constexpr double kLowest = std::numeric_limits<int32_t>::min();
      constexpr double kHighest = std::numeric_limits<int32_t>::max();
      if (value->kind != JsonValue::Kind::kNumber || value->number != std::trunc(value->number) ||
          value->number < kLowest || value->number > kHighest) {
        *error = where + "needs a whole number as its value";
        return false;
      }
      settings->PutInteger(key.key, static_cast<int32_t>(value->number));
      return true;
    }
    case kTypeEnumerated: {
      FourCode enumType = 0;
      FourCode code = 0;
      if (!CodeMember(object, "enumType", where, &enumType, error)) return false;
      if (enumType != kEffectEnumType) {
        *error =
            where + "needs the enumeration type \"efTy\", not " + JsonQuote(CodeText(enumType));
        return false;
      }
      if (!CodeMember(object, "value", where, &code, error)) return false;
      if (FindEffectByCode(code) == nullptr) {
        *error = where + "names an unknown effect " + JsonQuote(value->text) +
                 "; the effects are \"efT0\" to \"efT6\"";
        return false;
      }
      settings->PutEnumerated(key.key, enumType, code);
      return true;
    }
    default: {
      FourCode unit = 0;
      if (!CodeMember(object, "unit", where, &unit, error)) return false;
      if (unit != key.unit) {
        *error = where + "needs the unit " + JsonQuote(CodeText(key.unit)) + ", not " +
                 JsonQuote(CodeText(unit));
        return false;
      }
      if (value->kind != JsonValue::Kind::kNumber) {
        *error = where + "needs a number as its value";
        return false;
      }
      settings->PutUnitFloat(key.key, unit, value->number);
      return true;
    }
  }
}

bool ReadItem(const JsonValue& object, size_t index, Descriptor* settings, std::string* error) {
  std::string where = "keys[" + std::to_string(index) + "] ";
  if (object.kind != JsonValue::Kind::kObject) {
    *error = where + "is not an object";
    return false;
  }
  if (!CheckMembers(object, where, error)) return false;
  FourCode keyCode = 0;
  if (!CodeMember(object, "key", where, &keyCode, error)) return false;
  const ScriptingKey* key = FindScriptingKey(keyCode);
  if (key == nullptr) {
    *error = where + "has an unknown key " + JsonQuote(CodeText(keyCode));
    return false;
  }
  where = "key " + JsonQuote(CodeText(keyCode)) + " ";
  if (settings->Find(keyCode) != nullptr) {
    *error = where + "is given more than once";
    return false;
  }
  FourCode type = 0;
  if (!CodeMember(object, "type", where, &type, error)) return false;
  if (type != kTypeBoolean && type != kTypeFloat && type != kTypeUnitFloat &&
      type != kTypeInteger && type != kTypeEnumerated) {
    *error = where + "has an unknown type " + JsonQuote(CodeText(type));
    return false;
  }
  if (type != key->type) {
    *error = where + "must be of type " + JsonQuote(CodeText(key->type)) + ", not " +
             JsonQuote(CodeText(type));
    return false;
  }
  return ReadValue(object, *key, where, settings, error);
}

}  // namespace

std::string FormatActionFile(const Descriptor& settings) {
  std::string text = "{\n  \"format\": " + JsonQuote(kFormatName) +
                     ",\n  \"version\": " + JsonNumber(kFormatVersion) + ",\n  \"keys\": [";
  bool first = true;
  for (const DescriptorItem& item : settings.items()) {
    text += first ? "\n    " : ",\n    ";
    text += FormatItem(item);
    first = false;
  }
  text += first ? "]\n}\n" : "\n  ]\n}\n";
  return text;
}

bool ParseActionFile(std::string_view text, Descriptor* settings, std::string* error) {
  if (text.size() > kMaxActionFileBytes) {
    *error = "the file is larger than " + std::to_string(kMaxActionFileBytes) + " bytes";
    return false;
  }
  JsonValue document;
  std::string problem;
  if (!ParseJson(text, &document, &problem)) {
    *error = "not valid JSON: " + problem;
    return false;
  }
  if (document.kind != JsonValue::Kind::kObject) {
    *error = "not an action file: the document is not a JSON object";
    return false;
  }
  const JsonValue* format = document.Member("format");
  if (format == nullptr || format->kind != JsonValue::Kind::kString ||
      format->text != kFormatName) {
    *error = "not an action file: \"format\" must be " + JsonQuote(kFormatName);
    return false;
  }
  const JsonValue* version = document.Member("version");
  if (version == nullptr || version->kind != JsonValue::Kind::kNumber ||
      version->number != kFormatVersion) {
    *error = "unsupported action file version; this editor reads version 1";
    return false;
  }
  for (const auto& [name, value] : document.members) {
    if (name != "format" && name != "version" && name != "keys") {
      *error = "unknown member " + JsonQuote(name) + " in the action file";
      return false;
    }
  }
  const JsonValue* keys = document.Member("keys");
  if (keys == nullptr || keys->kind != JsonValue::Kind::kArray) {
    *error = "the action file needs \"keys\" as an array";
    return false;
  }
  Descriptor parsed;
  for (size_t i = 0; i < keys->elements.size(); ++i) {
    if (!ReadItem(keys->elements[i], i, &parsed, error)) return false;
  }
  *settings = std::move(parsed);
  return true;
}

}  // namespace lumeray
