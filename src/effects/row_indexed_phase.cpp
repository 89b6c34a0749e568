#include "effects/row_indexed_phase.h"

#include <algorithm>
#include <array>
#include <climits>

#include "analysis/stamp_targets.h"
#include "effects/spike.h"
#include "effects/spike_profile.h"
#include "image/blend.h"

namespace lumeray {
namespace {

constexpr int64_t kQuarter = 4;

template <class Target>
void StampRows(const Target& target, const RowIndexedPhase& phase, const StampColours& colours,
               const QuarterPixelPoint& c, const ImageRect& box, const WorkingPixel& colour,
               uint32_t visibleLevel) {
  const uint32_t* starts = phase.RowStarts();
  const uint32_t* values = phase.Values();
  const int16_t* columns = phase.Columns();
  const auto source = [&](const FractionColor& e, uint32_t value) {
    return WorkingPixel{FractionProduct(e.red, colour.red), FractionProduct(e.green, colour.green),
                        FractionProduct(e.blue, colour.blue), FractionProduct(value, colour.alpha),
                        kFullCoverage};
  };
  const WorkingPixel plain = source(colours.single, 0);
  const uint32_t plainBrightest = std::max({plain.red, plain.green, plain.blue});
  for (int32_t y = box.top; y < box.bottom; ++y) {
    const int32_t dy = y - c.y;
    const uint32_t row = static_cast<uint32_t>(dy - phase.top);
    const int64_t dy4 = kQuarter * dy - c.yFraction;
    for (uint32_t i = starts[row]; i < starts[row + 1]; ++i) {
      const int32_t x = c.x + columns[i];
      if (x < box.left || x >= box.right) continue;
      WorkingPixel s;
      uint32_t brightest;
      if (colours.uniform) {
        s = plain;
        s.alpha = FractionProduct(values[i], colour.alpha);
        brightest = plainBrightest;
      } else {
        const int64_t dx4 = kQuarter * columns[i] - c.xFraction;
        const uint32_t d = DistanceIndex(static_cast<uint64_t>(dx4 * dx4 + dy4 * dy4));
        s = source(d < colours.tableSize ? colours.table[d] : colours.far(d, colours.context),
                   values[i]);
        brightest = std::max({s.red, s.green, s.blue});
      }
      if (FractionProduct(brightest, s.alpha) < visibleLevel) continue;
      WorkingPixel pixel;
      target.Fetch(&pixel, x, y);
      BlendScreen(&pixel, s);
      target.Store(pixel, x, y);
    }
  }
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

void StampRowIndexedPhase(ImageRecord* target, const RowIndexedPhase& phase,
                          const StampColours& colours, const QuarterPixelPoint& centre,
                          const ImageRect& box, const WorkingPixel& colour, uint32_t visibleLevel) {
  // Only the rows of the phase's box hold entries.
  const auto clamp32 = [](int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
  };
  const ImageRect rows{box.left, std::max(box.top, clamp32(int64_t{centre.y} + phase.top)),
                       box.right, std::min(box.bottom, clamp32(int64_t{centre.y} + phase.bottom))};
  if (rows.top >= rows.bottom || rows.left >= rows.right || phase.entryCount == 0) return;
  WithScreenStampTarget(target, [&](const auto& t) {
    StampRows(t, phase, colours, centre, rows, colour, visibleLevel);
  });
}

}  // namespace lumeray
