// Colour saturation of a light source's colour before its star is drawn. With C the Color
// Saturation (-100..100) and C' = 15 C for C > 0, else C, each channel c with the other two
// channels o1 and o2 (all taken before any changes) becomes
//
//   c' = c + (c - (o1 + o2) / 2) * C' / 150
//
// in signed 64-bit arithmetic with the divisions truncated toward zero. So +100 adds ten times
// each channel's difference from the mean of the other two, and -100 moves each channel two
// thirds of the way towards it. The step moves the three channels straight away from (or
// towards) their common mean, which it keeps: the hue stays. The result is brought into
// 0..0xFFFFFFFE without turning the hue either:
//  * a channel below 0: the three are pulled towards their mean until the smallest is 0 (the
//    most saturated colour of that hue at that mean);
//  * then, when the largest exceeds 0xFFFFFFFE, all three are scaled by the one factor that
//    brings it to 0xFFFFFFFE.
// Clamping each channel on its own would turn a blue-white star cyan. Nothing changes for C = 0
// or on a grey host image.
//
// Threading contract: pure function; any thread.
#pragma once

#include <cstdint>

#include "effects/rainbow.h"

namespace lumeray {

FractionColor SaturateColor(const FractionColor& color, int32_t saturation, bool grayHost);

}  // namespace lumeray
