// Gamma tables: the lookup tables that carry colour samples between an image's gamma encoding
// and the 24-bit linear scale of WorkingPixel, and the cache that shares them.
//
// For a gamma g the GammaTableSet holds (values rounded as in pixel_tables.h):
//   decode 8    256 x u32     round((i / 255)^g * 0xFFFFFF)        entry 255 is 0xFFFFFF
//   decode 16   65 536 x u32  round((i / 65 535)^g * 0xFFFFFF)     entry 65 535 is 0xFFFFFF
//   encode 8    65 536 x u8   round((i / 65 535)^(1/g) * 255)
//   encode 16   65 536 x u16  round((i / 65 535)^(1/g) * 65 535)
// No power is taken when g is exactly 1.0. The encode tables are indexed by a 24-bit linear
// value shifted right by 8. A fifth table, encode 16 shadows (131 072 x u16), holds for each
// linear value below kShadowEncodeEntries the 16-bit sample EncodeLinear16 gives it
// (linear_encoding.h), which the coarse encode 16 table cannot tell apart in the deepest
// shadows, and which costs one lookup there instead of a search. Two power tables
// (float_power.h) for g and 1/g serve the float codec.
//
// The cache keeps at most kGammaTableCacheCapacity sets keyed by the exact gamma. A gamma not
// yet cached gets a new set while there is room; once the cache is full, or when the new set
// cannot be allocated, the set of the nearest cached gamma is returned instead. Sets stay until
// ReleaseGammaTables (the end of a run).
//
// The cache is module-wide (not part of run/run_state.h); it is emptied at each run's end.
//
// Threading contract: GetGammaTables may be called from any number of threads at once. One
// lock guards the cache's entries; it is held only to search and to insert, never while the
// tables are allocated or filled (a set built by a thread that lost the race to insert the same
// gamma is freed again). Table contents never change once a set is returned. ReleaseGammaTables
// must not overlap any use of the tables (no image using them may still be fetched or stored).
#pragma once

#include <cstdint>

#include "image/image_record.h"

namespace lumeray {

constexpr int kGammaTableCacheCapacity = 32;

// Image gammas are kept to the nearest multiple of 1 / kGammaSteps (0.05).
constexpr double kGammaSteps = 20.0;
// The gamma of the working profile; also the gamma assumed when none is known.
constexpr double kWorkingGamma = 2.2;
// Tables of this gamma raise encoded samples to the power 2.2 through their encode tables.
constexpr double kLinearizingGamma = 1.0 / kWorkingGamma;

// A 24-bit linear value indexes the encode tables by its upper 16 bits.
constexpr int kLinearToIndexShift = 8;
// Linear values below this (1/128 of full intensity) are encoded to 16 bits through the shadow
// table: the glows drawn on a dark 16-bit image mostly lie there, and one lookup in a table of
// 256 KiB is quicker than the search the coarse table needs (a shadow table twice as long, or
// half as long, serves them no better).
constexpr uint32_t kShadowEncodeEntries = 1u << 17;

// round(gamma * 20) / 20. A gamma that gives no positive finite result is reported and replaced
// by kWorkingGamma.
double RoundImageGamma(double gamma);

// The tables of `gamma` (see above); all null when no set exists and none can be made, or when
// the gamma is not a positive finite number (reported).
GammaTableSet GetGammaTables(double gamma);

// Releases every cached set and empties the cache.
void ReleaseGammaTables();

// How many sets the cache holds.
int GammaTableCacheSize();

}  // namespace lumeray
