#include "image/buffer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>

namespace lumeray {
namespace {

class BufferTest : public ::testing::Test {
 protected:
  void SetUp() override { base_ = GetBufferUsage().current; }
  uint64_t Used() const { return GetBufferUsage().current - base_; }
  uint64_t base_ = 0;
};

TEST_F(BufferTest, GrowsButNeverShrinksAndKeepsContentsOnSmallerRequests) {
  BufferDescriptor d;
  ASSERT_EQ(ReallocateBuffer(1000, &d), 0);
  EXPECT_EQ(Used(), 1000u);
  std::memset(d.data, 0x5A, 1000);
  void* before = d.data;

  ASSERT_EQ(ReallocateBuffer(800, &d), 0);
  EXPECT_EQ(d.data, before);
  EXPECT_EQ(d.size, 1000u);
  EXPECT_EQ(static_cast<unsigned char*>(d.data)[999], 0x5A);
  EXPECT_EQ(Used(), 1000u);

  ASSERT_EQ(ReallocateBuffer(4000, &d), 0);
  EXPECT_EQ(d.size, 4000u);
  EXPECT_EQ(Used(), 4000u);
  EXPECT_GE(GetBufferUsage().peak, base_ + 4000);

  DeallocateBuffer(&d);
  EXPECT_EQ(Used(), 0u);
  ResetBufferPeak();
  EXPECT_EQ(GetBufferUsage().peak, GetBufferUsage().current) << "a new peak starts from now";
}

TEST_F(BufferTest, PreservingResizeShrinksExactlyAndKeepsPeak) {
  BufferDescriptor d;
  ASSERT_EQ(ReallocateBufferPreserveContents(4000, &d), 0);
  static_cast<unsigned char*>(d.data)[0] = 7;
  const uint64_t peak = GetBufferUsage().peak;
  ASSERT_EQ(ReallocateBufferPreserveContents(1000, &d), 0);
  EXPECT_EQ(d.size, 1000u);
  EXPECT_EQ(Used(), 1000u);
  EXPECT_EQ(GetBufferUsage().peak, peak);
  EXPECT_EQ(static_cast<unsigned char*>(d.data)[0], 7);

  ASSERT_EQ(ReallocateBufferPreserveContents(0, &d), 0);
  EXPECT_EQ(d.data, nullptr);
  EXPECT_EQ(Used(), 0u);
}

TEST_F(BufferTest, DoubleDeallocationFreesOnceAndNullDescriptorIsHarmless) {
  BufferDescriptor d;
  ASSERT_EQ(ReallocateBuffer(64, &d), 0);
  DeallocateBuffer(&d);
  DeallocateBuffer(&d);
  DeallocateBuffer(nullptr);
  EXPECT_EQ(Used(), 0u);
}

TEST_F(BufferTest, ImpossibleRequestsFailWithOutOfMemoryAndCountNothing) {
  BufferDescriptor d;
  ASSERT_EQ(ReallocateBuffer(100, &d), 0);
  const uint64_t absurd = std::numeric_limits<uint64_t>::max() / 2;
  // Growing frees the old block first: a failure leaves the descriptor empty.
  EXPECT_EQ(ReallocateBuffer(absurd, &d), -108);
  EXPECT_EQ(d.data, nullptr);
  EXPECT_EQ(d.size, 0u);
  EXPECT_EQ(Used(), 0u);

  // The preserving resize keeps the old block on failure.
  ASSERT_EQ(ReallocateBufferPreserveContents(100, &d), 0);
  EXPECT_EQ(ReallocateBufferPreserveContents(absurd, &d), -108);
  EXPECT_NE(d.data, nullptr);
  EXPECT_EQ(d.size, 100u);
  DeallocateBuffer(&d);
  EXPECT_EQ(Used(), 0u);
}

}  // namespace
}  // namespace lumeray
