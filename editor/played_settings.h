// The descriptor the editor plays to the module for `lumeray apply`: always all thirteen keys,
// so the module takes them as complete and renders without its dialog or a warning.
//
// The module's factory settings fill every key the user did not give. Choosing an effect also
// brings that effect's number of points, unless the points are given too.
//
// The keys and factory values follow from the module's setting table (setting_table.h), in the
// module's reading order; each has the name its terminology shows in scripts, which action files
// carry alongside the key.
//
// Threading: the tables are constant; the functions are pure.
#pragma once

#include <span>
#include <string_view>

#include "descriptor.h"
#include "filter_interface.h"

namespace lumeray {

struct ScriptingKey {
  DescriptorKeyID key;
  DescriptorTypeID type;  // as the module reads it: unit floats for percentages and the angle
  DescriptorUnitID unit;
  std::string_view name;
  double factory;  // a boolean as 0/1; the effect as its code
};

std::span<const ScriptingKey> ScriptingKeys();
const ScriptingKey* FindScriptingKey(DescriptorKeyID key);

// All keys with the factory values.
Descriptor FactorySettings();

// `base`, then the effect's points (when `given` chooses an effect but no points), then every
// key of `given` in place of the one in `base`.
Descriptor OverlaySettings(Descriptor base, const Descriptor& given);

// The factory settings, then the effect's points (when `given` chooses an effect but no points),
// then every key of `given` in place of the factory value.
Descriptor CompleteSettings(const Descriptor& given);

}  // namespace lumeray
