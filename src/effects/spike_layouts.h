// The spike layouts of a star: where each spike points and how strong it is, for the seven
// effect types (primary spikes) and for the secondary mini-spikes. The star builder draws the
// rays in the order given here and stops at the first that cannot be drawn.
//
// Conventions: angles in tenths of a degree, 0 pointing up, positive clockwise, not reduced
// (the rasteriser reduces them); amplitudes are u32 fractions. Integer divisions truncate
// toward zero as in C++. Single-precision amplitudes of 2^32 and above become 0xFFFFFFFE.
//
// Threading contract: pure functions; any thread.
#pragma once

#include <cstdint>
#include <vector>

#include "effects/star_settings.h"

namespace lumeray {

struct SpikeRay {
  int32_t angle;
  uint32_t amplitude;
  friend bool operator==(const SpikeRay&, const SpikeRay&) = default;
};

// The primary spikes of settings.effectType with the primary amplitude; nothing when the
// length is 0 or the type is none of the seven.
std::vector<SpikeRay> LayOutPrimarySpikes(const StarSettings& settings);

// The 42 secondary spikes: (Angle + offset, weight * (a2 / 100)) in table order; nothing when
// the length is 0 or the secondary intensity is below 1.
std::vector<SpikeRay> LayOutSecondarySpikes(const StarSettings& settings);

// A single-precision amplitude as a fraction: truncated, 0xFFFFFFFE from 2^32 on.
uint32_t SingleToAmplitude(float amplitude);

}  // namespace lumeray
