// The spike rasteriser and the two builders, measured on the sub-shapes they produce.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <utility>
#include <vector>

#include "effects/effect_shape_parameters.h"
#include "effects/parameter_set.h"
#include "effects/renderer_tables.h"
#include "effects/row_indexed_phase.h"
#include "effects/soft_flare_builder.h"
#include "effects/spike.h"
#include "effects/spike_distance_tables.h"
#include "effects/spike_layouts.h"
#include "effects/spike_profile.h"
#include "effects/star_builder.h"
#include "effects/star_settings.h"

namespace lumeray {
namespace {

constexpr uint32_t kThreshold = 16384;

ParameterSetBuffer Factory() {
  ParameterSetBuffer p{};
  p.parameters = kFactoryParameters;
  return p;
}

std::vector<SubShapeEntry> Copy(const SubShape& subShape) {
  std::vector<SubShapeEntry> entries(subShape.entryCount);
  if (!entries.empty()) {
    std::memcpy(entries.data(), subShape.data(), entries.size() * sizeof(SubShapeEntry));
  }
  return entries;
}

// One sub-shape drawn by a rasteriser, released at the end.
class Raster {
 public:
  Raster(const ParameterSetBuffer& p, uint32_t diagonal, int xPhase = 0, int yPhase = 0)
      : settings_(MakeStarSettings(p, diagonal, kThreshold, false)),
        tables_(BuildSpikeDistanceTables(settings_)),
        rasterizer_(settings_, tables_, &subShape_, xPhase, yPhase) {}
  ~Raster() { DeallocateBuffer(&subShape_.entries); }

  void Clip(const ImageRect& shown) { rasterizer_.ClipWalkTo(shown); }
  bool Draw(int32_t angle, uint32_t amplitude) {
    return rasterizer_.Draw(angle, settings_.slope, tables_.primary, amplitude);
  }
  std::vector<SubShapeEntry> Entries() {
    rasterizer_.StoreBox();
    return Copy(subShape_);
  }
  const SubShape& subShape() const { return subShape_; }
  const StarSettings& settings() const { return settings_; }
  const FallOffTable& fallOff() const { return tables_.primary; }

