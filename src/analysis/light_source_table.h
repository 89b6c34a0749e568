// Light source tables. Every detected highlight becomes one LightSourceEntry; each analysis
// thread fills a local LightSourceTable for its band of rows (in scan order, by y), and the
// local tables are merged into the run's MasterLightSourceTable, whose colours are then
// normalised and which is sorted brightest first.
//
// Conventions
//  * Positions are a whole pixel plus a quarter-pixel fraction 0..3: the exact centre is
//    (x + xFraction / 4, y + yFraction / 4) in source image coordinates.
//  * Two entries describe the same highlight when the larger of their squared radii exceeds
//    the squared distance of their exact centres (and the older one is in the normal state).
//    One highlight is one entry: a new light source that overlaps an entry at least as large is
//    dropped and changes nothing; otherwise the first entry it overlaps takes its measurement
//    and the other (smaller) entries it overlaps are removed.
//  * A local table is kept in row order (by y) at all times, also when an entry takes a new
//    position, so that searches by row are correct whatever order sources arrive in.
//  * Colours and brightness are 32-bit fractions, 0xFFFFFFFE standing for 1.0.
//  * Entry arrays are counted buffers; a table that cannot grow stays as it was.
//
// Threading contract: a local table belongs to one thread. The master table is written by the
// data-initialisation thread before it signals completion, then only by the UI thread (Hide
// and Show), which increments the generation atomically; renderers read entries without a lock.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

#include "image/buffer.h"

namespace lumeray {

enum LightSourceState : uint32_t {
  kLightSourceHidden = 0,
  kLightSourceNormal = 1,
  kLightSourceShown = 2,
};

inline constexpr uint32_t kFractionOne = 0xFFFFFFFEu;
inline constexpr uint32_t kSpareFieldValue = 0xFFFFFFFFu;

struct LightSourceEntry {
  int32_t x;
  int32_t xFraction;
  int32_t y;
  int32_t yFraction;
  float radius;
  float squaredRadius;
  uint32_t brightness;
  uint32_t red;
  uint32_t green;
  uint32_t blue;
  uint32_t strength;
  uint32_t spare;
  uint32_t state;
  uint32_t savedState;
};
static_assert(sizeof(LightSourceEntry) == 14 * 4);

struct QuarterPixelPoint {
  int32_t x, xFraction, y, yFraction;
};

struct LightSourceTable {
  uint32_t count = 0;
  BufferDescriptor entries;  // capacity = entries.size / sizeof(LightSourceEntry)
  float largestRadius = 0.0f;

  LightSourceEntry* data() { return static_cast<LightSourceEntry*>(entries.data); }
  const LightSourceEntry* data() const {
    return static_cast<const LightSourceEntry*>(entries.data);
  }
};

// Entries a local table grows by when it is full.
inline constexpr uint32_t kLocalTableGrowth = 8192;

// Merges the light source into the overlapping entries of the table or inserts it in row order.
// Returns 0, or the allocator's code when the table could not grow (the light source is then
// not added).
int AddToLocalTable(LightSourceTable* table, const QuarterPixelPoint& position, float radius,
                    float squaredRadius, uint32_t red, uint32_t green, uint32_t blue);

void FreeLightSourceTable(LightSourceTable* table);

// The index of the first entry whose row is at least `row` in entries sorted by row.
uint32_t FirstEntryFromRow(const LightSourceEntry* entries, uint32_t count, int32_t row);

// The squared distance in pixels between two quarter-pixel positions.
double SquaredDistance(const LightSourceEntry& a, const QuarterPixelPoint& b);

}  // namespace lumeray
