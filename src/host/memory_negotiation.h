// Prepare's memory negotiation with the host: how much buffer memory the module asks for
// (bufferSpace) and how far it lowers the host's tile memory (maxSpace).
//
//   bufferSpace = 16 x (bytes per channel x width x height + 1 250 000), computed in 32-bit
//                 signed arithmetic (wrapping), then capped: a value that, sign-extended and
//                 read as an unsigned 64-bit number, exceeds 1 000 000 000 becomes 1 000 000 000
//                 (so a negative, overflowed product also gives the cap).
//   limit       = 2 x (planes, +1 with a mask) x min(width, 1024) x min(height, 1024);
//                 maxSpace is only ever lowered to it, never raised.
#pragma once

#include <cstdint>

namespace lumeray {

inline constexpr int32_t kBufferSpaceCap = 1000000000;
inline constexpr int32_t kBufferSpaceReserve = 1250000;
inline constexpr int32_t kBufferSpaceFactor = 16;
inline constexpr int32_t kTileSpanLimit = 1024;

int32_t ComputeBufferSpace(int bytesPerChannel, int32_t width, int32_t height);
int32_t LimitMaxSpace(int32_t maxSpace, int planes, bool hasMask, int32_t width, int32_t height);

}  // namespace lumeray
