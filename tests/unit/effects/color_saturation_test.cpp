// Colour saturation keeps a star's hue: the colours of measured light sources at the settings
// that push channels out of range, checked by the hue angle of the usual hexagon model.
#include "effects/color_saturation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace lumeray {
namespace {

constexpr double kUnit = 4294967294.0;

// Hue in degrees, 0..360.
double Hue(double r, double g, double b) {
  const double hi = std::max({r, g, b}), lo = std::min({r, g, b});
  if (hi == lo) return 0.0;
  double h;
  if (hi == r) {
    h = 60.0 * (g - b) / (hi - lo);
  } else if (hi == g) {
    h = 120.0 + 60.0 * (b - r) / (hi - lo);
  } else {
    h = 240.0 + 60.0 * (r - g) / (hi - lo);
  }
  return h < 0.0 ? h + 360.0 : h;
}

double HueDifference(double a, double b) {
  const double d = std::fabs(a - b);
  return std::min(d, 360.0 - d);
}

FractionColor Colour(double r, double g, double b) {
  return {static_cast<uint32_t>(r * kUnit), static_cast<uint32_t>(g * kUnit),
          static_cast<uint32_t>(b * kUnit)};
}

TEST(ColorSaturation, KeepsTheHueOfColouredSources) {
  // Measured source colours with their largest channel at full (normalised entries) and at a
  // tenth of full (faint sources).
  const double colours[][3] = {{0.69, 0.876, 1.0}, {0.069, 0.0876, 0.1}, {1.0, 0.8, 0.55},
                               {0.55, 1.0, 0.62},  {1.0, 0.93, 0.97},    {0.3, 0.1, 0.2}};
  for (const auto& c : colours) {
    const double hue = Hue(c[0], c[1], c[2]);
    const double chroma = (std::max({c[0], c[1], c[2]}) - std::min({c[0], c[1], c[2]})) /
                          std::max({c[0], c[1], c[2]});
    for (int saturation : {-30, 30, 100}) {  // -100 turns every colour grey
      const FractionColor s = SaturateColor(Colour(c[0], c[1], c[2]), saturation, false);
      const double r = s.red / kUnit, g = s.green / kUnit, b = s.blue / kUnit;
      EXPECT_LE(HueDifference(Hue(r, g, b), hue), 2.0)
          << c[0] << ", " << c[1] << ", " << c[2] << " at " << saturation << " gave " << r << ", "
          << g << ", " << b;
      const double saturated = (std::max({r, g, b}) - std::min({r, g, b})) / std::max({r, g, b});
      EXPECT_EQ(saturated > chroma, saturation > 0);
    }
  }
}

}  // namespace
}  // namespace lumeray
