// Counted buffers. Every large block of the module (image pixels and masks, tables, task
// arrays, shapes, profiles) lives in a BufferDescriptor and is obtained only through these
// operations, which keep a module-wide count of the bytes held and the highest count reached.
//
// ReallocateBuffer never shrinks (a smaller request costs nothing and keeps the contents) and
// does not keep the contents when it grows; ReallocateBufferPreserveContents resizes exactly
// and keeps them. Both return 0 or -108 (out of memory) after reporting the failure.
//
// The usage counters are process-wide, shared by every run (not part of run/run_state.h).
//
// Threading contract: the counters are guarded by the BufferUsageSection; the operations may be
// called from any thread. A descriptor belongs to one user at a time and is not locked.
#pragma once

#include <cstdint>

namespace lumeray {

struct BufferDescriptor {
  void* data = nullptr;
  uint64_t size = 0;
};

struct BufferUsage {
  uint64_t current;
  uint64_t peak;
};

int ReallocateBuffer(uint64_t size, BufferDescriptor* descriptor);
int ReallocateBufferPreserveContents(uint64_t size, BufferDescriptor* descriptor);
void DeallocateBuffer(BufferDescriptor* descriptor);

// Logs "ReportBufferUsage(): Current Usage = %llu, Peak Usage = %llu\n" as a trace message.
void ReportBufferUsage();
BufferUsage GetBufferUsage();
// Starts a new peak at the current usage (for measuring one stage of a run).
void ResetBufferPeak();

// Module set-up and tear-down. Create returns 0 or -108.
int CreateBufferUsageSection();
void DeleteBufferUsageSection();

}  // namespace lumeray
