// The 42 secondary (mini) spikes of every star: an angle offset from the star's Angle and a
// weight in percent of the secondary amplitude. "Hyper Star" and "Star Burst" also take their
// ray layout from this table.
//
// Threading contract: constant data; any thread.
#pragma once

#include <cstdint>
#include <span>

namespace lumeray {

struct SecondarySpike {
  int32_t angleOffset;  // tenths of a degree
  int32_t weight;       // percent
};

inline constexpr int32_t kSecondarySpikeCount = 42;

std::span<const SecondarySpike, kSecondarySpikeCount> SecondarySpikeTable();

}  // namespace lumeray
