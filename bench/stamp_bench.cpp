// Stamping one star phase into an effects strip at each sample depth, as the final render does
// on a 24-megapixel photo (6000 x 4000, a sixth of its rows per strip): the phase is built with
// the depth's presence threshold and the factory settings (rainbow on), then stamped at 40
// sources of falling strength spread over the strip. Arguments: the host's bytes per sample (1,
// 2; 4 stamps working samples, as a float strip is drawn), how many stamps are drawn
// together, row by row (1: one stamp after the other), and what the sources' strength is divided
// by (16: faint sources, most of whose entries are skipped, as most of a night scene's). Counters:
// the phase's entries, its storage in bytes an entry and the distance indices the rainbow covers.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <span>
#include <vector>

#include "analysis/presence_threshold.h"
#include "effects/band_render.h"
#include "effects/effect_shape_parameters.h"
#include "effects/parameter_set.h"
#include "effects/row_indexed_phase.h"
#include "effects/soft_flare_profile.h"
#include "effects/spike_distance_tables.h"
#include "effects/star_builder.h"
#include "effects/star_settings.h"
#include "image/blend.h"
#include "image/gamma_tables.h"
#include "image/image_create.h"
#include "image/image_modes.h"
#include "image/image_ops.h"
#include "image/pixel_tables.h"

