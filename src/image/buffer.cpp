#include "image/buffer.h"

#include <cinttypes>
#include <cstdlib>
#include <mutex>

#include "diagnostics/debug_log.h"
#include "diagnostics/message_report.h"
#include "interface/filter_interface.h"
#include "platform/sync.h"

namespace lumeray {
namespace {

// The module-wide usage counters and the section that guards them.
struct BufferUsageCounters {
  platform::CriticalSection section;  // BufferUsageSection
  uint64_t current = 0;
  uint64_t peak = 0;
  bool sectionCreated = false;
};

BufferUsageCounters& Counters() {
  static BufferUsageCounters counters;
  return counters;
}

BufferUsage ReadCounters() {
  BufferUsageCounters& c = Counters();
  std::lock_guard lock(c.section);
  return {c.current, c.peak};
}

// Adds a (possibly negative) change to the current usage and raises the peak with it.
void ChangeUsage(uint64_t newSize, uint64_t oldSize) {
  BufferUsageCounters& c = Counters();
  std::lock_guard lock(c.section);
  c.current = c.current + newSize - oldSize;  // modular: a shrink lowers the count
  if (c.current > c.peak) c.peak = c.current;
}

}  // namespace

int ReallocateBuffer(uint64_t size, BufferDescriptor* descriptor) {
  if (size <= descriptor->size) return 0;

  const uint64_t oldSize = descriptor->size;
  std::free(descriptor->data);
  descriptor->data = nullptr;
  descriptor->size = 0;

  void* block = size <= SIZE_MAX ? std::malloc(static_cast<size_t>(size)) : nullptr;
  if (block == nullptr) {
    // The old block is gone: it no longer counts.
    ChangeUsage(0, oldSize);
    const BufferUsage usage = ReadCounters();
    MessageReport report(__LINE__, kMessageDebug);
    report.Report(kIconError, kTitleDebugUnexpectedError,
                  "ReallocateBuffer() Allocation Failed: Requested = %" PRIu64
                  ", Previous Size = %" PRIu64 ", Current Usage = %" PRIu64
                  ", Peak Usage = %" PRIu64,
                  size, oldSize, usage.current, usage.peak);
    return kMemFullErr;
  }
  ChangeUsage(size, oldSize);
  descriptor->data = block;
  descriptor->size = size;
  return 0;
}

int ReallocateBufferPreserveContents(uint64_t size, BufferDescriptor* descriptor) {
  if (size == 0) {
    // Resizing to nothing releases the block: an empty descriptor holds no memory.
    DeallocateBuffer(descriptor);
    return 0;
  }
  void* block = nullptr;
  if (size <= SIZE_MAX) block = std::realloc(descriptor->data, static_cast<size_t>(size));
  if (block == nullptr) {
    const BufferUsage usage = ReadCounters();
    MessageReport report(__LINE__, kMessageDebug);
    report.Report(kIconError, kTitleDebugUnexpectedError,
                  "ReallocateBufferPreserveContents() Allocation Failed: Requested = %" PRIu64
                  ", Previous Size = %" PRIu64 ", Current Usage = %" PRIu64
                  ", Peak Usage = %" PRIu64,
                  size, descriptor->size, usage.current, usage.peak);
    return kMemFullErr;
  }
  ChangeUsage(size, descriptor->size);
  descriptor->data = block;
  descriptor->size = size;
  return 0;
}

void DeallocateBuffer(BufferDescriptor* descriptor) {
  if (descriptor == nullptr) {
    MessageReport report(__LINE__, kMessageDebug);
    report.Report(kIconError, "Debug:  Unexepected error.",
                  "NULL buffer descriptor pointer received in DeallocateBuffer()");
    return;
  }
  if (descriptor->size == 0) return;
  std::free(descriptor->data);
  ChangeUsage(0, descriptor->size);
  descriptor->data = nullptr;
  descriptor->size = 0;
}

void ReportBufferUsage() {
  const BufferUsage usage = ReadCounters();
  MessageReport report(__LINE__, kMessageTrace);
  report.Report("ReportBufferUsage(): Current Usage = %" PRIu64 ", Peak Usage = %" PRIu64 "\n",
                usage.current, usage.peak);
}

BufferUsage GetBufferUsage() {
  return ReadCounters();
}

void ResetBufferPeak() {
  BufferUsageCounters& c = Counters();
  std::lock_guard lock(c.section);
  c.peak = c.current;
}

int CreateBufferUsageSection() {
  // The section is a plain lock object that cannot fail to exist; only the mark is kept.
  Counters().sectionCreated = true;
  return 0;
}

void DeleteBufferUsageSection() {
  Counters().sectionCreated = false;
}

}  // namespace lumeray
