#include "analysis/radial_profile.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "analysis/shape_builders.h"

namespace lumeray {
namespace {

// T = global peak / kEdgeThresholdDivisor.
constexpr uint32_t kEdgeThresholdDivisor = 85;
// The fall-off has begun once the brightness is below peak - peak / kFallOffDivisor.
constexpr uint32_t kFallOffDivisor = 35;
// A channel has changed when it differs from the start pixel's by more than 1/8 of it.
constexpr int kColourToleranceShift = 3;
// Diagonal drops are multiplied by this and divided by the diagonal spacing divisor of their
// level spacing (141, 283 or 424 for spacings 1, 2, 3).
constexpr int32_t kDiagonalDropScale = 100;
constexpr int32_t kDiagonalSpacingDivisors[] = {0, 141, 283, 424};
constexpr float kHalfLevel = 0.5f;
constexpr float kCentreRounding = 0.125f;
constexpr int kQuartersPerPixel = 4;

bool ChannelChanged(uint32_t value, uint32_t start) {
  return std::llabs(int64_t{value} - int64_t{start}) > int64_t{start >> kColourToleranceShift};
}

int32_t Pair(int32_t a, int32_t b) {
  return (a + b) >> 1;
}
int32_t Triple(int32_t a, int32_t b, int32_t c) {
  return (a + b + c) / 3;
}

// The edge test at step k (>= 2) on the history b[0..k]; fills the levels, the spacing and the
// offset of the step's band.
struct EdgeTest {
  int32_t level0, level1, d1, d2, threshold, spacing;
  float offset;
};

EdgeTest LevelsAt(const int32_t* b, int k, int32_t t) {
  EdgeTest e{};
  if (k == 2) {
    e.level0 = b[0];
    e.level1 = b[1];
    e.d2 = b[1] - b[2];
    e.threshold = t;
    e.spacing = 1;
    e.offset = 2.0f;
  } else if (k == 3) {
    e.level0 = Pair(b[0], b[1]);
    e.level1 = Pair(b[1], b[2]);
    e.d2 = e.level1 - Pair(b[2], b[3]);
    e.threshold = 10 * t / 17;
    e.spacing = 1;
    e.offset = 2.5f;
  } else if (k <= 7) {
    e.level0 = Pair(b[k - 4], b[k - 3]);
    e.level1 = Pair(b[k - 3], b[k - 2]);
    e.d2 = Pair(b[k - 2], b[k - 1]) - Pair(b[k - 1], b[k]);
    e.threshold = 10 * t / 24;
    e.spacing = 1;
    e.offset = 3.5f;
  } else if (k <= 11) {
    e.level0 = Triple(b[k - 6], b[k - 5], b[k - 4]);
    e.level1 = Triple(b[k - 4], b[k - 3], b[k - 2]);
    e.d2 = e.level1 - Triple(b[k - 2], b[k - 1], b[k]);
    e.threshold = 10 * t / 35;
    e.spacing = 2;
    e.offset = 5.0f;
  } else {
    e.level0 = Triple(b[k - 8], b[k - 7], b[k - 6]);
    e.level1 = Triple(b[k - 5], b[k - 4], b[k - 3]);
    e.d2 = e.level1 - Triple(b[k - 2], b[k - 1], b[k]);
    e.threshold = 10 * t / (k + 33);
    e.spacing = 3;
    e.offset = 7.0f;
  }
  e.d1 = e.level0 - e.level1;
  return e;
}

float MeanOf(const float* values, int count) {
  float sum = 0.0f;
  int used = 0;
  for (int i = 0; i < count; ++i) {
    if (values[i] >= 0.0f) {
      sum += values[i];
      ++used;
    }
  }
  return used == 0 ? kNoRadius : sum / static_cast<float>(used);
}

// Splits v into a whole pixel and a quarter-pixel fraction.
void SplitQuarters(double v, int32_t* whole, int32_t* fraction) {
  const double floor = std::floor(v);
  *whole = static_cast<int32_t>(floor);
  *fraction = static_cast<int32_t>((v - floor) * kQuartersPerPixel);
}

}  // namespace

RadialProfile MeasureRadialProfile(const AnalysisPixels& pixels, int32_t x, int32_t y,
                                   uint32_t globalPeak) {
  RadialProfile profile{};
  uint32_t r0, g0, b0;
  pixels.ReadColour(x, y, &r0, &g0, &b0);
  const auto start = static_cast<int32_t>(Brightness(r0, g0, b0));
  const auto t = static_cast<int32_t>(globalPeak / kEdgeThresholdDivisor);
  int32_t history[kProfileMaximumSteps + 1];
  history[0] = start;

  for (int direction = 0; direction < kDirectionCount; ++direction) {
    const Direction step = kDirections[direction];
    const bool diagonal = IsDiagonal(direction);
    float radius = kNoRadius;
    bool edgeFound = false, leftImage = false, colourChanged = false;
    int32_t peak = start, minimum = start;
    for (int k = 1; k <= kProfileMaximumSteps; ++k) {
      const int32_t px = x + k * step.dx, py = y + k * step.dy;
      if (!pixels.Contains(px, py)) {
        leftImage = true;
        break;
      }
      uint32_t r, g, b;
      pixels.ReadColour(px, py, &r, &g, &b);
      const auto bk = static_cast<int32_t>(Brightness(r, g, b));
      colourChanged =
          colourChanged || ChannelChanged(r, r0) || ChannelChanged(g, g0) || ChannelChanged(b, b0);
      history[k] = bk;
      if (k >= 2 && std::min(bk, minimum) < peak - peak / static_cast<int32_t>(kFallOffDivisor)) {
        EdgeTest e = LevelsAt(history, k, t);
        if (diagonal) {
          e.d1 = e.d1 * kDiagonalDropScale / kDiagonalSpacingDivisors[e.spacing];
          e.d2 = e.d2 * kDiagonalDropScale / kDiagonalSpacingDivisors[e.spacing];
        }
        if (e.d1 > e.threshold && e.d1 - e.d2 > e.threshold) {
          const float fraction =
              e.level0 == e.level1
                  ? kHalfLevel
                  : (static_cast<float>(e.level0) -
                     (static_cast<float>(minimum) + static_cast<float>(peak)) * kHalfLevel) /
                        static_cast<float>(e.level0 - e.level1);
          float steps = static_cast<float>(k) - e.offset;
          float spacing = static_cast<float>(e.spacing);
          if (diagonal) {
            steps *= kSquareRootOfTwo;
            spacing *= kSquareRootOfTwo;
          }
          radius = steps + spacing * fraction;
          edgeFound = true;
          break;
        }
      }
      peak = std::max(peak, bk);
      minimum = std::min(minimum, bk);
    }
    if (!edgeFound && !leftImage && !colourChanged) {
      for (float& r : profile.radii) r = kNoRadius;
      profile.flatArea = true;
      return profile;
    }
    profile.radii[direction] = radius;
  }
  return profile;
}

RobustMeanResult RobustMean(float radii[kDirectionCount], float tolerance) {
  bool counted[kDirectionCount];
  float sum = 0.0f;
  int count = 0;
  for (int i = 0; i < kDirectionCount; ++i) {
    counted[i] = radii[i] >= 0.0f;
    if (counted[i]) {
      sum += radii[i];
      ++count;
    }
  }
  if (count == 0) return {kNoRadius, kNoRadius};
  const float m = sum / static_cast<float>(count);
  if (tolerance != 0.0f) {
    for (int i = 0; i < kDirectionCount; ++i) {
      if (counted[i] && std::abs(radii[i] - m) > tolerance) {
        radii[i] = m;
        counted[i] = false;
      }
    }
  }
  float kept = 0.0f, squares = 0.0f;
  int remaining = 0;
  for (int i = 0; i < kDirectionCount; ++i) {
    if (!counted[i]) continue;
    kept += radii[i];
    squares += (radii[i] - m) * (radii[i] - m);
    ++remaining;
  }
  if (remaining == 0) return {m, 0.0f};
  return {kept / static_cast<float>(remaining), std::sqrt(squares / static_cast<float>(remaining))};
}

bool CentreFromRadii(const float radii[kDirectionCount], int32_t x, int32_t y,
                     QuarterPixelPoint* centre) {
  const auto projected = [radii](int i) {
    return radii[i] < 0.0f ? kNoRadius : radii[i] / kSquareRootOfTwo;
  };
  const float east[] = {radii[0], projected(1), projected(7)};
  const float west[] = {projected(3), radii[4], projected(5)};
  const float south[] = {projected(1), radii[2], projected(3)};
  const float north[] = {projected(5), radii[6], projected(7)};
  const float e = MeanOf(east, 3), w = MeanOf(west, 3);
  const float s = MeanOf(south, 3), n = MeanOf(north, 3);
  bool complete = true;
  if (e >= 0.0f && w >= 0.0f) {
    SplitQuarters(x + static_cast<double>(e - w) + kCentreRounding, &centre->x, &centre->xFraction);
  } else {
    complete = false;
  }
  if (s >= 0.0f && n >= 0.0f) {
    SplitQuarters(y + static_cast<double>(s - n) + kCentreRounding, &centre->y, &centre->yFraction);
  } else {
    complete = false;
  }
  return complete;
}

}  // namespace lumeray
