#include "host/descriptor_keys.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace lumeray {
namespace {

// The field a row addresses, as the unsigned bits a descriptor value becomes or comes from: an
// i16 or u16 field keeps the low 16 bits of a stored number.
void StoreField(const SettingRow& row, ParameterSet* parameters, uint32_t value) {
  if (row.field != nullptr) parameters->*row.field = static_cast<int16_t>(value);
  if (row.flag != nullptr) parameters->*row.flag = static_cast<uint16_t>(value);
  if (row.code != nullptr) parameters->*row.code = value;
}

uint32_t LoadField(const SettingRow& row, const ParameterSet& parameters) {
  if (row.field != nullptr) return static_cast<uint16_t>(parameters.*row.field);
  if (row.flag != nullptr) return parameters.*row.flag;
  if (row.code != nullptr) return parameters.*row.code;
  return 0;
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

const SettingRow* FindDescriptorKey(DescriptorKeyID key) {
  for (const SettingRow& row : kSettingTable) {
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

bool ConvertDescriptorToParameter(const SettingRow& row, std::span<const uint8_t> value,
                                  ParameterSet* parameters) {
  const size_t expected = DescriptorValueSize(row.type);
  if (expected == 0) return false;
  if (value.size() != expected) {
    if (row.type != kTypeEnumerated) StoreField(row, parameters, 0);
    return true;
  }
  switch (row.type) {
    case kTypeBoolean:
      StoreField(row, parameters, value[0] != 0 ? 1 : 0);
      break;
    case kTypeFloat:
      StoreField(
          row, parameters,
          static_cast<uint32_t>(TruncateToInteger(ReadValue<double>(value) * SettingScale(row))));
      break;
    case kTypeInteger:
      StoreField(row, parameters, static_cast<uint32_t>(ReadValue<int32_t>(value)));
      break;
    case kTypeEnumerated:
      StoreField(row, parameters, ReadValue<uint32_t>(value));
      break;
  }
  return true;
}

bool ConvertParameterToDescriptor(const SettingRow& row, const ParameterSet& parameters,
                                  DescriptorValue* value) {
  if (DescriptorValueSize(row.type) == 0) return false;
  const uint32_t field = LoadField(row, parameters);
  const auto signedField = static_cast<int16_t>(static_cast<uint16_t>(field));
  switch (row.type) {
    case kTypeBoolean:
      WriteValue(value, static_cast<Boolean>(field & 0xFF));
      break;
    case kTypeFloat:
      WriteValue(value, static_cast<double>(signedField) / SettingScale(row));
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
