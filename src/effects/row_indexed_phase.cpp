#include "effects/row_indexed_phase.h"

#include <algorithm>
#include <array>
#include <climits>
#include <span>
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
        runStarts_(phase.RunStarts()),
        runs_(phase.Runs()),
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
    const uint32_t* value = values_ + starts_[row];
    if constexpr (requires { target.Samples(0, 0); }) {
      // The runs of a row lie far apart (one per spike it crosses): their pixels are asked for
      // together, so that the misses overlap instead of following one another.
      for (uint32_t r = runStarts_[row]; r < runStarts_[row + 1]; ++r) {
        const int64_t x = int64_t{c_.x} + runs_[r].column;
        if (x >= box_.left && x < box_.right) {
          __builtin_prefetch(target.Samples(static_cast<int32_t>(x), y), 1);
        }
      }
    }
    for (uint32_t r = runStarts_[row]; r < runStarts_[row + 1]; ++r) {
      const PhaseRun run = runs_[r];
      const int32_t step = run.length > 0 ? 1 : -1;
      const int64_t n = run.length > 0 ? run.length : -int64_t{run.length};
      // The run's entries k = first .. last - 1 whose column lies in the box.
      const int64_t x0 = int64_t{c_.x} + run.column;
      const int64_t first = std::max<int64_t>(0, step > 0 ? box_.left - x0 : x0 - box_.right + 1);
      const int64_t last = std::min<int64_t>(n, step > 0 ? box_.right - x0 : x0 - box_.left + 1);
      for (int64_t k = first; k < last; ++k) {
        const uint32_t v = value[k];
        if (v < visible_) continue;
        const int32_t column = run.column + static_cast<int32_t>(step * k);
        Entry(target, c_.x + column, y, column, dy4, v);
      }
      value += n;
    }
  }

  const ImageRect& box() const { return box_; }

 private:
  template <class Target>
  void Entry(const Target& target, int32_t x, int32_t y, int32_t column, int64_t dy4,
             uint32_t value) const {
    WorkingPixel s;
    uint32_t brightest;
    if (colours_.uniform) {
      s = plain_;
      s.alpha = FractionProduct(value, colour_.alpha);
      brightest = plainBrightest_;
    } else {
      const int64_t dx4 = kQuarter * column - c_.xFraction;
      const uint32_t d = DistanceIndex(static_cast<uint64_t>(dx4 * dx4 + dy4 * dy4));
      s = Source(d < colours_.tableSize ? colours_.palette[colours_.index[d]]
                                        : colours_.far(d, colours_.context),
                 value);
      brightest = std::max({s.red, s.green, s.blue});
    }
    if (FractionProduct(brightest, s.alpha) < visibleLevel_) return;
    WorkingPixel pixel;
    target.FetchColour(&pixel, x, y);
    const WorkingPixel before = pixel;
    BlendScreen(&pixel, s);
    target.StoreChanged(pixel, before, x, y);
  }

  WorkingPixel Source(const FractionColor& e, uint32_t value) const {
    return WorkingPixel{FractionProduct(e.red, colour_.red),
                        FractionProduct(e.green, colour_.green),
                        FractionProduct(e.blue, colour_.blue),
                        FractionProduct(value, colour_.alpha), kFullCoverage};
  }

  const uint32_t* starts_;
  const uint32_t* values_;
  const uint32_t* runStarts_;
  const PhaseRun* runs_;
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

// Writes the run starts and runs after the values of `storage` (entry starts for the rows of
// `box`, `count` values, room for the rest) and makes `phase` of it, over the box of `box`.
void PlaceRuns(const RowIndexedPhase& box, uint32_t count, const std::vector<uint32_t>& runStarts,
               const std::vector<PhaseRun>& runs, BufferDescriptor* storage,
               RowIndexedPhase* phase) {
  const uint32_t rows = box.Rows();
  auto* runStartsAt = static_cast<uint32_t*>(storage->data) + rows + 1 + count;
  std::copy(runStarts.begin(), runStarts.end(), runStartsAt);
  std::copy(runs.begin(), runs.end(), reinterpret_cast<PhaseRun*>(runStartsAt + rows + 1));
  const RowIndexedPhase placed = box;  // `box` may be `phase`
  phase->left = placed.left;
  phase->right = placed.right;
  phase->top = placed.top;
  phase->bottom = placed.bottom;
  phase->entryCount = count;
  phase->runCount = static_cast<uint32_t>(runs.size());
  phase->storage = *storage;
  *storage = BufferDescriptor{};
}

}  // namespace

bool MakeRowIndexedPhaseFromColumns(const ImageRect& box, uint32_t count, BufferDescriptor* storage,
                                    RowIndexedPhase* phase) {
  ReleaseRowIndexedPhase(phase);
  const uint32_t rows = count == 0 ? 0 : static_cast<uint32_t>(int64_t{box.bottom} - box.top);
  std::vector<uint32_t> runStarts;
  std::vector<PhaseRun> runs;
  try {
    runStarts.resize(uint64_t{rows} + 1);
    if (count > 0) {
      const auto* starts = static_cast<const uint32_t*>(storage->data);
      const auto* columns = reinterpret_cast<const int16_t*>(starts + rows + 1 + count);
      // As RunFormer forms them, a run at a time.
      for (uint32_t row = 0; row < rows; ++row) {
        runStarts[row] = static_cast<uint32_t>(runs.size());
        const uint32_t end = starts[row + 1];
        for (uint32_t i = starts[row]; i < end;) {
          const int32_t column = columns[i];
          const int32_t step = i + 1 < end ? columns[i + 1] - column : 0;
          int32_t n = 1;
          if (step == 1 || step == -1) {
            for (n = 2; n < INT16_MAX && i + n < end && columns[i + n] == column + step * n;) ++n;
          }
          runs.push_back(
              {static_cast<int16_t>(column), static_cast<int16_t>(n > 1 ? step * n : 1)});
          i += static_cast<uint32_t>(n);
        }
      }
      runStarts[rows] = static_cast<uint32_t>(runs.size());
    }
  } catch (const std::bad_alloc&) {
    DeallocateBuffer(storage);
    WarnLowMemory();
    return false;
  }
  return MakeRowIndexedPhaseFromRuns(box, count, runStarts, runs, storage, phase);
}

