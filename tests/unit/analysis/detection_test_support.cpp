#define LUMERAY_DEFINE_ALLOCATION_WRAPPERS
#include "unit/effects/shape_test_allocation.h"

#include "unit/analysis/detection_test_support.h"

#include <algorithm>
#include <cmath>

#include "color/color_management.h"
#include "color/profile_gamma.h"
#include "host/host_globals.h"
#include "image/gamma_tables.h"

namespace lumeray::testing {
namespace {

struct Vec {
  double x, y;
};
double Cross(Vec a, Vec b) {
  return a.x * b.y - a.y * b.x;
}
double Dot(Vec a, Vec b) {
  return a.x * b.x + a.y * b.y;
}

// The signed area of the circle (origin, r) inside the triangle (origin, a, b).
double CircleTriangleArea(Vec a, Vec b, double r) {
  const auto sector = [r](Vec p, Vec q) { return r * r * std::atan2(Cross(p, q), Dot(p, q)) / 2; };
  const Vec d{b.x - a.x, b.y - a.y};
  const double A = Dot(d, d), B = Dot(a, d), C = Dot(a, a) - r * r;
  if (A == 0.0) return 0.0;
  const double discriminant = B * B - A * C;
  if (discriminant <= 0.0) return sector(a, b);
  const double s = std::sqrt(discriminant);
  const double t1 = (-B - s) / A, t2 = (-B + s) / A;
  if (t2 <= 0.0 || t1 >= 1.0) return sector(a, b);
  const Vec p1{a.x + std::max(t1, 0.0) * d.x, a.y + std::max(t1, 0.0) * d.y};
  const Vec p2{a.x + std::min(t2, 1.0) * d.x, a.y + std::min(t2, 1.0) * d.y};
  return sector(a, p1) + Cross(p1, p2) / 2 + sector(p2, b);
}

}  // namespace

double PixelCoverage(double px, double py, double cx, double cy, double radius) {
  const double nearX = std::max(std::abs(px - cx) - 0.5, 0.0);
  const double nearY = std::max(std::abs(py - cy) - 0.5, 0.0);
  if (nearX * nearX + nearY * nearY >= radius * radius) return 0.0;
  const double farX = std::abs(px - cx) + 0.5, farY = std::abs(py - cy) + 0.5;
  if (farX * farX + farY * farY <= radius * radius) return 1.0;
  const Vec corners[4] = {{px - 0.5 - cx, py - 0.5 - cy},
                          {px + 0.5 - cx, py - 0.5 - cy},
                          {px + 0.5 - cx, py + 0.5 - cy},
                          {px - 0.5 - cx, py + 0.5 - cy}};
  double area = 0.0;
  for (int i = 0; i < 4; ++i) area += CircleTriangleArea(corners[i], corners[(i + 1) % 4], radius);
  return std::clamp(std::abs(area), 0.0, 1.0);
}

Scene::Scene(int32_t width, int32_t height, uint32_t background)
    : image_(kImageModeWorkingRgb, {0, 0, width, height}, true, LinearWorkingProfile()) {
  image_.Fill(Grey(background));
}

void Scene::Add(const Disc& disc) {
  const ImageRect& data = (*image_).dataRect;
  const auto x0 = std::max(data.left, static_cast<int32_t>(std::floor(disc.cx - disc.radius - 1)));
  const auto x1 =
      std::min(data.right - 1, static_cast<int32_t>(std::ceil(disc.cx + disc.radius + 1)));
  const auto y0 = std::max(data.top, static_cast<int32_t>(std::floor(disc.cy - disc.radius - 1)));
  const auto y1 =
      std::min(data.bottom - 1, static_cast<int32_t>(std::ceil(disc.cy + disc.radius + 1)));
  for (int32_t y = y0; y <= y1; ++y) {
    for (int32_t x = x0; x <= x1; ++x) {
      const double c = PixelCoverage(x, y, disc.cx, disc.cy, disc.radius);
      if (c <= 0.0) continue;
      WorkingPixel p = image_.Get(x, y);
      const auto mix = [c](uint32_t under, uint32_t over) {
        return static_cast<uint32_t>(std::lround(under * (1.0 - c) + over * c));
      };
      p = {mix(p.red, disc.red), mix(p.green, disc.green), mix(p.blue, disc.blue), p.alpha,
           disc.mask};
      image_.Set(x, y, p);
    }
  }
}

void Scene::AddPatch(const ImageRect& rect, uint32_t level) {
  for (int32_t y = rect.top; y < rect.bottom; ++y) {
    for (int32_t x = rect.left; x < rect.right; ++x) image_.Set(x, y, Grey(level));
  }
}

AnalysisRunState& TestAnalysis() {
  static AnalysisRunState run{.run = &CurrentRun()};  // outside a host run: the stand-in
  return run;
}

std::vector<FoundSource> MasterSources() {
  std::vector<FoundSource> sources;
  const MasterLightSourceTable& master = TestAnalysis().master;
  for (uint32_t i = 0; i < master.count; ++i) {
    const LightSourceEntry& e = master.data()[i];
    sources.push_back({e.x + e.xFraction / 4.0, e.y + e.yFraction / 4.0, e.radius, e.brightness});
  }
  return sources;
}

const FoundSource* Nearest(const std::vector<FoundSource>& sources, double x, double y) {
  const FoundSource* best = nullptr;
  double bestDistance = 0.0;
  for (const FoundSource& s : sources) {
    const double d = std::hypot(s.x - x, s.y - y);
    if (best == nullptr || d < bestDistance) {
      best = &s;
      bestDistance = d;
    }
  }
  return best;
}

bool NeverCancelled() {
  return false;
}

void DetectionTest::SetUpTestSuite() {
  SetProfileGammaEstimator(&EstimateProfileGamma);
  ASSERT_TRUE(InitializeColorManagement());
}

void DetectionTest::TearDownTestSuite() {
  ReleaseColorManagement();
  SetProfileGammaEstimator(nullptr);
}

void DetectionTest::SetUp() {
  ForceRunResult(0);
}

void DetectionTest::TearDown() {
  DisarmAllocationFailure();
  FreeMasterLightSourceTable(&TestAnalysis().master);
  ForceRunResult(0);
}

int DetectionTest::Analyze(const ImageRecord& source, int threads, CancelTest cancelled) {
  AnalysisOptions options;
  options.depthCode = 2;
  options.threadCount = threads;
  options.cancelled = cancelled;
  return AnalyzeLightSources(TestAnalysis(), source, options);
}

}  // namespace lumeray::testing
