#include "image/pixel_tables.h"

#include <atomic>
#include <mutex>

#include "image/buffer.h"
#include "image/image_record.h"

namespace lumeray {

namespace pixel_tables_internal {
FixedTables publishedTables{};
}  // namespace pixel_tables_internal

namespace {

struct FixedTableBuffers {
  BufferDescriptor alpha8To32;
  BufferDescriptor alpha16To32;
  BufferDescriptor alpha16To8;
  BufferDescriptor alpha16To16;
};

// Publication: the buffers are built outside the lock (the allocator takes the buffer usage
// section and may report, and no lock is held while another is taken); the first finished set
// is published under the lock and announced through `tablesReady` (release/acquire).
std::mutex publicationLock;
FixedTableBuffers publishedBuffers;
std::atomic<bool> tablesReady{false};

void FreeBuffers(FixedTableBuffers* buffers) {
  DeallocateBuffer(&buffers->alpha8To32);
  DeallocateBuffer(&buffers->alpha16To32);
  DeallocateBuffer(&buffers->alpha16To8);
  DeallocateBuffer(&buffers->alpha16To16);
}

int AllocateBuffers(FixedTableBuffers* buffers) {
  int result = ReallocateBuffer(kEightBitEntries * sizeof(uint32_t), &buffers->alpha8To32);
  if (result == 0) {
    result = ReallocateBuffer(kSixteenBitEntries * sizeof(uint32_t), &buffers->alpha16To32);
  }
  if (result == 0) {
    result = ReallocateBuffer(kSixteenBitEntries * sizeof(uint8_t), &buffers->alpha16To8);
  }
  if (result == 0) {
    result = ReallocateBuffer(kSixteenBitEntries * sizeof(uint16_t), &buffers->alpha16To16);
  }
  if (result != 0) FreeBuffers(buffers);
  return result;
}

void FillTables(const FixedTableBuffers& buffers) {
  auto* alpha8To32 = static_cast<uint32_t*>(buffers.alpha8To32.data);
  auto* alpha16To32 = static_cast<uint32_t*>(buffers.alpha16To32.data);
  auto* alpha16To8 = static_cast<uint8_t*>(buffers.alpha16To8.data);
  auto* alpha16To16 = static_cast<uint16_t*>(buffers.alpha16To16.data);
  for (int i = 0; i < kEightBitEntries; ++i) {
    alpha8To32[i] = RoundToNearestEven(i / double{kMaximum8} * kFullCoverage);
  }
  for (int i = 0; i < kSixteenBitEntries; ++i) {
    const double fraction = i / double{kMaximum16};
    alpha16To32[i] = RoundToNearestEven(fraction * kFullCoverage);
    alpha16To8[i] = static_cast<uint8_t>(RoundToNearestEven(fraction * kMaximum8));
    alpha16To16[i] = static_cast<uint16_t>(RoundToNearestEven(fraction * kMaximum16));
  }
}

FixedTables TablesOf(const FixedTableBuffers& buffers) {
  return {static_cast<const uint32_t*>(buffers.alpha8To32.data),
          static_cast<const uint32_t*>(buffers.alpha16To32.data),
          static_cast<const uint8_t*>(buffers.alpha16To8.data),
          static_cast<const uint16_t*>(buffers.alpha16To16.data)};
}

}  // namespace

int InitializeFixedTables() {
  if (tablesReady.load(std::memory_order_acquire)) return 0;

  FixedTableBuffers fresh;
  const int result = AllocateBuffers(&fresh);
  if (result != 0) return result;
  FillTables(fresh);

  bool published = false;
  {
    std::lock_guard lock(publicationLock);
    if (!tablesReady.load(std::memory_order_relaxed)) {
      publishedBuffers = fresh;
      pixel_tables_internal::publishedTables = TablesOf(fresh);
      tablesReady.store(true, std::memory_order_release);
      published = true;
    }
  }
  // Another thread finished first: its tables stay, these go.
  if (!published) FreeBuffers(&fresh);
  return 0;
}

void ReleaseFixedTables() {
  FixedTableBuffers released;
  {
    std::lock_guard lock(publicationLock);
    if (!tablesReady.load(std::memory_order_relaxed)) return;
    released = publishedBuffers;
    publishedBuffers = {};
    pixel_tables_internal::publishedTables = {};
    tablesReady.store(false, std::memory_order_release);
  }
  FreeBuffers(&released);
}

}  // namespace lumeray
