// The settings arguments of the PDB procedure plug-in-lumeray-pro-2, after run-mode, image and
// drawable: one argument per setting of the editor's command line, in the same order
// (settings.h): effect, quantity, intensity, length, angle, points, sharpness, saturation,
// rainbow-intensity, rainbow-frequency, secondary, flare, effects-only.
//
// Conventions
//  * The effect is an integer index into the effect list (0 "Standard Star" ... 6 "Religious
//    Cross", the order of EffectTypes()); points 0 means "the effect's own number of points";
//    effects-only is 0 or 1; the other settings are floats in the command line's units and ranges.
//  * The descriptor made from them is complete (factory values fill nothing, every key is
//    given), so the module renders without its dialog.
//
// No libgimp here: the table and the conversion are plain C++.
// Threading: the table is constant; the functions are pure.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "descriptor.h"

namespace lumeray::gimp_bridge {

struct SettingArgument {
  std::string name;  // "quantity", "rainbow-intensity", ...
  bool integer;      // INT32 in the PDB, else FLOAT
  std::string description;
};

// One per setting, in the procedure's order.
std::vector<SettingArgument> SettingArguments();

// The descriptor to play for the argument values (one per SettingArguments() entry, integers as
// whole numbers); false with a message naming the argument when a value is out of range.
bool SettingsFromArguments(std::span<const double> values, Descriptor* played, std::string* error);

}  // namespace lumeray::gimp_bridge
