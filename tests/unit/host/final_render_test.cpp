#include "host/final_render.h"

#include <gtest/gtest.h>

#include <vector>

namespace lumeray {
namespace {

// Equal heights with the remainder in the last band, also when most bands get no row at all.
TEST(Bands, EqualHeightsWithTheRemainderInTheLastBand) {
  struct Case {
    PixelRect rect;
    int count;
    std::vector<int32_t> edges;  // each band's top, then the last band's bottom
  };
  for (const Case& c : {Case{{0, 10, 100, 110}, 3, {10, 43, 76, 110}},
                        Case{{5, 7, 50, 8}, 8, {7, 7, 7, 7, 7, 7, 7, 7, 8}}}) {
    const auto bands = SplitIntoBands(c.rect, c.count);
    ASSERT_EQ(bands.size(), size_t(c.count));
    for (int i = 0; i < c.count; ++i) {
      EXPECT_EQ(bands[i].top, c.edges[i]) << i;
      EXPECT_EQ(bands[i].bottom, c.edges[i + 1]) << i;
      EXPECT_EQ(bands[i].left, c.rect.left);
      EXPECT_EQ(bands[i].right, c.rect.right);
    }
  }
}

}  // namespace
}  // namespace lumeray
