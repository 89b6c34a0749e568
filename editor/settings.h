// The effect settings of the command line (--effect, --quantity, ... --effects-only) and the
// descriptor keys they become for the module: the same typed keys an action replays.
//
// The options follow from the module's setting table (setting_table.h): the effect first, then
// the sliders in the dialog's order, then the switches. Each names one key with its type, unit
// and range. Percentages and the angle (in degrees, positive clockwise) are floating-point
// numbers with units '#Prc' and '#Ang'; the number of points is an integer; the effect is an
// enumerated value of type 'efTy'; Effects Only is a boolean flag.
//
// Threading: the tables are constant; the functions are pure.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "descriptor.h"
#include "filter_interface.h"
#include "setting_table.h"

namespace lumeray {

constexpr DescriptorEnumTypeID kEffectEnumType = kEffectTypeEnumeration;

struct SettingOption {
  std::string_view option;  // "--quantity"
  DescriptorKeyID key;
  DescriptorTypeID type;
  DescriptorUnitID unit;
  double minimum;
  double maximum;
  std::string_view help;
};

// An effect brings its number of points (`pointsPreset`) unless --points is given.
using EffectType = EffectTypeRow;

std::span<const SettingOption> SettingOptions();
std::span<const EffectType> EffectTypes();

// The option of that name ("--quantity"), or null.
const SettingOption* FindSettingOption(std::string_view option);

// Whether the option takes a value (all but the boolean flag).
bool SettingTakesValue(const SettingOption& option);

// The effect with that code, or null.
const EffectType* FindEffectByCode(FourCode code);

// The effect of that name, compared without regard to case.
std::optional<FourCode> FindEffectType(std::string_view name);

// "\"Standard Star\", \"Star Burst\", ..."
std::string EffectNameList();

// Checks every setting of `settings` (an action file's) against its option's range, as for the
// command line: numbers inside the range (the number of points whole), a known effect.
bool CheckSettingRanges(const Descriptor& settings, std::string* error);

// Checks `value` for the option and puts it into the descriptor; `value` is ignored for a flag.
bool ApplySetting(const SettingOption& option, std::string_view value, Descriptor* settings,
                  std::string* error);

}  // namespace lumeray
