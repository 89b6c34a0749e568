#include "effects/phase_row_slots.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>
#include <optional>
#include <utility>

#include "effects/spike.h"

namespace lumeray {
namespace {

// A slot holds the most its row and the two beside it had (words), a thirty-second more and
// two words: room for the value and run of the entry that fills it. The guess is already the
// most of every build so far, so a slot seldom overflows (none in a Length-100 run; a few dozen
// entries in a whole 96-megapixel run, which join their rows in place).
constexpr uint32_t kSlackEntries = 2;
// Slot rows beyond each edge of the guess (the tips of a phase's spikes may reach a few rows
// further).
constexpr int64_t kEdgeRows = 8;
uint64_t SlotCapacity(uint32_t most) {
  return most == 0 ? 0 : uint64_t{most} + most / 32 + kSlackEntries;
}

uint32_t CountAt(const std::vector<uint32_t>& counts, int64_t row) {
  return row >= 0 && row < static_cast<int64_t>(counts.size()) ? counts[row] : 0;
}

uint32_t BoxRows(const ImageRect& box, uint64_t count) {
  return count == 0 ? 0 : static_cast<uint32_t>(int64_t{box.bottom} - box.top);
}

}  // namespace

bool WidenRowCountGuess(const RowCountGuess& other, RowCountGuess* into) {
  const auto rowsOf = [](const RowCountGuess& g) { return int64_t(g.counts[0].size()); };
  if (rowsOf(other) == 0) return true;
  const int64_t top = rowsOf(*into) == 0 ? other.top : std::min(into->top, other.top);
  const int64_t bottom = rowsOf(*into) == 0
                             ? other.top + rowsOf(other)
                             : std::max(into->top + rowsOf(*into), other.top + rowsOf(other));
  RowCountGuess wide{into->splitRay, static_cast<int32_t>(top), {}};
  try {
    for (size_t p = 0; p < wide.counts.size(); ++p) {
      wide.counts[p].assign(static_cast<size_t>(bottom - top), 0);
      for (const RowCountGuess* g : {static_cast<const RowCountGuess*>(into), &other}) {
        for (size_t r = 0; r < g->counts[p].size(); ++r) {
          uint32_t& n = wide.counts[p][g->top - top + static_cast<int64_t>(r)];
          n = std::max(n, g->counts[p][r]);
        }
      }
    }
  } catch (const std::bad_alloc&) {
    return false;
  }
  *into = std::move(wide);
  return true;
}

bool PhaseRowPart::Overflow(int32_t dx, int32_t dy, uint32_t value) {
  const auto row = static_cast<uint32_t>(dy - top_);
  if (row < rows_ && (dy < keepTop_ || dy >= keepBottom_)) {
    PhaseRun& run = droppedRuns_[row];
    const bool joins = run.length != 0 && ExtendRun(&run, dx);
    if (!joins) run = {static_cast<int16_t>(dx), 1};
    droppedWords_[row] += joins ? 1 : 2;
    ++dropped_;
    return true;
  }
  PackedSpikeEntries* list = overflow_;
  const uint64_t needed = (uint64_t{list->count} + 1) * sizeof(PackedSpikeEntry);
  if (needed > list->entries.size &&
      ReallocateBufferPreserveContents(
          (uint64_t{list->count} + kSpikeEntryGrowth) * sizeof(PackedSpikeEntry), &list->entries) !=
          0) {
    WarnLowMemory();
    return false;
  }
  static_cast<PackedSpikeEntry*>(list->entries.data)[list->count++] = {
      static_cast<int16_t>(dx), static_cast<int16_t>(dy), value};
  return true;
}

bool PhaseRowSlots::Prepare(const RowCountGuess* guess,
                            const std::array<PackedSpikeEntries*, 2>& overflow,
                            const PhaseEntryFilter* keep) {
  DeallocateBuffer(&storage_);
  rows_ = 0;
  slotEntries_ = 0;
  const bool laidOut = guess != nullptr && !guess->counts[0].empty() &&
                       guess->counts[0].size() == guess->counts[1].size();
  try {
    const size_t guessRows = laidOut ? guess->counts[0].size() : 0;
    rows_ = laidOut ? static_cast<uint32_t>(guessRows + 2 * kEdgeRows) : 0;
    top_ = laidOut ? guess->top - kEdgeRows : 0;
    int32_t keepTop = INT32_MIN, keepBottom = INT32_MAX;
    if (rows_ > 0 && keep != nullptr && !keep->RowsKept(&keepTop, &keepBottom)) {
      keepTop = INT32_MIN;
      keepBottom = INT32_MAX;
    }
    const bool dropping = keepTop != INT32_MIN || keepBottom != INT32_MAX;
    uint64_t total = 0;
    for (PhaseRowPart& part : parts_) {
      part.offset_.assign(rows_, 0);
      part.slots_.assign(rows_, {0, 0, 0});
      part.keepTop_ = keepTop;
      part.keepBottom_ = keepBottom;
      part.droppedWords_.assign(dropping ? rows_ : 0, 0);
      part.droppedRuns_.assign(dropping ? rows_ : 0, PhaseRun{0, 0});
      part.dropped_ = 0;
    }
    // Row by row, the parts in drawing order within a row.
    for (uint32_t r = 0; r < rows_; ++r) {
      // The row's index in the guess; a row at or beyond an edge of the guess is given what the
      // rows at that edge had.
      const int64_t at =
          std::clamp<int64_t>(int64_t{r} - kEdgeRows, 0, static_cast<int64_t>(guessRows) - 1);
      const int64_t dy = int64_t{top_} + r;
      const bool kept = dy >= keepTop && dy < keepBottom;
      for (size_t p = 0; p < parts_.size(); ++p) {
        const std::vector<uint32_t>& c = guess->counts[p];
        const uint32_t most =
            kept ? std::max({CountAt(c, at - 1), CountAt(c, at), CountAt(c, at + 1)}) : 0;
        const auto offset = static_cast<uint32_t>(std::min<uint64_t>(total, UINT32_MAX));
        total += SlotCapacity(most);
        const auto end = static_cast<uint32_t>(std::min<uint64_t>(total, UINT32_MAX));
        parts_[p].offset_[r] = offset;
        parts_[p].slots_[r] = {offset, end, end};
      }
    }
    if (total > UINT32_MAX) {
      WarnLowMemory();
      return false;
    }
    slotEntries_ = static_cast<uint32_t>(total);
  } catch (const std::bad_alloc&) {
    WarnLowMemory();
    return false;
  }
  if (rows_ > 0) {
    const uint64_t bytes = (uint64_t{rows_} + 1 + slotEntries_) * sizeof(uint32_t);
    if (ReallocateBuffer(bytes, &storage_) != 0) {
      WarnLowMemory();
      return false;
    }
  }
  auto* values = static_cast<uint32_t*>(storage_.data) + (rows_ == 0 ? 0 : rows_ + 1);
  for (size_t p = 0; p < parts_.size(); ++p) {
    PhaseRowPart& part = parts_[p];
    part.top_ = top_;
    part.rows_ = rows_;
    part.words_ = values;
    part.runs_ = reinterpret_cast<PhaseRun*>(values);
    part.overflow_ = overflow[p];
    part.added_ = 0;
    if (part.overflow_ != nullptr) part.overflow_->count = 0;
  }
  return true;
}

bool PhaseRowSlots::AllOverflowed() const {
  for (const PhaseRowPart& part : parts_) {
    const uint32_t overflowed = part.overflow_ != nullptr ? part.overflow_->count : 0;
    if (part.added_ != overflowed) return false;
  }
  return true;
}

bool PhaseRowSlots::Count(const ImageRect& box, size_t splitRay, uint64_t headEntries,
                          RowCountGuess* counts) const {
  uint64_t added = 0;
  for (const PhaseRowPart& part : parts_) added += part.added_;
  const uint32_t rows = BoxRows(box, added);
  try {
    counts->splitRay = splitRay;
    counts->top = box.top;
    for (std::vector<uint32_t>& c : counts->counts) c.assign(rows, 0);
  } catch (const std::bad_alloc&) {
    return false;
  }
  const bool resplit = AllOverflowed();
  // An overflowing entry takes a word for its value, and one for a run unless it extends its
  // row's last run in the same part.
  std::vector<PhaseRun> open;
  try {
    open.assign(rows, PhaseRun{0, 0});
  } catch (const std::bad_alloc&) {
    return false;
  }
  uint64_t index = 0;
  size_t openPart = 0;
  for (size_t p = 0; p < parts_.size(); ++p) {
    const PhaseRowPart& part = parts_[p];
    for (uint32_t r = 0; r < rows_; ++r) {
      const uint32_t words =
          part.values(r) + part.runs(r) + (part.droppedWords_.empty() ? 0 : part.droppedWords_[r]);
      if (words != 0) counts->counts[p][top_ + int64_t{r} - box.top] += words;
    }
    if (part.overflow_ == nullptr) continue;
    const PackedSpikeEntry* entries = part.overflow_->data();
    for (uint32_t i = 0; i < part.overflow_->count; ++i, ++index) {
      const size_t into = resplit ? (index < headEntries ? 0 : 1) : p;
      if (into != openPart) {
        std::fill(open.begin(), open.end(), PhaseRun{0, 0});
        openPart = into;
      }
      const uint32_t row = static_cast<uint32_t>(entries[i].dy - box.top);
      PhaseRun& run = open[row];
      const bool joins = run.length != 0 && ExtendRun(&run, entries[i].dx);
      if (!joins) run = {entries[i].dx, 1};
      counts->counts[into][row] += joins ? 1 : 2;
    }
  }
  return true;
}

bool PhaseRowSlots::Finish(const ImageRect& box, RowIndexedPhase* phase, PhaseEntryFilter* keep) {
  ReleaseRowIndexedPhase(phase);
  uint64_t added = 0;
  for (const PhaseRowPart& part : parts_) added += part.added_ - part.dropped_;
  if (added > UINT32_MAX) {
    WarnLowMemory();
    return false;
  }
  if (storage_.data != nullptr) {
    const std::optional<bool> made = FinishInPlace(box, static_cast<uint32_t>(added), keep, phase);
    if (made.has_value()) return *made;
  }
  if (!FinishOutOfPlace(box, added, phase)) return false;
  // An entry kept by a failed drop is only never drawn.
  if (keep != nullptr) KeepPhaseEntries(*keep, phase);
  return true;
}

std::optional<bool> PhaseRowSlots::FinishInPlace(const ImageRect& box, uint32_t count,
                                                 PhaseEntryFilter* keep, RowIndexedPhase* phase) {
  // The few entries that overflowed join their rows where the slots have room to spare: each
  // row's entries then move down the storage (or stay), never over a slot not yet moved.
  std::array<std::vector<uint32_t>, 2> overflowByRow;   // each part's overflow, stably by row
  std::array<std::vector<uint32_t>, 2> overflowStarts;  // per slot row, into overflowByRow
  try {
    for (size_t p = 0; p < parts_.size(); ++p) {
      const PackedSpikeEntries* list = parts_[p].overflow_;
      const uint32_t n = list != nullptr ? list->count : 0;
      overflowStarts[p].assign(uint64_t{rows_} + 1, 0);
      for (uint32_t i = 0; i < n; ++i) {
        const int64_t r = int64_t{list->data()[i].dy} - top_;
        if (r < 0 || r >= rows_) return std::nullopt;  // a row without slots: made out of place
        ++overflowStarts[p][r + 1];
      }
      for (uint32_t r = 0; r < rows_; ++r) overflowStarts[p][r + 1] += overflowStarts[p][r];
      overflowByRow[p].resize(n);
      std::vector<uint32_t> at(overflowStarts[p].begin(), overflowStarts[p].end() - 1);
      for (uint32_t i = 0; i < n; ++i) overflowByRow[p][at[list->data()[i].dy - top_]++] = i;
    }
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
  const auto overflowIn = [&](size_t p, uint32_t r) {
    return overflowStarts[p][r + 1] - overflowStarts[p][r];
  };
  // Room: every row's part's values must end where the next slot begins, at the latest.
  if (count > slotEntries_) return std::nullopt;
  uint64_t end = 0;
  for (uint32_t r = 0; r < rows_; ++r) {
    for (size_t p = 0; p < parts_.size(); ++p) {
      end += parts_[p].values(r) + overflowIn(p, r);
      const uint64_t next = p + 1 < parts_.size() ? parts_[p + 1].offset_[r]
                            : r + 1 < rows_       ? parts_[0].offset_[r + 1]
                                                  : slotEntries_;
      if (end > next) return std::nullopt;
    }
  }

  // Dropped entries count too: a phase whose entries are all dropped keeps its box's rows, as
  // KeepPhaseEntries leaves them.
  uint64_t dropped = 0;
  for (const PhaseRowPart& part : parts_) dropped += part.dropped_;
  const uint32_t rows = BoxRows(box, count + dropped);
  // The box's rows all have slots (an entry outside them would have overflowed without one).
  const int64_t first = rows == 0 ? 0 : int64_t{box.top} - top_;
  // The runs first, aside, before any value moves over them: each row's parts in drawing
  // order, each slot's runs then its overflow, formed again where they meet.
  std::vector<uint32_t> runStarts;
  std::vector<PhaseRun> runs;
  try {
    runStarts.resize(uint64_t{rows} + 1);
    uint64_t most = 0;
    for (const PhaseRowPart& part : parts_) {
      for (uint32_t r = 0; r < rows_; ++r) most += part.runs(r);
      if (part.overflow_ != nullptr) most += part.overflow_->count;
    }
    runs.reserve(most);
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
  RunFormer former(&runs);
  auto* starts = static_cast<uint32_t*>(storage_.data);
  const uint32_t* slotValues = starts + rows_ + 1;
  uint32_t* values = starts + rows + 1;
  if (keep != nullptr) {
    // Row by row: the row's entries aside (its runs formed where the pieces meet), marked, and
    // the values kept moved down over what has been read. A failure from here on finds the
    // block half moved.
    try {
      std::vector<PhaseRun> rowRuns;
      std::vector<uint32_t> rowValues;
      std::vector<uint8_t> marks;
      RunFormer rowFormer(&rowRuns);
      uint32_t kept = 0;
      for (uint32_t y = 0; y < rows; ++y) {
        const auto r = static_cast<uint32_t>(first + y);
        rowRuns.clear();
        rowValues.clear();
        rowFormer.StartRow();
        for (size_t p = 0; p < parts_.size(); ++p) {
          const PhaseRowPart& part = parts_[p];
          rowValues.insert(rowValues.end(), slotValues + part.offset_[r],
                           slotValues + part.slots_[r].next);
          for (uint32_t k = part.slots_[r].end; k > part.slots_[r].runs;) {
            const PhaseRun run = part.runs_[--k];
            rowFormer.Add(run.column, run.length > 0 ? 1 : -1,
                          run.length > 0 ? run.length : -run.length);
          }
          for (uint32_t k = overflowStarts[p][r]; k < overflowStarts[p][r + 1]; ++k) {
            const PackedSpikeEntry& e = part.overflow_->data()[overflowByRow[p][k]];
            rowFormer.Add(e.dx);
            rowValues.push_back(e.value);
          }
        }
        marks.assign(rowValues.size(), 0);
        keep->MarkRow(box.top + static_cast<int32_t>(y), rowRuns, rowValues.data(), marks.data());
        starts[y] = kept;
        runStarts[y] = static_cast<uint32_t>(runs.size());
        former.StartRow();
        former.AddKept(rowRuns, marks.data());
        for (size_t i = 0; i < rowValues.size(); ++i) {
          if (marks[i] != 0) values[kept++] = rowValues[i];
        }
      }
      starts[rows] = kept;
      runStarts[rows] = static_cast<uint32_t>(runs.size());
      return MakeRowIndexedPhaseFromRuns(box, kept, runStarts, runs, &storage_, phase);
    } catch (const std::bad_alloc&) {
      DeallocateBuffer(&storage_);
      WarnLowMemory();
      return false;
    }
  }
  for (uint32_t y = 0; y < rows; ++y) {
    const auto r = static_cast<uint32_t>(first + y);
    runStarts[y] = static_cast<uint32_t>(runs.size());
    former.StartRow();
    for (size_t p = 0; p < parts_.size(); ++p) {
      const PhaseRowPart& part = parts_[p];
      for (uint32_t k = part.slots_[r].end; k > part.slots_[r].runs;) {
        const PhaseRun run = part.runs_[--k];
        former.Add(run.column, run.length > 0 ? 1 : -1, run.length > 0 ? run.length : -run.length);
      }
      for (uint32_t k = overflowStarts[p][r]; k < overflowStarts[p][r + 1]; ++k) {
        former.Add(part.overflow_->data()[overflowByRow[p][k]].dx);
      }
    }
  }
  runStarts[rows] = static_cast<uint32_t>(runs.size());

  uint32_t at = 0;
  for (uint32_t y = 0; y < rows; ++y) {
    starts[y] = at;
    for (size_t p = 0; p < parts_.size(); ++p) {
      at += parts_[p].values(first + y) + overflowIn(p, static_cast<uint32_t>(first + y));
    }
  }
  starts[rows] = at;
  // The values, row by row, each part's slot then its overflow.
  uint32_t d = 0;
  for (uint32_t r = 0; r < rows_; ++r) {
    for (size_t p = 0; p < parts_.size(); ++p) {
      const PhaseRowPart& part = parts_[p];
      const uint32_t n = part.values(r);
      std::memmove(values + d, slotValues + part.offset_[r], n * sizeof(uint32_t));
      d += n;
      for (uint32_t k = overflowStarts[p][r]; k < overflowStarts[p][r + 1]; ++k) {
        values[d++] = part.overflow_->data()[overflowByRow[p][k]].value;
      }
    }
  }
  // The runs go behind the values, and the storage shrinks to the phase's size.
  return MakeRowIndexedPhaseFromRuns(box, count, runStarts, runs, &storage_, phase);
}

bool PhaseRowSlots::FinishOutOfPlace(const ImageRect& box, uint64_t count, RowIndexedPhase* phase) {
  const uint32_t rows = BoxRows(box, count);
  const uint64_t bytes = (uint64_t{rows} + 1 + count) * sizeof(uint32_t) + count * sizeof(int16_t);
  BufferDescriptor out;
  if (ReallocateBuffer(bytes, &out) != 0) {
    WarnLowMemory();
    return false;
  }
  auto* starts = static_cast<uint32_t*>(out.data);
  auto* values = starts + rows + 1;
  auto* columns = reinterpret_cast<int16_t*>(values + count);
  const int64_t slotRowOfTop = int64_t{box.top} - top_;

  // Counting sort by row: each part's slots, then its overflow in drawing order.
  std::fill(starts, starts + rows + 1, 0u);
  for (const PhaseRowPart& part : parts_) {
    for (uint32_t r = 0; r < rows_; ++r) {
      if (part.values(r) != 0) starts[r - slotRowOfTop + 1] += part.values(r);
    }
    if (part.overflow_ == nullptr) continue;
    const PackedSpikeEntry* entries = part.overflow_->data();
    for (uint32_t i = 0; i < part.overflow_->count; ++i) ++starts[entries[i].dy - box.top + 1];
  }
  for (uint32_t y = 0; y < rows; ++y) starts[y + 1] += starts[y];
  const auto* slotValues = static_cast<const uint32_t*>(storage_.data) + rows_ + 1;
  for (const PhaseRowPart& part : parts_) {
    for (uint32_t r = 0; r < rows_; ++r) {
      const uint32_t n = part.values(r);
      if (n == 0) continue;
      uint32_t& at = starts[r - slotRowOfTop];
      std::memcpy(values + at, slotValues + part.offset_[r], n * sizeof(uint32_t));
      for (uint32_t k = part.slots_[r].end; k > part.slots_[r].runs;) {
        const PhaseRun run = part.runs_[--k];
        const int32_t step = run.length > 0 ? 1 : -1;
        for (int32_t i = 0; i != run.length; i += step) columns[at++] = int16_t(run.column + i);
      }
    }
    if (part.overflow_ == nullptr) continue;
    const PackedSpikeEntry* entries = part.overflow_->data();
    for (uint32_t i = 0; i < part.overflow_->count; ++i) {
      const uint32_t at = starts[entries[i].dy - box.top]++;
      values[at] = entries[i].value;
      columns[at] = entries[i].dx;
    }
  }
  // Each start moved to the next row's: shift them back.
  for (uint32_t y = rows; y > 0; --y) starts[y] = starts[y - 1];
  starts[0] = 0;
  DeallocateBuffer(&storage_);
  return MakeRowIndexedPhaseFromColumns(box, static_cast<uint32_t>(count), &out, phase);
}

}  // namespace lumeray
