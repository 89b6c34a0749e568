#include "effects/spike.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "effects/renderer_tables.h"
#include "effects/spike_profile.h"

namespace lumeray {
namespace {

constexpr int64_t kQuarter = 4;  // quarter pixels per pixel

int64_t FloorDivide(double value, int64_t divisor) {
  return static_cast<int64_t>(std::floor(value / static_cast<double>(divisor)));
}

}  // namespace

int64_t SpikeReach(uint32_t diagonal) {
  return std::min<int64_t>(kQuarter * int64_t{diagonal}, kLargestReach);
}

SpikeRasterizer::SpikeRasterizer(const StarSettings& settings, const SpikeDistanceTables& tables,
                                 SubShape* subShape, int xPhase, int yPhase)
    : settings_(settings),
      tables_(tables),
      subShape_(subShape),
      xPhase_(xPhase),
      yPhase_(yPhase),
      reach_(SpikeReach(settings.diagonal)) {}

SpikeRasterizer::SpikeRasterizer(const StarSettings& settings, const SpikeDistanceTables& tables,
                                 PhaseRowPart* part, int xPhase, int yPhase)
    : SpikeRasterizer(settings, tables, static_cast<SubShape*>(nullptr), xPhase, yPhase) {
  part_ = part;
}

void SpikeRasterizer::Box(int32_t* left, int32_t* top, int32_t* right, int32_t* bottom) const {
  *left = hasBox_ ? left_ : 0;
  *top = hasBox_ ? top_ : 0;
  *right = hasBox_ ? right_ : 0;
  *bottom = hasBox_ ? bottom_ : 0;
}

bool SpikeRasterizer::AddEntry(int32_t dx, int32_t dy, uint32_t distanceIndex, uint32_t value) {
  const FractionColor color =
      distanceIndex < tables_.rainbow.size()
          ? tables_.rainbow[distanceIndex]
          : RainbowColor(distanceIndex, settings_.diagonal, settings_.rainbowIntensity,
                         settings_.rainbowFrequency, settings_.grayHost);
  const SubShapeEntry entry{static_cast<int16_t>(dx),
                            static_cast<int16_t>(dy),
                            color.red,
                            color.green,
                            color.blue,
                            value};
  return AddSubShapeEntry(subShape_, entry, kSpikeEntryGrowth);
}

void SpikeRasterizer::ExtendBox(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  if (!hasBox_) {
    left_ = left;
    top_ = top;
    right_ = right;
    bottom_ = bottom;
    hasBox_ = true;
    return;
  }
  left_ = std::min(left_, left);
  top_ = std::min(top_, top);
  right_ = std::max(right_, right);
  bottom_ = std::max(bottom_, bottom);
}

void SpikeRasterizer::StoreBox() const {
  if (!hasBox_ || subShape_ == nullptr) return;
  subShape_->left = left_;
  subShape_->top = top_;
  subShape_->right = right_;
  subShape_->bottom = bottom_;
}

bool SpikeRasterizer::Draw(int32_t angle, double slope, const FallOffTable& fallOff,
                           uint32_t amplitude) {
  const uint32_t threshold = settings_.presenceThreshold;
  if (fallOff.length < 1 || amplitude < threshold) return true;

  const int32_t t = ReduceAngle(angle);
  const double sine = SineTable()[t];
  const double negCosine = -static_cast<double>(SineTable()[ReduceAngle(t + kQuarterTurn)]);
  const bool majorIsY = std::fabs(sine) < std::fabs(negCosine);
  const double major = majorIsY ? negCosine : sine;
  const double minor = majorIsY ? sine : negCosine;
  const int64_t centreMajor = majorIsY ? yPhase_ : xPhase_;
  const int64_t centreMinor = majorIsY ? xPhase_ : yPhase_;

  const int64_t step = major > 0.0 ? 1 : -1;
  const double ratio = minor / major;
  const double halfWidth = 1.0 / std::fabs(major);
  const double edgeSlope = EdgeSlope(major, slope);
  const double* factors = fallOff.factors.data();
  const size_t factorCount = fallOff.factors.size();
  const CrossValueTable& cross = CrossValues();

  // The most a pixel of a row can get from the fall-off: no pixel of the row is nearer the
  // centre than its distance along the major axis.
  const auto rowAmplitude = [&](int64_t dMajor) -> uint32_t {
    const uint32_t d = DistanceIndex(static_cast<uint64_t>(dMajor * dMajor));
    if (d >= factorCount) return 0;
    if (fallOff.farthestMost.empty()) return amplitude;
    return FallOffAmplitude(amplitude, fallOff.farthestMost[d / kFallOffBlock]);
  };

  // A row is scanned across from the pixel containing the line, first towards negative, then
  // from the next one towards positive. A direction's scan ends at the reach limit, where the
  // profile drops to zero, or where no pixel farther out can reach the threshold: the profile
  // there is at most the side that falls in this direction, and the fall-off at most the row's.
  // None of this needs a pixel's distance, so the scan first finds a run of pixels (at most
  // kRun), then takes their distance indices together, then keeps their entries in order.
  constexpr int kRun = 128;
  std::array<double, kRun> profiles;
  std::array<uint32_t, kRun> indices;
  bool reached = false;  // whether the row has an entry, from across rowFirst to rowLast
  int32_t rowFirst = 0, rowLast = 0;
  // Scans one direction from `from`; false when an entry could not be added.
  const auto scan = [&](int64_t from, int64_t direction, int64_t along, int64_t dMajor, double low,
                        double high, uint32_t rowMost) {
    for (int64_t across = from;;) {
      int count = 0;
      for (; count < kRun; ++count, across += direction) {
        const int64_t x = kQuarter * across;
        if (std::llabs(x - centreMinor) > reach_) break;
        const CrossSides sides = CrossProfileSides(low, high, static_cast<double>(x), edgeSlope);
        const double profile = std::min(sides.low, sides.high);
        if (!(profile > 0.0)) break;
        const double falling = direction < 0 ? sides.low : sides.high;
        if (MultiplyFractions(rowMost, cross.Bound(falling)) < threshold) break;
        profiles[count] = profile;
      }
      const int64_t first = across - direction * count;
      RunDistanceIndices(kQuarter * first - centreMinor, kQuarter * direction, dMajor * dMajor,
                         count, indices.data());
      for (int i = 0; i < count; ++i) {
        const uint32_t d = indices[i];
        if (d >= factorCount) continue;  // the whole family is below the threshold out here
        const uint32_t pixelAmplitude = FallOffAmplitude(amplitude, factors[d]);
        if (pixelAmplitude < threshold) continue;  // no cross value can lift it to the threshold
        const double profile = profiles[i];
        if (MultiplyFractions(pixelAmplitude, cross.Bound(profile)) < threshold) continue;
        const uint32_t value = MultiplyFractions(pixelAmplitude, cross.Value(profile));
        if (value < threshold) continue;
        const auto a = static_cast<int32_t>(first + direction * i);
        const auto b = static_cast<int32_t>(along);
        const int32_t dx = majorIsY ? a : b;
        const int32_t dy = majorIsY ? b : a;
        if (!(part_ != nullptr ? part_->Add(dx, dy, value) : AddEntry(dx, dy, d, value))) {
          return false;
        }
        if (!reached) {
          reached = true;
          rowFirst = rowLast = a;
        } else {
          rowFirst = std::min(rowFirst, a);
          rowLast = std::max(rowLast, a);
        }
      }
      if (count < kRun) return true;
    }
  };

  // The shown offsets along both axes, and how far across the line a pixel can get a profile
  // above zero (a side is positive only within 2 / edgeSlope quarter pixels past its edge; none
  // of the limit when the profile never falls).
  const int64_t majorLow = majorIsY ? shown_.top : shown_.left;
  const int64_t majorHigh = majorIsY ? shown_.bottom : shown_.right;  // exclusive
  const int64_t minorLow = majorIsY ? shown_.left : shown_.top;
  const int64_t minorHigh = majorIsY ? shown_.right : shown_.bottom;  // exclusive
  const bool clipAcross = clipped_ && edgeSlope > 0.0;
  const double profileReach = clipAcross ? 2.0 / edgeSlope : 0.0;
  // The line moves across by this much (quarter pixels) from one row to the next.
  const double drift = kQuarter * static_cast<double>(step) * ratio;

  for (int64_t along = step > 0 ? 0 : -1;; along += step) {
    const int64_t dMajor = kQuarter * along - centreMajor;
    if (std::llabs(dMajor) > reach_) break;
    // Past the shown rows in the walk's direction nothing more can show.
    if (clipped_ && (step > 0 ? along >= majorHigh : along < majorLow)) break;
    const double line = static_cast<double>(centreMinor) + static_cast<double>(dMajor) * ratio;
    const double low = line - halfWidth;
    const double high = line + halfWidth;
    if (clipAcross) {
      // The pixels of this row the profile reaches (a pixel's margin for rounding); once they lie
      // wholly outside the shown columns on the side the line drifts to, so do every later row's.
      const double first = std::floor((low - profileReach) / kQuarter) - 2.0;
      const double last = std::ceil((high + profileReach) / kQuarter) + 2.0;
      const bool beyondHigh = first >= static_cast<double>(minorHigh);
      const bool beyondLow = last < static_cast<double>(minorLow);
      if ((beyondHigh && drift >= 0.0) || (beyondLow && drift <= 0.0)) break;
    }
    const int64_t start = FloorDivide(line, kQuarter);
    const uint32_t rowMost = rowAmplitude(dMajor);
    reached = false;
    const bool added = scan(start, -1, along, dMajor, low, high, rowMost) &&
                       scan(start + 1, 1, along, dMajor, low, high, rowMost);
    // The box holds every entry added, also those of a row cut short by a failure.
    if (reached) {
      const auto b = static_cast<int32_t>(along);
      if (majorIsY) {
        ExtendBox(rowFirst, b, rowLast + 1, b + 1);
      } else {
        ExtendBox(b, rowFirst, b + 1, rowLast + 1);
      }
    }
    if (!added) return false;
    if (!reached) break;
  }
  return true;
}

}  // namespace lumeray