bool MakeRowIndexedPhaseFromRuns(const ImageRect& box, uint32_t count,
                                 const std::vector<uint32_t>& runStarts,
                                 const std::vector<PhaseRun>& runs, BufferDescriptor* storage,
                                 RowIndexedPhase* phase) {
  ReleaseRowIndexedPhase(phase);
  const auto rows = static_cast<uint32_t>(runStarts.size() - 1);
  // The runs go behind the values: the block grows first when they take more room than was
  // left there, or shrinks after.
  const uint64_t bytes = RowIndexedPhase::Bytes(rows, count, runs.size());
  if (bytes > storage->size && ReallocateBufferPreserveContents(bytes, storage) != 0) {
    DeallocateBuffer(storage);
    WarnLowMemory();
    return false;
  }
  if (storage->data == nullptr && ReallocateBuffer(bytes, storage) != 0) {
    WarnLowMemory();
    return false;
  }
  RowIndexedPhase boxOf;
  boxOf.left = box.left;
  boxOf.right = box.right;
  boxOf.top = rows == 0 ? 0 : box.top;
  boxOf.bottom = rows == 0 ? 0 : box.bottom;
  PlaceRuns(boxOf, count, runStarts, runs, storage, phase);
  // Shrinking keeps the block (and its contents) when it cannot be moved.
  if (bytes < phase->storage.size) ReallocateBufferPreserveContents(bytes, &phase->storage);
  return true;
}

bool KeepPhaseEntries(PhaseEntryFilter& filter, RowIndexedPhase* phase) {
  const uint32_t rows = phase->Rows(), count = phase->entryCount;
  if (count == 0 || phase->storage.data == nullptr) return true;
  // First the entries kept and their runs and row starts, aside (a split run may give more runs
  // than before); then, with nothing left to allocate, the kept values move down.
  std::vector<uint32_t> starts, runStarts;
  std::vector<PhaseRun> runs;
  std::vector<uint8_t> keep;
  const uint32_t* values = phase->Values();
  uint32_t kept = 0;
  try {
    starts.resize(uint64_t{rows} + 1);
    runStarts.resize(uint64_t{rows} + 1);
    keep.resize(count);
    runs.reserve(phase->runCount);
    const uint32_t* oldStarts = phase->RowStarts();
    const uint32_t* oldRunStarts = phase->RunStarts();
    const PhaseRun* oldRuns = phase->Runs();
    RunFormer former(&runs);
    for (uint32_t row = 0; row < rows; ++row) {
      starts[row] = kept;
      runStarts[row] = static_cast<uint32_t>(runs.size());
      former.StartRow();
      const std::span<const PhaseRun> rowRuns(oldRuns + oldRunStarts[row],
                                              oldRuns + oldRunStarts[row + 1]);
      uint8_t* rowKeep = keep.data() + oldStarts[row];
      filter.MarkRow(phase->top + static_cast<int32_t>(row), rowRuns, values + oldStarts[row],
                     rowKeep);
      kept += former.AddKept(rowRuns, rowKeep);
    }
  } catch (const std::bad_alloc&) {
    return false;
  }
  if (kept == count) return true;
  // Each run more than before needs an entry dropped, so the phase never grows; should it, the
  // block grows before anything moves.
  const uint64_t bytes = RowIndexedPhase::Bytes(rows, kept, runs.size());
  if (bytes > phase->storage.size &&
      ReallocateBufferPreserveContents(bytes, &phase->storage) != 0) {
    return false;
  }
  starts[rows] = kept;
  runStarts[rows] = static_cast<uint32_t>(runs.size());
  auto* base = static_cast<uint32_t*>(phase->storage.data);
  auto* movedValues = base + rows + 1;
  for (uint32_t i = 0, j = 0; i < count; ++i) {
    if (keep[i] != 0) movedValues[j++] = movedValues[i];
  }
  std::copy(starts.begin(), starts.end(), base);
  BufferDescriptor storage = phase->storage;
  PlaceRuns(*phase, kept, runStarts, runs, &storage, phase);
  // A failed shrink leaves the larger block, which still holds the phase.
  if (bytes < phase->storage.size) ReallocateBufferPreserveContents(bytes, &phase->storage);
  return true;
}

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
  BufferDescriptor storage;
  if (ReallocateBuffer(bytes, &storage) != 0) {
    WarnLowMemory();
    return false;
  }

  // Counting sort by row, keeping the entries' order within a row.
  auto* starts = static_cast<uint32_t*>(storage.data);
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
  return MakeRowIndexedPhaseFromColumns(box, count, &storage, phase);
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
