// The ProfileBlock table: the memory blocks behind the profiles opened from memory (the copy of
// the host's profile and every derived profile), each a counted buffer (image/buffer.h). The
// blocks live until ReleaseColorManagement, which frees them after every profile is closed.
//
// A block is taken in two steps: NextProfileBlock sizes the next free slot, and
// CountProfileBlock marks it used once the profile made from it is open. A slot that was sized
// but never counted is reused by the next request. Of the kProfileBlockSlots slots at most
// kProfileBlockLimit are ever used: a request made while that many are in use fails.
//
// The block table is module-wide storage that colour management empties at each run's end.
//
// Threading contract: UI thread only (colour management set-up and release); not locked.
#pragma once

#include <cstdint>

#include "image/buffer.h"

namespace lumeray {

constexpr int kProfileBlockSlots = 64;
constexpr int kProfileBlockLimit = 63;

enum class ProfileBlockResult { kReady, kTableFull, kNoMemory };

// Sizes the next free slot to at least `size` bytes and hands it out in *block.
ProfileBlockResult NextProfileBlock(uint64_t size, BufferDescriptor** block);
// Marks the slot handed out last as used.
void CountProfileBlock();
int ProfileBlocksInUse();
// Frees every slot's memory and empties the table.
void ReleaseProfileBlocks();

}  // namespace lumeray
