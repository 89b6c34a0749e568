#include "effects/row_indexed_phase.h"

#include <algorithm>
#include <array>
#include <climits>
#include <vector>

#include "analysis/stamp_targets.h"
#include "effects/spike.h"
#include "effects/spike_profile.h"
#include "image/blend.h"

namespace lumeray {
namespace {

constexpr int64_t kQuarter = 4;

// One stamp of a phase, row by row: what every row of it needs, computed once.
class RowStamper {
 public:
  RowStamper(const RowIndexedPhase& phase, const StampColours& colours, const QuarterPixelPoint& c,
             const ImageRect& box, const WorkingPixel& colour, uint32_t visibleLevel)
      : starts_(phase.RowStarts()),
        values_(phase.Values()),
        columns_(phase.Columns()),
        top_(phase.top),
        colours_(colours),
        c_(c),
        box_(box),
        colour_(colour),
        visibleLevel_(visibleLevel),
        plain_(Source(colours.single, 0)),
        plainBrightest_(std::max({plain_.red, plain_.green, plain_.blue})) {
    // An entry is drawn only when its brightest channel x alpha reaches the visible level. Its
    // brightest channel is at most `bound` (a table colour times the source's colour is at most
    // the latter), so every entry below `visible_` is skipped before its colour is computed.
    const uint32_t bound =
        colours.uniform ? plainBrightest_ : std::max({colour.red, colour.green, colour.blue});
    visible_ = LeastVisibleValue(bound, colour.alpha, visibleLevel);
  }

  // Stamps the phase's row that falls on row y of the target (within the box's rows).
  template <class Target>
  void Row(const Target& target, int32_t y) const {
    const int32_t dy = y - c_.y;
    const uint32_t row = static_cast<uint32_t>(dy - top_);
    const int64_t dy4 = kQuarter * dy - c_.yFraction;
    for (uint32_t i = starts_[row]; i < starts_[row + 1]; ++i) {
      if (values_[i] < visible_) continue;
      const int32_t x = c_.x + columns_[i];
      if (x < box_.left || x >= box_.right) continue;
      WorkingPixel s;
      uint32_t brightest;
      if (colours_.uniform) {
        s = plain_;
        s.alpha = FractionProduct(values_[i], colour_.alpha);
        brightest = plainBrightest_;
      } else {
        const int64_t dx4 = kQuarter * columns_[i] - c_.xFraction;
        const uint32_t d = DistanceIndex(static_cast<uint64_t>(dx4 * dx4 + dy4 * dy4));
        s = Source(d < colours_.tableSize ? colours_.palette[colours_.index[d]]
                                          : colours_.far(d, colours_.context),
                   values_[i]);
        brightest = std::max({s.red, s.green, s.blue});
      }
      if (FractionProduct(brightest, s.alpha) < visibleLevel_) continue;
      WorkingPixel pixel;
      target.FetchColour(&pixel, x, y);
      const WorkingPixel before = pixel;
      BlendScreen(&pixel, s);
      target.StoreChanged(pixel, before, x, y);
    }
  }

  const ImageRect& box() const { return box_; }

 private:
  WorkingPixel Source(const FractionColor& e, uint32_t value) const {
    return WorkingPixel{FractionProduct(e.red, colour_.red),
                        FractionProduct(e.green, colour_.green),
                        FractionProduct(e.blue, colour_.blue),
                        FractionProduct(value, colour_.alpha), kFullCoverage};
  }

