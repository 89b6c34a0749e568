// Detection accuracy on generated discs with exact coverage: positions to a quarter pixel,
// radii, the limits of what counts as a light source, band borders and reduced analysis.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "analysis/analysis_image.h"
#include "unit/analysis/detection_test_support.h"

namespace lumeray {
namespace {

using testing::Disc;
using testing::FoundSource;
using testing::MasterSources;
using testing::Nearest;
using testing::Scene;

class DetectionAccuracy : public testing::DetectionTest {};

TEST_F(DetectionAccuracy, OneDiscOfRadiusTenIsOneSourceAtItsCentre) {
  Scene scene(120, 100);
  scene.Add({60.3, 47.8, 10.0});
  ASSERT_EQ(Analyze(scene.record()), 0);
  const std::vector<FoundSource> found = MasterSources();
  ASSERT_EQ(found.size(), 1u);
  EXPECT_LE(std::hypot(found[0].x - 60.3, found[0].y - 47.8), 0.25)
      << found[0].x << ", " << found[0].y;
  EXPECT_NEAR(found[0].radius, 10.0, 0.75);
  EXPECT_EQ(found[0].brightness, 0xFFFFFFFCu);  // normalised: the brightest is full
}

TEST_F(DetectionAccuracy, DiscsOfEveryRadiusAtFractionalPositionsAreFoundToAQuarterPixel) {
  // Each disc alone on black, at a different fraction of a pixel.
  for (int radius = 1; radius <= 60; ++radius) {
    const double fx = (radius % 4) * 0.25 + 0.07, fy = ((radius / 4) % 4) * 0.25 + 0.16;
    const int size = 2 * radius + 40;
    Scene scene(size, size);
    const double cx = size / 2 + fx, cy = size / 2 + fy;
    scene.Add({cx, cy, static_cast<double>(radius)});
    ASSERT_EQ(Analyze(scene.record()), 0);
    const std::vector<FoundSource> found = MasterSources();
    ASSERT_EQ(found.size(), 1u) << "radius " << radius;
    EXPECT_LE(std::hypot(found[0].x - cx, found[0].y - cy), 0.25)
        << "radius " << radius << " found at " << found[0].x << ", " << found[0].y << " instead of "
        << cx << ", " << cy;
    EXPECT_NEAR(found[0].radius, radius, 0.1 * radius + 0.75) << "radius " << radius;
  }
}

TEST_F(DetectionAccuracy, ADiscLargerThanTheLargestRadiusIsNoSource) {
  Scene scene(400, 400);
  scene.Add({200.4, 199.6, 110.0});
  ASSERT_EQ(Analyze(scene.record()), 0);
  EXPECT_TRUE(MasterSources().empty());
}

TEST_F(DetectionAccuracy, AnUnselectedHighlightIsNeverASource) {
  Scene scene(160, 80);
  Disc unselected{40.2, 40.1, 6.0};
  unselected.mask = 0x7F7F7F7E;  // mask byte 127: just below half
  scene.Add(unselected);
  scene.Add({120.6, 39.7, 6.0});
  ASSERT_EQ(Analyze(scene.record()), 0);
  const std::vector<FoundSource> found = MasterSources();
  ASSERT_EQ(found.size(), 1u);
  EXPECT_NEAR(found[0].x, 120.6, 0.25);
}

TEST_F(DetectionAccuracy, SourcesAcrossBandBordersAreFoundOnceWhateverTheWorkerCount) {
  // With 2..5 workers the bands of 120 rows split at 60, 40/80, 30/60/90 and 24/48/72/96: every
  // disc lies across at least one border for some count.
  Scene scene(200, 120);
  const Disc discs[] = {{50.3, 60.2, 9.0},
                        {120.6, 40.4, 7.0},
                        {160.1, 90.8, 5.0},
                        {30.9, 24.3, 4.0},
                        {90.4, 96.6, 6.0}};
  for (const Disc& d : discs) scene.Add(d);
  std::vector<FoundSource> reference;
  for (int threads = 1; threads <= 5; ++threads) {
    ASSERT_EQ(Analyze(scene.record(), threads), 0);
    std::vector<FoundSource> found = MasterSources();
    ASSERT_EQ(found.size(), std::size(discs)) << threads << " threads";
    for (const Disc& d : discs) {
      const FoundSource* s = Nearest(found, d.cx, d.cy);
      EXPECT_LE(std::hypot(s->x - d.cx, s->y - d.cy), 0.25) << threads << " threads";
    }
    std::sort(found.begin(), found.end(),
              [](auto& a, auto& b) { return a.y * 1000 + a.x < b.y * 1000 + b.x; });
    if (threads == 1) {
      reference = found;
      continue;
    }
    for (size_t i = 0; i < found.size(); ++i) {
      EXPECT_EQ(found[i].x, reference[i].x);
      EXPECT_EQ(found[i].y, reference[i].y);
      // The radius estimate starts from the first pixel each band meets: equal to a fraction.
      EXPECT_NEAR(found[i].radius, reference[i].radius, 0.25);
    }
  }
}

TEST_F(DetectionAccuracy, LargeImagesAreAnalysedReducedAndReportedInFullSizeCoordinates) {
  Scene scene(5000, 3000);
  const Disc discs[] = {{1250.3, 700.6, 20.0}, {3800.7, 2250.2, 12.0}, {2500.5, 1500.5, 30.0}};
  for (const Disc& d : discs) scene.Add(d);
  const AnalysisGeometry geometry = ComputeAnalysisGeometry((*scene.image()).dataRect);
  EXPECT_EQ(geometry.rect.right, 2400);
  EXPECT_EQ(geometry.rect.bottom, 1440);
  ASSERT_EQ(Analyze(scene.record()), 0);
  const std::vector<FoundSource> found = MasterSources();
  ASSERT_EQ(found.size(), std::size(discs));
  const double scale = 5000.0 / 2400.0;
  for (const Disc& d : discs) {
    const FoundSource* s = Nearest(found, d.cx, d.cy);
    // A quarter of an analysis pixel, in source pixels.
    EXPECT_LE(std::hypot(s->x - d.cx, s->y - d.cy), 0.25 * scale) << d.cx << ", " << d.cy;
    EXPECT_NEAR(s->radius, d.radius, 0.1 * d.radius + 0.75 * scale);
  }
}

}  // namespace
}  // namespace lumeray