namespace lumeray {
namespace {

constexpr int32_t kWidth = 6000;
constexpr int32_t kStripRows = 4000 / 6;
constexpr uint32_t kDiagonal = 7211;
constexpr int kSources = 40;

int32_t ModeOfDepth(int64_t bytes) {
  return bytes == 1 ? kImageModeRgb8 : bytes == 2 ? kImageModeRgb16 : kImageModeWorkingRgb;
}

void BM_StampStarPhase(benchmark::State& state) {
  InitializeFixedTables();
  const uint32_t threshold = PresenceThresholdForDepth(static_cast<int32_t>(state.range(0)));
  const RenderImageFacts facts{kDiagonal, threshold, false, static_cast<uint32_t>(state.range(0))};
  const ParameterSetBuffer snapshot = MakeFinalRenderSnapshot(kFactoryParameters);
  const SpikeDistanceTables distances = BuildSpikeDistanceTables(
      MakeStarSettings(snapshot, facts.diagonal, facts.presenceThreshold, facts.grayHost));
  const EffectShapeParameters parameters{snapshot, facts, &distances};
  PackedSpikeEntries scratch;
  RowIndexedPhase phase;
  if (!BuildStarPhaseRows(parameters, 0, 0, &scratch, &phase)) {
    state.SkipWithError("build failed");
    return;
  }
  StampColours colours;
  colours.uniform = false;
  colours.index = distances.rainbowIndex.data();
  colours.palette = distances.rainbowPalette.data();
  colours.tableSize = static_cast<uint32_t>(distances.rainbowIndex.size());
  colours.far = [](uint32_t, const void*) { return FractionColor{0, 0, 0}; };

  const ImageRect strip{0, 0, kWidth, kStripRows};
  ImageRecord effects;
  int code = 0;
  CreateImage(&effects, strip, strip, ModeOfDepth(state.range(0)), nullptr, false, true, &code);
  // Sources on a fixed grid around the strip, the strongest first, each a little weaker.
  std::vector<PhaseStamp> stamps;
  for (int i = 0; i < kSources; ++i) {
    const QuarterPixelPoint centre{(i * 733) % kWidth, 0, (i * 211) % (3 * kStripRows) - kStripRows,
                                   0};
    const uint32_t strength = (kFractionUnit - static_cast<uint32_t>(i) * (kFractionUnit / 48)) /
                              static_cast<uint32_t>(state.range(2));
    stamps.push_back(
        {centre, strip, {0xE0000000u, 0xF0000000u, kFractionUnit, strength, kFractionUnit}});
  }
  for (auto _ : state) {
    state.PauseTiming();
    FillImage(&effects, {0, 0, 0, kFractionUnit, kFractionUnit}, strip);
    state.ResumeTiming();
    const auto together = static_cast<size_t>(state.range(1));
    for (size_t i = 0; i < stamps.size(); i += together) {
      StampRowIndexedPhase(&effects, phase, colours,
                           std::span(stamps).subspan(i, std::min(together, stamps.size() - i)),
                           threshold / 2);
    }
  }
  state.counters["entries"] = phase.entryCount;
  state.counters["bytesPerEntry"] =
      static_cast<double>(phase.storage.size) / std::max(phase.entryCount, 1u);
  state.counters["colours"] = colours.tableSize;
  ReleaseImage(&effects);
  ReleaseRowIndexedPhase(&phase);
  DeallocateBuffer(&scratch.entries);
  ReleaseGammaTables();
}
BENCHMARK(BM_StampStarPhase)
    ->Unit(benchmark::kMillisecond)
    ->ArgsProduct({{1, 2, 4}, {1, 16}, {1, 16}});

// The soft flare of kSources sources of falling strength, spread over and around the strip.
void StampFlareSources(ImageRecord* effects, const SoftFlareProfile& profile,
                       const ImageRect& strip, uint32_t threshold) {
  for (int i = 0; i < kSources; ++i) {
    const QuarterPixelPoint centre{(i * 733) % kWidth, i % 4,
                                   (i * 211) % (3 * kStripRows) - kStripRows, (i / 4) % 4};
    const uint32_t strength = kFractionUnit - static_cast<uint32_t>(i) * (kFractionUnit / 48);
    StampSoftFlare(effects, profile, centre, strip,
                   {0xE0000000u, 0xF0000000u, kFractionUnit, strength, kFractionUnit},
                   threshold / 2);
  }
}

// The soft flare stamped at 40 sources of falling strength over a strip, at all four
// quarter-pixel phases. Arguments: the Length and the host's bytes per sample (1, 2). Counter:
// the flare's table entries.
void BM_StampSoftFlare(benchmark::State& state) {
  InitializeFixedTables();
  const auto bytes = static_cast<int32_t>(state.range(1));
  const uint32_t threshold = PresenceThresholdForDepth(bytes);
  const SoftFlareProfile profile =
      MakeSoftFlareProfile(static_cast<int32_t>(state.range(0)),
                           {kDiagonal, threshold, false, static_cast<uint32_t>(bytes)});
  const ImageRect strip{0, 0, kWidth, kStripRows};
  ImageRecord effects;
  int code = 0;
  CreateImage(&effects, strip, strip, ModeOfDepth(bytes), nullptr, false, true, &code);
  for (auto _ : state) {
    state.PauseTiming();
    FillImage(&effects, {0, 0, 0, kFractionUnit, kFractionUnit}, strip);
    state.ResumeTiming();
    StampFlareSources(&effects, profile, strip, threshold);
  }
  state.counters["table"] = static_cast<double>(profile.values.size());
  ReleaseImage(&effects);
  ReleaseGammaTables();
}
BENCHMARK(BM_StampSoftFlare)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2)
    ->Args({50, 1})
    ->Args({100, 1})
    ->Args({50, 2});

// Compositing an effects strip onto the photo's strip, as the final render does after drawing:
// the effects are the soft flare of 40 sources over black (so most pixels get a faint glow),
// the photo a dark blue. Argument: the host's bytes per sample (1, 2).
void BM_CompositeEffectsStrip(benchmark::State& state) {
  InitializeFixedTables();
  const auto bytes = static_cast<int32_t>(state.range(0));
  const uint32_t threshold = PresenceThresholdForDepth(bytes);
  const SoftFlareProfile profile =
      MakeSoftFlareProfile(50, {kDiagonal, threshold, false, static_cast<uint32_t>(bytes)});
  const ImageRect strip{0, 0, kWidth, kStripRows};
  ImageRecord effects, photo;
  int code = 0;
  CreateImage(&effects, strip, strip, ModeOfDepth(bytes), nullptr, false, true, &code);
  CreateImage(&photo, strip, strip, ModeOfDepth(bytes), nullptr, false, true, &code);
  FillImage(&effects, {0, 0, 0, kFractionUnit, kFractionUnit}, strip);
  StampFlareSources(&effects, profile, strip, threshold);
  for (auto _ : state) {
    state.PauseTiming();
    FillImage(&photo, {0x6000, 0x8000, 0x18000, kFractionUnit, kFractionUnit}, strip);
    state.ResumeTiming();
    CompositeEffectsBand(effects, strip, false, &photo);
  }
  ReleaseImage(&effects);
  ReleaseImage(&photo);
  ReleaseGammaTables();
}
BENCHMARK(BM_CompositeEffectsStrip)->Unit(benchmark::kMillisecond)->Arg(1)->Arg(2);

}  // namespace
}  // namespace lumeray
