#include "handles.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "host_context.h"

// The host's definition of the interface's opaque handle.
struct HandleRecord {
  std::unique_ptr<char[]> data;
  int32_t size = 0;
  int lockCount = 0;
};

namespace lumeray {
namespace {

// Every block has at least one byte, so that locking an empty handle yields a real pointer.
std::unique_ptr<char[]> AllocateBlock(int32_t size) {
  const size_t bytes = std::max<size_t>(static_cast<size_t>(size), 1);
  std::unique_ptr<char[]> block(new (std::nothrow) char[bytes]);
  if (block) std::memset(block.get(), 0, bytes);
  return block;
}

HandleTable* CurrentTable() {
  HostContext* context = CurrentHostContext();
  return context != nullptr ? context->handles : nullptr;
}

Handle NewProc(int32_t size) {
  HandleTable* table = CurrentTable();
  return table != nullptr ? table->New(size) : nullptr;
}

void DisposeProc(Handle handle) {
  if (HandleTable* table = CurrentTable()) table->Dispose(handle);
}

int32_t GetSizeProc(Handle handle) {
  HandleTable* table = CurrentTable();
  return table != nullptr ? table->Size(handle) : 0;
}

OSErr SetSizeProc(Handle handle, int32_t size) {
  HandleTable* table = CurrentTable();
  return table != nullptr ? table->SetSize(handle, size) : kNilHandleErr;
}

char* LockProc(Handle handle, Boolean /*moveHigh*/) {
  HandleTable* table = CurrentTable();
  return table != nullptr ? table->Lock(handle) : nullptr;
}

void UnlockProc(Handle handle) {
  if (HandleTable* table = CurrentTable()) table->Unlock(handle);
}

}  // namespace

HandleTable::HandleTable() = default;
HandleTable::~HandleTable() = default;

Handle HandleTable::New(int32_t size) {
  if (size < 0) {
    ++badCalls_;
    return nullptr;
  }
  try {
    auto record = std::make_unique<HandleRecord>();
    record->data = AllocateBlock(size);
    if (!record->data) return nullptr;
    record->size = size;
    HandleRecord* handle = record.get();
    handles_.emplace(handle, std::move(record));
    return handle;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

Handle HandleTable::NewCopy(std::span<const uint8_t> bytes) {
  if (bytes.size() > static_cast<size_t>(INT32_MAX)) return nullptr;
  Handle handle = New(static_cast<int32_t>(bytes.size()));
  if (handle != nullptr && !bytes.empty())
    std::memcpy(handle->data.get(), bytes.data(), bytes.size());
  return handle;
}

HandleRecord* HandleTable::Find(Handle handle) {
  const auto it = handles_.find(handle);
  if (it == handles_.end()) {
    ++badCalls_;
    return nullptr;
  }
  return it->second.get();
}

void HandleTable::Dispose(Handle handle) {
  if (handle == nullptr) return;  // disposing of nothing is allowed
  if (Find(handle) != nullptr) handles_.erase(handle);
}

int32_t HandleTable::Size(Handle handle) {
  HandleRecord* record = Find(handle);
  return record != nullptr ? record->size : 0;
}

OSErr HandleTable::SetSize(Handle handle, int32_t size) {
  HandleRecord* record = Find(handle);
  if (record == nullptr) return kNilHandleErr;
  if (size < 0) return kParamErr;
  if (record->lockCount > 0) return kMemLockedErr;
  std::unique_ptr<char[]> block = AllocateBlock(size);
  if (!block) return kMemFullErr;
  std::memcpy(block.get(), record->data.get(), static_cast<size_t>(std::min(size, record->size)));
  record->data = std::move(block);
  record->size = size;
  return kNoErr;
}

char* HandleTable::Lock(Handle handle) {
  HandleRecord* record = Find(handle);
  if (record == nullptr) return nullptr;
  ++record->lockCount;
  return record->data.get();
}

void HandleTable::Unlock(Handle handle) {
  HandleRecord* record = Find(handle);
  if (record != nullptr && record->lockCount > 0) --record->lockCount;
}

int HandleTable::LockCount(Handle handle) const {
  const auto it = handles_.find(handle);
  return it != handles_.end() ? it->second->lockCount : 0;
}

HandleProcs MakeHandleProcs() {
  return HandleProcs{kHandleProcsVersion, kHandleProcsCount, &NewProc,  &DisposeProc,
                     &GetSizeProc,        &SetSizeProc,      &LockProc, &UnlockProc};
}

}  // namespace lumeray
