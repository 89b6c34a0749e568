// The soft flare builder: builds the sub-shape of the soft flare shape for one quarter-pixel
// phase from the EffectShapeParameters the shape points to. The flare is a white disc whose
// value depends only on the distance from the exact centre:
//
//   d = round(10 * distance in quarter pixels), h = d / 2 (integer)
//   v = trunc(67108860 / (h / 2 / D + 1)^(25 - L / 5))          (double precision)
//   value = v - 1024 when v > 1024, else 0
//
// 67108860 is four times the white level, so the flare's middle is saturated; a higher Length
// lowers the exponent from 25 towards 5 and widens the flare. The centre pixel's entry comes
// first; then the square rings around it, one pixel wider each time, add every pixel whose
// value reaches the presence threshold. The scan ends after the first ring that adds nothing
// (the nearest pixel of each ring is nearer than every pixel of the next, and the value only
// falls with the distance, so no pixel that qualifies is left out) or beyond the reach limit
// (spike.h). With Length 0 the sub-shape is built empty. Failure and threading as in
// star_builder.h.
#pragma once

#include <cstdint>

#include "analysis/effect_shape.h"

namespace lumeray {

inline constexpr uint32_t kSoftFlareEntryGrowth = 16384;

bool BuildSoftFlareSubShape(EffectShape* shape, int xPhase, int yPhase);

// The flare value at half distance index h.
uint32_t SoftFlareValue(uint32_t halfDistanceIndex, uint32_t diagonal, int32_t length);

}  // namespace lumeray
