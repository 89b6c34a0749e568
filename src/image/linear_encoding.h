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
//    two equally near the darker. Linear values below kShadowEncodeEntries are looked up in the
//    set's shadow table; above, the encode table only narrows the search.
//
// So for every sample s and value v > decode[s], the encoded sample is >= s: a value that was
// brightened never comes back as a darker sample. Values at or above kFullIntensity give the
// full scale. Values are < kLeaveUnchanged (the callers skip it).
//
// Threading contract: pure functions of the tables (which never change once made); any thread.
#pragma once

#include <algorithm>
#include <cstdint>

#include "image/gamma_tables.h"
#include "image/image_record.h"

namespace lumeray {

inline uint8_t EncodeLinear8(const uint32_t* decode8, const uint8_t* encode8, uint32_t value) {
  if (value >= kFullIntensity) return 255;
  uint32_t sample = encode8[value >> 8];
  while (sample < 255 && decode8[sample + 1] <= value && decode8[sample] < value) ++sample;
  return static_cast<uint8_t>(sample);
}

// Of `reaching`, the first sample decoding at or above the value (> 0), and the one before it,
// which decodes below: the nearer, the darker one when both are equally near (so `reaching`
// when it decodes to exactly the value).
inline uint32_t NearestSample(const uint32_t* decode16, uint32_t reaching, uint32_t value) {
  const uint32_t above = decode16[reaching] - value;
  const uint32_t below = value - decode16[reaching - 1];
  return above < below ? reaching : reaching - 1;
}

// Values below kShadowEncodeEntries come from the set's shadow table. Above, the encode table
// interpolated within its step lands on the first sample reaching the value or at most two
// samples before it (the curve is nearly straight over one step there); two comparisons finish
// the job, and the loops only run for a gamma far from 2.2.
inline uint16_t EncodeLinear16(const uint32_t* decode16, const uint16_t* encode16,
                               const uint16_t* shadows, uint32_t value) {
  constexpr uint32_t kLast = 65535;
  if (value >= kFullIntensity) return static_cast<uint16_t>(kLast);
  if (value < kShadowEncodeEntries) return shadows[value];
  // decode16[0] is 0, below the value, and decode16[kLast] is kFullIntensity, above it: the
  // first sample decoding at or above the value exists and is not sample 0.
  const uint32_t index = value >> kLinearToIndexShift;
  const uint32_t low = encode16[index];
  const uint32_t high = index < kLast ? encode16[index + 1] : kLast;
  uint32_t reaching =
      std::clamp(low + (((high - low) * (value & 0xFFu)) >> kLinearToIndexShift), 1u, kLast - 2);
  reaching += static_cast<uint32_t>(decode16[reaching] < value) +
              static_cast<uint32_t>(decode16[reaching + 1] < value);
  while (decode16[reaching - 1] >= value) --reaching;
  while (decode16[reaching] < value) ++reaching;
  return static_cast<uint16_t>(NearestSample(decode16, reaching, value));
}

}  // namespace lumeray
