// The renderer's constant tables: the sine of every tenth of a degree over the full circle
// (single precision) and the half-sine fractions (1 + sin) / 2 that drive the rainbow colour.
//
// Conventions
//  * Angles are integers in tenths of a degree; an angle indexes the tables after reduction into
//    0..kAngleSteps - 1 (ReduceAngle).
//  * Sine entry i = sin(i * pi / 1800) for i < 1800 and -sin((i - 1800) * pi / 1800) above, with
//    pi the single-precision 3.1415927 and the product, quotient and sine taken in single
//    precision.
//  * Half-sine entry i = round((1 + sine entry i) / 2 * 4294967294), computed in double precision
//    from the single-precision sine: a u32 fraction with 0xFFFFFFFE standing for 1.0.
//
// Threading contract: the tables are built once, on first use, by whichever thread asks first
// (thread-safe static initialisation), and never change afterwards; any thread may read them.
#pragma once

#include <cstdint>

namespace lumeray {

inline constexpr int32_t kAngleSteps = 3600;  // tenths of a degree in a full turn
inline constexpr int32_t kHalfTurn = 1800;
inline constexpr int32_t kQuarterTurn = 900;
inline constexpr float kSinglePi = 3.1415927f;

// The u32 fraction standing for 1.0, and the scale a fraction is rounded onto.
inline constexpr uint32_t kUnitFraction = 0xFFFFFFFEu;
inline constexpr double kUnitFractionScale = 4294967294.0;

// The tables of kAngleSteps entries each.
const float* SineTable();
const uint32_t* HalfSineTable();

// Builds both tables if they are not built yet (the renderer initialisation calls it so that
// the first star does not pay for it).
void BuildRendererTables();

// The angle reduced into 0..kAngleSteps - 1.
constexpr int32_t ReduceAngle(int64_t angle) {
  const int64_t reduced = angle % kAngleSteps;
  return static_cast<int32_t>(reduced < 0 ? reduced + kAngleSteps : reduced);
}

// The fraction product: the 64-bit product of two u32 fractions shifted right by 32.
constexpr uint32_t MultiplyFractions(uint32_t a, uint32_t b) {
  return static_cast<uint32_t>((uint64_t{a} * b) >> 32);
}

}  // namespace lumeray
