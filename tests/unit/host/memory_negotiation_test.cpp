#include "host/memory_negotiation.h"

#include <gtest/gtest.h>

namespace lumeray {
namespace {

TEST(BufferSpace, SmallImageAddsTheReserve) {
  EXPECT_EQ(ComputeBufferSpace(1, 100, 100), 16 * (10000 + 1250000));
  EXPECT_EQ(ComputeBufferSpace(2, 1, 1), 16 * (2 + 1250000));
}

TEST(BufferSpace, LargeAndOverflowingProductsGiveTheCap) {
  EXPECT_EQ(ComputeBufferSpace(4, 40000, 40000), 1000000000);
  // Just above the cap without overflowing.
  EXPECT_EQ(ComputeBufferSpace(1, 8000, 8000), 1000000000);
  // A product that overflows 32 bits to a negative value.
  EXPECT_EQ(ComputeBufferSpace(4, 30000, 30000), 1000000000);
}

TEST(BufferSpace, WrapsLikeThirtyTwoBitArithmetic) {
  // 4 x 32767 x 32767 wraps to -262 140; 16 x (-262 140 + 1 250 000) = 15 805 760.
  EXPECT_EQ(ComputeBufferSpace(4, 32767, 32767), 15805760);
}

TEST(BufferSpace, AValueBelowTheCapIsKept) {
  // 16 x (1 x 7000 x 7000 + 1 250 000) = 804 000 000.
  EXPECT_EQ(ComputeBufferSpace(1, 7000, 7000), 804000000);
}

TEST(MaxSpace, IsOnlyLoweredNeverRaised) {
  EXPECT_EQ(LimitMaxSpace(100000000, 3, true, 2000, 500), 2 * 4 * 1024 * 500);
  EXPECT_EQ(LimitMaxSpace(1000, 3, true, 2000, 500), 1000);
  EXPECT_EQ(LimitMaxSpace(100000000, 1, false, 10, 10), 200);
}

}  // namespace
}  // namespace lumeray
