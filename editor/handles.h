// The host's handles: movable memory blocks the module allocates and locks through the record's
// handle procedures (the 40-byte parameter block, the 1-byte data block, descriptor handles) and
// that the host itself hands over (the ICC profile).
//
// Conventions
//  * A handle is a heap object owned by one HandleTable; the table frees every handle still live
//    when it is destroyed, so a module that keeps its data handle between runs leaks nothing.
//  * New blocks are zero-filled. Lock returns a pointer that stays valid until the handle is
//    disposed; resizing a locked handle is refused (kMemLockedErr) so that pointer never moves.
//  * Procedures given a pointer the table did not make do nothing and count a bad call, instead
//    of touching memory they do not own.
//
// Threading: a table is used on one thread, the run thread of its session.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <unordered_map>

#include "filter_interface.h"

namespace lumeray {

// Host result codes of the handle procedures.
constexpr OSErr kNilHandleErr = -109;
constexpr OSErr kMemLockedErr = -117;

constexpr int16_t kHandleProcsVersion = 1;
constexpr int16_t kHandleProcsCount = 6;

class HandleTable {
 public:
  HandleTable();
  ~HandleTable();
  HandleTable(const HandleTable&) = delete;
  HandleTable& operator=(const HandleTable&) = delete;

  Handle New(int32_t size);
  Handle NewCopy(std::span<const uint8_t> bytes);
  void Dispose(Handle handle);
  int32_t Size(Handle handle);
  OSErr SetSize(Handle handle, int32_t size);
  char* Lock(Handle handle);
  void Unlock(Handle handle);

  bool Contains(Handle handle) const { return handles_.count(handle) != 0; }
  size_t LiveCount() const { return handles_.size(); }
  int LockCount(Handle handle) const;
  int BadCalls() const { return badCalls_; }

 private:
  HandleRecord* Find(Handle handle);

  std::unordered_map<HandleRecord*, std::unique_ptr<HandleRecord>> handles_;
  int badCalls_ = 0;
};

// The procedure table for the filter record; the procedures use the handle table of the
// current host context (host_context.h).
HandleProcs MakeHandleProcs();

}  // namespace lumeray
