// Encoding a 24-bit linear colour value into an 8-bit or 16-bit sample of an image's gamma.
//
// The encode tables of a GammaTableSet are indexed by the linear value's upper 16 bits, which
// cannot tell apart the darkest samples (below about 1/150 of full scale for 16 bits, the first
// two steps for 8 bits at gamma 2.2): a value a little brighter than a sample's decoded value
// could come out as a darker sample. The encoders here keep the decode tables' promise instead:
//
//  * EncodeLinear8: the 8-bit encode table's sample, raised while it decodes below the value
//    and the next sample decodes at or below it (this only happens in the deepest shadows;
//    everywhere else the table's sample is kept).
//  * EncodeLinear16: at full 16-bit precision, the sample whose decoded value is nearest the
//    value: of a run of samples that decode to exactly the value the darkest (so 0 gives 0), of
//    two equally near the darker. The encode table only narrows the search.
//
// So for every sample s and value v > decode[s], the encoded sample is >= s: a value that was
// brightened never comes back as a darker sample. Values at or above kFullIntensity give the
// full scale. Values are < kLeaveUnchanged (the callers skip it).
//
// Threading contract: pure functions of the tables (which never change once made); any thread.
#pragma once

#include <algorithm>
#include <cstdint>

#include "image/image_record.h"

namespace lumeray {

inline uint8_t EncodeLinear8(const uint32_t* decode8, const uint8_t* encode8, uint32_t value) {
  if (value >= kFullIntensity) return 255;
  uint32_t sample = encode8[value >> 8];
  while (sample < 255 && decode8[sample] < value && decode8[sample + 1] <= value) ++sample;
  return static_cast<uint8_t>(sample);
}

inline uint16_t EncodeLinear16(const uint32_t* decode16, const uint16_t* encode16, uint32_t value) {
  constexpr uint32_t kLast = 65535;
  if (value >= kFullIntensity) return static_cast<uint16_t>(kLast);
  // The table's neighbours bracket the samples decoding near the value; the two loops mend a
  // bracket that rounding left short, so that [low, end) holds the last sample decoding below
  // the value (or 0) and every sample decoding to it.
  const uint32_t index = value >> 8;
  uint32_t low = encode16[index] == 0 ? 0 : encode16[index] - 1u;
  while (low > 0 && decode16[low] >= value) --low;
  uint32_t end = index < kLast ? encode16[index + 1] + 1u : kLast + 1;
  while (end <= kLast && decode16[end] <= value) ++end;
  // decode16[0] is 0 and decode16[kLast] is kFullIntensity, above the value: `floor`, the
  // brightest sample decoding at or below the value, exists and has a successor.
  const uint32_t* const first = decode16 + low;
  const uint32_t* const last = decode16 + end;
  const auto floor = static_cast<uint32_t>(std::upper_bound(first, last, value) - decode16 - 1);
  if (decode16[floor] == value) {
    return static_cast<uint16_t>(std::lower_bound(first, last, value) - decode16);
  }
  const uint32_t below = value - decode16[floor];
  const uint32_t above = decode16[floor + 1] - value;
  return static_cast<uint16_t>(above < below ? floor + 1 : floor);
}

}  // namespace lumeray
