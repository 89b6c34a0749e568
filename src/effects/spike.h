// The spike rasteriser: draws spikes (half-lines from a light source's exact centre with a soft
// cross profile, a fall-off along their length and the rainbow colour) into the sub-shape of
// one quarter-pixel phase.
//
// Geometry, in quarter pixels with the centre pixel's origin at (0, 0) and the exact centre at
// the phase (p, q): a spike of angle t points along (sin t, -cos t), x to the right and y
// downwards. The walk steps one pixel at a time along the major axis (y when |sin| < |cos|,
// else x) in the direction's sign, starting at the centre's own row or column when the step is
// positive and the one before it when negative, so that two opposite spikes never share the
// centre row. At each step the pixels across are scanned outwards from the one containing the
// line, first towards negative, then from the next one towards positive, each direction until
// the cross profile drops to zero. A pixel's value is its fall-off amplitude times its cross
// value (fractions); a value at or above the presence threshold becomes an entry with offset
// (x / 4, y / 4), the rainbow colour of its distance index and the value. The walk ends at the
// first row or column with no such pixel, or beyond the reach limit (4 D quarter pixels from the
// centre on either axis, and never beyond what the entries' 16-bit offsets can hold).
//
// spike_profile.h gives the per-pixel arithmetic; the fall-off factors and rainbow colours come
// from the star's SpikeDistanceTables (pixels beyond a fall-off table are below the threshold).
//
// Threading contract: a rasteriser is used by one thread and writes only its own sub-shape; the
// distance tables are only read.
#pragma once

#include <cstdint>

#include "analysis/effect_shape.h"
#include "effects/phase_row_slots.h"
#include "effects/spike_distance_tables.h"
#include "effects/star_settings.h"

namespace lumeray {

// Entries a sub-shape grows by when a spike fills it.
inline constexpr uint32_t kSpikeEntryGrowth = 0x40000;

// A rasteriser's pixel without its colour (a function of its distance from the exact centre):
// eight bytes instead of a sub-shape entry's twenty, for builds that keep no colour (the
// overflow of a phase built in place, phase_row_slots.h).
struct PackedSpikeEntry {
  int16_t dx;
  int16_t dy;
  uint32_t value;
};
struct PackedSpikeEntries {
  BufferDescriptor entries;  // PackedSpikeEntry array, grown by kSpikeEntryGrowth entries
  uint32_t count = 0;
  const PackedSpikeEntry* data() const {
    return static_cast<const PackedSpikeEntry*>(entries.data);
  }
};
// The largest reach in quarter pixels whose entry offsets still fit 16 bits.
inline constexpr int64_t kLargestReach = 4 * (INT16_MAX - 1);

// 4 D quarter pixels, at most kLargestReach.
int64_t SpikeReach(uint32_t diagonal);

class SpikeRasterizer {
 public:
  SpikeRasterizer(const StarSettings& settings, const SpikeDistanceTables& tables,
                  SubShape* subShape, int xPhase, int yPhase);
  // Writing into one part of a phase built in place instead.
  SpikeRasterizer(const StarSettings& settings, const SpikeDistanceTables& tables,
                  PhaseRowPart* part, int xPhase, int yPhase);

  // Entries outside `shown` (offsets from the centre pixel, right and bottom exclusive) will
  // never be drawn: a spike's walk then ends at the first row or column from which on every
  // pixel its cross profile reaches lies outside it (rows before it are drawn whole, so the
  // entries inside are the same). Without it the walk goes on as above.
  void ClipWalkTo(const ImageRect& shown) {
    shown_ = shown;
    clipped_ = true;
  }

  // Draws one spike of the family whose fall-off table is given (its length and fall-off
  // intensity); false only when an entry could not be added (the low-memory warning has been
  // shown; what was added stays).
  bool Draw(int32_t angle, double slope, const FallOffTable& fallOff, uint32_t amplitude);

  // Writes the bounding box of every entry added so far into the sub-shape.
  void StoreBox() const;
  // The bounding box of every entry added so far (relative to the centre pixel, right and
  // bottom exclusive); all 0 without entries.
  void Box(int32_t* left, int32_t* top, int32_t* right, int32_t* bottom) const;

 private:
  // Adds an entry to the sub-shape (the rainbow colour of its distance index).
  bool AddEntry(int32_t dx, int32_t dy, uint32_t distanceIndex, uint32_t value);
  void ExtendBox(int32_t left, int32_t top, int32_t right, int32_t bottom);

  const StarSettings& settings_;
  const SpikeDistanceTables& tables_;
  SubShape* subShape_;
  PhaseRowPart* part_ = nullptr;
  int xPhase_;
  int yPhase_;
  int64_t reach_;
  bool clipped_ = false;
  ImageRect shown_{};
  bool hasBox_ = false;
  int32_t left_ = 0, top_ = 0, right_ = 0, bottom_ = 0;
};

}  // namespace lumeray
