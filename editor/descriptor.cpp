#include "descriptor.h"

#include <cstring>
#include <utility>

namespace lumeray {
namespace {

template <typename T>
void Append(std::vector<uint8_t>* bytes, T value) {
  const auto* raw = reinterpret_cast<const uint8_t*>(&value);
  bytes->insert(bytes->end(), raw, raw + sizeof value);
}

// Reads the encoded bytes front to back; every Take fails once the bytes run out.
class ByteReader {
 public:
  explicit ByteReader(std::span<const uint8_t> bytes) : rest_(bytes) {}

  template <typename T>
  bool Take(T* value) {
    if (rest_.size() < sizeof(T)) return false;
    std::memcpy(value, rest_.data(), sizeof(T));
    rest_ = rest_.subspan(sizeof(T));
    return true;
  }
  bool done() const { return rest_.empty(); }

 private:
  std::span<const uint8_t> rest_;
};

bool DecodeItem(ByteReader& reader, Descriptor* descriptor) {
  DescriptorKeyID key = 0;
  DescriptorTypeID type = 0;
  if (!reader.Take(&key) || !reader.Take(&type)) return false;
  if (descriptor->Find(key) != nullptr) return false;
  switch (type) {
    case kTypeBoolean: {
      uint8_t value = 0;
      if (!reader.Take(&value) || value > 1) return false;
      descriptor->PutBoolean(key, value != 0);
      return true;
    }
    case kTypeFloat: {
      double value = 0;
      if (!reader.Take(&value)) return false;
      descriptor->PutFloat(key, value);
      return true;
    }
    case kTypeUnitFloat: {
      DescriptorUnitID unit = 0;
      double value = 0;
      if (!reader.Take(&unit) || !reader.Take(&value)) return false;
      descriptor->PutUnitFloat(key, unit, value);
      return true;
    }
    case kTypeInteger: {
      int32_t value = 0;
      if (!reader.Take(&value)) return false;
      descriptor->PutInteger(key, value);
      return true;
    }
    case kTypeEnumerated: {
      DescriptorEnumTypeID enumType = 0;
      DescriptorEnumID value = 0;
      if (!reader.Take(&enumType) || !reader.Take(&value)) return false;
      descriptor->PutEnumerated(key, enumType, value);
      return true;
    }
    default:
      return false;
  }
}

}  // namespace

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

std::vector<uint8_t> EncodeDescriptor(const Descriptor& descriptor) {
  std::vector<uint8_t> bytes;
  for (const DescriptorItem& item : descriptor.items()) {
    Append(&bytes, item.key);
    Append(&bytes, item.type);
    switch (item.type) {
      case kTypeBoolean:
        Append(&bytes, static_cast<uint8_t>(item.boolean ? 1 : 0));
        break;
      case kTypeFloat:
        Append(&bytes, item.number);
        break;
      case kTypeUnitFloat:
        Append(&bytes, item.unit);
        Append(&bytes, item.number);
        break;
      case kTypeInteger:
        Append(&bytes, item.integer);
        break;
      case kTypeEnumerated:
        Append(&bytes, item.enumType);
        Append(&bytes, item.enumValue);
        break;
      default:
        break;
    }
  }
  return bytes;
}

bool DecodeDescriptor(std::span<const uint8_t> bytes, Descriptor* descriptor) {
  Descriptor decoded;
  ByteReader reader(bytes);
  while (!reader.done()) {
    if (!DecodeItem(reader, &decoded)) return false;
  }
  *descriptor = std::move(decoded);
  return true;
}

}  // namespace lumeray
