// The parts of the light source search: the analysis geometry and reduction, the robust mean
// and the centre from the radii, and the flood fill.
#include <gtest/gtest.h>

#include <cmath>

#include "analysis/analysis_image.h"
#include "analysis/flood_fill.h"
#include "analysis/light_source_measurement.h"
#include "analysis/radial_profile.h"
#include "color/color_management.h"
#include "host/host_globals.h"
#include "unit/analysis/detection_test_support.h"

namespace lumeray {
namespace {

using testing::ReportCapture;
using testing::Scene;
using testing::TestImage;

constexpr uint32_t kOne = 0xFFFFFFFEu;

class DetectionParts : public testing::DetectionTest {};

TEST_F(DetectionParts, TheAnalysisRectangleIsReducedAboveTheLongestSide) {
  const struct {
    ImageRect source;
    double scale;
    ImageRect analysis;
  } cases[] = {
      {{0, 0, 2400, 1000}, 1.0, {0, 0, 2400, 1000}},
      {{0, 0, 5000, 3000}, 5000.0 / 2400, {0, 0, 2400, 1440}},
      {{0, 0, 1000, 4800}, 2.0, {0, 0, 500, 2400}},
      {{0, 0, 7200, 1}, 3.0, {0, 0, 2400, 1}},  // a one-row source keeps one row
      {{0, 0, 0, 0}, 1.0, {0, 0, 1, 1}},        // nothing collapses to zero
  };
  for (const auto& c : cases) {
    const AnalysisGeometry g = ComputeAnalysisGeometry(c.source);
    EXPECT_DOUBLE_EQ(g.scale, c.scale);
    EXPECT_EQ(g.rect.right, c.analysis.right);
    EXPECT_EQ(g.rect.bottom, c.analysis.bottom);
  }
}

TEST_F(DetectionParts, AReducedPixelIsTheMeanOfItsSourceBlock) {
  // 4800 x 6 halves to 2400 x 3: 2 x 2 blocks side by side. 6000 x 10 goes to 2400 x 4 in steps
  // of 2.5 with 3 x 3 blocks, so neighbouring blocks share rows and columns (rows 0-2, 2-4, 5-7,
  // 7-9). Each band of the copy starts with none of its rows at hand.
  const struct {
    int32_t width, height, block;
    double step;
  } cases[] = {{4800, 6, 2, 2.0}, {6000, 10, 3, 2.5}};
  for (const auto& c : cases) {
    TestImage source(kImageModeWorkingRgb, {0, 0, c.width, c.height}, true, LinearWorkingProfile());
    // Red tells the rows apart, green the columns, far beyond the analysis samples' precision.
    for (int32_t y = 0; y < c.height; ++y) {
      for (int32_t x = 0; x < c.width; ++x) {
        source.Set(x, y,
                   {static_cast<uint32_t>(y) << 20, static_cast<uint32_t>(x) << 11, 0,
                    x % 2 == 0 ? kOne : 0, y % 2 == 0 ? kOne : 0});
      }
    }
    for (int threads : {1, 2}) {
      AnalysisImage analysis;
      ASSERT_EQ(BuildAnalysisImage(*source, threads, testing::NeverCancelled,
                                   LinearWorkingProfile(), &analysis),
                0);
      ASSERT_EQ(analysis.rect.right, 2400);
      const AnalysisPixels pixels(analysis.image);
      for (int32_t y = 0; y < analysis.rect.bottom; ++y) {
        for (int32_t x = 0; x < 2400; ++x) {
          const auto x0 = static_cast<int32_t>(x * c.step), y0 = static_cast<int32_t>(y * c.step);
          uint64_t sum[4] = {};
          for (int32_t sy = y0; sy < y0 + c.block; ++sy) {
            for (int32_t sx = x0; sx < x0 + c.block; ++sx) {
              const WorkingPixel p = source.Get(sx, sy);
              sum[0] += p.red;
              sum[1] += p.green;
              sum[2] += p.alpha;
              sum[3] += p.mask;
            }
          }
          const uint64_t n = uint64_t(c.block) * c.block;
          const WorkingPixel p = pixels.Read(x, y);
          // The 16-bit analysis samples keep 16 of the 24 bits of colour.
          ASSERT_NEAR(p.red, sum[0] / n, 300) << x << "," << y;
          ASSERT_NEAR(p.green, sum[1] / n, 300) << x << "," << y;
          ASSERT_NEAR(p.alpha, sum[2] / n, 1u << 17) << x << "," << y;
          ASSERT_NEAR(p.mask, sum[3] / n, 1u << 24) << x << "," << y;
        }
      }
      ReleaseAnalysisImage(&analysis);
    }
  }
}

TEST_F(DetectionParts, RobustMeanReplacesOutliersAndCountsOnlyRadii) {
  float radii[8] = {10, 10, 10, 10, 10, 10, 10, 26};
  RobustMeanResult r = RobustMean(radii, 0.0f);
  EXPECT_FLOAT_EQ(r.mean, 12.0f);
  EXPECT_FLOAT_EQ(r.deviation, std::sqrt((7 * 4.0f + 196.0f) / 8));
  r = RobustMean(radii, 5.0f);  // 26 is 14 from the mean: replaced by 12
  EXPECT_FLOAT_EQ(radii[7], 12.0f);
  EXPECT_FLOAT_EQ(r.mean, 10.0f);
  EXPECT_FLOAT_EQ(r.deviation, 2.0f);  // distances from the first mean, 12

  float none[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
  r = RobustMean(none, 0.0f);
  EXPECT_EQ(r.mean, -1.0f);
  EXPECT_EQ(r.deviation, -1.0f);
}

TEST_F(DetectionParts, TheCentreFromRadiiNeedsBothSidesOfEachAxis) {
  QuarterPixelPoint c{};
  const float centred[8] = {5, 5, 5, 5, 5, 5, 5, 5};
  ASSERT_TRUE(CentreFromRadii(centred, 40, 30, &c));
  EXPECT_TRUE(c.x == 40 && c.xFraction == 0 && c.y == 30 && c.yFraction == 0);
  // Two pixels further east on the axis: E - W = 4 / 3, a fraction of 1.458 -> 41 + 1 quarter.
  const float east[8] = {7, 5, 5, 5, 3, 5, 5, 5};
  ASSERT_TRUE(CentreFromRadii(east, 40, 30, &c));
  EXPECT_EQ(c.x, 41);
  EXPECT_EQ(c.xFraction, 1);
  const float noWest[8] = {5, 5, 5, -1, -1, -1, 5, 5};
  EXPECT_FALSE(CentreFromRadii(noWest, 40, 30, &c));
  EXPECT_EQ(c.y, 30);  // the other axis is still computed
}

int Unselected(const AnalysisPixels& pixels) {
  int count = 0;
  for (int32_t y = pixels.rect().top; y < pixels.rect().bottom; ++y) {
    for (int32_t x = pixels.rect().left; x < pixels.rect().right; ++x)
      count += pixels.MaskAt(x, y) == 0;
  }
  return count;
}

TEST_F(DetectionParts, TheFloodFillPaintsEachSimilarPixelOnceAndEnds) {
  // White everywhere: the whole image; a flat patch with a lamp in it: the patch, not the lamp.
  Scene white(300, 200, 0xFFFFFF), patch(300, 200);
  patch.AddPatch({20, 20, 290, 190}, 0xC00000);
  patch.AddPatch({140, 90, 150, 100}, 0xFFFFFF);
  platform::Mutex mutex;
  for (auto [scene, expected] : {std::pair{&white, 300 * 200}, {&patch, 270 * 170 - 100}}) {
    AnalysisImage analysis;
    ASSERT_EQ(BuildAnalysisImage(scene->record(), 1, testing::NeverCancelled,
                                 LinearWorkingProfile(), &analysis),
              0);
    const AnalysisPixels pixels(analysis.image);
    const WorkingPixel before = pixels.Read(30, 30);
    const RadialProfile profile = MeasureRadialProfile(pixels, 30, 30, 0xFFFFFF);
    EXPECT_TRUE(profile.flatArea);
    EXPECT_EQ(FloodFillFlatArea(pixels, 30, 30, &mutex, testing::NeverCancelled), 0);
    EXPECT_EQ(Unselected(pixels), expected);
    const WorkingPixel after = pixels.Read(30, 30);  // colour and alpha stay
    EXPECT_TRUE(after.red == before.red && after.alpha == before.alpha && after.mask == 0);
    EXPECT_FALSE(IsCandidate(pixels, 30, 30, 0));
    ReleaseAnalysisImage(&analysis);
  }
}

bool FailFillStack(size_t size, bool fresh, bool isRealloc) {
  return isRealloc && size == kFloodFillGrowth * 2 * sizeof(int32_t);
}

TEST_F(DetectionParts, AFillStackThatCannotGrowIsReportedAndEndsTheSearch) {
  if (!testing::AllocationFailuresAvailable()) GTEST_SKIP() << "sanitizer allocator";
  Scene white(64, 64, 0xFFFFFF);
  AnalysisImage analysis;
  ASSERT_EQ(BuildAnalysisImage(white.record(), 1, testing::NeverCancelled, LinearWorkingProfile(),
                               &analysis),
            0);
  const AnalysisPixels pixels(analysis.image);
  platform::Mutex mutex;
  ReportCapture reports;
  {
    testing::FailingAllocations failing(FailFillStack);
    EXPECT_EQ(FloodFillFlatArea(pixels, 5, 5, &mutex, testing::NeverCancelled), -108);
  }
  EXPECT_TRUE(
      reports.Has("'Error - Exiting Plug-in' - 'Unable to allocate memory for a flood "
                  "fill list.'"));
  // The mutex was given back.
  EXPECT_EQ(platform::WaitForObject(mutex, 0).status, platform::WaitStatus::kSignaled);
  mutex.Release();
  ReleaseAnalysisImage(&analysis);
}

}  // namespace
}  // namespace lumeray