  const uint32_t* starts_;
  const uint32_t* values_;
  const int16_t* columns_;
  int32_t top_;
  const StampColours& colours_;
  QuarterPixelPoint c_;
  ImageRect box_;
  WorkingPixel colour_;
  uint32_t visibleLevel_;
  WorkingPixel plain_;
  uint32_t plainBrightest_;
  uint32_t visible_ = 0;
};

// The box's rows that hold entries of the phase stamped at `centre`; empty when none.
ImageRect RowsOfStamp(const RowIndexedPhase& phase, const QuarterPixelPoint& centre,
                      const ImageRect& box) {
  const auto clamp32 = [](int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
  };
  const ImageRect rows{box.left, std::max(box.top, clamp32(int64_t{centre.y} + phase.top)),
                       box.right, std::min(box.bottom, clamp32(int64_t{centre.y} + phase.bottom))};
  if (rows.top >= rows.bottom || rows.left >= rows.right || phase.entryCount == 0) return {};
  return rows;
}

}  // namespace

namespace {

template <class Entry>
struct EntrySpan {
  const Entry* entries;
  uint32_t count;
};

// The spans' entries, one span after the other.
template <class Entry, size_t kSpans>
bool MakeRows(const std::array<EntrySpan<Entry>, kSpans>& spans, const ImageRect& box,
              RowIndexedPhase* phase) {
  ReleaseRowIndexedPhase(phase);
  uint64_t total = 0;
  for (const auto& span : spans) total += span.entries == nullptr ? 0 : span.count;
  if (total > UINT32_MAX) {
    WarnLowMemory();
    return false;
  }
  const auto count = static_cast<uint32_t>(total);
  const int32_t top = count == 0 ? 0 : box.top;
  const int32_t bottom = count == 0 ? 0 : box.bottom;
  const uint64_t rows = static_cast<uint64_t>(bottom - top);
  const uint64_t bytes = (rows + 1 + count) * sizeof(uint32_t) + uint64_t{count} * sizeof(int16_t);
  if (ReallocateBuffer(bytes, &phase->storage) != 0) {
    WarnLowMemory();
    return false;
  }
  phase->left = box.left;
  phase->right = box.right;
  phase->top = top;
  phase->bottom = bottom;
  phase->entryCount = count;

  // Counting sort by row, keeping the entries' order within a row.
  auto* starts = static_cast<uint32_t*>(phase->storage.data);
  std::fill(starts, starts + rows + 1, 0u);
  for (const auto& span : spans) {
    if (span.entries == nullptr) continue;
    for (uint32_t i = 0; i < span.count; ++i) ++starts[span.entries[i].dy - top + 1];
  }
  for (uint64_t r = 0; r < rows; ++r) starts[r + 1] += starts[r];
  auto* values = starts + rows + 1;
  auto* columns = reinterpret_cast<int16_t*>(values + count);
  for (const auto& span : spans) {
    if (span.entries == nullptr) continue;
    for (uint32_t i = 0; i < span.count; ++i) {
      const uint32_t at = starts[span.entries[i].dy - top]++;
      values[at] = span.entries[i].value;
      columns[at] = span.entries[i].dx;
    }
  }
  // Each start moved to the next row's: shift them back.
  for (uint64_t r = rows; r > 0; --r) starts[r] = starts[r - 1];
  starts[0] = 0;
  return true;
}

}  // namespace

bool MakeRowIndexedPhase(const SubShape& subShape, RowIndexedPhase* phase) {
  return MakeRows(std::array{EntrySpan<SubShapeEntry>{subShape.data(), subShape.entryCount}},
                  {subShape.left, subShape.top, subShape.right, subShape.bottom}, phase);
}

bool MakeRowIndexedPhase(const PackedSpikeEntry* entries, uint32_t count, const ImageRect& box,
                         RowIndexedPhase* phase) {
  return MakeRows(std::array{EntrySpan<PackedSpikeEntry>{entries, count}}, box, phase);
}

bool MakeRowIndexedPhase(const std::array<PackedEntrySpan, 2>& parts, const ImageRect& box,
                         RowIndexedPhase* phase) {
  return MakeRows(std::array{EntrySpan<PackedSpikeEntry>{parts[0].entries, parts[0].count},
                             EntrySpan<PackedSpikeEntry>{parts[1].entries, parts[1].count}},
                  box, phase);
}

void ReleaseRowIndexedPhase(RowIndexedPhase* phase) {
  DeallocateBuffer(&phase->storage);
  *phase = RowIndexedPhase{};
}

uint32_t LeastVisibleValue(uint32_t brightest, uint32_t alpha, uint32_t level) {
  const auto reaches = [&](uint32_t v) {
    return FractionProduct(brightest, FractionProduct(v, alpha)) >= level;
  };
  if (reaches(0)) return 0;
  uint32_t low = 0, high = UINT32_MAX;  // low does not reach; the answer is in (low, high]
  if (!reaches(high)) return high;
  while (high - low > 1) {
    const uint32_t middle = low + (high - low) / 2;
    (reaches(middle) ? high : low) = middle;
  }
  return high;
}

void StampRowIndexedPhase(ImageRecord* target, const RowIndexedPhase& phase,
                          const StampColours& colours, const QuarterPixelPoint& centre,
                          const ImageRect& box, const WorkingPixel& colour, uint32_t visibleLevel) {
  const ImageRect rows = RowsOfStamp(phase, centre, box);
  if (rows.top >= rows.bottom) return;
  const RowStamper stamper(phase, colours, centre, rows, colour, visibleLevel);
  WithScreenStampTarget(target, [&](const auto& t) {
    for (int32_t y = rows.top; y < rows.bottom; ++y) stamper.Row(t, y);
  });
}

void StampRowIndexedPhase(ImageRecord* target, const RowIndexedPhase& phase,
                          const StampColours& colours, std::span<const PhaseStamp> stamps,
                          uint32_t visibleLevel) {
  std::vector<RowStamper> stampers;
  stampers.reserve(stamps.size());
  int32_t top = INT32_MAX, bottom = INT32_MIN;
  for (const PhaseStamp& stamp : stamps) {
    const ImageRect rows = RowsOfStamp(phase, stamp.centre, stamp.box);
    if (rows.top >= rows.bottom) continue;
    stampers.emplace_back(phase, colours, stamp.centre, rows, stamp.colour, visibleLevel);
    top = std::min(top, rows.top);
    bottom = std::max(bottom, rows.bottom);
  }
  if (stampers.empty()) return;
  // Row by row, each row taking the stamps in their order: every pixel lies in one row, so it
  // is blended with the same entries in the same order as stamp after stamp would, while its
  // row is still in the cache for the next stamp.
  WithScreenStampTarget(target, [&](const auto& t) {
    for (int32_t y = top; y < bottom; ++y) {
      for (const RowStamper& stamper : stampers) {
        if (y >= stamper.box().top && y < stamper.box().bottom) stamper.Row(t, y);
      }
    }
  });
}

}  // namespace lumeray
