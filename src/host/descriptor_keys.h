// The scripting keys of the effect parameters: the conversions between a descriptor value and
// the field a row of the setting table (settings/setting_table.h) addresses. The table declares
// every key once, in the order in which keys are read from a played-back descriptor, written into
// a recorded one and listed in the 'aete' terminology resource.
//
// Conventions
//  * Codes are four-character codes as numbers, first character in the most significant byte.
//  * A descriptor value crosses the conversions as its bytes in host order: 'bool' one byte,
//    'doub' eight (an IEEE double), 'long' four (int32), 'enum' four (the code). A value of
//    another size is a value of the wrong size, whatever its bytes.
//  * A row that addresses no field converts nothing and succeeds.
//  * Angle is exchanged in degrees and kept in tenths of a degree; the other numbers as they are.
//
// Threading contract: the table is constant; the conversions touch only what they are given.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "effects/parameter_set.h"
#include "interface/filter_interface.h"

namespace lumeray {

// The row of a key, or null.
const SettingRow* FindDescriptorKey(DescriptorKeyID key);

// The number of value bytes of a descriptor type; 0 for a type the table does not use.
size_t DescriptorValueSize(DescriptorTypeID type);

// A value as the writing conversion produces it.
struct DescriptorValue {
  std::array<uint8_t, 8> bytes{};
  size_t size = 0;
  std::span<const uint8_t> view() const { return {bytes.data(), size}; }
};

// Descriptor value -> field. 'bool' stores 0 or 1; 'doub' is truncated toward zero (Angle after
// multiplying by 10) and the field keeps the low 16 bits of that integer; 'long' keeps its low
// 16 bits; 'enum' stores the code. A value of the wrong size stores 0, except that the enum is
// then left as it was. False for a type the table does not use.
bool ConvertDescriptorToParameter(const SettingRow& row, std::span<const uint8_t> value,
                                  ParameterSet* parameters);

// Field -> descriptor value: 'bool' the field's low byte; 'doub' the signed 16-bit field as a
// double (Angle divided by 10); 'long' the signed field widened; 'enum' the stored code. False
// for a type the table does not use.
bool ConvertParameterToDescriptor(const SettingRow& row, const ParameterSet& parameters,
                                  DescriptorValue* value);

}  // namespace lumeray
