// A row-indexed phase keeps each row's columns as runs: whatever its entries' columns, it stamps
// as its entries do one at a time, and dropping entries gives the phase of the entries left.
#include <gtest/gtest.h>

#include <cstring>
#include <utility>
#include <vector>

#include "effects/phase_row_slots.h"
#include "effects/row_indexed_phase.h"
#include "effects/spike.h"
#include "image/gamma_tables.h"
#include "image/image_modes.h"
#include "image/pixel_tables.h"
#include "unit/effects/shape_test_support.h"

namespace lumeray {
namespace {

using testing::Grey;
using testing::TestImage;

// Rows of entries in drawing order: each row's columns, valued by their place in the row.
struct Pattern {
  const char* name;
  std::vector<std::vector<int32_t>> rows;
};

// A row's columns: each span's from .. to, either way, one span after the other.
std::vector<int32_t> Row(std::initializer_list<std::pair<int32_t, int32_t>> spans) {
  std::vector<int32_t> columns;
  for (const auto& [from, to] : spans) {
    for (int32_t c = from;; c += from < to ? 1 : -1) {
      columns.push_back(c);
      if (c == to) break;
    }
  }
  return columns;
}

std::vector<PackedSpikeEntry> Entries(const Pattern& pattern, ImageRect* box) {
  std::vector<PackedSpikeEntry> entries;
  *box = {INT32_MAX, 0, INT32_MIN, static_cast<int32_t>(pattern.rows.size())};
  for (size_t row = 0; row < pattern.rows.size(); ++row) {
    for (size_t i = 0; i < pattern.rows[row].size(); ++i) {
      const int32_t column = pattern.rows[row][i];
      // Values from faint to full, so that a faint stamp skips some of every run.
      const auto value = static_cast<uint32_t>(0xFFFFFFFEull * (i % 7 + 1) / 7);
      entries.push_back({static_cast<int16_t>(column), static_cast<int16_t>(row), value});
      box->left = std::min(box->left, column);
      box->right = std::max(box->right, column + 1);
    }
  }
  return entries;
}

std::vector<uint8_t> PhaseBytes(const RowIndexedPhase& p) {
  const auto* data = static_cast<const uint8_t*>(p.storage.data);
  return std::vector<uint8_t>(data,
                              data + RowIndexedPhase::Bytes(p.Rows(), p.entryCount, p.runCount));
}

const Pattern kPatterns[] = {
    {"runs rightwards and leftwards", {Row({{-6, 6}}), Row({{9, -9}}), Row({{0, 0}})}},
    {"runs that turn, repeat a column or jump",
     {Row({{2, 5}, {4, 1}, {1, 1}, {1, 1}, {7, 7}, {3, 4}, {12, 11}}), Row({{-3, 3}, {3, -3}}),
      // Without its 4th and 5th entries, a stretch that turns at its first entry.
      Row({{20, 20}, {30, 30}, {5, 5}, {50, 50}, {60, 60}, {4, 6}})}},
    {"a row longer than a run can be", {Row({{-32768, 32767}}), Row({{30000, -30000}})}},
};

class PhaseRuns : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(InitializeFixedTables(), 0); }
  void TearDown() override { ReleaseGammaTables(); }
};

TEST_F(PhaseRuns, APhaseStampsAsItsEntriesOneAtATime) {
  const ImageRect image{0, 0, 80, 4};
  const struct {
    const char* name;
    ImageRect box;
    uint32_t alpha;
  } stamps[] = {{"whole image, bright", image, 0xFFFFFFFE},
                {"cut on both sides, faint", {23, 0, 57, 4}, 0x01000000}};
  StampColours colours;
  colours.single = {0xFFFFFFFE, 0xC0000000, 0x40000000};
  for (const Pattern& pattern : kPatterns) {
    ImageRect box;
    const std::vector<PackedSpikeEntry> entries = Entries(pattern, &box);
    RowIndexedPhase phase;
    ASSERT_TRUE(MakeRowIndexedPhase(entries.data(), uint32_t(entries.size()), box, &phase));
    for (const auto& stamp : stamps) {
      SCOPED_TRACE(::testing::Message() << pattern.name << ", " << stamp.name);
      const QuarterPixelPoint centre{40, 1, 0, 3};
      // White (on the 24-bit scale); the faint stamp's weakest entries fall below the level.
      const WorkingPixel colour{0xFFFFFF, 0xFFFFFF, 0xFFFFFF, stamp.alpha, 0xFFFFFFFE};
      const uint32_t level = 0x4000;
      TestImage whole(kImageModeWorkingRgb, image, false),
          single(kImageModeWorkingRgb, image, false);
      whole.Fill(Grey(0x200000));  // an eighth of white
      single.Fill(Grey(0x200000));
      StampRowIndexedPhase(whole.get(), phase, colours, centre, stamp.box, colour, level);
      for (const PackedSpikeEntry& e : entries) {
        RowIndexedPhase one;
        ASSERT_TRUE(MakeRowIndexedPhase(&e, 1, {e.dx, e.dy, e.dx + 1, e.dy + 1}, &one));
        StampRowIndexedPhase(single.get(), one, colours, centre, stamp.box, colour, level);
        ReleaseRowIndexedPhase(&one);
      }
      int drawn = 0;
      for (int32_t y = image.top; y < image.bottom; ++y) {
        for (int32_t x = image.left; x < image.right; ++x) {
          const WorkingPixel a = whole.Get(x, y), b = single.Get(x, y);
          ASSERT_EQ(std::memcmp(&a, &b, sizeof(a)), 0) << x << "," << y;
          drawn += a.red != 0x200000;
        }
      }
      EXPECT_GT(drawn, 0);
    }
    ReleaseRowIndexedPhase(&phase);
  }
}

