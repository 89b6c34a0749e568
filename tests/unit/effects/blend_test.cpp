// The three blending modes at the edges of their fixed-point arithmetic.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <tuple>

#include "image/blend.h"
#include "image/image_ops.h"
#include "unit/effects/shape_test_support.h"

namespace lumeray {
namespace {

using testing::ReportCapture;
using testing::TestImage;

constexpr uint32_t kOne = 0xFFFFFFFEu;
constexpr uint32_t kWhite = 0xFFFFFF;

WorkingPixel Screened(WorkingPixel d, const WorkingPixel& s) {
  Blend(&d, s, kBlendScreen);
  return d;
}

TEST(Blend, ScreeningWhiteAtFullOpacityGivesWhite) {
  const WorkingPixel destinations[] = {{0, 0, 0, kOne, kOne},
                                       {0x123456, 0xABCDEF, 0x000001, 0x1234, 0x5678},
                                       {kWhite, kWhite, kWhite, kOne, kOne},
                                       {0x3000000, 0x10, kWhite - 1, kOne, 0}};
  // A white hue brighter than white is fully opaque: exactly white (a channel already above
  // white keeps its brightness), alpha and mask kept.
  for (const WorkingPixel& d : destinations) {
    const WorkingPixel r = Screened(d, {2 * kWhite, 2 * kWhite, 2 * kWhite, kOne, kOne});
    EXPECT_EQ(r.red, std::max(d.red, kWhite));
    EXPECT_EQ(r.green, kWhite);
    EXPECT_EQ(r.blue, kWhite);
    EXPECT_EQ(r.alpha, d.alpha);
    EXPECT_EQ(r.mask, d.mask);
  }
  // White itself at alpha 1.0 has opacity 0xFFFFFE00: within the truncation of the products,
  // and stored as full intensity in every integer format.
  TestImage out16(kImageModeRgb16, {0, 0, 1, 1}, false), out8(kImageModeRgb8, {0, 0, 1, 1}, false);
  for (const WorkingPixel& d : destinations) {
    if (d.red > kWhite) continue;
    const WorkingPixel r = Screened(d, {kWhite, kWhite, kWhite, kOne, kOne});
    for (uint32_t c : {r.red, r.green, r.blue}) {
      EXPECT_GE(c, kWhite - 2);
      EXPECT_LE(c, kWhite);
    }
    out16.Set(0, 0, r);
    out8.Set(0, 0, r);
    EXPECT_EQ(PixelSamples<uint16_t>(*out16, 0, 0)[0], 65535);
    EXPECT_EQ(PixelSamples<uint8_t>(*out8, 0, 0)[1], 255);
  }
}

TEST(Blend, ABlackOrTransparentEffectPixelLeavesTheDestinationExactly) {
  std::mt19937 generator(11);
  const auto random = [&generator] { return static_cast<uint32_t>(generator()); };
  for (int i = 0; i < 2000; ++i) {
    const WorkingPixel d{random() % 0x2000000u, random() % 0x1000000u, random(), random(),
                         random()};
    const WorkingPixel black{0, 0, 0, kOne, kOne};
    const WorkingPixel transparent{random() % 0x2000000u, random(), random(), 0, kOne};
    for (const WorkingPixel& s : {black, transparent}) {
      const WorkingPixel r = Screened(d, s);
      ASSERT_EQ(r.red, d.red);
      ASSERT_EQ(r.green, d.green);
      ASSERT_EQ(r.blue, d.blue);
      ASSERT_EQ(r.alpha, d.alpha);
      ASSERT_EQ(r.mask, d.mask);
    }
  }
}

TEST(Blend, ScreenTakesTheSourceHueAndOnlyBrightens) {
  // Full opacity onto black: each channel becomes white x hue, less the truncation.
  const WorkingPixel r = Screened({0, 0, 0, kOne, kOne}, {0x2000000, 0x1000000, 0, kOne, kOne});
  EXPECT_EQ(r.red, kWhite);
  EXPECT_EQ(r.green, kWhite - FractionProduct(kWhite, kOne - 0x80000000u));
  EXPECT_EQ(r.blue, 1u);  // white - white x 1.0 = 1 unit of truncation
  // Opacity grows with alpha; results never reach the leave-unchanged value.
  uint32_t previous = 0;
  for (uint32_t alpha = 0; alpha < 0xF0000000u; alpha += 0x10000000u) {
    const WorkingPixel g =
        Screened({0x100000, 0, 0, kOne, kOne}, {kWhite, kWhite, kWhite, alpha, kOne});
    EXPECT_GE(g.red, previous);
    previous = g.red;
  }
  const WorkingPixel bright =
      Screened({kOne, kOne, kOne, kOne, kOne}, {kWhite, 0, 0, 0x40000000, kOne});
  EXPECT_LE(bright.red, kOne);
  EXPECT_LE(bright.green, kOne);
}

// Random destinations (deep shadows, mid tones, above white) under random effect pixels: no
// channel ever ends darker, one above white stays as it was; compositing stores only the
// channels that changed.
TEST(Blend, ScreenNeverDarkensAndCompositingWritesOnlyWhatChanged) {
  std::mt19937 generator(5);
  const auto random = [&generator](uint32_t below) {
    return static_cast<uint32_t>(generator() % below);
  };
  const uint32_t ranges[] = {0x100, kWhite, 8 * kWhite};
  int unchanged = 0;
  for (int i = 0; i < 30000; ++i) {
    const WorkingPixel d{random(ranges[i % 3]), random(ranges[(i / 3) % 3]),
                         random(ranges[(i / 9) % 3]), kOne, kOne};
    const uint32_t strength = i % 2 == 0 ? 0x400 : 2 * kWhite;
    const WorkingPixel s{random(strength), random(strength), random(strength), random(0xFFFFFFFFu),
                         kOne};
    const WorkingPixel r = Screened(d, s);
    WorkingPixel stored = d;
    CompositeScreen(&stored, s);
    EXPECT_EQ(stored.alpha, kLeaveUnchanged);
    EXPECT_EQ(stored.mask, kLeaveUnchanged);
    for (auto [before, after, written] : {std::tuple{d.red, r.red, stored.red},
                                          {d.green, r.green, stored.green},
                                          {d.blue, r.blue, stored.blue}}) {
      ASSERT_GE(after, before) << i;
      if (before > kWhite) {
        ASSERT_EQ(after, before) << i;
      }
      ASSERT_EQ(written, after == before ? kLeaveUnchanged : after) << i;
      unchanged += after == before;
    }
  }
  EXPECT_GT(unchanged, 1000) << "faint effects leave many channels as they are";
}

TEST(Blend, EffectsOnlyMovesBrightnessAboveWhiteIntoOpacity) {
  // Twice white at a quarter alpha: half the colour, twice the alpha (f = 512).
  WorkingPixel d{1, 2, 3, 4, 5};
  Blend(&d, {2 * kWhite, kWhite, 0, 0x40000000, 0x12345678}, kBlendEffectsOnly);
  EXPECT_EQ(d.alpha, (0x40000000u >> 8) * 512);
  EXPECT_EQ(d.red, ((2 * kWhite) / 512) << 8);
  EXPECT_EQ(d.green, (kWhite / 512) << 8);
  EXPECT_EQ(d.blue, 0u);
  EXPECT_EQ(d.mask, 0x12345678u);
  // The light carried (colour x alpha) is kept while the alpha can still grow.
  for (uint32_t alpha : {0x01000000u, 0x10000000u, 0x40000000u}) {
    for (uint32_t m : {0x1000000u, 0x3000000u, 0x9000000u}) {
      WorkingPixel r{};
      Blend(&r, {m, m, m, alpha, kOne}, kBlendEffectsOnly);
      const double before = static_cast<double>(m) * alpha,
                   after = static_cast<double>(r.red) * r.alpha;
      EXPECT_NEAR(after / before, 1.0, 0.01) << m << " " << alpha;
      EXPECT_LE(r.alpha, kOne);
    }
  }
  // At full alpha nothing can grow: colour kept (in 256ths), alpha at its ceiling.
  WorkingPixel full{};
  Blend(&full, {0x4000000, 0x4000000, 0x4000000, kOne, kOne}, kBlendEffectsOnly);
  EXPECT_EQ(full.alpha, 0xFFFFFFu * 256);
  EXPECT_EQ(full.red, 0x4000000u);
  // At or below white, or transparent, the source replaces the destination as it is.
  for (const WorkingPixel& s :
       {WorkingPixel{kWhite, 7, 8, 0x1234, 9}, WorkingPixel{0x5000000, 1, 2, 0, 3}}) {
    WorkingPixel r{10, 11, 12, 13, 14};
    Blend(&r, s, kBlendEffectsOnly);
    EXPECT_TRUE(r.red == s.red && r.green == s.green && r.blue == s.blue && r.alpha == s.alpha &&
                r.mask == s.mask);
  }
}

TEST(Blend, PaintPremultipliesAndMakesOpaque) {
  WorkingPixel d{1, 2, 3, 4, 5};
  Blend(&d, {0x800000, 0xFFFFFF, 0x10, 0x80000000, 0x777}, kBlendPaint);
  EXPECT_EQ(d.red, 0x400000u);
  EXPECT_EQ(d.green, FractionProduct(0xFFFFFF, 0x80000000));
  EXPECT_EQ(d.blue, 8u);
  EXPECT_EQ(d.alpha, kOne);
  EXPECT_EQ(d.mask, 0x777u);
}

TEST(Blend, AnUnknownModeIsReportedAndChangesNothing) {
  ReportCapture reports;
  WorkingPixel d{1, 2, 3, 4, 5};
  Blend(&d, {kWhite, kWhite, kWhite, kOne, kOne}, FourCharCode("mult"));
  EXPECT_TRUE(d.red == 1 && d.green == 2 && d.blue == 3 && d.alpha == 4 && d.mask == 5);
  EXPECT_TRUE(
      reports.Has("Debug Message: 'Debug:  Unexpected Error' - 'Blending mode not "
                  "implemented.'"));
  EXPECT_EQ(FindBlendRoutine(FourCharCode("mult")), nullptr);
}

}  // namespace
}  // namespace lumeray
