#include "effects/secondary_spike_table.h"

namespace lumeray {
namespace {

constexpr SecondarySpike kSecondarySpikes[kSecondarySpikeCount] = {
    {40, 32},   {110, 17},  {180, 42},  {270, 19},  {340, 16},  {410, 31},  {470, 14},
    {550, 24},  {640, 22},  {760, 34},  {860, 16},  {1000, 20}, {1070, 14}, {1160, 38},
    {1250, 16}, {1360, 28}, {1450, 20}, {1520, 21}, {1630, 28}, {1750, 23}, {1830, 19},
    {1890, 26}, {1990, 18}, {2070, 28}, {2150, 21}, {2260, 23}, {2330, 16}, {2460, 31},
    {2510, 14}, {2600, 17}, {2770, 18}, {2840, 16}, {2910, 25}, {2960, 15}, {3020, 18},
    {3110, 15}, {3190, 27}, {3220, 14}, {3310, 18}, {3380, 21}, {3470, 31}, {3520, 20},
};

}  // namespace

std::span<const SecondarySpike, kSecondarySpikeCount> SecondarySpikeTable() {
  return std::span<const SecondarySpike, kSecondarySpikeCount>(kSecondarySpikes);
}

}  // namespace lumeray
