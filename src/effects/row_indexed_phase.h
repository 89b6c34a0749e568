// A built sub-shape in a compact form for stamping into strips of rows: its entries grouped by
// row (offset dy), in their order within each row, with only their column offset and value.
// A stamp into a strip reads just the rows the strip holds. The entries' colour is not kept: it
// is a function of the entry's distance from the exact centre (the star's rainbow, by distance
// index, spike_distance_tables.h), given at stamping as StampColours.
//
// A spike crosses a row in a few pixels side by side, drawn leftwards or rightwards, so a row's
// columns are kept as runs: an entry whose column is next to the one before it, on the side the
// run goes (either side for a run of one), extends that run. The values stay one per entry. A
// star's phase has about twelve entries a run: about 4.4 bytes an entry, against six with a
// column per entry and twenty in a sub-shape, so that a run can keep every phase of the star it
// draws and build each only once.
//
// Storage: entry starts (rows + 1, into values), values, run starts (rows + 1, into runs), runs.
//
// Threading contract: made by one thread; once made, read by any number of threads.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "analysis/effect_shape.h"
#include "analysis/light_source_table.h"
#include "effects/rainbow.h"
#include "image/buffer.h"
#include "image/image_record.h"

namespace lumeray {

// Entries in columns column, column + 1, ... (length > 0) or column, column - 1, ... (length < 0),
// |length| of them.
struct PhaseRun {
  int16_t column;
  int16_t length;
};

struct RowIndexedPhase {
  int32_t left = 0, top = 0, right = 0, bottom = 0;  // box relative to the centre pixel
  uint32_t entryCount = 0;
  uint32_t runCount = 0;
  BufferDescriptor storage;  // laid out as above

  uint32_t Rows() const { return static_cast<uint32_t>(bottom - top); }
  const uint32_t* RowStarts() const { return static_cast<const uint32_t*>(storage.data); }
  const uint32_t* Values() const { return RowStarts() + Rows() + 1; }
  const uint32_t* RunStarts() const { return Values() + entryCount; }
  const PhaseRun* Runs() const {
    return reinterpret_cast<const PhaseRun*>(RunStarts() + Rows() + 1);
  }
  // The bytes the layout takes (the storage may be larger).
  static uint64_t Bytes(uint64_t rows, uint64_t entries, uint64_t runs) {
    return (2 * (rows + 1) + entries) * sizeof(uint32_t) + runs * sizeof(PhaseRun);
  }
};

// Whether an entry in `column` joins `run` as the next entry of a row: next to the run's last
// column on the side the run goes (either side for a run of one), and the run not at its
// longest. If so the run takes it.
inline bool ExtendRun(PhaseRun* run, int32_t column) {
  const int32_t length = run->length;
  const int32_t d = column - (run->column + length + (length > 0 ? -1 : 1));
  if ((d != 1 && d != -1) || (length != 1 && (length > 0) != (d > 0)) || length == INT16_MAX ||
      length == -INT16_MAX) {
    return false;
  }
  run->length = static_cast<int16_t>(d * ((length > 0 ? length : -length) + 1));
  return true;
}

// Forms a row's runs from its entries' columns in their order (above), into `runs`.
class RunFormer {
 public:
  explicit RunFormer(std::vector<PhaseRun>* runs) : runs_(runs) {}

  void StartRow() { open_ = false; }
  // Adds n entries in columns column, column + step, ... (step 1 or -1) as n calls of
  // Add(column) would: each entry joins the open run when next to its last column on its side.
  void Add(int32_t column, int32_t step = 1, int32_t n = 1) {
    while (n > 0) {
      int32_t take = 0;
      if (open_) {
        PhaseRun& run = runs_->back();
        const int32_t last = run.column + run.length + (run.length > 0 ? -1 : 1);
        const int32_t d = column - last;
        if ((d == 1 || d == -1) && (run.length == 1 || (run.length > 0) == (d > 0)) &&
            run.length != INT16_MAX && run.length != -INT16_MAX) {
          // The first entry joins; those after it go on the same way only when step is d.
          const int32_t length = run.length == 1 ? 1 : (run.length > 0 ? run.length : -run.length);
          take = step == d ? std::min(n, INT16_MAX - length) : 1;
          run.length = static_cast<int16_t>(d * (length + take));
        }
      }
      if (take == 0) {
        take = std::min(n, int32_t{INT16_MAX});
        runs_->push_back(
            {static_cast<int16_t>(column), static_cast<int16_t>(take > 1 ? step * take : 1)});
        open_ = true;
      }
      column += step * take;
      n -= take;
    }
  }
  // Adds the entries of `runs` (a row's, in their order) whose flag in `keep` is set, a stretch
  // of neighbours at a time; returns how many.
  uint32_t AddKept(std::span<const PhaseRun> runs, const uint8_t* keep) {
    uint32_t i = 0, kept = 0;
    for (const PhaseRun& run : runs) {
      const int32_t step = run.length > 0 ? 1 : -1;
      const int32_t n = run.length > 0 ? run.length : -run.length;
      for (int32_t k = 0; k < n;) {
        if (keep[i + k] == 0) {
          ++k;
          continue;
        }
        int32_t end = k + 1;
        while (end < n && keep[i + end] != 0) ++end;
        Add(run.column + step * k, step, end - k);
        kept += static_cast<uint32_t>(end - k);
        k = end;
      }
      i += static_cast<uint32_t>(n);
    }
    return kept;
  }