 private:
  SubShape subShape_;
  StarSettings settings_;
  SpikeDistanceTables tables_;
  SpikeRasterizer rasterizer_;
};

TEST(SpikeRaster, OppositeSpikesNeverShareTheCentreRowOrColumn) {
  for (int phase : {0, 2, 3}) {
    Raster up(Factory(), 500, phase, phase), down(Factory(), 500, phase, phase);
    Raster right(Factory(), 500, phase, phase), left(Factory(), 500, phase, phase);
    const uint32_t a = up.settings().amplitude;
    ASSERT_TRUE(up.Draw(0, a) && down.Draw(1800, a) && right.Draw(900, a) && left.Draw(2700, a));
    for (const SubShapeEntry& e : up.Entries()) ASSERT_LE(e.dy, -1);
    for (const SubShapeEntry& e : down.Entries()) ASSERT_GE(e.dy, 0);
    for (const SubShapeEntry& e : right.Entries()) ASSERT_GE(e.dx, 0);
    for (const SubShapeEntry& e : left.Entries()) ASSERT_LE(e.dx, -1);
    EXPECT_FALSE(up.Entries().empty());
  }
}

TEST(SpikeRaster, TheSpikeRunsAlongItsAngleFromTheExactCentre) {
  for (int32_t angle : {150, 449, 451, 1234, 2999, -600}) {
    Raster r(Factory(), 2000, 1, 3);
    ASSERT_TRUE(r.Draw(angle, r.settings().amplitude));
    const std::vector<SubShapeEntry> entries = r.Entries();
    double sx = 0, sy = 0;
    for (const SubShapeEntry& e : entries) {
      const double x = e.dx - 0.25, y = e.dy - 0.75;
      if (std::hypot(x, y) < 20) continue;
      sx += double(e.value) * x;
      sy += double(e.value) * y;
    }
    double degrees = std::atan2(sx, -sy) * 180 / M_PI;
    if (degrees < 0) degrees += 360;
    const double expected = ((angle % 3600 + 3600) % 3600) / 10.0;
    EXPECT_NEAR(degrees, expected, 0.2) << angle;
  }
}

TEST(SpikeRaster, AVerticalSpikeBetweenTwoColumnsIsMirrorSymmetric) {
  Raster r(Factory(), 800, 2, 0);
  ASSERT_TRUE(r.Draw(1800, r.settings().amplitude));
  std::map<std::pair<int, int>, uint32_t> values;
  for (const SubShapeEntry& e : r.Entries()) values[{e.dx, e.dy}] = e.value;
  ASSERT_GT(values.size(), 20u);
  for (const auto& [at, value] : values) {
    const auto mirror = values.find({1 - at.first, at.second});
    ASSERT_NE(mirror, values.end()) << at.first << "," << at.second;
    EXPECT_EQ(mirror->second, value);
  }
}

TEST(SpikeRaster, EveryEntryReachesTheThresholdAndValuesFallAlongTheSpike) {
  Raster r(Factory(), 1000);
  ASSERT_TRUE(r.Draw(1800, r.settings().amplitude));
  std::map<int, uint32_t> rowPeak;
  for (const SubShapeEntry& e : r.Entries()) {
    ASSERT_GE(e.value, kThreshold);
    rowPeak[e.dy] = std::max(rowPeak[e.dy], e.value);
  }
  ASSERT_GT(rowPeak.size(), 100u);
  uint32_t previous = UINT32_MAX;
  for (const auto& [row, peak] : rowPeak) {
    if (row < 4) continue;
    EXPECT_LE(peak, previous) << row;
    previous = peak;
  }
  // The walk ended where the spike faded, not at the reach limit of 1000 pixels.
  EXPECT_LT(rowPeak.rbegin()->first, 900);
}

// An upright spike keeps exactly the pixels whose value, from the per-pixel arithmetic alone,
// reaches the threshold, row after row until a row has none or the reach ends: sharp and wide
// spikes (wider than a run of the scan), short and long, at two phases.
TEST(SpikeRaster, AnUprightSpikeKeepsEveryPixelThatReachesTheThreshold) {
  const struct {
    int16_t sharpness, length;
    int xPhase, yPhase;
  } cases[] = {{100, 30, 0, 0}, {50, 100, 3, 2}, {0, 100, 0, 0}, {0, 40, 1, 3}};
  for (const auto& c : cases) {
    ParameterSetBuffer p = Factory();
    p.parameters.SpikeSharpness = c.sharpness;
    p.parameters.Length = c.length;
    Raster r(p, 4000, c.xPhase, c.yPhase);
    const StarSettings& s = r.settings();
    ASSERT_TRUE(r.Draw(0, s.amplitude));
    std::map<std::pair<int, int>, uint32_t> drawn, expected;
    for (const SubShapeEntry& e : r.Entries()) drawn[{e.dx, e.dy}] = e.value;
    const FallOffTable& table = r.fallOff();
    const double edgeSlope = EdgeSlope(-1.0, s.slope);  // pointing up: the major component is -1
    for (int y = -1;; --y) {
      bool any = false;
      const int64_t dy = 4 * y - c.yPhase;
      if (-dy > SpikeReach(4000)) break;
      for (int x = -2000; x <= 2000; ++x) {
        const double profile = CrossProfile(c.xPhase - 1.0, c.xPhase + 1.0, 4.0 * x, edgeSlope);
        const int64_t dx = 4 * x - c.xPhase;
        const uint32_t d = DistanceIndex(static_cast<uint64_t>(dx * dx + dy * dy));
        if (!(profile > 0.0) || d >= table.factors.size()) continue;
        const uint32_t value =
            MultiplyFractions(FallOffAmplitude(s.amplitude, table.factors[d]), CrossValue(profile));
        if (value < kThreshold) continue;
        expected[{x, y}] = value;
        any = true;
      }
      if (!any) break;
    }
    ASSERT_GT(expected.size(), 100u);
    EXPECT_TRUE(drawn == expected) << c.sharpness << " " << c.length << ": " << drawn.size()
                                   << " drawn, " << expected.size() << " expected";
  }
}

TEST(SpikeRaster, NothingBelowTheThresholdOrWithoutLength) {
  ParameterSetBuffer p = Factory();
  Raster faint(p, 1000);
  EXPECT_TRUE(faint.Draw(0, kThreshold - 1));
  EXPECT_TRUE(faint.Entries().empty());
  p.parameters.Length = 0;
  Raster none(p, 1000);
  EXPECT_TRUE(none.Draw(0, 0xFFFFFFFE));
  EXPECT_TRUE(none.Entries().empty());
}

TEST(SpikeRaster, TheReachLimitStopsALongSpikeAtTheDiagonal) {
  ParameterSetBuffer p = Factory();
  p.parameters.Intensity = 100;
  p.parameters.Length = 100;
  p.parameters.SpikeSharpness = 0;
  Raster r(p, 40);
  ASSERT_TRUE(r.Draw(1300, 0xFFFFFFFE));
  int farthest = 0;
  for (const SubShapeEntry& e : r.Entries()) {
    ASSERT_LE(std::abs(e.dx), 40);
    ASSERT_LE(std::abs(e.dy), 40);
    farthest = std::max<int>(farthest, std::abs(e.dx));
  }
  EXPECT_GE(farthest, 39);
  EXPECT_EQ(SpikeReach(40), 160);
  EXPECT_EQ(SpikeReach(100000), kLargestReach);  // offsets must fit 16 bits
}

// A walk clipped to the offsets that can show keeps every entry of the full walk inside them, in
// the same order, whichever way the spike leaves them: along its major axis, drifting out across
// it (either side), or not at all.
TEST(SpikeRaster, AClippedWalkKeepsEveryEntryInsideTheShownOffsets) {
  const struct {
    int32_t angle;
    int32_t sharpness;  // 0: the widest cross profile
    ImageRect shown;
  } cases[] = {
      {0, 50, {-30, -25, 30, 25}},     {1300, 50, {-30, -25, 30, 25}},
      {1700, 0, {-12, -40, 60, 9}},    {2200, 0, {-60, -7, 5, 60}},
      {3600, 50, {-5, -3, 4, 80}},     {900, 0, {-200, -200, 200, 200}},
      {5000, 0, {3, 3, 50, 50}},       {2700, 0, {-80, -2, 80, 2}},
      {1300, 0, {-500, -20, 500, 20}}, {2300, 0, {-20, -500, 20, 500}},
      {2300, 0, {-500, -20, 500, 20}}, {1300, 50, {-500, -3, 500, 3}},
      {400, 0, {-500, -500, 10, 500}},
  };
  size_t allEntries = 0, keptEntries = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "angle " << c.angle);
    ParameterSetBuffer p = Factory();
    p.parameters.Length = 100;
    p.parameters.SpikeSharpness = static_cast<int16_t>(c.sharpness);
    Raster full(p, 600, 1, 2), clipped(p, 600, 1, 2);  // sharpness 0: a profile 20 pixels wide
    clipped.Clip(c.shown);
    ASSERT_TRUE(full.Draw(c.angle, 0xFFFFFFFE));
    ASSERT_TRUE(clipped.Draw(c.angle, 0xFFFFFFFE));
    const auto inside = [&](const std::vector<SubShapeEntry>& all) {
      std::vector<std::pair<int, int>> kept;
      for (const SubShapeEntry& e : all) {
        if (e.dx >= c.shown.left && e.dx < c.shown.right && e.dy >= c.shown.top &&
            e.dy < c.shown.bottom) {
          kept.emplace_back(e.dx * 1000 + e.dy, static_cast<int>(e.value >> 8));
        }
      }
      return kept;
    };
    const std::vector<SubShapeEntry> all = full.Entries(), some = clipped.Entries();
    ASSERT_FALSE(inside(all).empty());
    EXPECT_EQ(inside(some), inside(all));
    allEntries += all.size();
    keptEntries += some.size();
  }
  EXPECT_LT(keptEntries, allEntries / 2);  // the walks stop well before the spikes' ends
}

