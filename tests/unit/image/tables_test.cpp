#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

#include "image/float_power.h"
#include "image/gamma_tables.h"
#include "image/image_create.h"
#include "image/pixel_tables.h"
#include "image_test_support.h"

namespace lumeray::testing {
namespace {

TEST(RoundToNearestEvenTest, RoundsHalfwayCasesToEvenAndKeepsTheFullRange) {
  EXPECT_EQ(RoundToNearestEven(0.5), 0u);
  EXPECT_EQ(RoundToNearestEven(1.5), 2u);
  EXPECT_EQ(RoundToNearestEven(2.5), 2u);
  EXPECT_EQ(RoundToNearestEven(2.5000001), 3u);
  EXPECT_EQ(RoundToNearestEven(4294967293.5), 4294967294u);
  EXPECT_EQ(RoundToNearestEven(4294967294.0), 0xFFFFFFFEu);
}

TEST_F(ImageTest, FixedTablesFollowTheirFormulasWithExactEnds) {
  const FixedTables& tables = GetFixedTables();
  for (uint32_t i = 0; i < 256; ++i) EXPECT_EQ(tables.alpha8To32[i], RefAlphaIn(i, 255.0)) << i;
  for (uint32_t i = 0; i < 65536; ++i) {
    ASSERT_EQ(tables.alpha16To32[i], RefAlphaIn(i, 65535.0)) << i;
    ASSERT_EQ(tables.alpha16To8[i], Round(i / 65535.0 * 255.0)) << i;
    ASSERT_EQ(tables.alpha16To16[i], i);
  }
  EXPECT_EQ(tables.alpha8To32[255], 0xFFFFFFFEu);
  EXPECT_EQ(tables.alpha16To32[65535], 0xFFFFFFFEu);
}

TEST_F(ImageTest, GammaTablesFollowTheirFormulas) {
  for (double gamma : {kWorkingGamma, 1.0, kLinearizingGamma, 1.8}) {
    const GammaTableSet set = GetGammaTables(gamma);
    ASSERT_TRUE(set);
    for (uint32_t i = 0; i < 256; ++i) {
      ASSERT_EQ(set.decode8[i], RefDecode(i, 255.0, gamma)) << gamma << " " << i;
    }
    for (uint32_t i = 0; i < 65536; ++i) {
      ASSERT_EQ(set.decode16[i], RefDecode(i, 65535.0, gamma)) << gamma << " " << i;
      ASSERT_EQ(set.encode8[i], Round(Power(i / 65535.0, 1.0 / gamma) * 255.0)) << gamma;
      ASSERT_EQ(set.encode16[i], Round(Power(i / 65535.0, 1.0 / gamma) * 65535.0)) << gamma;
    }
    EXPECT_EQ(set.decode8[255], 0xFFFFFFu);
    EXPECT_EQ(set.decode16[65535], 0xFFFFFFu);
  }
  // Gamma 1.0 maps 8 and 16 bits onto the 24-bit scale exactly.
  const GammaTableSet linear = GetGammaTables(1.0);
  EXPECT_EQ(linear.decode8[128], 128u * 65793u);
  EXPECT_EQ(linear.encode16[1234], 1234u);
}

TEST_F(ImageTest, CacheSharesSetsByRoundedGamma) {
  const double estimate = 2.19;
  ImageRecord* a = MakeImage(kImageModeRgb8, {0, 0, 2, 2}, estimate);
  ImageRecord* b = MakeImage(kImageModeRgb16, {0, 0, 2, 2}, kWorkingGamma);
  EXPECT_EQ(a->gamma, 2.2);
  EXPECT_EQ(a->gammaTables.decode8, b->gammaTables.decode8);
  EXPECT_EQ(a->gammaTables.encode16, b->gammaTables.encode16);
  EXPECT_EQ(GammaTableCacheSize(), 1);
  EXPECT_EQ(RoundImageGamma(1.77), 1.75);
  // An unusable estimate falls back to the working gamma instead of poisoning the cache.
  EXPECT_EQ(RoundImageGamma(std::nan("")), kWorkingGamma);
  EXPECT_EQ(RoundImageGamma(0.01), kWorkingGamma);
  EXPECT_FALSE(GetGammaTables(0.0));
  EXPECT_FALSE(GetGammaTables(-1.0));
}

TEST_F(ImageTest, ThirtyThirdGammaGetsTheNearestCachedSet) {
  std::vector<GammaTableSet> sets;
  for (int i = 0; i < kGammaTableCacheCapacity; ++i) sets.push_back(GetGammaTables(1.0 + i * 0.1));
  ASSERT_EQ(GammaTableCacheSize(), kGammaTableCacheCapacity);
  const uint64_t used = GetBufferUsage().current;

  const GammaTableSet nearest = GetGammaTables(2.27);  // 2.3 is nearest (entry 13)
  EXPECT_EQ(nearest.decode16, sets[13].decode16);
  EXPECT_EQ(GetGammaTables(0.2).decode8, sets[0].decode8);
  EXPECT_EQ(GetGammaTables(1.0 + 5 * 0.1).encode8, sets[5].encode8);
  EXPECT_EQ(GammaTableCacheSize(), kGammaTableCacheCapacity);
  EXPECT_EQ(GetBufferUsage().current, used);

  ReleaseGammaTables();
  EXPECT_EQ(GammaTableCacheSize(), 0);
  EXPECT_EQ(GetBufferUsage().current,
            used - kGammaTableCacheCapacity *
                       (1024 + 262144 + 65536 + 131072 + kShadowEncodeEntries * sizeof(uint16_t) +
                        2 * sizeof(FloatPowerTable)));
}

// Band images are created on worker threads: every thread must get the one shared set of its
// gamma, fully filled, and the cache must hold each gamma once.
TEST_F(ImageTest, ConcurrentCreationSharesOneSetPerGamma) {
  static const double kGammas[] = {1.0, 1.8, 2.2, 2.4, 2.6};
  constexpr int kThreads = 8;
  constexpr int kRounds = 20;
  std::vector<std::thread> threads;
  std::atomic<int> mismatches{0};
  std::vector<const uint32_t*> seen(kThreads * kRounds);
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int r = 0; r < kRounds; ++r) {
        const double& gamma = kGammas[(t + r) % 5];
        ImageRecord image;
        int result = -1;
        if (!CreateImage(&image, {0, 0, 4, 4}, {0, 0, 4, 4}, kImageModeRgb8, TestProfile(gamma),
                         false, true, &result)) {
          ++mismatches;
        }
        if (image.gammaTables.decode8[255] != 0xFFFFFFu ||
            image.gammaTables.decode8[100] != RefDecode(100, 255.0, gamma)) {
          ++mismatches;
        }
        seen[t * kRounds + r] = image.gammaTables.decode8;
        ReleaseImage(&image);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(mismatches.load(), 0);
  EXPECT_EQ(GammaTableCacheSize(), 5);
  for (int t = 0; t < kThreads; ++t) {
    for (int r = 0; r < kRounds; ++r) {
      EXPECT_EQ(seen[t * kRounds + r], GetGammaTables(kGammas[(t + r) % 5]).decode8);
    }
  }
}

}  // namespace
}  // namespace lumeray::testing