 private:
  std::vector<PhaseRun>* runs_;
  bool open_ = false;
};

// Makes `phase` (taking the storage) of `storage`, laid out with row starts (rows + 1) and
// `count` values, and the rows' runs given aside (`runStarts`: rows + 1, into `runs`); rows are
// the box's, or none (the box then keeps only its columns). False (after the low-memory warning;
// the storage freed) when memory runs out.
bool MakeRowIndexedPhaseFromRuns(const ImageRect& box, uint32_t count,
                                 const std::vector<uint32_t>& runStarts,
                                 const std::vector<PhaseRun>& runs, BufferDescriptor* storage,
                                 RowIndexedPhase* phase);

// Turns `storage`, laid out with a column per entry (row starts: rows + 1, values, then an int16
// column offset per entry; rows = box's, or none without entries), into `phase` (taking the
// storage) with its columns as runs. False (after the low-memory warning; the storage freed)
// when memory runs out.
bool MakeRowIndexedPhaseFromColumns(const ImageRect& box, uint32_t count, BufferDescriptor* storage,
                                    RowIndexedPhase* phase);

// Which entries of a phase to keep (KeepPhaseEntries): told each row in turn (its offset dy, its
// runs and the values of its entries), it sets keep[i] (0 on entry) for the row's i-th entry.
class PhaseEntryFilter {
 public:
  virtual void MarkRow(int32_t dy, std::span<const PhaseRun> runs, const uint32_t* values,
                       uint8_t* keep) = 0;
  // Rows [top, bottom) outside which MarkRow keeps nothing; false when it cannot tell.
  virtual bool RowsKept(int32_t* /*top*/, int32_t* /*bottom*/) const { return false; }

 protected:
  ~PhaseEntryFilter() = default;
};

// Calls f(i, column) for each entry of `runs` in their order, i counting from 0.
template <class F>
void ForEachRunEntry(std::span<const PhaseRun> runs, F&& f) {
  uint32_t i = 0;
  for (const PhaseRun& run : runs) {
    const int32_t step = run.length > 0 ? 1 : -1;
    for (int32_t k = 0; k != run.length; k += step) f(i++, run.column + k);
  }
}

// Drops the entries `filter` does not keep from `phase`, in place, and shrinks its storage; its
// box and the order of the entries left are kept, and it is the phase made from those entries.
// False (the phase unchanged) when the bookkeeping memory cannot be had.
bool KeepPhaseEntries(PhaseEntryFilter& filter, RowIndexedPhase* phase);

// Makes `phase` from a built sub-shape; false (after the low-memory warning) when its storage
// cannot be had. The sub-shape is left as it is.
bool MakeRowIndexedPhase(const SubShape& subShape, RowIndexedPhase* phase);
// The same from packed entries (spike.h) whose bounding box is `box` (relative, as a
// sub-shape's).
struct PackedSpikeEntry;
bool MakeRowIndexedPhase(const PackedSpikeEntry* entries, uint32_t count, const ImageRect& box,
                         RowIndexedPhase* phase);
// The same from two arrays of packed entries taken one after the other.
struct PackedEntrySpan {
  const PackedSpikeEntry* entries;
  uint32_t count;
};
bool MakeRowIndexedPhase(const std::array<PackedEntrySpan, 2>& parts, const ImageRect& box,
                         RowIndexedPhase* phase);
void ReleaseRowIndexedPhase(RowIndexedPhase* phase);

// The colour of an entry: one colour for all, or the colour at the entry's distance index
// d = round(10 x distance in quarter pixels from the exact centre): palette[index[d]] for d below
// tableSize, computed by `far` beyond. (A star's rainbow has a few thousand colours, but its
// index runs to hundreds of thousands: two bytes an index keep it in the cache.)
struct StampColours {
  bool uniform = true;
  FractionColor single{kShapeFractionOne, kShapeFractionOne, kShapeFractionOne};
  const uint16_t* index = nullptr;
  const FractionColor* palette = nullptr;
  uint32_t tableSize = 0;
  FractionColor (*far)(uint32_t distanceIndex, const void* context) = nullptr;
  const void* context = nullptr;
};

// The least entry value v for which FractionProduct(brightest, FractionProduct(v, alpha))
// reaches `level`: a stamp whose source has that brightest channel and alpha skips every entry
// below it. UINT32_MAX when no value reaches the level.
uint32_t LeastVisibleValue(uint32_t brightest, uint32_t alpha, uint32_t level);

// Stamps `phase` at the centre (a whole pixel and its phase in quarter pixels, which must be the
// phase's) in 'scrn' mode, exactly as DrawShapeInto stamps the sub-shape it was made from: only
// pixels inside `box` (absolute; already cut to the target), entries whose brightest channel x
// alpha is below `visibleLevel` skipped.
void StampRowIndexedPhase(ImageRecord* target, const RowIndexedPhase& phase,
                          const StampColours& colours, const QuarterPixelPoint& centre,
                          const ImageRect& box, const WorkingPixel& colour, uint32_t visibleLevel);

// Stamps `phase` at each of `stamps` in their order, with the same result as one
// StampRowIndexedPhase after the other, drawn row by row across all of them (each row of the
// target read once for all). Throws std::bad_alloc.
struct PhaseStamp {
  QuarterPixelPoint centre;
  ImageRect box;
  WorkingPixel colour;
};
void StampRowIndexedPhase(ImageRecord* target, const RowIndexedPhase& phase,
                          const StampColours& colours, std::span<const PhaseStamp> stamps,
                          uint32_t visibleLevel);

}  // namespace lumeray