// An effect shape with a builder and parameters, released at the end.
class BuiltShape {
 public:
  BuiltShape(ShapeBuilder builder, const ParameterSetBuffer& p, uint32_t diagonal,
             bool sharedTables)
      : parameters_{p, {diagonal, kThreshold, false}, nullptr} {
    if (sharedTables) {
      tables_ = BuildSpikeDistanceTables(MakeStarSettings(p, diagonal, kThreshold, false));
      parameters_.distances = &tables_;
    }
    shape_.builder = builder;
    shape_.parameters = &parameters_;
  }
  ~BuiltShape() { ReleaseEffectShape(&shape_); }

  bool Build(int xPhase, int yPhase) { return shape_.builder(&shape_, xPhase, yPhase); }
  const SubShape& Sub(int xPhase, int yPhase) const {
    return shape_.subShapes[SubShapeIndex(xPhase, yPhase)];
  }
  std::vector<SubShapeEntry> Entries(int xPhase, int yPhase) const {
    return Copy(Sub(xPhase, yPhase));
  }

 private:
  EffectShapeParameters parameters_;
  SpikeDistanceTables tables_;
  EffectShape shape_;
};

// The phase's meaningful bytes: box, row starts, values and runs.
std::vector<uint8_t> PhaseBytes(const RowIndexedPhase& phase) {
  const size_t bytes = RowIndexedPhase::Bytes(phase.Rows(), phase.entryCount, phase.runCount);
  const auto* data = static_cast<const uint8_t*>(phase.storage.data);
  std::vector<uint8_t> out(data, data + (phase.entryCount == 0 ? 0 : bytes));
  for (int32_t v : {phase.left, phase.top, phase.right, phase.bottom}) out.push_back(v & 0xFF);
  return out;
}

