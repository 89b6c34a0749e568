// Building a row-indexed phase (row_indexed_phase.h) in place, without a temporary array of
// every entry beside it.
//
// A build guesses how many entries each row of each part (the rays of one thread, in drawing
// order) will get from the counts of an earlier build of the same star with the same parts
// (RowCountGuess): the phases of a star differ by less than a pixel, so a row gets about as many
// entries as the most its row and its two neighbours had, and a margin covers the rest. The
// phase's storage is laid out with a slot of that many four-byte words per row and part, and the
// rasterisers write each entry straight into its slot in the phase's own form: its value from
// the slot's front, and the row's runs (PhaseRun, as many as the entries need) from its back, an
// entry next to the last one's column extending its run. So a build takes about as much room as
// the phase it makes (a value per entry and a run per dozen), not a column per entry beside.
// Finish closes the slots up in place, row by row, the parts in drawing order (the runs aside,
// re-formed where a part's first entries join the run before), and shrinks the storage to the
// phase's size. An entry whose slot has no room for its value and a run, or whose row has no
// slot, goes to its part's overflow list (packed entries, spike.h), as does every later entry
// of that slot. The overflow joins its rows in place where the slots have room to spare; else
// (always for the first build, which has no guess) the phase is made out of place from the
// slots and the lists. Either way the phase is byte for byte the one made from the entries in
// drawing order (MakeRowIndexedPhase).
//
// Threading contract: each part is written by one thread; Prepare, Count and Finish run on the
// building thread while no part is written.
#pragma once

#include <array>
#include <climits>
#include <cstdint>
#include <optional>
#include <vector>

#include "effects/row_indexed_phase.h"
#include "image/buffer.h"

namespace lumeray {

struct PackedSpikeEntries;

// The room (words: a value per entry, and a run per run the entries form) each row and part of
// one build took: rays before `splitRay` are part 0, the others part 1.
struct RowCountGuess {
  size_t splitRay = 0;
  int32_t top = 0;  // relative row of the counts' first element
  std::array<std::vector<uint32_t>, 2> counts;
};

// Widens `into` to the most either guess had in each row (both of the same split); false when
// memory ran out (`into` is then as it was).
bool WidenRowCountGuess(const RowCountGuess& other, RowCountGuess* into);

// One part's slots: where a rasteriser adds its entries.
class alignas(64) PhaseRowPart {  // its own lines: each part is written by its own thread
 public:
  // False (after the low-memory warning) when an overflowing entry cannot be kept.
  bool Add(int32_t dx, int32_t dy, uint32_t value) {
    ++added_;
    const auto row = static_cast<uint32_t>(dy - top_);
    // Room for the value and a run, so that once an entry of a slot overflows, every later one
    // of it does too.
    if (row < rows_ && slots_[row].runs - slots_[row].next >= 2) {
      Slot& slot = slots_[row];
      words_[slot.next++] = value;
      if (slot.runs == slot.end || !ExtendRun(&runs_[slot.runs], dx)) {
        runs_[--slot.runs] = {static_cast<int16_t>(dx), 1};
      }
      return true;
    }
    return Overflow(dx, dy, value);
  }
  uint64_t added() const { return added_; }

 private:
  friend class PhaseRowSlots;
  // Keeps an entry that found no room, or only counts one in a row whose entries are dropped.
  bool Overflow(int32_t dx, int32_t dy, uint32_t value);

  int32_t top_ = 0;
  uint32_t rows_ = 0;
  // A slot's values and runs (the latter last first, from its end down).
  uint32_t values(uint32_t row) const { return slots_[row].next - offset_[row]; }
  uint32_t runs(uint32_t row) const { return slots_[row].end - slots_[row].runs; }

  struct Slot {
    uint32_t next, runs, end;  // where the next value goes; the last run; the slot's end
  };
  std::vector<Slot> slots_;
  std::vector<uint32_t> offset_;
  uint32_t* words_ = nullptr;
  PhaseRun* runs_ = nullptr;  // the same words
  PackedSpikeEntries* overflow_ = nullptr;
  uint64_t added_ = 0;
  // Slot rows outside [keepTop_, keepBottom_) have no room: their entries are dropped, their
  // room counted (words and open run per slot row) for the guess.
  int32_t keepTop_ = INT32_MIN, keepBottom_ = INT32_MAX;
  std::vector<uint32_t> droppedWords_;
  std::vector<PhaseRun> droppedRuns_;
  uint64_t dropped_ = 0;
};

class PhaseRowSlots {
 public:
  PhaseRowSlots() = default;
  PhaseRowSlots(const PhaseRowSlots&) = delete;
  PhaseRowSlots& operator=(const PhaseRowSlots&) = delete;
  ~PhaseRowSlots() { DeallocateBuffer(&storage_); }

  // Lays the slots out from `guess` (none without one) for parts whose overflow lists are
  // `overflow` (emptied; the second may be null when the build has one part). With `keep`, the
  // filter Finish will be given, rows it keeps nothing of get no room and their entries are
  // dropped as they come. False (after the low-memory warning) when the storage cannot be had.
  bool Prepare(const RowCountGuess* guess, const std::array<PackedSpikeEntries*, 2>& overflow,
               const PhaseEntryFilter* keep = nullptr);
  PhaseRowPart* part(int index) { return &parts_[index]; }
  // Whether every entry went to an overflow list (then they are all in drawing order there).
  bool AllOverflowed() const;

  // The room the entries took by row over `box` (the entries' box), split into parts at
  // `splitRay`: when every entry overflowed, after the first `headEntries` entries in drawing
  // order; else as added.
  bool Count(const ImageRect& box, size_t splitRay, uint64_t headEntries,
             RowCountGuess* counts) const;
  // Makes `phase` of every entry added, whose box is `box`, or, with `keep`, of those it keeps
  // (as KeepPhaseEntries would drop the others from the former; in place while the slots close
  // up, so that the whole phase never takes its room); false (after the low-memory warning) when
  // its storage cannot be had.
  bool Finish(const ImageRect& box, RowIndexedPhase* phase, PhaseEntryFilter* keep = nullptr);

 private:
  // Nothing when the phase cannot be made in place (the slots then untouched).
  std::optional<bool> FinishInPlace(const ImageRect& box, uint32_t count, PhaseEntryFilter* keep,
                                    RowIndexedPhase* phase);
  bool FinishOutOfPlace(const ImageRect& box, uint64_t count, RowIndexedPhase* phase);

  std::array<PhaseRowPart, 2> parts_;
  BufferDescriptor storage_;  // row starts, then the slots' words
  int32_t top_ = 0;
  uint32_t rows_ = 0;
  uint32_t slotEntries_ = 0;
};

}  // namespace lumeray
