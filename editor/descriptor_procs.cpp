#include "descriptor_procs.h"

#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "descriptor.h"
#include "handles.h"
#include "host_context.h"

// The procedure tables name these as incomplete types; the host defines them.
struct OpaqueReadDescriptor {
  lumeray::Descriptor descriptor;
  size_t next = 0;
  const lumeray::DescriptorItem* current = nullptr;
};

struct OpaqueWriteDescriptor {
  lumeray::Descriptor descriptor;
};

namespace lumeray {
namespace {

HandleTable* CurrentHandles() {
  HostContext* context = CurrentHostContext();
  return context != nullptr ? context->handles : nullptr;
}

// The item the last getKey returned, when it has `type`.
const DescriptorItem* Current(PIReadDescriptor token, DescriptorTypeID type) {
  if (token == nullptr || token->current == nullptr || token->current->type != type) {
    return nullptr;
  }
  return token->current;
}

PIReadDescriptor OpenRead(PIDescriptorHandle handle, const DescriptorKeyID* /*keyArray*/) {
  HandleTable* handles = CurrentHandles();
  if (handles == nullptr || handle == nullptr || !handles->Contains(handle)) return nullptr;
  const int32_t size = handles->Size(handle);
  const char* bytes = handles->Lock(handle);
  if (bytes == nullptr && size > 0) return nullptr;
  auto token = std::unique_ptr<OpaqueReadDescriptor>(new (std::nothrow) OpaqueReadDescriptor);
  bool decoded = false;
  if (token != nullptr) {
    decoded = DecodeDescriptor({reinterpret_cast<const uint8_t*>(bytes), static_cast<size_t>(size)},
                               &token->descriptor);
  }
  handles->Unlock(handle);
  return decoded ? token.release() : nullptr;
}

OSErr CloseRead(PIReadDescriptor token) {
  delete token;
  return kNoErr;
}

Boolean GetKey(PIReadDescriptor token, DescriptorKeyID* key, DescriptorTypeID* type,
               int32_t* flags) {
  if (token == nullptr) return 0;
  const std::vector<DescriptorItem>& items = token->descriptor.items();
  if (token->next >= items.size()) {
    token->current = nullptr;
    return 0;
  }
  token->current = &items[token->next++];
  if (key != nullptr) *key = token->current->key;
  if (type != nullptr) *type = token->current->type;
  if (flags != nullptr) *flags = 0;
  return 1;
}

OSErr GetInteger(PIReadDescriptor token, int32_t* value) {
  const DescriptorItem* item = Current(token, kTypeInteger);
  if (item == nullptr || value == nullptr) return kDescriptorTypeErr;
  *value = item->integer;
  return kNoErr;
}

OSErr GetFloat(PIReadDescriptor token, double* value) {
  const DescriptorItem* item = Current(token, kTypeFloat);
  if (item == nullptr || value == nullptr) return kDescriptorTypeErr;
  *value = item->number;
  return kNoErr;
}

OSErr GetUnitFloat(PIReadDescriptor token, DescriptorUnitID* unit, double* value) {
  const DescriptorItem* item = Current(token, kTypeUnitFloat);
  if (item == nullptr || value == nullptr) return kDescriptorTypeErr;
  if (unit != nullptr) *unit = item->unit;
  *value = item->number;
  return kNoErr;
}

OSErr GetBoolean(PIReadDescriptor token, Boolean* value) {
  const DescriptorItem* item = Current(token, kTypeBoolean);
  if (item == nullptr || value == nullptr) return kDescriptorTypeErr;
  *value = item->boolean ? 1 : 0;
  return kNoErr;
}

OSErr GetEnumerated(PIReadDescriptor token, DescriptorEnumID* value) {
  const DescriptorItem* item = Current(token, kTypeEnumerated);
  if (item == nullptr || value == nullptr) return kDescriptorTypeErr;
  *value = item->enumValue;
  return kNoErr;
}

PIWriteDescriptor OpenWrite() {
  if (CurrentHandles() == nullptr) return nullptr;
  return new (std::nothrow) OpaqueWriteDescriptor;
}

OSErr CloseWrite(PIWriteDescriptor token, PIDescriptorHandle* newDescriptor) {
  const std::unique_ptr<OpaqueWriteDescriptor> owned(token);
  HandleTable* handles = CurrentHandles();
  if (owned == nullptr || newDescriptor == nullptr || handles == nullptr) return kParamErr;
  const std::vector<uint8_t> bytes = EncodeDescriptor(owned->descriptor);
  Handle handle = handles->NewCopy(bytes);
  if (handle == nullptr) return kMemFullErr;
  *newDescriptor = handle;
  return kNoErr;
}

OSErr PutInteger(PIWriteDescriptor token, DescriptorKeyID key, int32_t value) {
  if (token == nullptr) return kParamErr;
  token->descriptor.PutInteger(key, value);
  return kNoErr;
}

OSErr PutFloat(PIWriteDescriptor token, DescriptorKeyID key, const double* value) {
  if (token == nullptr || value == nullptr) return kParamErr;
  token->descriptor.PutFloat(key, *value);
  return kNoErr;
}

OSErr PutUnitFloat(PIWriteDescriptor token, DescriptorKeyID key, DescriptorUnitID unit,
                   const double* value) {
  if (token == nullptr || value == nullptr) return kParamErr;
  token->descriptor.PutUnitFloat(key, unit, *value);
  return kNoErr;
}

OSErr PutBoolean(PIWriteDescriptor token, DescriptorKeyID key, Boolean value) {
  if (token == nullptr) return kParamErr;
  token->descriptor.PutBoolean(key, value != 0);
  return kNoErr;
}

OSErr PutEnumerated(PIWriteDescriptor token, DescriptorKeyID key, DescriptorEnumTypeID type,
                    DescriptorEnumID value) {
  if (token == nullptr) return kParamErr;
  token->descriptor.PutEnumerated(key, type, value);
  return kNoErr;
}

}  // namespace

ReadDescriptorProcs MakeReadDescriptorProcs() {
  return ReadDescriptorProcs{kReadDescriptorProcsVersion,
                             kReadDescriptorProcsCount,
                             &OpenRead,
                             &CloseRead,
                             &GetKey,
                             &GetInteger,
                             &GetFloat,
                             &GetUnitFloat,
                             &GetBoolean,
                             &GetEnumerated};
}

WriteDescriptorProcs MakeWriteDescriptorProcs() {
  return WriteDescriptorProcs{kWriteDescriptorProcsVersion,
                              kWriteDescriptorProcsCount,
                              &OpenWrite,
                              &CloseWrite,
                              &PutInteger,
                              &PutFloat,
                              &PutUnitFloat,
                              &PutBoolean,
                              &PutEnumerated};
}

}  // namespace lumeray
