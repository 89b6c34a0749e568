#include "host/memory_negotiation.h"

#include <algorithm>

namespace lumeray {

int32_t ComputeBufferSpace(int bytesPerChannel, int32_t width, int32_t height) {
  // 32-bit signed arithmetic that wraps like the host's: done on unsigned values, which wrap
  // without undefined behaviour, and read back as signed.
  const uint32_t product = static_cast<uint32_t>(bytesPerChannel) * static_cast<uint32_t>(width) *
                           static_cast<uint32_t>(height);
  const uint32_t space = static_cast<uint32_t>(kBufferSpaceFactor) *
                         (product + static_cast<uint32_t>(kBufferSpaceReserve));
  const int64_t signedSpace = static_cast<int32_t>(space);
  if (static_cast<uint64_t>(signedSpace) > static_cast<uint64_t>(kBufferSpaceCap)) {
    return kBufferSpaceCap;
  }
  return static_cast<int32_t>(signedSpace);
}

int32_t LimitMaxSpace(int32_t maxSpace, int planes, bool hasMask, int32_t width, int32_t height) {
  const int64_t planeCount = planes + (hasMask ? 1 : 0);
  const int64_t limit = 2 * planeCount * std::min(width, kTileSpanLimit) *
                        static_cast<int64_t>(std::min(height, kTileSpanLimit));
  if (maxSpace > limit) return static_cast<int32_t>(limit);
  return maxSpace;
}

}  // namespace lumeray
