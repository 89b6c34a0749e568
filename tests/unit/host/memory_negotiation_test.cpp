#include "host/memory_negotiation.h"

#include <gtest/gtest.h>

namespace lumeray {
namespace {

// 16 x (bytes per channel x width x height + 1 250 000), worked out by hand, in 32-bit arithmetic,
// capped at 1 000 000 000.
TEST(BufferSpace, ReserveAddedThirtyTwoBitWrapAndCap) {
  struct Case {
    int bytes, width, height, expected;
  };
  for (const Case& c : {Case{1, 100, 100, 16 * (10000 + 1250000)}, Case{2, 1, 1, 16 * 1250002},
                        Case{1, 7000, 7000, 804000000}, Case{1, 8000, 8000, 1000000000},
                        Case{4, 40000, 40000, 1000000000}, Case{4, 30000, 30000, 1000000000},
                        // 4 x 32767 x 32767 wraps to -262 140: 16 x (-262 140 + 1 250 000).
                        Case{4, 32767, 32767, 15805760}}) {
    EXPECT_EQ(ComputeBufferSpace(c.bytes, c.width, c.height), c.expected)
        << c.bytes << " x " << c.width << " x " << c.height;
  }
}

TEST(MaxSpace, IsOnlyLoweredNeverRaised) {
  EXPECT_EQ(LimitMaxSpace(100000000, 3, true, 2000, 500), 2 * 4 * 1024 * 500);
  EXPECT_EQ(LimitMaxSpace(1000, 3, true, 2000, 500), 1000);
  EXPECT_EQ(LimitMaxSpace(100000000, 1, false, 10, 10), 200);
}

}  // namespace
}  // namespace lumeray
