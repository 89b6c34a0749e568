#include "settings.h"

#include <array>
#include <charconv>
#include <cmath>
#include <sstream>

namespace lumeray {
namespace {

// The command line's form of a table row: numbers in the unit they are exchanged in.
constexpr SettingOption OptionOf(const SettingRow& row) {
  const double scale = SettingScale(row);
  const DescriptorTypeID type = row.unit != kNoUnit ? kTypeUnitFloat : row.type;
  return {row.option, row.key, type, row.unit, row.minimum / scale, row.maximum / scale, row.help};
}

constexpr std::array<SettingOption, kSettingTable.size()> kSettingOptions = [] {
  std::array<SettingOption, kSettingTable.size()> options{};
  size_t next = 0;
  for (SettingKind kind : {SettingKind::kChoice, SettingKind::kSlider, SettingKind::kSwitch}) {
    for (const SettingRow& row : kSettingTable) {
      if (row.kind == kind) options[next++] = OptionOf(row);
    }
  }
  return options;
}();

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) {
      return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
    };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

std::string FormatNumber(double value) {
  std::ostringstream text;
  text << value;
  return text.str();
}

bool ParseNumber(std::string_view text, double* value) {
  const char* end = text.data() + text.size();
  const auto [last, status] = std::from_chars(text.data(), end, *value);
  return status == std::errc() && last == end && std::isfinite(*value);
}

}  // namespace

std::span<const SettingOption> SettingOptions() {
  return kSettingOptions;
}
std::span<const EffectType> EffectTypes() {
  return kEffectTypeRows;
}

const SettingOption* FindSettingOption(std::string_view option) {
  for (const SettingOption& candidate : kSettingOptions) {
    if (candidate.option == option) return &candidate;
  }
  return nullptr;
}

bool SettingTakesValue(const SettingOption& option) {
  return option.type != kTypeBoolean;
}

const EffectType* FindEffectByCode(FourCode code) {
  for (const EffectType& effect : kEffectTypeRows) {
    if (effect.code == code) return &effect;
  }
  return nullptr;
}

std::optional<FourCode> FindEffectType(std::string_view name) {
  for (const EffectType& effect : kEffectTypeRows) {
    if (EqualIgnoringCase(effect.name, name)) return effect.code;
  }
  return std::nullopt;
}

std::string EffectNameList() {
  std::string list;
  for (const EffectType& effect : kEffectTypeRows) {
    if (!list.empty()) list += ", ";
    list += "\"" + std::string(effect.name) + "\"";
  }
  return list;
}

bool ApplySetting(const SettingOption& option, std::string_view value, Descriptor* settings,
                  std::string* error) {
  const std::string name(option.option);
  switch (option.type) {
    case kTypeBoolean:
      settings->PutBoolean(option.key, true);
      return true;
    case kTypeEnumerated: {
      const std::optional<FourCode> code = FindEffectType(value);
      if (!code) {
        *error =
            "unknown effect \"" + std::string(value) + "\"; the effects are " + EffectNameList();
        return false;
      }
      settings->PutEnumerated(option.key, kEffectEnumType, *code);
      return true;
    }
    default:
      break;
  }
  double number = 0;
  if (!ParseNumber(value, &number)) {
    *error = name + " needs a number, not \"" + std::string(value) + "\"";
    return false;
  }
  if (number < option.minimum || number > option.maximum) {
    *error = name + " must be from " + FormatNumber(option.minimum) + " to " +
             FormatNumber(option.maximum) + ", not " + std::string(value);
    return false;
  }
  if (option.type == kTypeInteger) {
    if (number != std::trunc(number)) {
      *error = name + " needs a whole number, not " + std::string(value);
      return false;
    }
    settings->PutInteger(option.key, static_cast<int32_t>(number));
  } else {
    settings->PutUnitFloat(option.key, option.unit, number);
  }
  return true;
}

bool CheckSettingRanges(const Descriptor& settings, std::string* error) {
  for (const DescriptorItem& item : settings.items()) {
    const SettingOption* option = nullptr;
    for (const SettingOption& candidate : kSettingOptions) {
      if (candidate.key == item.key) option = &candidate;
    }
    if (option == nullptr) continue;
    const std::string name(option->option.substr(2));
    if (item.type == kTypeEnumerated) {
      if (FindEffectByCode(item.enumValue) == nullptr) {
        *error = "the effect is not one of " + EffectNameList();
        return false;
      }
      continue;
    }
    if (item.type == kTypeBoolean) continue;
    const double number = item.type == kTypeInteger ? item.integer : item.number;
    const bool whole = option->type != kTypeInteger || number == std::trunc(number);
    if (!(number >= option->minimum && number <= option->maximum) || !whole) {
      *error = name + " must be " + (option->type == kTypeInteger ? "a whole number " : "") +
               "from " + FormatNumber(option->minimum) + " to " + FormatNumber(option->maximum) +
               ", not " + FormatNumber(number);
      return false;
    }
  }
  return true;
}

}  // namespace lumeray
