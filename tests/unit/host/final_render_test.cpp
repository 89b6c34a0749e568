#include "host/final_render.h"

#include <gtest/gtest.h>

namespace lumeray {
namespace {

TEST(Bands, EqualHeightsWithTheRemainderInTheLastBand) {
  const auto bands = SplitIntoBands({0, 10, 100, 110}, 3);
  ASSERT_EQ(bands.size(), 3u);
  EXPECT_EQ(bands[0].top, 10);
  EXPECT_EQ(bands[0].bottom, 43);
  EXPECT_EQ(bands[1].top, 43);
  EXPECT_EQ(bands[1].bottom, 76);
  EXPECT_EQ(bands[2].top, 76);
  EXPECT_EQ(bands[2].bottom, 110);
  for (const PixelRect& b : bands) {
    EXPECT_EQ(b.left, 0);
    EXPECT_EQ(b.right, 100);
  }
}

TEST(Bands, OneRowOverEightThreadsGivesSevenEmptyBands) {
  const auto bands = SplitIntoBands({5, 7, 50, 8}, 8);
  ASSERT_EQ(bands.size(), 8u);
  for (int i = 0; i < 7; ++i) EXPECT_EQ(bands[i].bottom - bands[i].top, 0) << i;
  EXPECT_EQ(bands[7].top, 7);
  EXPECT_EQ(bands[7].bottom, 8);
}

}  // namespace
}  // namespace lumeray
