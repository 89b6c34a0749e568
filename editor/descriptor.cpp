#include "descriptor.h"

namespace lumeray {

void Descriptor::Put(const DescriptorItem& item) {
  for (DescriptorItem& existing : items_) {
    if (existing.key == item.key) {
      existing = item;
      return;
    }
  }
  items_.push_back(item);
}

void Descriptor::PutBoolean(DescriptorKeyID key, bool value) {
  DescriptorItem item{key, kTypeBoolean};
  item.boolean = value;
  Put(item);
}

void Descriptor::PutFloat(DescriptorKeyID key, double value) {
  DescriptorItem item{key, kTypeFloat};
  item.number = value;
  Put(item);
}

void Descriptor::PutUnitFloat(DescriptorKeyID key, DescriptorUnitID unit, double value) {
  DescriptorItem item{key, kTypeUnitFloat, unit};
  item.number = value;
  Put(item);
}

void Descriptor::PutInteger(DescriptorKeyID key, int32_t value) {
  DescriptorItem item{key, kTypeInteger};
  item.integer = value;
  Put(item);
}

void Descriptor::PutEnumerated(DescriptorKeyID key, DescriptorEnumTypeID type,
                               DescriptorEnumID value) {
  DescriptorItem item{key, kTypeEnumerated};
  item.enumType = type;
  item.enumValue = value;
  Put(item);
}

const DescriptorItem* Descriptor::Find(DescriptorKeyID key) const {
  for (const DescriptorItem& item : items_) {
    if (item.key == key) return &item;
  }
  return nullptr;
}

}  // namespace lumeray
