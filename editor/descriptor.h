// Action descriptors: the ordered, typed key-value sets in which a host hands a filter its
// settings when it replays an action, and in which the filter hands them back for recording.
//
// Conventions: a key appears at most once; putting a key again replaces its value in place, so
// the order of first appearance is kept. Types are the interface's descriptor type codes
// (kTypeBoolean, kTypeFloat, kTypeUnitFloat, kTypeInteger, kTypeEnumerated).
//
// In a host handle a descriptor is kept as bytes (EncodeDescriptor): per item its key and type
// codes, then the value (a unit float its unit first, an enumerated value its enumeration type
// first), every number in host byte order.
//
// Threading: a plain value.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "filter_interface.h"

namespace lumeray {

struct DescriptorItem {
  DescriptorKeyID key = 0;
  DescriptorTypeID type = kTypeNull;
  DescriptorUnitID unit = 0;          // kTypeUnitFloat
  DescriptorEnumTypeID enumType = 0;  // kTypeEnumerated
  double number = 0.0;                // kTypeFloat, kTypeUnitFloat
  int32_t integer = 0;                // kTypeInteger
  bool boolean = false;               // kTypeBoolean
  DescriptorEnumID enumValue = 0;     // kTypeEnumerated
};

class Descriptor {
 public:
  void PutBoolean(DescriptorKeyID key, bool value);
  void PutFloat(DescriptorKeyID key, double value);
  void PutUnitFloat(DescriptorKeyID key, DescriptorUnitID unit, double value);
  void PutInteger(DescriptorKeyID key, int32_t value);
  void PutEnumerated(DescriptorKeyID key, DescriptorEnumTypeID type, DescriptorEnumID value);

  const DescriptorItem* Find(DescriptorKeyID key) const;
  const std::vector<DescriptorItem>& items() const { return items_; }
  bool empty() const { return items_.empty(); }
  size_t size() const { return items_.size(); }

 private:
  void Put(const DescriptorItem& item);

  std::vector<DescriptorItem> items_;
};

std::vector<uint8_t> EncodeDescriptor(const Descriptor& descriptor);

// False for bytes EncodeDescriptor did not make (a truncated item, an unknown type, a key twice).
bool DecodeDescriptor(std::span<const uint8_t> bytes, Descriptor* descriptor);

}  // namespace lumeray