// Keeps three entries of every five of a row (in their order), or every entry of an odd column;
// with `fromRow`, only in rows from it on, and it says so.
class ThreeOfFiveOrOdd final : public PhaseEntryFilter {
 public:
  explicit ThreeOfFiveOrOdd(bool odd, int32_t fromRow = INT32_MIN) : odd_(odd), fromRow_(fromRow) {}
  void MarkRow(int32_t dy, std::span<const PhaseRun> runs, const uint32_t*,
               uint8_t* keep) override {
    if (dy < fromRow_) return;
    ForEachRunEntry(runs,
                    [&](uint32_t i, int32_t dx) { keep[i] = odd_ ? (dx & 1) != 0 : i % 5 < 3; });
  }
  bool RowsKept(int32_t* top, int32_t* bottom) const override {
    *top = fromRow_;
    *bottom = INT16_MAX;
    return fromRow_ != INT32_MIN;
  }

 private:
  bool odd_;
  int32_t fromRow_;
};

TEST_F(PhaseRuns, DroppingEntriesGivesThePhaseOfTheEntriesLeft) {
  for (const Pattern& pattern : kPatterns) {
    for (const bool odd : {false, true}) {
      SCOPED_TRACE(::testing::Message()
                   << pattern.name << (odd ? ", odd columns" : ", three of five"));
      ImageRect box;
      std::vector<PackedSpikeEntry> entries = Entries(pattern, &box), left;
      int32_t row = -1;
      int n = 0;
      for (const PackedSpikeEntry& e : entries) {
        if (e.dy != row) row = e.dy, n = 0;
        if (odd ? (e.dx & 1) != 0 : n++ % 5 < 3) left.push_back(e);
      }
      RowIndexedPhase phase, expected;
      ASSERT_TRUE(MakeRowIndexedPhase(entries.data(), uint32_t(entries.size()), box, &phase));
      ASSERT_TRUE(MakeRowIndexedPhase(left.data(), uint32_t(left.size()), box, &expected));
      ThreeOfFiveOrOdd filter(odd);
      ASSERT_TRUE(KeepPhaseEntries(filter, &phase));
      EXPECT_EQ(phase.entryCount, left.size());
      EXPECT_EQ(PhaseBytes(phase), PhaseBytes(expected));
      ReleaseRowIndexedPhase(&phase);
      ReleaseRowIndexedPhase(&expected);
    }
  }
}

// A build writes its entries into row slots as values and runs: whatever room the guess gives
// (none, the room a build counted, too little for some or every row) and wherever the entries
// split between the two parts (mid-run, so that a part's first entries join the run before),
// the phase is the one made from its entries, and with a filter the one made from those it
// keeps.
TEST_F(PhaseRuns, ABuildInRowSlotsIsThePhaseOfItsEntries) {
  for (const Pattern& pattern : kPatterns) {
    ImageRect box;
    const std::vector<PackedSpikeEntry> entries = Entries(pattern, &box);
    RowIndexedPhase expected, expectedKept;
    ThreeOfFiveOrOdd threeOfFive(false, 1);  // its first row's entries dropped as they come
    ASSERT_TRUE(MakeRowIndexedPhase(entries.data(), uint32_t(entries.size()), box, &expected));
    ASSERT_TRUE(MakeRowIndexedPhase(entries.data(), uint32_t(entries.size()), box, &expectedKept));
    ASSERT_TRUE(KeepPhaseEntries(threeOfFive, &expectedKept));
    for (const size_t split : {size_t{0}, size_t{3}, size_t{9}, entries.size() / 2}) {
      PackedSpikeEntries overflow[2];
      const auto build = [&](const RowCountGuess* guess, RowCountGuess* counted,
                             RowIndexedPhase* phase, PhaseEntryFilter* keep = nullptr) {
        PhaseRowSlots slots;
        ASSERT_TRUE(slots.Prepare(guess, {&overflow[0], &overflow[1]}, keep));
        for (size_t i = 0; i < entries.size(); ++i) {
          const PackedSpikeEntry& e = entries[i];
          ASSERT_TRUE(slots.part(i < split ? 0 : 1)->Add(e.dx, e.dy, e.value));
        }
        if (counted != nullptr) {
          ASSERT_TRUE(slots.Count(box, 1, split, counted));
        }
        ASSERT_TRUE(slots.Finish(box, phase, keep));
      };
      RowCountGuess counted, half, little;
      RowIndexedPhase phase;
      build(nullptr, &counted, &phase);
      half = little = counted;
      for (int p = 0; p < 2; ++p) {
        for (uint32_t& n : half.counts[p]) n /= 2;
        for (uint32_t& n : little.counts[p]) n = 1;
      }
      const struct {
        const char* name;
        const RowCountGuess* guess;
      } guesses[] = {
          {"none", nullptr}, {"counted", &counted}, {"half", &half}, {"little", &little}};
      for (const auto& g : guesses) {
        SCOPED_TRACE(::testing::Message() << pattern.name << ", split " << split << ", " << g.name);
        build(g.guess, nullptr, &phase);
        EXPECT_EQ(PhaseBytes(phase), PhaseBytes(expected));
        build(g.guess, nullptr, &phase, &threeOfFive);
        EXPECT_EQ(PhaseBytes(phase), PhaseBytes(expectedKept));
      }
      ReleaseRowIndexedPhase(&phase);
      for (PackedSpikeEntries& o : overflow) DeallocateBuffer(&o.entries);
    }
    ReleaseRowIndexedPhase(&expected);
    ReleaseRowIndexedPhase(&expectedKept);
  }
}

}  // namespace
}  // namespace lumeray
