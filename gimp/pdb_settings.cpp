#include "pdb_settings.h"

#include <cmath>
#include <sstream>

#include "played_settings.h"
#include "settings.h"

namespace lumeray::gimp_bridge {
namespace {

constexpr DescriptorKeyID kPointsKey = FourCC("numP");

std::string ArgumentName(std::string_view option) {
  while (!option.empty() && option.front() == '-') option.remove_prefix(1);
  return std::string(option);
}

std::string EffectIndexList() {
  std::string list;
  int index = 0;
  for (const EffectType& effect : EffectTypes()) {
    if (!list.empty()) list += ", ";
    list += std::to_string(index++) + " " + std::string(effect.name);
  }
  return list;
}

std::string NumberText(double value) {
  std::ostringstream text;
  text.precision(17);
  text << value;
  return text.str();
}

}  // namespace

std::vector<SettingArgument> SettingArguments() {
  std::vector<SettingArgument> arguments;
  for (const SettingOption& option : SettingOptions()) {
    SettingArgument argument{ArgumentName(option.option), option.type != kTypeUnitFloat,
                             std::string(option.help)};
    if (option.type == kTypeEnumerated) {
      argument.description = "the effect type: " + EffectIndexList();
    } else if (option.key == kPointsKey) {
      argument.description += ", 0 for the effect's own";
    } else if (option.type == kTypeBoolean) {
      argument.description += " (0 or 1)";
    }
    arguments.push_back(std::move(argument));
  }
  return arguments;
}

bool SettingsFromArguments(std::span<const double> values, Descriptor* played, std::string* error) {
  const std::span<const SettingOption> options = SettingOptions();
  if (values.size() != options.size()) {
    *error = "the procedure takes " + std::to_string(options.size()) + " settings, not " +
             std::to_string(values.size());
    return false;
  }
  Descriptor given;
  for (size_t i = 0; i < options.size(); ++i) {
    const SettingOption& option = options[i];
    const double value = values[i];
    const std::string name = ArgumentName(option.option);
    if (option.type == kTypeEnumerated) {
      const std::span<const EffectType> effects = EffectTypes();
      if (!(value >= 0 && value < static_cast<double>(effects.size())) ||
          value != std::trunc(value)) {
        *error = name + " must be one of " + EffectIndexList() + ", not " + NumberText(value);
        return false;
      }
      given.PutEnumerated(option.key, kEffectEnumType, effects[static_cast<size_t>(value)].code);
      continue;
    }
    if (option.type == kTypeBoolean) {
      if (value != 0 && value != 1) {
        *error = name + " must be 0 or 1, not " + NumberText(value);
        return false;
      }
      if (value == 1) given.PutBoolean(option.key, true);
      continue;
    }
    if (option.key == kPointsKey && value == 0) continue;
    if (!ApplySetting(option, NumberText(value), &given, error)) {
      // The command line's words, with the argument's name in place of the option's.
      if (error->starts_with(option.option)) error->replace(0, option.option.size(), name);
      return false;
    }
  }
  *played = CompleteSettings(given);
  return true;
}

}  // namespace lumeray::gimp_bridge
