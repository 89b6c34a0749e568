#include "analysis/light_source_measurement.h"

#include <algorithm>
#include <cmath>
#include <tuple>
#include <utility>

#include "analysis/directions.h"
#include "analysis/flood_fill.h"
#include "analysis/radial_profile.h"
#include "analysis/shape_operations.h"
#include "image/blend.h"
#include "image/pixel_tables.h"
#include "run/run_status.h"

namespace lumeray {
namespace {

constexpr int kCentreIterations = 12;
constexpr float kFirstTolerance = 1.2f;   // x deviation, while the centre moves
constexpr float kFinalTolerance = 0.75f;  // x deviation, for the final radii
constexpr int kQuartersPerPixel = 4;
constexpr int32_t kRoundUpFraction = 2;     // 2 or 3 quarters round a centre up
constexpr float kRefinementReserve = 8.0f;  // rounds beyond the radius; also the settling limit
// Contrast test: index spacing j = k / 10 + 2 below index 24, else k / 18 + 4; outer rings at
// k + j + 3 and k + j + 11.
constexpr int kSmallSpacingLimit = 24;
constexpr int kSmallSpacingDivisor = 10, kSmallSpacingBase = 2;
constexpr int kLargeSpacingDivisor = 18, kLargeSpacingBase = 4;
constexpr int kNearOuterOffset = 3, kFarOuterOffset = 11;
constexpr int64_t kInnerWeight = 11, kOuterWeight = 10;
constexpr int kTinyIndexLimit = 10;
// Candidates: brightness at 70 % of the peak.
constexpr uint64_t kCandidateNumerator = 7, kCandidateDenominator = 10;
constexpr int kDiscLevelShift = 8;

bool Cancelled(CancelTest cancelled) {
  return cancelled != nullptr && cancelled();
}

int32_t RoundedUp(int32_t whole, int32_t fraction) {
  return whole + (fraction >= kRoundUpFraction ? 1 : 0);
}

QuarterPixelPoint RoundedToPixel(const QuarterPixelPoint& c) {
  return {RoundedUp(c.x, c.xFraction), 0, RoundedUp(c.y, c.yFraction), 0};
}

bool InsideKnownSource(const AnalysisContext& context, const LightSourceTable& table, int32_t x,
                       int32_t y) {
  const QuarterPixelPoint source = ToSourcePosition(context, {x, 0, y, 0});
  const LightSourceEntry* entries = table.data();
  // The table is in row order; no entry further away in rows than the largest radius can hold
  // the point.
  const int32_t reach = static_cast<int32_t>(table.largestRadius) + 1;
  for (uint32_t i = FirstEntryFromRow(entries, table.count, source.y - reach);
       i < table.count && entries[i].y <= source.y + reach; ++i) {
    const double dx = static_cast<double>(entries[i].x) - source.x;
    const double dy = static_cast<double>(entries[i].y) - source.y;
    if (dx * dx + dy * dy <= entries[i].squaredRadius) return true;
  }
  return false;
}

// The profile at (x, y) with its robust means applied; false when the candidate sits in a
// flat area (flooded out here; *error set when the fill could not grow its stack).
bool ProfileAt(const AnalysisContext& context, int32_t x, int32_t y, RadialProfile* profile,
               float radii[kDirectionCount], int* error) {
  *profile = MeasureRadialProfile(context.pixels, x, y, context.globalPeak);
  if (profile->flatArea) {
    *error = FloodFillFlatArea(context.pixels, x, y, context.floodFillMutex, context.cancelled);
    return false;
  }
  std::copy(profile->radii, profile->radii + kDirectionCount, radii);
  const RobustMeanResult first = RobustMean(radii, 0.0f);
  RobustMean(radii, kFirstTolerance * first.deviation);
  return true;
}

// A measuring shape that cannot be built (lack of memory, after the low-memory warning) fails
// the test like any other failed measurement.
bool PassesContrastTest(const AnalysisContext& context, const MeasuringShapes& shapes,
                        const QuarterPixelPoint& centre, float radius) {
  if (!context.pixels.Contains(centre.x, centre.y)) return false;
  const auto k = static_cast<int>(std::lround(radius * kQuartersPerPixel));
  const int j = k < kSmallSpacingLimit ? k / kSmallSpacingDivisor + kSmallSpacingBase
                                       : k / kLargeSpacingDivisor + kLargeSpacingBase;
  if (k < j) return true;
  const int indices[] = {k - j, k + j + kNearOuterOffset, k + j + kFarOuterOffset};
  int64_t means[3];
  for (int i = 0; i < 3; ++i) {
    if (indices[i] >= kMeasuringShapeCount) return false;
    uint32_t mean = 0;
    float deviation = 0.0f;
    if (MeasureShape(context.pixels, &shapes.rings[indices[i]], centre, &mean, &deviation) !=
        ShapeMeasure::kMeasured) {
      return false;
    }
    means[i] = mean;
  }
  const int64_t peak = context.globalPeak;
  const int64_t inner = means[0], outer = std::min(means[1], means[2]);
  if (kInnerWeight * (peak - inner) < kOuterWeight * (peak - outer)) return true;
  return k < kTinyIndexLimit && (inner - outer) * (kTinyIndexLimit - k) > peak;
}

uint32_t ScaledChannel(uint32_t channel, uint32_t largest, uint32_t intensity) {
  const uint32_t normal = largest == 0 ? kFractionUnit
                                       : static_cast<uint32_t>(std::min<uint64_t>(
                                             (uint64_t{channel} << 32) / largest, kFractionUnit));
  return FractionProduct(normal, intensity);
}

}  // namespace

bool AnalysisContext::Stopped() const {
  return Cancelled(cancelled) || status->Result() != 0;
}

QuarterPixelPoint ToSourcePosition(const AnalysisContext& context, const QuarterPixelPoint& p) {
  if (context.scale == 1.0) return p;
  const ImageRect& a = context.pixels.rect();
  const ImageRect& s = context.sourceRect;
  const auto map = [](int32_t whole, int32_t fraction, int32_t analysisOrigin, int32_t analysisEnd,
                      int32_t sourceOrigin, int32_t sourceEnd) {
    const int64_t size = int64_t{analysisEnd} - analysisOrigin;
    const double position =
        ReducedPosition(static_cast<double>(int64_t{whole} - analysisOrigin) + fraction / 4.0, size,
                        sourceOrigin, sourceEnd);
    const int64_t quarters = std::llround(position * kQuartersPerPixel);
    return std::pair{static_cast<int32_t>(quarters >> 2), static_cast<int32_t>(quarters & 3)};
  };
  QuarterPixelPoint q{};
  std::tie(q.x, q.xFraction) = map(p.x, p.xFraction, a.left, a.right, s.left, s.right);
  std::tie(q.y, q.yFraction) = map(p.y, p.yFraction, a.top, a.bottom, s.top, s.bottom);
  return q;
}

int32_t ToSourceRow(const AnalysisContext& context, int32_t row) {
  if (context.scale == 1.0) return row;
  const ImageRect& a = context.pixels.rect();
  const ImageRect& s = context.sourceRect;
  const int64_t sourceHeight = int64_t{s.bottom} - s.top, height = int64_t{a.bottom} - a.top;
  return static_cast<int32_t>(s.top + (int64_t{row} - a.top) * sourceHeight / height);
}

bool IsCandidate(const AnalysisPixels& pixels, int32_t x, int32_t y, uint32_t globalPeak) {
  uint32_t r, g, b;
  pixels.ReadColour(x, y, &r, &g, &b);
  const bool bright = uint64_t{Brightness(r, g, b)} * kCandidateDenominator >=
                      uint64_t{globalPeak} * kCandidateNumerator;
  if (!bright && r < globalPeak && g < globalPeak && b < globalPeak) return false;
  return pixels.MaskAt(x, y) >= kSelectedMask && pixels.AlphaAt(x, y) != 0;
}

namespace {

// Steps 1, 2: a local maximum outside the known sources.
bool IsNewLocalMaximum(const AnalysisContext& context, const LightSourceTable& table, int32_t x,
                       int32_t y) {
  const AnalysisPixels& pixels = context.pixels;
  const uint32_t level = pixels.BrightnessAt(x, y);
  for (const Direction& d : kDirections) {
    const int32_t nx = x + d.dx, ny = y + d.dy;
    if (pixels.Contains(nx, ny) && pixels.BrightnessAt(nx, ny) > level) return false;
  }
  return !InsideKnownSource(context, table, x, y);
}

// Steps 3, 4: the profile, and the centre it points to, until the pixel stays. False when the
// candidate is given up; `*error` then holds the result of a flood fill, else 0.
bool FollowProfileToCentre(const AnalysisContext& context, int32_t* x, int32_t* y,
                           RadialProfile* profile, float radii[kDirectionCount], int* error) {
  const AnalysisPixels& pixels = context.pixels;
  if (!ProfileAt(context, *x, *y, profile, radii, error)) return false;
  for (int round = 0; round < kCentreIterations; ++round) {
    QuarterPixelPoint centre{};
    if (!CentreFromRadii(radii, *x, *y, &centre)) return false;
    int32_t nx = *x, ny = *y;
    if (pixels.Contains(centre.x, centre.y)) {
      const QuarterPixelPoint rounded = RoundedToPixel(centre);
      if (pixels.Contains(rounded.x, rounded.y)) {
        nx = rounded.x;
        ny = rounded.y;
      }
    }
    if (nx == *x && ny == *y) break;
    *x = nx;
    *y = ny;
    if (!ProfileAt(context, *x, *y, profile, radii, error)) return false;
  }
  return true;
}

// Steps 5-7: the final radii and the radius, or false.
bool FinalRadius(const AnalysisContext& context, const LightSourceTable& table, int32_t x,
                 int32_t y, const RadialProfile& profile, float radii[kDirectionCount],
                 float* radius) {
  if (InsideKnownSource(context, table, x, y)) return false;
  std::copy(profile.radii, profile.radii + kDirectionCount, radii);
  const RobustMeanResult spread = RobustMean(radii, 0.0f);
  if (spread.deviation == kNoRadius) return false;
  RobustMean(radii, kFinalTolerance * spread.deviation);
  float sum = 0.0f;
  int positive = 0;
  for (int i = 0; i < kDirectionCount; ++i) {
    if (radii[i] > 0.0f) {
      sum += radii[i];
      ++positive;
    }
  }
  if (positive == 0) return false;
  *radius = sum / static_cast<float>(positive);
  return *radius > 0.0f && *radius <= kLargestLightSourceRadius;
}

// Step 10: refinement until it settles. Quarter-pixel centre steps can leave the two refinements
// taking turns between neighbouring estimates for ever; coming back to an estimate already seen
// is as settled as standing still. False when the candidate is given up.
bool RefineUntilSettled(const AnalysisPixels& pixels, const MeasuringShapes& shapes,
                        QuarterPixelPoint* centre, float* radius) {
  int error = 0;
  const auto rounds = static_cast<int>(*radius + kRefinementReserve);
  bool settled = false;
  // At most trunc(96 + 8) rounds.
  std::pair<QuarterPixelPoint, float>
      seen[static_cast<int>(kLargestLightSourceRadius + kRefinementReserve)];
  int seenCount = 0;
  for (int round = 0; round < rounds; ++round) {
    const bool grew = RefineRadius(pixels, shapes, *centre, radius, &error);
    const bool moved = error == 0 && RefineCentre(pixels, shapes, centre, *radius, &error);
    if (error != 0) return false;  // a shape could not be built: this candidate only
    const auto same = [&](const std::pair<QuarterPixelPoint, float>& s) {
      return s.second == *radius && s.first.x == centre->x && s.first.y == centre->y &&
             s.first.xFraction == centre->xFraction && s.first.yFraction == centre->yFraction;
    };
    if ((!grew && !moved) || std::any_of(seen, seen + seenCount, same)) {
      settled = true;
      break;
    }
    seen[seenCount++] = {*centre, *radius};
  }
  if (!settled && *radius > kRefinementReserve) return false;
  RefineCentreByCentroid(pixels, shapes, centre, *radius, &error);
  return error == 0;
}

// Steps 11-14: colour and intensity, or false.
bool MeasureColourAndIntensity(const AnalysisPixels& pixels, const MeasuringShapes& shapes,
                               const QuarterPixelPoint& centre, float radius, WorkingPixel* colour,
                               uint32_t* intensity) {
  const auto k = static_cast<int>(std::lround(radius * kQuartersPerPixel));
  *colour = {kFullIntensity, kFullIntensity, kFullIntensity, 0, 0};
  uint32_t discLevel = kFullIntensity;
  if (k < kMeasuringShapeCount) {
    if (!SampleShapeFrom(pixels, &shapes.rings[k], centre, colour)) return false;
    uint32_t mean = 0;
    float deviation = 0.0f;
    const ShapeMeasure measured = MeasureShape(pixels, &shapes.disks[k], centre, &mean, &deviation);
    if (measured == ShapeMeasure::kOutOfMemory) return false;
    if (measured == ShapeMeasure::kMeasured) {
      const auto m = static_cast<float>(mean);
      discLevel = 2.0f * deviation <= m
                      ? static_cast<uint32_t>(m - 2.0f * deviation) << kDiscLevelShift
                      : 0;
    }
  }
  const uint32_t q = FractionProduct(discLevel, discLevel);
  const float p = std::sqrt(radius / kLargestLightSourceRadius);
  if (p < 1.0f) {
    const uint32_t pf = RoundToNearestEven(static_cast<double>(p) * kFractionUnit);
    const uint32_t t = FractionProduct(pf, q);
    *intensity = FractionProduct(t, t);
  } else {
    *intensity = FractionProduct(q, q);
  }
  return true;
}

// Steps 15-17: a selected centre, in source coordinates, into the table.
void AddWhenSelected(const AnalysisContext& context, LightSourceTable* table,
                     const QuarterPixelPoint& centre, float radius, const WorkingPixel& colour,
                     uint32_t intensity) {
  const AnalysisPixels& pixels = context.pixels;
  if (!pixels.Contains(centre.x, centre.y) || pixels.MaskAt(centre.x, centre.y) < kSelectedMask ||
      pixels.AlphaAt(centre.x, centre.y) == 0) {
    return;
  }
  const uint32_t largest = std::max({colour.red, colour.green, colour.blue});
  const QuarterPixelPoint position = ToSourcePosition(context, centre);
  const float sourceRadius = radius * static_cast<float>(context.scale);
  // A table that cannot grow leaves this light source out (the allocator reported it).
  AddToLocalTable(table, position, sourceRadius, sourceRadius * sourceRadius,
                  ScaledChannel(colour.red, largest, intensity),
                  ScaledChannel(colour.green, largest, intensity),
                  ScaledChannel(colour.blue, largest, intensity));
}

}  // namespace

int MeasureLightSource(const AnalysisContext& context, const MeasuringShapes& shapes,
                       LightSourceTable* table, int32_t x, int32_t y) {
  if (!IsNewLocalMaximum(context, *table, x, y)) return 0;
  RadialProfile profile;
  float radii[kDirectionCount];
  int error = 0;
  if (!FollowProfileToCentre(context, &x, &y, &profile, radii, &error)) return error;
  float radius = 0.0f;
  if (!FinalRadius(context, *table, x, y, profile, radii, &radius)) return 0;

  // Steps 8, 9: the sub-pixel centre must stand out from its surroundings.
  QuarterPixelPoint centre{};
  if (!CentreFromRadii(radii, x, y, &centre)) return 0;
  if (!PassesContrastTest(context, shapes, centre, radius)) return 0;
  centre = RoundedToPixel(centre);

  if (!RefineUntilSettled(context.pixels, shapes, &centre, &radius)) return 0;
  WorkingPixel colour{};
  uint32_t intensity = 0;
  if (!MeasureColourAndIntensity(context.pixels, shapes, centre, radius, &colour, &intensity)) {
    return 0;
  }
  AddWhenSelected(context, table, centre, radius, colour, intensity);
  return 0;
}

}  // namespace lumeray