// A phase drawn in two parts on two threads, wherever the rays split, is the phase of the star's
// sub-shape; each ray's entry count is reported and they add up to the phase's.
TEST(StarBuilder, APhaseBuiltInTwoPartsIsThePhaseOfTheSubShape) {
  ParameterSetBuffer p = Factory();
  p.parameters.EffectType = EffectCode("efT3");
  p.parameters.NumberOfPoints = 9;
  BuiltShape shape(&BuildStarSubShape, p, 900, true);
  const EffectShapeParameters parameters{p, {900, kThreshold, false}, nullptr};
  const SpikeDistanceTables tables =
      BuildSpikeDistanceTables(MakeStarSettings(p, 900, kThreshold, false));
  EffectShapeParameters withTables = parameters;
  withTables.distances = &tables;
  for (int index : {0, 9}) {
    ASSERT_TRUE(shape.Build(index / 4, index % 4));
    RowIndexedPhase expected;
    ASSERT_TRUE(MakeRowIndexedPhase(shape.Sub(index / 4, index % 4), &expected));
    const StarSettings settings = MakeStarSettings(p, 900, kThreshold, false);
    const size_t rays =
        LayOutPrimarySpikes(settings).size() + LayOutSecondarySpikes(settings).size();
    for (size_t split : {size_t{0}, size_t{1}, size_t{5}, size_t{9}, rays - 1, rays, SIZE_MAX}) {
      SCOPED_TRACE(::testing::Message() << "phase " << index << ", split at ray " << split);
      PackedSpikeEntries first, second;
      RowIndexedPhase phase;
      std::vector<uint32_t> counts;
      ASSERT_TRUE(BuildStarPhaseRowsInTwo(withTables, index / 4, index % 4,
                                          {split, &first, &second}, &phase, &counts));
      EXPECT_EQ(PhaseBytes(phase), PhaseBytes(expected));
      ASSERT_EQ(counts.size(), rays);
      uint64_t total = 0;
      for (uint32_t n : counts) total += n;
      EXPECT_EQ(total, phase.entryCount);
      ReleaseRowIndexedPhase(&phase);
      DeallocateBuffer(&first.entries);
      DeallocateBuffer(&second.entries);
    }
    ReleaseRowIndexedPhase(&expected);
  }
  // Without distance tables nothing is built.
  PackedSpikeEntries scratch;
  RowIndexedPhase phase;
  EXPECT_FALSE(BuildStarPhaseRowsInTwo(parameters, 0, 0, {1, &scratch, nullptr}, &phase));
}

