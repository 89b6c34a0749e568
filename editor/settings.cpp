#include "settings.h"

#include <array>
#include <charconv>
#include <cmath>
#include <sstream>

namespace lumeray {
namespace {

constexpr double kPercentMax = 100.0;
constexpr double kAngleMax = 90.0;
constexpr double kPointsMin = 1.0;
constexpr double kPointsMax = 32.0;

constexpr std::array<SettingOption, 13> kSettingOptions{{
    {"--effect", FourCC("stEf"), kTypeEnumerated, 0, 0, 0, "the effect type (see below)"},
    {"--quantity", FourCC("qntY"), kTypeUnitFloat, kUnitPercent, 0, kPercentMax,
     "share of the light sources that get a star, brightest first (0..100)"},
    {"--intensity", FourCC("Intn"), kTypeUnitFloat, kUnitPercent, 0, kPercentMax,
     "star intensity (0..100)"},
    {"--length", FourCC("Lngt"), kTypeUnitFloat, kUnitPercent, 0, kPercentMax,
     "spike length (0..100)"},
    {"--angle", FourCC("Angl"), kTypeUnitFloat, kUnitAngle, -kAngleMax, kAngleMax,
     "spike angle in degrees, clockwise (-90..90)"},
    {"--points", FourCC("numP"), kTypeInteger, 0, kPointsMin, kPointsMax,
     "number of points (1..32)"},
    {"--sharpness", FourCC("spsH"), kTypeUnitFloat, kUnitPercent, 0, kPercentMax,
     "spike sharpness (0..100)"},
    {"--saturation", FourCC("Strt"), kTypeUnitFloat, kUnitPercent, -kPercentMax, kPercentMax,
     "colour saturation (-100..100)"},
    {"--rainbow-intensity", FourCC("rbwI"), kTypeUnitFloat, kUnitPercent, 0, kPercentMax,
     "rainbow intensity (0..100)"},
    {"--rainbow-frequency", FourCC("rbwF"), kTypeUnitFloat, kUnitPercent, 0, kPercentMax,
     "rainbow frequency (0..100)"},
    {"--secondary", FourCC("sspI"), kTypeUnitFloat, kUnitPercent, 0, kPercentMax,
     "secondary spike intensity (0..100)"},
    {"--flare", FourCC("sflB"), kTypeUnitFloat, kUnitPercent, 0, kPercentMax,
     "soft flare intensity (0..100)"},
    {"--effects-only", FourCC("opsO"), kTypeBoolean, 0, 0, 0, "output the effects alone"},
}};

constexpr std::array<EffectType, 7> kEffectTypes{{
    {"Standard Star", FourCC("efT0"), 6},
    {"Star Burst", FourCC("efT6"), 14},
    {"Hyper Star", FourCC("efT3"), 14},
    {"Hollywood Star", FourCC("efT1"), 4},
    {"North Star", FourCC("efT4"), 4},
    {"Vector Star", FourCC("efT5"), 8},
    {"Religious Cross", FourCC("efT2"), 4},
}};

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
  return kEffectTypes;
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
  for (const EffectType& effect : kEffectTypes) {
    if (effect.code == code) return &effect;
  }
  return nullptr;
}

std::optional<FourCode> FindEffectType(std::string_view name) {
  for (const EffectType& effect : kEffectTypes) {
    if (EqualIgnoringCase(effect.name, name)) return effect.code;
  }
  return std::nullopt;
}

std::string EffectNameList() {
  std::string list;
  for (const EffectType& effect : kEffectTypes) {
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
