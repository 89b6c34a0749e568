#include "effects/spike_distance_tables.h"

#include <algorithm>

#include "effects/spike.h"
#include "effects/spike_layouts.h"
#include "effects/spike_profile.h"

namespace lumeray {
namespace {

uint32_t LargestAmplitude(const std::vector<SpikeRay>& rays) {
  uint32_t largest = 0;
  for (const SpikeRay& ray : rays) largest = std::max(largest, ray.amplitude);
  return largest;
}

// Whether the strongest spike still reaches half the threshold at distance index d.
bool StillVisible(uint32_t amplitude, uint32_t threshold, uint32_t diagonal, double exponent,
                  uint32_t d) {
  const uint32_t reached = FallOffAmplitude(amplitude, FallOffFactor(d, diagonal, exponent));
  return reached >= threshold / 2;
}

}  // namespace

uint32_t FarthestDistanceIndex(uint32_t diagonal) {
  const int64_t farthest = SpikeReach(diagonal) + 4;
  return DistanceIndex(static_cast<uint64_t>(2 * farthest * farthest));
}

FallOffTable BuildFallOffTable(const StarSettings& settings, int32_t length, int32_t intensity,
                               uint32_t largestAmplitude) {
  FallOffTable table;
  table.length = length;
  table.intensity = intensity;
  const uint32_t threshold = settings.presenceThreshold;
  if (length < 1 || largestAmplitude < threshold) return table;

  // The end: the first distance index (found by bisection, the fall-off only decreases) at which
  // the strongest spike is below half the threshold, at most one past the farthest pixel.
  const double exponent = FallOffExponent(intensity, length);
  const uint32_t farthest = FarthestDistanceIndex(settings.diagonal);
  uint32_t low = 0, high = farthest + 1;  // visible at low; the end is in (low, high]
  while (high - low > 1) {
    const uint32_t middle = low + (high - low) / 2;
    if (StillVisible(largestAmplitude, threshold, settings.diagonal, exponent, middle)) {
      low = middle;
    } else {
      high = middle;
    }
  }
  table.factors.resize(high);
  for (uint32_t d = 0; d < high; ++d) {
    table.factors[d] = FallOffFactor(d, settings.diagonal, exponent);
  }
  table.farthestMost.resize((high + kFallOffBlock - 1) / kFallOffBlock);
  double most = 0.0;
  for (uint32_t d = high; d-- > 0;) {
    most = std::max(most, table.factors[d]);
    if (d % kFallOffBlock == 0) table.farthestMost[d / kFallOffBlock] = most;
  }
  return table;
}

SpikeDistanceTables BuildSpikeDistanceTables(const StarSettings& settings) {
  SpikeDistanceTables tables;
  tables.primary = BuildFallOffTable(settings, settings.length, settings.intensity,
                                     LargestAmplitude(LayOutPrimarySpikes(settings)));
  tables.secondary =
      BuildFallOffTable(settings, settings.secondaryLength, settings.secondaryIntensity,
                        LargestAmplitude(LayOutSecondarySpikes(settings)));
  const size_t colours = std::max(tables.primary.factors.size(), tables.secondary.factors.size());
  tables.rainbow.resize(colours);
  tables.rainbowIndex.resize(colours);
  for (size_t d = 0; d < colours; ++d) {
    tables.rainbow[d] =
        RainbowColor(static_cast<uint32_t>(d), settings.diagonal, settings.rainbowIntensity,
                     settings.rainbowFrequency, settings.grayHost);
    tables.rainbowIndex[d] = static_cast<uint16_t>(RainbowPaletteIndex(
        RainbowPhase(static_cast<uint32_t>(d), settings.diagonal, settings.rainbowFrequency)));
  }
  tables.rainbowPalette.resize(colours == 0 ? 0 : kRainbowPaletteSize);
  for (uint32_t i = 0; i < tables.rainbowPalette.size(); ++i) {
    // Each index below the palette's size is the index of its own phase.
    tables.rainbowPalette[i] = RainbowColorOfPhase(i, settings.rainbowIntensity, settings.grayHost);
  }
  return tables;
}

}  // namespace lumeray
