// The effect parameters as the module uses them: the 40-byte ParameterSet record and the setting
// table (settings/setting_table.h), the block a settings file holds it in, and the dialog's view
// of the table's slider rows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "settings/setting_table.h"

namespace lumeray {

// Settings files and registry blocks hold the record at the front of a 255-byte block.
inline constexpr size_t kParameterBlockSize = 255;

// A slider is a setting row of kind kSlider.
using SliderDescriptor = SettingRow;

// The eleven slider rows, in the order the dialog binds them.
std::span<const SliderDescriptor> SliderTable();

// The position in SliderTable() of the slider bound to `field`.
size_t SliderIndex(int16_t ParameterSet::*field);
const SliderDescriptor& SliderOf(int16_t ParameterSet::*field);

int16_t ClampToSlider(const SliderDescriptor& slider, int value);

// Reads the version words of a stored block (at least 8 bytes).
ParameterVersion BlockVersion(const uint8_t* block);

}  // namespace lumeray
