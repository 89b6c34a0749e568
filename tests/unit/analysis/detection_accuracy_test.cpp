// Detection accuracy on generated discs with exact coverage: positions to a quarter pixel,
// radii, the limits of what counts as a light source, band borders and reduced analysis.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "unit/analysis/detection_test_support.h"

namespace lumeray {
namespace {

using testing::Disc;
using testing::FoundSource;
using testing::MasterSources;
using testing::Nearest;
using testing::Scene;

class DetectionAccuracy : public testing::DetectionTest {};

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

// Discs centred on every row where the bands of 1..6 workers meet (rows top + k * (height / n))
// for an analysis `height` rows high, `scale` source pixels per analysis pixel.
std::vector<Disc> DiscsOnEveryBandBorder(int32_t height, double scale, double radius) {
  std::vector<Disc> discs;
  std::vector<int32_t> rows;
  for (int n = 2; n <= 6; ++n) {
    for (int k = 1; k < n; ++k) rows.push_back(k * (height / n));
  }
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  for (size_t i = 0; i < rows.size(); ++i) {
    // Apart in x, at varied fractions; the centre pixel's row is the border row itself.
    discs.push_back({(40.3 + 4.0 * radius * static_cast<double>(i)) * scale,
                     (rows[i] + 0.1 * static_cast<double>(i % 3)) * scale, radius * scale});
  }
  return discs;
}

TEST_F(DetectionAccuracy, ASourceOnABandBorderIsFoundOnceWhateverTheWorkerCount) {
  struct Case {
    int32_t width, height;  // source size; the second case is analysed at half size
    double scale;
  };
  for (const Case c : {Case{600, 120, 1.0}, Case{4800, 480, 2.0}}) {
    const std::vector<Disc> discs = DiscsOnEveryBandBorder(static_cast<int32_t>(c.height / c.scale),
                                                           c.scale, c.scale == 1.0 ? 5.0 : 6.0);
    Scene scene(c.width, c.height);
    for (const Disc& d : discs) scene.Add(d);
    for (int threads = 1; threads <= 6; ++threads) {
      SCOPED_TRACE(::testing::Message()
                   << c.width << " x " << c.height << ", " << threads << " workers");
      ASSERT_EQ(Analyze(scene.record(), threads), 0);
      const std::vector<FoundSource> found = MasterSources();
      EXPECT_EQ(found.size(), discs.size());
      for (const Disc& d : discs) {
        const FoundSource* s = Nearest(found, d.cx, d.cy);
        ASSERT_NE(s, nullptr);
        EXPECT_LE(std::hypot(s->x - d.cx, s->y - d.cy), 0.25 * c.scale) << d.cx << ", " << d.cy;
      }
    }
  }
}

TEST_F(DetectionAccuracy, ClusteredHighlightsAreOneEntryEach) {
  // A soft disc (full to radius `inner`, falling to 0 at `outer`) with three 2 x 2 white dots
  // inside its rim: the disc, measured after the dots it covers, replaces them in one entry.
  struct Case {
    double level;
    int inner, outer;
    double dotDistance;
  };
  const Case cases[] = {
      {0.9, 4, 14, 6.0}, {0.8, 4, 10, 5.0}, {0.9, 6, 14, 8.0}, {0.97, 6, 12, 7.0}};
  for (const Case& c : cases) {
    Scene scene(64, 64);
    for (int32_t y = 0; y < 64; ++y) {
      for (int32_t x = 0; x < 64; ++x) {
        const double d = std::hypot(x - 32.0, y - 32.0);
        const double v = std::clamp((c.outer - d) / (c.outer - c.inner), 0.0, 1.0);
        scene.AddPatch({x, y, x + 1, y + 1}, static_cast<uint32_t>(v * c.level * 0xFFFFFF));
      }
    }
    for (double angle : {0.3, 2.4, 4.4}) {
      const auto x = static_cast<int32_t>(std::lround(32 + c.dotDistance * std::cos(angle)));
      const auto y = static_cast<int32_t>(std::lround(32 + c.dotDistance * std::sin(angle)));
      scene.AddPatch({x - 1, y - 1, x + 1, y + 1}, 0xFFFFFF);
    }
    for (int threads : {1, 2}) {
      ASSERT_EQ(Analyze(scene.record(), threads), 0);
      const std::vector<FoundSource> found = MasterSources();
      ASSERT_FALSE(found.empty());
      for (size_t i = 0; i < found.size(); ++i) {
        for (size_t j = i + 1; j < found.size(); ++j) {
          EXPECT_FALSE(found[i].x == found[j].x && found[i].y == found[j].y)
              << "two entries at " << found[i].x << ", " << found[i].y;
        }
      }
    }
  }
}

TEST_F(DetectionAccuracy, TouchingDiscsAreEachFoundWhereTheyAre) {
  // Pairs of equal discs that touch, in several directions; each disc within a quarter pixel.
  for (int i = 0; i < 24; ++i) {
    const double radius = 4.0 + (i * 7) % 17;
    const double angle = (i * 47 % 180) * M_PI / 180.0;
    const int size = static_cast<int>(6 * radius + 40);
    const double cx = size / 2 + (i * 31 % 17) / 17.0, cy = size / 2 + (i * 53 % 13) / 13.0;
    const Disc pair[] = {{cx - radius * std::cos(angle), cy - radius * std::sin(angle), radius},
                         {cx + radius * std::cos(angle), cy + radius * std::sin(angle), radius}};
    Scene scene(size, size);
    for (const Disc& d : pair) scene.Add(d);
    ASSERT_EQ(Analyze(scene.record(), 1), 0);
    const std::vector<FoundSource> found = MasterSources();
    EXPECT_EQ(found.size(), 2u);
    for (const Disc& d : pair) {
      const FoundSource* s = Nearest(found, d.cx, d.cy);
      ASSERT_NE(s, nullptr);
      EXPECT_LE(std::hypot(s->x - d.cx, s->y - d.cy), 0.25)
          << "radius " << radius << " at " << d.cx << ", " << d.cy << " found at " << s->x << ", "
          << s->y;
    }
  }
}

TEST_F(DetectionAccuracy, ReducedImagesReportPositionsWithoutABias) {
  // 6400 / 2400 = 8 / 3: the blocks averaged into analysis pixels start irregularly. Discs at
  // phases spread over the blocks; their mean error must be far below the quarter-pixel noise.
  Scene scene(6400, 4000);
  std::vector<Disc> discs;
  for (int i = 0; i < 48; ++i) {
    const double spread = 7.0 * (i * 0.6180339 - std::floor(i * 0.6180339));
    const double across = 7.0 * (i * 0.4142135 - std::floor(i * 0.4142135));
    discs.push_back(
        {100 + (i % 8) * 775.0 + spread, 100 + (i / 8) * 633.0 + across, 8.0 + (i % 5) * 4});
    scene.Add(discs.back());
  }
  ASSERT_EQ(Analyze(scene.record()), 0);
  const std::vector<FoundSource> found = MasterSources();
  ASSERT_EQ(found.size(), discs.size());
  double sumX = 0, sumY = 0;
  for (const Disc& d : discs) {
    const FoundSource* s = Nearest(found, d.cx, d.cy);
    sumX += s->x - d.cx;
    sumY += s->y - d.cy;
    // A quarter of an analysis pixel, in source pixels; the radius scaled back.
    EXPECT_LE(std::hypot(s->x - d.cx, s->y - d.cy), 0.25 * 8 / 3);
    EXPECT_NEAR(s->radius, d.radius, 0.1 * d.radius + 0.75 * 8 / 3);
  }
  EXPECT_LT(std::abs(sumX / discs.size()), 0.1);
  EXPECT_LT(std::abs(sumY / discs.size()), 0.1);
}

}  // namespace
}  // namespace lumeray
