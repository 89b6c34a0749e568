// Building a row-indexed phase (row_indexed_phase.h) in place, without a temporary array of
// every entry beside it.
//
// A build guesses how many entries each row of each part (the rays of one thread, in drawing
// order) will get from the counts of an earlier build of the same star with the same parts
// (RowCountGuess): the phases of a star differ by less than a pixel, so a row gets about as many
// entries as the most its row and its two neighbours had, and a margin covers the rest. The
// phase's storage is laid out with a slot of that many entries per row and part, the rasterisers
// write each entry straight into its slot, and Finish closes the slots up in place, row by row,
// the parts in drawing order, and shrinks the storage to the phase's size. An entry whose slot
// is full, or whose row has no slot, goes to its part's overflow list (packed entries, spike.h);
// a build with overflow (always the first, which has no guess) is then made out of place from the
// slots and the lists. Either way the phase is byte for byte the one made from the entries in
// drawing order (MakeRowIndexedPhase).
//
// Threading contract: each part is written by one thread; Prepare, Count and Finish run on the
// building thread while no part is written.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "effects/row_indexed_phase.h"
#include "image/buffer.h"

namespace lumeray {

struct PackedSpikeEntries;

// Entries by row and part of one build: rays before `splitRay` are part 0, the others part 1.
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
    if (row < rows_ && slots_[row].next < slots_[row].end) {
      const uint32_t at = slots_[row].next++;
      values_[at] = value;
      columns_[at] = static_cast<int16_t>(dx);
      return true;
    }
    return Overflow(dx, dy, value);
  }
  uint64_t added() const { return added_; }

 private:
  friend class PhaseRowSlots;
  bool Overflow(int32_t dx, int32_t dy, uint32_t value);

  int32_t top_ = 0;
  uint32_t rows_ = 0;
  uint32_t filled(uint32_t row) const { return slots_[row].next - offset_[row]; }

  struct Slot {
    uint32_t next, end;  // where the next entry goes; the slot's end
  };
  std::vector<Slot> slots_;
  std::vector<uint32_t> offset_;
  uint32_t* values_ = nullptr;
  int16_t* columns_ = nullptr;
  PackedSpikeEntries* overflow_ = nullptr;
  uint64_t added_ = 0;
};

class PhaseRowSlots {
 public:
  PhaseRowSlots() = default;
  PhaseRowSlots(const PhaseRowSlots&) = delete;
  PhaseRowSlots& operator=(const PhaseRowSlots&) = delete;
  ~PhaseRowSlots() { DeallocateBuffer(&storage_); }

  // Lays the slots out from `guess` (none without one) for parts whose overflow lists are
  // `overflow` (emptied; the second may be null when the build has one part). False (after the
  // low-memory warning) when the storage cannot be had.
  bool Prepare(const RowCountGuess* guess, const std::array<PackedSpikeEntries*, 2>& overflow);
  PhaseRowPart* part(int index) { return &parts_[index]; }
  // Whether every entry went to an overflow list (then they are all in drawing order there).
  bool AllOverflowed() const;

  // The entries by row over `box` (the entries' box), split into parts at `splitRay`: when every
  // entry overflowed, after the first `headEntries` entries in drawing order; else as added.
  bool Count(const ImageRect& box, size_t splitRay, uint64_t headEntries,
             RowCountGuess* counts) const;
  // Makes `phase` of every entry added, whose box is `box`; false (after the low-memory
  // warning) when its storage cannot be had.
  bool Finish(const ImageRect& box, RowIndexedPhase* phase);

 private:
  // Nothing when the phase cannot be made in place (the slots then untouched).
  std::optional<bool> FinishInPlace(const ImageRect& box, uint32_t count, RowIndexedPhase* phase);
  bool FinishOutOfPlace(const ImageRect& box, uint64_t count, RowIndexedPhase* phase);

  std::array<PhaseRowPart, 2> parts_;
  BufferDescriptor storage_;  // row starts, then the slots' values and columns
  int32_t top_ = 0;
  uint32_t rows_ = 0;
  uint32_t slotEntries_ = 0;
};

}  // namespace lumeray
