// The scripting keys of the effect parameters. One table declares every key once, in the order
// in which keys are read from a played-back descriptor, written into a recorded one and listed
// in the 'aete' terminology resource: its descriptor type, enumeration type, unit, the index by
// which the two conversions address its ParameterSet field, and the name and description a host
// shows in scripts.
//
// Conventions
//  * Codes are four-character codes as numbers, first character in the most significant byte.
//  * A descriptor value crosses the conversions as its bytes in host order: 'bool' one byte,
//    'doub' eight (an IEEE double), 'long' four (int32), 'enum' four (the code). A value of
//    another size is a value of the wrong size, whatever its bytes.
//  * Index 0 addresses no field; converting it does nothing and succeeds.
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

inline constexpr DescriptorUnitID kUnitPercent = FourCC("#Prc");
inline constexpr DescriptorUnitID kUnitAngle = FourCC("#Ang");
inline constexpr DescriptorUnitID kNoUnit = 0;
inline constexpr DescriptorEnumTypeID kEffectTypeEnumeration = FourCC("efTy");

// The indices of the fields the conversions address.
enum ParameterFieldIndex : int {
  kFieldNone = 0,
  kFieldIntensity = 1,
  kFieldLength = 2,
  kFieldAngle = 3,
  kFieldNumberOfPoints = 4,
  kFieldSpikeSharpness = 5,
  kFieldColorSaturation = 6,
  kFieldRainbowIntensity = 7,
  kFieldRainbowFrequency = 8,
  kFieldSecondarySpikeIntensity = 9,
  kFieldSoftFlareIntensity = 10,
  kFieldEffectsOnly = 11,
  kFieldEffectType = 12,
  kFieldQuantity = 13,
};

struct DescriptorKeyRow {
  DescriptorKeyID key;
  DescriptorTypeID type;          // kTypeBoolean, kTypeFloat, kTypeInteger or kTypeEnumerated
  DescriptorEnumTypeID enumType;  // the enumeration of an 'enum' row, else 0
  DescriptorUnitID unit;          // a 'doub' row read and written as a unit float, else kNoUnit
  ParameterFieldIndex index;
  std::string_view name;  // the terminology shown in scripts
  std::string_view description;
};

inline constexpr std::array<DescriptorKeyRow, 13> kDescriptorKeyTable = {{
    {FourCC("opsO"), kTypeBoolean, 0, kNoUnit, kFieldEffectsOnly, "output spikes only",
     "Lumeray output spikes only"},
    {FourCC("stEf"), kTypeEnumerated, kEffectTypeEnumeration, kNoUnit, kFieldEffectType, "effect",
     "Lumeray star effect type"},
    {FourCC("qntY"), kTypeFloat, 0, kUnitPercent, kFieldQuantity, "quantity", "Lumeray quantity"},
    {FourCC("Intn"), kTypeFloat, 0, kUnitPercent, kFieldIntensity, "intensity",
     "Lumeray intensity"},
    {FourCC("Lngt"), kTypeFloat, 0, kUnitPercent, kFieldLength, "length", "Lumeray length"},
    {FourCC("Angl"), kTypeFloat, 0, kUnitAngle, kFieldAngle, "angle", "Lumeray angle"},
    {FourCC("numP"), kTypeInteger, 0, kNoUnit, kFieldNumberOfPoints, "number of points",
     "Lumeray number of points"},
    {FourCC("spsH"), kTypeFloat, 0, kUnitPercent, kFieldSpikeSharpness, "spike sharpness",
     "Lumeray spike sharpness"},
    {FourCC("Strt"), kTypeFloat, 0, kUnitPercent, kFieldColorSaturation, "saturation",
     "Lumeray color saturation"},
    {FourCC("rbwI"), kTypeFloat, 0, kUnitPercent, kFieldRainbowIntensity, "rainbow intensity",
     "Lumeray rainbow intensity"},
    {FourCC("rbwF"), kTypeFloat, 0, kUnitPercent, kFieldRainbowFrequency, "rainbow frequency",
     "Lumeray rainbow frequency"},
    {FourCC("sspI"), kTypeFloat, 0, kUnitPercent, kFieldSecondarySpikeIntensity,
     "secondary spike intensity", "Lumeray secondary spike intensity"},
    {FourCC("sflB"), kTypeFloat, 0, kUnitPercent, kFieldSoftFlareIntensity, "soft flare brightness",
     "Lumeray soft flare brightness"},
}};

// The row of a key, or null.
const DescriptorKeyRow* FindDescriptorKey(DescriptorKeyID key);

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
// then left as it was. False for an index or type the table does not know.
bool ConvertDescriptorToParameter(const DescriptorKeyRow& row, std::span<const uint8_t> value,
                                  ParameterSet* parameters);

// Field -> descriptor value: 'bool' the field's low byte; 'doub' the signed 16-bit field as a
// double (Angle divided by 10); 'long' the signed field widened; 'enum' the stored code. False
// for an index or type the table does not know.
bool ConvertParameterToDescriptor(const DescriptorKeyRow& row, const ParameterSet& parameters,
                                  DescriptorValue* value);

}  // namespace lumeray
