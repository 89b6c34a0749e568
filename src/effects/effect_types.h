// The seven effect types of the setting table (settings/setting_table.h) as the dialog uses them:
// in the order the Effect combo box shows them, ended by a row whose code is 0.
#pragma once

#include <cstdint>
#include <span>

#include "effects/parameter_set.h"

namespace lumeray {

// The rows of the seven types followed by the terminating row (code 0, name null).
std::span<const EffectTypeRow> EffectTypeTable();

// The row of a code among the seven, or null.
const EffectTypeRow* FindEffectType(uint32_t code);
const EffectTypeRow* FindEffectTypeByName(const char* name);

// The combo position of a code; 0 ("Standard Star") when the code is none of the seven.
int EffectComboIndex(uint32_t code);

// The selection handler: sets NumberOfPoints to the row's preset, clamped to the slider range.
// An unknown code reports "An invalid Effects Selection Index was specified." and changes
// nothing. Returns true when the preset was applied.
bool ApplyEffectPreset(const EffectTypeRow* row, ParameterSet* parameters);

}  // namespace lumeray
