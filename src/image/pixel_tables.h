// The fixed pixel tables and the rounding every table value goes through.
//
// Table values are computed in double precision and rounded to the nearest integer with ties
// to even by adding 1.5 * 2^52 and keeping the low 32 bits of the sum's representation
// (RoundToNearestEven). The fixed tables convert alpha and mask samples:
//   alpha 8 -> 32    256 x u32     round(i / 255 * 0xFFFFFFFE)      entry 255 is 0xFFFFFFFE
//   alpha 16 -> 32   65 536 x u32  round(i / 65 535 * 0xFFFFFFFE)   entry 65 535 is 0xFFFFFFFE
//   alpha 16 -> 8    65 536 x u8   round(i / 65 535 * 255)
//   alpha 16 -> 16   65 536 x u16  round(i / 65 535 * 65 535), that is i
// The 16-bit-indexed tables take a 32-bit alpha or mask shifted right by 16.
//
// Lifetime: built once (module set-up, or the first CreateImage), kept until module tear-down.
//
// The tables are process-wide constants once built, not one run's (run/run_state.h).
//
// Threading contract: InitializeFixedTables may be called from any thread at any time; the
// tables are published once and never change until ReleaseFixedTables, which must not overlap
// any other use. GetFixedTables is valid on a thread that has seen InitializeFixedTables return
// 0 (or that was started after that).
#pragma once

#include <bit>
#include <cstdint>

namespace lumeray {

// 1.5 * 2^52: adding it leaves a non-negative value below 2^51 rounded to an integer (ties to
// even) in the low bits of the sum.
constexpr double kRoundingBias = 6755399441055744.0;

constexpr uint32_t RoundToNearestEven(double value) {
  return static_cast<uint32_t>(std::bit_cast<uint64_t>(value + kRoundingBias));
}

constexpr int kEightBitEntries = 256;
constexpr int kSixteenBitEntries = 65536;
constexpr uint32_t kMaximum8 = 255;
constexpr uint32_t kMaximum16 = 65535;
// A 32-bit alpha or mask indexes the 16-bit tables by its upper half.
constexpr int kCoverageToIndexShift = 16;

struct FixedTables {
  const uint32_t* alpha8To32;
  const uint32_t* alpha16To32;
  const uint8_t* alpha16To8;
  const uint16_t* alpha16To16;
};

// Builds the tables unless they exist. Returns 0 or the allocator's -108.
int InitializeFixedTables();
// Releases the tables (module tear-down).
void ReleaseFixedTables();

namespace pixel_tables_internal {
extern FixedTables publishedTables;
}  // namespace pixel_tables_internal

inline const FixedTables& GetFixedTables() {
  return pixel_tables_internal::publishedTables;
}

}  // namespace lumeray
