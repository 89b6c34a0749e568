#include "host/descriptor_keys.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace lumeray {
namespace {

constexpr int kTenthsPerDegree = 10;
constexpr size_t kShortWidth = sizeof(int16_t);
constexpr size_t kCodeWidth = sizeof(uint32_t);

// Where an index's field lives in the record, its width, and by how much the field's value
// exceeds the exchanged one.
struct FieldSlot {
  size_t offset;
  size_t width;
  int scale;
};

constexpr std::array<FieldSlot, kFieldQuantity + 1> kFieldSlots = {{
    {0, 0, 1},  // kFieldNone
    {offsetof(ParameterSet, Intensity), kShortWidth, 1},
    {offsetof(ParameterSet, Length), kShortWidth, 1},
    {offsetof(ParameterSet, Angle), kShortWidth, kTenthsPerDegree},
    {offsetof(ParameterSet, NumberOfPoints), kShortWidth, 1},
    {offsetof(ParameterSet, SpikeSharpness), kShortWidth, 1},
    {offsetof(ParameterSet, ColorSaturation), kShortWidth, 1},
    {offsetof(ParameterSet, RainbowIntensity), kShortWidth, 1},
    {offsetof(ParameterSet, RainbowFrequency), kShortWidth, 1},
    {offsetof(ParameterSet, SecondarySpikeIntensity), kShortWidth, 1},
    {offsetof(ParameterSet, SoftFlareIntensity), kShortWidth, 1},
    {offsetof(ParameterSet, EffectsOnly), kShortWidth, 1},
    {offsetof(ParameterSet, EffectType), kCodeWidth, 1},
    {offsetof(ParameterSet, Quantity), kShortWidth, 1},
}};

// Every row names a field, once, of the width its type needs.
constexpr bool KeyTableIsConsistent() {
  std::array<bool, kFieldSlots.size()> used{};
  for (const DescriptorKeyRow& row : kDescriptorKeyTable) {
    if (row.index <= kFieldNone || row.index >= static_cast<int>(kFieldSlots.size())) return false;
    if (used[row.index]) return false;
    used[row.index] = true;
    const size_t width = row.type == kTypeEnumerated ? kCodeWidth : kShortWidth;
    if (kFieldSlots[row.index].width != width) return false;
    if ((row.type == kTypeEnumerated) != (row.enumType != 0)) return false;
    if (row.unit != kNoUnit && row.type != kTypeFloat) return false;
  }
  return true;
}
static_assert(KeyTableIsConsistent());

const FieldSlot* SlotOf(ParameterFieldIndex index) {
  if (index < kFieldNone || index >= static_cast<int>(kFieldSlots.size())) return nullptr;
  return &kFieldSlots[index];
}

void StoreField(ParameterSet* parameters, const FieldSlot& slot, uint32_t value) {
  auto* field = reinterpret_cast<uint8_t*>(parameters) + slot.offset;
  if (slot.width == kShortWidth) {
    const auto low = static_cast<uint16_t>(value);
    std::memcpy(field, &low, sizeof low);
  } else {
    std::memcpy(field, &value, sizeof value);
  }
}

uint32_t LoadField(const ParameterSet& parameters, const FieldSlot& slot) {
  const auto* field = reinterpret_cast<const uint8_t*>(&parameters) + slot.offset;
  if (slot.width == kShortWidth) {
    uint16_t value;
    std::memcpy(&value, field, sizeof value);
    return value;
  }
  uint32_t value;
  std::memcpy(&value, field, sizeof value);
  return value;
}

// Truncation toward zero into 32 bits. Values a 32-bit integer cannot hold saturate and NaN is
// 0, so that no played value can make the conversion undefined.
int32_t TruncateToInteger(double value) {
  if (std::isnan(value)) return 0;
  if (value >= static_cast<double>(std::numeric_limits<int32_t>::max())) {
    return std::numeric_limits<int32_t>::max();
  }
  if (value <= static_cast<double>(std::numeric_limits<int32_t>::min())) {
    return std::numeric_limits<int32_t>::min();
  }
  return static_cast<int32_t>(value);
}

template <typename T>
T ReadValue(std::span<const uint8_t> value) {
  T result;
  std::memcpy(&result, value.data(), sizeof result);
  return result;
}

template <typename T>
void WriteValue(DescriptorValue* value, T number) {
  static_assert(sizeof(T) <= sizeof value->bytes);
  std::memcpy(value->bytes.data(), &number, sizeof number);
  value->size = sizeof number;
}

}  // namespace

const DescriptorKeyRow* FindDescriptorKey(DescriptorKeyID key) {
  for (const DescriptorKeyRow& row : kDescriptorKeyTable) {
    if (row.key == key) return &row;
  }
  return nullptr;
}

size_t DescriptorValueSize(DescriptorTypeID type) {
  switch (type) {
    case kTypeBoolean:
      return sizeof(Boolean);
    case kTypeFloat:
      return sizeof(double);
    case kTypeInteger:
      return sizeof(int32_t);
    case kTypeEnumerated:
      return sizeof(DescriptorEnumID);
    default:
      return 0;
  }
}

bool ConvertDescriptorToParameter(const DescriptorKeyRow& row, std::span<const uint8_t> value,
                                  ParameterSet* parameters) {
  const FieldSlot* slot = SlotOf(row.index);
  if (slot == nullptr) return false;
  if (row.index == kFieldNone) return true;
  const size_t expected = DescriptorValueSize(row.type);
  if (expected == 0) return false;
  if (value.size() != expected) {
    if (row.type != kTypeEnumerated) StoreField(parameters, *slot, 0);
    return true;
  }
  switch (row.type) {
    case kTypeBoolean:
      StoreField(parameters, *slot, value[0] != 0 ? 1 : 0);
      break;
    case kTypeFloat:
      StoreField(parameters, *slot,
                 static_cast<uint32_t>(TruncateToInteger(ReadValue<double>(value) * slot->scale)));
      break;
    case kTypeInteger:
      StoreField(parameters, *slot, static_cast<uint32_t>(ReadValue<int32_t>(value)));
      break;
    case kTypeEnumerated:
      StoreField(parameters, *slot, ReadValue<uint32_t>(value));
      break;
  }
  return true;
}

bool ConvertParameterToDescriptor(const DescriptorKeyRow& row, const ParameterSet& parameters,
                                  DescriptorValue* value) {
  const FieldSlot* slot = SlotOf(row.index);
  if (slot == nullptr || DescriptorValueSize(row.type) == 0) return false;
  const uint32_t field = row.index == kFieldNone ? 0 : LoadField(parameters, *slot);
  const auto signedField = static_cast<int16_t>(static_cast<uint16_t>(field));
  switch (row.type) {
    case kTypeBoolean:
      WriteValue(value, static_cast<Boolean>(field & 0xFF));
      break;
    case kTypeFloat:
      WriteValue(value, static_cast<double>(signedField) / slot->scale);
      break;
    case kTypeInteger:
      WriteValue(value, static_cast<int32_t>(signedField));
      break;
    case kTypeEnumerated:
      WriteValue(value, field);
      break;
  }
  return true;
}

}  // namespace lumeray
