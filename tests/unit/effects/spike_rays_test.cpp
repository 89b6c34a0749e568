// Stars measured on the rendered image: one white light source on a black image, rendered with
// Effects Only, and the directions of its rays read back from the output's brightness.
#include <algorithm>
#include <cmath>
#include <vector>

#include "render_test_support.h"

namespace lumeray {
namespace {

using testing::RenderTest;

constexpr int32_t kSize = 401;
constexpr int32_t kCentre = 200;

class SpikeRays : public RenderTest {
 protected:
  void SetUp() override {
    RenderTest::SetUp();
    MakeOutput(kImageModeRgb8, kSize, kSize);
    SetSources({Source(kCentre, 0, kCentre, 0)});
  }

  // Output brightness in the ring r1..r2 around the source, one bin per degree clockwise from
  // up, smoothed over three bins.
  static std::vector<double> AngularProfile(double r1, double r2) {
    std::vector<double> bins(360, 0.0);
    for (int32_t y = 0; y < kSize; ++y) {
      for (int32_t x = 0; x < kSize; ++x) {
        const double dx = x - kCentre, dy = y - kCentre;
        const double r = std::hypot(dx, dy);
        if (r < r1 || r > r2) continue;
        double degrees = std::atan2(dx, -dy) * 180.0 / M_PI;
        if (degrees < 0) degrees += 360.0;
        bins[static_cast<int>(degrees) % 360] += Brightest(PixelAt(x, y));
      }
    }
    std::vector<double> smooth(360);
    for (int i = 0; i < 360; ++i) {
      smooth[i] = bins[(i + 359) % 360] + 2 * bins[i] + bins[(i + 1) % 360];
    }
    return smooth;
  }

  // Directions (degrees) of the local maxima above `floor` x the largest, each refined to the
  // centroid of its five bins.
  static std::vector<double> Rays(double r1 = 30, double r2 = 150, double floor = 0.003) {
    const std::vector<double> p = AngularProfile(r1, r2);
    const double top = *std::max_element(p.begin(), p.end());
    std::vector<double> rays;
    if (top <= 0) return rays;
    for (int i = 0; i < 360; ++i) {
      const double v = p[i];
      if (v < floor * top || !(v > p[(i + 359) % 360]) || !(v >= p[(i + 1) % 360])) continue;
      double sum = 0, weighted = 0;
      for (int k = -2; k <= 2; ++k) {
        const double w = p[(i + k + 360) % 360];
        sum += w;
        weighted += w * (i + k + 0.5);
      }
      rays.push_back(std::fmod(weighted / sum + 360.0, 360.0));
    }
    return rays;
  }

  static double AngleGap(double a, double b) {
    const double d = std::fabs(std::fmod(a - b + 720.0, 360.0));
    return std::min(d, 360.0 - d);
  }

  static void ExpectRaysAt(const std::vector<double>& measured, const std::vector<double>& expected,
                           double tolerance = 1.0) {
    EXPECT_EQ(measured.size(), expected.size());
    for (double e : expected) {
      double best = 360;
      for (double m : measured) best = std::min(best, AngleGap(m, e));
      EXPECT_LE(best, tolerance) << "no ray near " << e << " degrees";
    }
  }

  static bool PointSymmetric(const std::vector<double>& rays) {
    for (double r : rays) {
      double best = 360;
      for (double s : rays) best = std::min(best, AngleGap(s, r + 180.0));
      if (best > 1.0) return false;
    }
    return true;
  }
};

TEST_F(SpikeRays, EveryTypeDrawsItsNumberOfRaysWithItsSymmetry) {
  struct Case {
    uint32_t code;
    int16_t points;
    size_t rays;
    bool pointSymmetric;
  };
  const Case cases[] = {
      {EffectCode("efT0"), 5, 5, false},   // Standard Star
      {EffectCode("efT0"), 8, 8, true},    //
      {EffectCode("efT1"), 4, 14, true},   // Hollywood Star: 4 + 3 + 4 + 3 rays
      {EffectCode("efT1"), 3, 10, false},  //   4 + 3 + 4, two of them 0.4 degrees apart
      {EffectCode("efT2"), 4, 4, true},    // Religious Cross: four arms
      {EffectCode("efT3"), 14, 14, true},  // Hyper Star: 7 opposed pairs
      {EffectCode("efT4"), 3, 9, false},   // North Star: each point with two quarter rays
      {EffectCode("efT5"), 8, 8, true},    // Vector Star
      {EffectCode("efT5"), 5, 5, false},   //
      {EffectCode("efT6"), 14, 14, true},  // Star Burst: 7 opposed pairs
  };

  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << std::hex << c.code << std::dec << " with " << c.points);
    FillImage(&InputImage(), {0, 0, 0, 0xFFFFFFFE, 0xFFFFFFFE}, InputImage().dataRect);
    const ParameterSetBuffer snapshot = PlainStar(c.code, c.points, 150);
    ASSERT_TRUE(Render(snapshot));
    const std::vector<double> rays = Rays();
    EXPECT_EQ(rays.size(), c.rays);
    EXPECT_EQ(PointSymmetric(rays), c.pointSymmetric);
  }
  // Angles count clockwise from straight up, in tenths of a degree.
  FillImage(&InputImage(), {0, 0, 0, 0xFFFFFFFE, 0xFFFFFFFE}, InputImage().dataRect);
  ASSERT_TRUE(Render(PlainStar(EffectCode("efT0"), 6, 150)));
  ExpectRaysAt(Rays(), {15, 75, 135, 195, 255, 315}, 0.75);
}

}  // namespace
}  // namespace lumeray
