// AnalyzeShapeFrom and SampleShapeFrom against a slow reference that reads through the image's
// own fetch, and DrawShapeInto against blending entry by entry; the common checks of the three
// operations; concurrent stamping of one shape; sub-shapes held and freed by sharing bands.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <random>
#include <thread>
#include <vector>

#include "analysis/analysis_image.h"
#include "analysis/presence_threshold.h"
#include "analysis/shape_operations.h"
#include "image/blend.h"
#include "unit/effects/shape_test_support.h"

namespace lumeray {
namespace {

// The 8-bit presence threshold the stamps are drawn against.
const uint32_t kThreshold = PresenceThresholdForDepth(1);

using testing::Grey;
using testing::MeasuringPair;
using testing::ReportCapture;
using testing::TestImage;

constexpr uint32_t kOne = 0xFFFFFFFEu;

uint32_t RefBrightness(const WorkingPixel& p) {
  return ((p.red >> 2) + (p.green >> 2) + (p.blue >> 2)) / 3 * 4;
}

uint32_t RefMean(uint64_t weighted, uint64_t weights) {
  if (weights == 0) return 0;
  const long double quotient =
      std::floor(static_cast<long double>(weighted) * 16777216.0L / weights);
  const long double mean = quotient * 256.0L;
  return mean > kOne ? kOne : static_cast<uint32_t>(mean);
}

struct RefMeasure {
  uint32_t mean;
  float deviation;
};

// Entry by entry through fetch, testing each pixel against the data rectangle.
RefMeasure ReferenceAnalyze(const ImageRecord& image, const SubShape& sub, int32_t cx, int32_t cy) {
  uint64_t weights = 0, weighted = 0;
  std::vector<std::pair<uint32_t, uint32_t>> samples;
  for (uint32_t i = 0; i < sub.entryCount; ++i) {
    const SubShapeEntry& e = sub.data()[i];
    if (!DataContains(image, cx + e.dx, cy + e.dy)) continue;
    WorkingPixel p;
    image.fetch(&image, &p, cx + e.dx, cy + e.dy);
    const uint32_t b = RefBrightness(p);
    weights += e.value;
    weighted += (uint64_t{e.value} * b) >> 32;
    samples.push_back({e.value, b});
  }
  const uint32_t mean = RefMean(weighted, weights);
  if (weights == 0) return {0, 0.0f};
  double sum = 0.0;
  for (auto [w, b] : samples) {
    const double d = static_cast<int32_t>(b - mean);
    sum += w * d * d;
  }
  return {mean, static_cast<float>(std::sqrt(sum / static_cast<double>(weights)))};
}

class ShapeOperations : public ::testing::Test {
 protected:
  ShapeOperations() : image_(kImageModeRgb16, {0, 0, 64, 48}, true) {
    std::mt19937 generator(7);
    const auto random = [&generator] { return static_cast<uint32_t>(generator()); };
    for (int32_t y = 0; y < 48; ++y) {
      for (int32_t x = 0; x < 64; ++x) {
        image_.Set(
            x, y,
            {random() % 0x1000000u, random() % 0x1000000u, random() % 0x1000000u, kOne, kOne});
      }
    }
  }
  TestImage image_;
};

TEST_F(ShapeOperations, AnalyzeMatchesTheReferenceInsideAtTheEdgesAndOutside) {
  const AnalysisPixels pixels(*image_);
  for (float radius : {0.0f, 0.75f, 3.0f, 9.25f, 30.5f}) {
    MeasuringPair shapes(radius);
    for (EffectShape* shape : {&shapes.disk, &shapes.ring}) {
      for (const QuarterPixelPoint c : {QuarterPixelPoint{30, 0, 20, 0},
                                        {31, 1, 22, 3},
                                        {0, 2, 47, 1},
                                        {63, 3, 0, 0},
                                        {-40, 1, 10, 2}}) {
        uint32_t mean = 1;
        float deviation = 1.0f;
        const bool measured = AnalyzeShapeFrom(pixels, shape, c, &mean, &deviation);
        const SubShape& sub = shape->subShapes[SubShapeIndex(c.xFraction, c.yFraction)];
        if (sub.entryCount == 0) {
          EXPECT_FALSE(measured);  // a disk of radius 0 between four pixels has no entries
          continue;
        }
        ASSERT_TRUE(measured);
        const RefMeasure ref = ReferenceAnalyze(*image_, sub, c.x, c.y);
        EXPECT_EQ(mean, ref.mean) << radius << " at " << c.x << "," << c.y;
        EXPECT_FLOAT_EQ(deviation, ref.deviation) << radius << " at " << c.x << "," << c.y;
      }
    }
  }
}

TEST_F(ShapeOperations, TheLargestDiskOnWhiteNeitherOverflowsNorLeavesTheWhiteLevel) {
  TestImage white(kImageModeRgb16, {0, 0, 300, 300}, true);
  white.Fill(Grey(0xFFFFFF));
  const AnalysisPixels pixels(*white);
  MeasuringPair shapes(127.75f);
  uint32_t mean = 0;
  float deviation = -1.0f;
  ASSERT_TRUE(AnalyzeShapeFrom(pixels, &shapes.disk, {150, 1, 150, 2}, &mean, &deviation));
  const uint32_t b = RefBrightness(white.Get(0, 0));
  EXPECT_EQ(mean,
            ReferenceAnalyze(*white, shapes.disk.subShapes[SubShapeIndex(1, 2)], 150, 150).mean);
  EXPECT_LE(mean, b);
  EXPECT_GE(mean, b - 512);  // the 24-bit quotient keeps all but the lowest bits
  EXPECT_LT(deviation, 512.0f);
}

TEST_F(ShapeOperations, SampleGivesTheWeightedColourWithFullAlphaAndMask) {
  TestImage tinted(kImageModeRgb16, {0, 0, 40, 40}, true);
  tinted.Fill({0x800000, 0x400000, 0x100000, kOne, kOne});
  const AnalysisPixels pixels(*tinted);
  MeasuringPair shapes(6.0f);
  WorkingPixel colour{};
  ASSERT_TRUE(SampleShapeFrom(pixels, &shapes.ring, {20, 2, 20, 1}, &colour));
  const WorkingPixel stored = tinted.Get(20, 20);
  EXPECT_NEAR(colour.red, stored.red, 512);
  EXPECT_NEAR(colour.green, stored.green, 512);
  EXPECT_NEAR(colour.blue, stored.blue, 512);
  EXPECT_EQ(colour.alpha, kOne);
  EXPECT_EQ(colour.mask, kOne);

  // Without weight (the shape lies wholly outside): black, alpha and mask full.
  ASSERT_TRUE(SampleShapeFrom(pixels, &shapes.ring, {500, 0, 20, 0}, &colour));
  EXPECT_EQ(colour.red, 0u);
  EXPECT_EQ(colour.green, 0u);
  EXPECT_EQ(colour.blue, 0u);
  EXPECT_EQ(colour.alpha, kOne);
  EXPECT_EQ(colour.mask, kOne);
}

TEST_F(ShapeOperations, UnusableShapesAreReportedAndFail) {
  ReportCapture reports;
  const AnalysisPixels pixels(*image_);
  MeasuringPair shapes(4.0f);
  uint32_t mean;
  float deviation;
  WorkingPixel colour;
  TestImage target(kImageModeWorkingRgb, {0, 0, 16, 16}, false);

  shapes.disk.shapeType = 3;
  EXPECT_FALSE(AnalyzeShapeFrom(pixels, &shapes.disk, {5, 0, 5, 0}, &mean, &deviation));
  EXPECT_FALSE(SampleShapeFrom(pixels, &shapes.disk, {5, 0, 5, 0}, &colour));
  EXPECT_FALSE(DrawShapeInto(target.get(), {0, 0, 16, 16}, &shapes.disk, Grey(0xFFFFFF),
                             {5, 0, 5, 0}, kBlendScreen, kThreshold));
  EXPECT_EQ(reports.Count("detected shape type other than SHAPE_IMAGE:  3"), 3u);

  shapes.ring.builder = nullptr;
  EXPECT_FALSE(AnalyzeShapeFrom(pixels, &shapes.ring, {5, 0, 5, 0}, &mean, &deviation));

  shapes.ring.subShapes[0].built = 1;  // built, but holding no entry array
  EXPECT_FALSE(AnalyzeShapeFrom(pixels, &shapes.ring, {5, 0, 5, 0}, &mean, &deviation));
  EXPECT_TRUE(reports.Has("'Debug:  Unexpected Error' - 'NULL SubShapeEntry pointer detected.'"));
}

// Stamps by hand: every entry inside the clip and the image, blended unless invisible.
void ReferenceStamp(TestImage* target, const ImageRect& clip, const SubShape& sub,
                    const WorkingPixel& c, int32_t cx, int32_t cy, BlendRoutine blend) {
  for (uint32_t i = 0; i < sub.entryCount; ++i) {
    const SubShapeEntry& e = sub.data()[i];
    const int32_t x = cx + e.dx, y = cy + e.dy;
    if (!DataContains(**target, x, y) || x < clip.left || x >= clip.right || y < clip.top ||
        y >= clip.bottom) {
      continue;
    }
    const WorkingPixel s{FractionProduct(e.red, c.red), FractionProduct(e.green, c.green),
                         FractionProduct(e.blue, c.blue), FractionProduct(e.value, c.alpha), kOne};
    if (FractionProduct(std::max({s.red, s.green, s.blue}), s.alpha) < kThreshold / 2) {
      continue;
    }
    WorkingPixel p = target->Get(x, y);
    blend(&p, s);
    target->Set(x, y, p);
  }
}

void ExpectSamePixels(const TestImage& a, const TestImage& b) {
  const ImageRect& r = (*a).dataRect;
  for (int32_t y = r.top; y < r.bottom; ++y) {
    for (int32_t x = r.left; x < r.right; ++x) {
      const WorkingPixel p = a.Get(x, y), q = b.Get(x, y);
      ASSERT_TRUE(p.red == q.red && p.green == q.green && p.blue == q.blue && p.alpha == q.alpha &&
                  p.mask == q.mask)
          << x << "," << y;
    }
  }
}

TEST_F(ShapeOperations, DrawingBlendsEveryVisibleEntryInsideTheClipAndNothingElse) {
  MeasuringPair shapes(5.5f);
  const WorkingPixel colour{0x90000000, 0x60000000, 0xFFFFFFFE, 0x80000000, 0};
  for (int32_t mode : {kImageModeWorkingRgb, kImageModeRgb16}) {
    for (uint32_t blendMode : {kBlendScreen, kBlendEffectsOnly, kBlendPaint}) {
      TestImage drawn(mode, {0, 0, 24, 20}, true), expected(mode, {0, 0, 24, 20}, true);
      drawn.Fill({0x123456, 0x345678, 0x56789A, kOne, kOne});
      expected.Fill({0x123456, 0x345678, 0x56789A, kOne, kOne});
      const ImageRect clip{3, 2, 21, 9};  // cuts the stamp on three sides
      ASSERT_TRUE(DrawShapeInto(drawn.get(), clip, &shapes.disk, colour, {9, 3, 5, 1}, blendMode,
                                kThreshold));
      ReferenceStamp(&expected, clip, shapes.disk.subShapes[SubShapeIndex(3, 1)], colour, 9, 5,
                     FindBlendRoutine(blendMode));
      ExpectSamePixels(drawn, expected);
      // Far away, or with its brightest channel x alpha just below half the threshold (every
      // entry invisible), the stamp leaves the target alone.
      EXPECT_TRUE(DrawShapeInto(drawn.get(), clip, &shapes.disk, Grey(kOne, kOne),
                                {100000, 0, -5000, 2}, blendMode, kThreshold));
      EXPECT_TRUE(DrawShapeInto(drawn.get(), clip, &shapes.disk,
                                {kThreshold / 2 - 1, 0, 0, kOne, kOne}, {9, 0, 5, 0}, blendMode,
                                kThreshold));
      ExpectSamePixels(drawn, expected);
    }
  }
}

std::atomic<int> gBuilds{0};
bool CountingDiskBuilder(EffectShape* shape, int xPhase, int yPhase) {
  gBuilds.fetch_add(1);
  return BuildDiskSubShape(shape, xPhase, yPhase);
}

TEST_F(ShapeOperations, ThreadsStampingOneShapeBuildEachPhaseOnce) {
  MeasuringPair shapes(12.0f);
  shapes.disk.builder = CountingDiskBuilder;
  gBuilds = 0;
  constexpr int kThreads = 6;
  // Each thread stamps its own band of one target at all 16 phases.
  TestImage target(kImageModeWorkingRgb, {0, 0, 64, 64 * kThreads}, false);
  target.Fill(Grey(0));
  std::vector<std::thread> threads;
  platform::CriticalSection buildLock;  // the run's shape-building lock
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      const ImageRect band{0, 64 * t, 64, 64 * (t + 1)};
      for (int phase = 0; phase < 16; ++phase) {
        EXPECT_TRUE(DrawShapeInto(
            target.get(), band, &shapes.disk, {0x20000000, 0x20000000, 0x20000000, kOne, kOne},
            {32, phase / 4, 64 * t + 32, phase % 4}, kBlendScreen, kThreshold, &buildLock));
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(gBuilds.load(), 16);
  for (int t = 1; t < kThreads; ++t) {
    for (int32_t y = 0; y < 64; ++y) {
      ASSERT_EQ(target.Get(20, y).red, target.Get(20, 64 * t + y).red);
    }
  }
}

}  // namespace
}  // namespace lumeray
