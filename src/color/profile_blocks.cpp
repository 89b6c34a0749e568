#include "color/profile_blocks.h"

#include <array>
#include <cstddef>

namespace lumeray {
namespace {

struct ProfileBlockTable {
  std::array<BufferDescriptor, kProfileBlockSlots> blocks{};
  int used = 0;
};

ProfileBlockTable profileBlocks;

}  // namespace

ProfileBlockResult NextProfileBlock(uint64_t size, BufferDescriptor** block) {
  if (profileBlocks.used >= kProfileBlockLimit) return ProfileBlockResult::kTableFull;
  BufferDescriptor& next = profileBlocks.blocks[static_cast<size_t>(profileBlocks.used)];
  if (size == 0 || ReallocateBuffer(size, &next) != 0) return ProfileBlockResult::kNoMemory;
  *block = &next;
  return ProfileBlockResult::kReady;
}

void CountProfileBlock() {
  if (profileBlocks.used < kProfileBlockLimit) ++profileBlocks.used;
}

int ProfileBlocksInUse() {
  return profileBlocks.used;
}

void ReleaseProfileBlocks() {
  // Every slot, counted or not: a slot sized for a profile that failed to open holds memory too.
  for (BufferDescriptor& block : profileBlocks.blocks) DeallocateBuffer(&block);
  profileBlocks.used = 0;
}

}  // namespace lumeray
