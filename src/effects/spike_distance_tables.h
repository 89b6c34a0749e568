// Values of a star that depend only on a pixel's distance index d (10 x its distance from the
// exact centre in quarter pixels): the fall-off factor of the primary and of the secondary
// spikes, and the rainbow colour. They are computed once per set of star settings and then
// only read, by every phase's build; the values are those spike_profile.h and rainbow.h give.
//
// A fall-off table ends where even the family's strongest spike falls below half the presence
// threshold; every pixel farther out is below the threshold, so the rasteriser skips it without
// computing anything. The rainbow table (and its index) covers the longer of the two fall-off
// tables.
//
// Threading contract: built by one thread, then read-only; any number of builders may read it.
#pragma once

#include <cstdint>
#include <vector>

#include "effects/rainbow.h"
#include "effects/star_settings.h"

namespace lumeray {

// Distance indices per element of FallOffTable::farthestMost.
inline constexpr uint32_t kFallOffBlock = 64;

struct FallOffTable {
  int32_t length = -1;
  int32_t intensity = -1;
  std::vector<double> factors;  // by distance index
  // By d / kFallOffBlock: the largest factor at that block's first index or beyond (what any
  // pixel at least that far out can get).
  std::vector<double> farthestMost;
};

struct SpikeDistanceTables {
  FallOffTable primary;    // length L, fall-off intensity I
  FallOffTable secondary;  // length L2, fall-off intensity E
  std::vector<FractionColor> rainbow;
  // The same colours, compact for stamping (rainbow.h): by distance index, the place of its
  // colour in the palette.
  std::vector<uint16_t> rainbowIndex;
  std::vector<FractionColor> rainbowPalette;
};

SpikeDistanceTables BuildSpikeDistanceTables(const StarSettings& settings);

// The fall-off table of one spike family whose strongest spike has `largestAmplitude`.
FallOffTable BuildFallOffTable(const StarSettings& settings, int32_t length, int32_t intensity,
                               uint32_t largestAmplitude);

// The largest distance index of a pixel within the spikes' reach.
uint32_t FarthestDistanceIndex(uint32_t diagonal);

}  // namespace lumeray