// A phase built in place from a guess of its entries by row is the phase of the sub-shape,
// however the guess misses: another phase's counts, too few everywhere (the overflow exceeds the
// slots' room), one row short (its overflow joins the row in place), rows without slots.
TEST(StarBuilder, APhaseBuiltInPlaceFromAnyGuessIsThePhaseOfTheSubShape) {
  ParameterSetBuffer p = Factory();
  p.parameters.EffectType = EffectCode("efT3");
  p.parameters.NumberOfPoints = 9;
  BuiltShape shape(&BuildStarSubShape, p, 900, true);
  const SpikeDistanceTables tables =
      BuildSpikeDistanceTables(MakeStarSettings(p, 900, kThreshold, false));
  const EffectShapeParameters parameters{p, {900, kThreshold, false}, &tables};
  PackedSpikeEntries first, second;
  RowIndexedPhase phase;
  RowCountGuess learned;
  ASSERT_TRUE(BuildStarPhaseRowsInTwo(parameters, 2, 1,
                                      {0, &first, nullptr, true, nullptr, &learned}, &phase));
  ASSERT_GT(learned.splitRay, 0u);
  const auto busiest = [&] {
    const auto& c = learned.counts[0];
    return size_t(std::max_element(c.begin(), c.end()) - c.begin());
  }();
  const struct {
    const char* name;
    void (*change)(RowCountGuess*, size_t busiest);
  } cases[] = {
      {"another phase's", [](RowCountGuess*, size_t) {}},
      {"a third of each row",
       [](RowCountGuess* g, size_t) {
         for (auto& part : g->counts)
           for (uint32_t& n : part) n /= 3;
       }},
      {"the busiest row short",
       [](RowCountGuess* g, size_t row) {
         for (size_t r = row - 1; r <= row + 1; ++r) g->counts[0][r] -= 40;
       }},
      {"rows without slots", [](RowCountGuess* g, size_t) { g->top += 40; }},
  };
  for (const auto& c : cases) {
    RowCountGuess guess = learned;
    c.change(&guess, busiest);
    for (int index : {0, 9}) {
      SCOPED_TRACE(::testing::Message() << c.name << ", phase " << index);
      ASSERT_TRUE(shape.Build(index / 4, index % 4));
      RowIndexedPhase expected;
      ASSERT_TRUE(MakeRowIndexedPhase(shape.Sub(index / 4, index % 4), &expected));
      RowCountGuess counted;
      ASSERT_TRUE(BuildStarPhaseRowsInTwo(
          parameters, index / 4, index % 4,
          {guess.splitRay, &first, &second, false, &guess, &counted}, &phase));
      EXPECT_EQ(PhaseBytes(phase), PhaseBytes(expected));
      EXPECT_EQ(counted.top, phase.top);
      // The room counted is room enough: the same build from it overflows nowhere.
      ASSERT_TRUE(BuildStarPhaseRowsInTwo(
          parameters, index / 4, index % 4,
          {counted.splitRay, &first, &second, false, &counted, nullptr}, &phase));
      EXPECT_EQ(first.count + second.count, 0u);
      EXPECT_EQ(PhaseBytes(phase), PhaseBytes(expected));
      ReleaseRowIndexedPhase(&expected);
    }
  }
  ReleaseRowIndexedPhase(&phase);
  DeallocateBuffer(&first.entries);
  DeallocateBuffer(&second.entries);
}

TEST(StarBuilder, EmptyStarsAndFlaresAreBuiltWithAnEntryArrayAndNoParametersFail) {
  ParameterSetBuffer p = Factory();
  p.parameters.Length = 0;
  for (const ShapeBuilder builder : {&BuildStarSubShape, &BuildSoftFlareSubShape}) {
    BuiltShape empty(builder, p, 900, builder == &BuildStarSubShape);
    ASSERT_TRUE(empty.Build(3, 1));
    EXPECT_EQ(empty.Sub(3, 1).built, 1u);
    EXPECT_EQ(empty.Sub(3, 1).entryCount, 0u);
    EXPECT_NE(empty.Sub(3, 1).data(), nullptr);
  }

  EffectShape bare;
  EXPECT_FALSE(BuildStarSubShape(&bare, 0, 0));
  EXPECT_FALSE(BuildSoftFlareSubShape(&bare, 0, 0));
  EXPECT_EQ(bare.subShapes[0].built, 0u);
}

TEST(SoftFlareBuilder, AddsEveryPixelThatReachesTheThresholdExactlyOnceCentreFirst) {
  ParameterSetBuffer p = Factory();
  const uint32_t diagonal = 400;
  BuiltShape flare(&BuildSoftFlareSubShape, p, diagonal, false);
  for (int phase : {0, 5, 11, 15}) {
    const int xp = phase / 4, yp = phase % 4;
    ASSERT_TRUE(flare.Build(xp, yp));
    const auto entries = flare.Entries(xp, yp);
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(entries[0].dx, 0);
    EXPECT_EQ(entries[0].dy, 0);
    std::map<std::pair<int, int>, uint32_t> got;
    for (const SubShapeEntry& e : entries) {
      EXPECT_EQ(e.red, 0xFFFFFFFEu);
      EXPECT_TRUE(got.emplace(std::make_pair(e.dx, e.dy), e.value).second) << "twice";
    }
    std::map<std::pair<int, int>, uint32_t> expected;
    for (int y = -60; y <= 60; ++y) {
      for (int x = -60; x <= 60; ++x) {
        const int64_t dx = 4 * x - xp, dy = 4 * y - yp;
        const uint32_t h = DistanceIndex(static_cast<uint64_t>(dx * dx + dy * dy)) / 2;
        const uint32_t v = SoftFlareValue(h, diagonal, p.parameters.Length);
        if (v >= kThreshold) expected[{x, y}] = v;
      }
    }
    EXPECT_EQ(got, expected) << phase;
    EXPECT_LT(expected.size(), 121u * 121u);  // the disc fits the scanned square
  }
}

}  // namespace
}  // namespace lumeray
