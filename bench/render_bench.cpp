// The star renderer's kernels on a 24-megapixel photo (6000 x 4000, diagonal 7211): building
// the star and soft flare sub-shapes of one quarter-pixel phase with the factory settings, and
// the effects pass and compositing of one band of the final render.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <thread>
#include <vector>

#include <cmath>
#include <cstring>
#include <random>

#include "analysis/master_light_source_table.h"
#include "analysis/presence_threshold.h"
#include "effects/band_render.h"
#include "effects/effect_renderers.h"
#include "effects/effect_shape_parameters.h"
#include "effects/effects_pass.h"
#include "effects/effects_run_state.h"
#include "effects/parameter_set.h"
#include "effects/soft_flare_builder.h"
#include "effects/spike_distance_tables.h"
#include "effects/star_builder.h"
#include "effects/star_phase_set.h"
#include "effects/star_settings.h"
#include "host/final_render.h"
#include "host/host_globals.h"
#include "image/gamma_tables.h"
#include "image/image_create.h"
#include "image/image_ops.h"
#include "image/pixel_tables.h"
#include "preview_scene.h"
#include "run/input_image.h"

namespace lumeray {
namespace {

constexpr int32_t kWidth = 6000;
constexpr int32_t kHeight = 4000;
constexpr uint32_t kDiagonal = 7211;  // trunc(sqrt(6000^2 + 4000^2) + 1)
constexpr uint32_t kEightBitThreshold = 16384;
constexpr int kBandCount = 4;
constexpr int kLightSources = 120;

constexpr RenderImageFacts kPhoto{kDiagonal, kEightBitThreshold, false};

StarSettings FactoryStarSettings() {
  return MakeStarSettings(MakeFinalRenderSnapshot(kFactoryParameters), kPhoto.diagonal,
                          kPhoto.presenceThreshold, kPhoto.grayHost);
}

// The distance tables a render makes once when it binds the star (not part of a phase build).
void BM_StarDistanceTables(benchmark::State& state) {
  const StarSettings settings = FactoryStarSettings();
  for (auto _ : state) benchmark::DoNotOptimize(BuildSpikeDistanceTables(settings));
}
BENCHMARK(BM_StarDistanceTables)->Unit(benchmark::kMillisecond);

// One phase per iteration, cycling through all 16. With reuse (argument 1) every phase was
// built once before timing, so the timed builds only compute; without (argument 0) each build
// also obtains and first touches its entry array, as the first render of a run does.
// Argument 2 is the Length.
void BuildPhases(benchmark::State& state, ShapeBuilder builder) {
  const bool reuse = state.range(0) != 0;
  ParameterSet p = kFactoryParameters;
  p.Length = static_cast<int16_t>(state.range(1));
  const ParameterSetBuffer snapshot = MakeFinalRenderSnapshot(p);
  const SpikeDistanceTables distances = BuildSpikeDistanceTables(
      MakeStarSettings(snapshot, kPhoto.diagonal, kPhoto.presenceThreshold, kPhoto.grayHost));
  const EffectShapeParameters parameters{snapshot, kPhoto, &distances};
  EffectShape shape;
  shape.builder = builder;
  shape.parameters = &parameters;
  if (reuse) {
    for (int phase = 0; phase < kSubShapeCount; ++phase) builder(&shape, phase / 4, phase % 4);
  }
  int phase = 0;
  uint64_t entries = 0, capacity = 0;
  for (auto _ : state) {
    const int xPhase = phase / 4, yPhase = phase % 4;
    SubShape& subShape = shape.subShapes[SubShapeIndex(xPhase, yPhase)];
    if (!reuse) {
      state.PauseTiming();
      DeallocateBuffer(&subShape.entries);
      state.ResumeTiming();
    }
    if (!builder(&shape, xPhase, yPhase)) state.SkipWithError("build failed");
    entries = subShape.entryCount;
    capacity = subShape.entries.size;
    phase = (phase + 1) % kSubShapeCount;
  }
  state.counters["entries"] = static_cast<double>(entries);
  state.counters["bytes"] = static_cast<double>(capacity);
  ReleaseEffectShape(&shape);
}

void BM_StarShapePhaseBuild(benchmark::State& state) {
  BuildPhases(state, &BuildStarSubShape);
}
BENCHMARK(BM_StarShapePhaseBuild)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(16)
    ->Args({0, 50})
    ->Args({1, 50})
    ->Args({1, 100});

void BM_SoftFlarePhaseBuild(benchmark::State& state) {
  BuildPhases(state, &BuildSoftFlareSubShape);
}
BENCHMARK(BM_SoftFlarePhaseBuild)->Unit(benchmark::kMillisecond)->Iterations(16)->Args({1, 50});

// One phase of the star straight into row-indexed form, as the final render builds it: in place,
// from the entries by row of the first phase's build (through an array of every entry), each
// phase guessed from another. Two parts drawn one after the other on one thread. Argument: the
// Length.
void BM_StarPhaseRowsBuild(benchmark::State& state) {
  ParameterSet p = kFactoryParameters;
  p.Length = static_cast<int16_t>(state.range(0));
  const ParameterSetBuffer snapshot = MakeFinalRenderSnapshot(p);
  const SpikeDistanceTables distances = BuildSpikeDistanceTables(
      MakeStarSettings(snapshot, kPhoto.diagonal, kPhoto.presenceThreshold, kPhoto.grayHost));
  const EffectShapeParameters parameters{snapshot, kPhoto, &distances};
  PackedSpikeEntries first, second;
  RowIndexedPhase phase;
  RowCountGuess guess;
  if (!BuildStarPhaseRowsInTwo(parameters, 0, 0, {0, &first, nullptr, false, nullptr, &guess},
                               &phase)) {
    state.SkipWithError("build failed");
  }
  int index = 1;
  for (auto _ : state) {
    if (!BuildStarPhaseRowsInTwo(parameters, index / 4, index % 4,
                                 {guess.splitRay, &first, &second, false, &guess, nullptr},
                                 &phase)) {
      state.SkipWithError("build failed");
    }
    index = index % (kSubShapeCount - 1) + 1;
  }
  state.counters["entries"] = phase.entryCount;
  state.counters["bytesPerEntry"] =
      static_cast<double>(phase.storage.size) / std::max(phase.entryCount, 1u);
  state.counters["overflow"] = first.count + second.count;
  ReleaseRowIndexedPhase(&phase);
  DeallocateBuffer(&first.entries);
  DeallocateBuffer(&second.entries);
}
BENCHMARK(BM_StarPhaseRowsBuild)->Unit(benchmark::kMillisecond)->Iterations(16)->Arg(50)->Arg(100);

EffectRenderers& Renderers() {
  return bench::BenchRun().effects.renderers;
}

// A 24-megapixel 8-bit photo with light sources at random positions and phases; the renderers'
// shapes are built for every phase before timing starts.
class BandFixture {
 public:
  BandFixture() {
    bench::BenchRun();  // begun first: the photo and its diagonal below are the run's own
    InitializeFixedTables();
    ForceRunResult(0);
    ClearRenderAbort();
    const ImageRect rect{0, 0, kWidth, kHeight};
    int code = 0;
    CreateImage(&InputImage(), rect, rect, kImageModeRgb8, nullptr, false, true, &code);
    FillImage(&InputImage(), {0x200000, 0x180000, 0x100000, 0xFFFFFFFE, 0xFFFFFFFE}, rect);
    SetImageDiagonal(kDiagonal);
    bench::BenchRun().analysis.presenceThreshold = kEightBitThreshold;

    // As the analysis of a night scene of lamps finds them: full strength, the colour of a warm,
    // white or cold lamp, the brightest at full scale and each next a little fainter, down to a
    // fiftieth (the generated scene of scripts/bench has 120, from 0xFF.. to 0x05..).
    constexpr uint32_t kLamps[][3] = {{0xFF, 0xFF, 0xFF},
                                      {0xFF, 0xE0, 0xA0},
                                      {0xFF, 0xB0, 0x50},
                                      {0xB8, 0xD8, 0xFF},
                                      {0xFF, 0x70, 0x60}};
    std::mt19937 random(5);
    PreallocateMasterLightSourceTable(&bench::BenchRun().analysis.master, kLightSources);
    for (int i = 0; i < kLightSources; ++i) {
      LightSourceEntry e{};
      e.x = static_cast<int32_t>(random() % kWidth);
      e.y = static_cast<int32_t>(random() % kHeight);
      e.xFraction = static_cast<int32_t>(random() % 4);
      e.yFraction = static_cast<int32_t>(random() % 4);
      const double level = 0xFFFFFFFE * std::pow(1.0 / 50, double(i) / (kLightSources - 1));
      const uint32_t* lamp = kLamps[i % 5];
      e.red = static_cast<uint32_t>(level * lamp[0] / 0xFF);
      e.green = static_cast<uint32_t>(level * lamp[1] / 0xFF);
      e.blue = static_cast<uint32_t>(level * lamp[2] / 0xFF);
      e.strength = 0xFFFFFFFEu;
      e.brightness = ((e.red >> 2) + (e.green >> 2) + (e.blue >> 2)) / 3 * 4;
      e.state = e.savedState = kLightSourceNormal;
      bench::BenchRun().analysis.master.data()[i] = e;
    }
    bench::BenchRun().analysis.master.count = kLightSources;

    snapshot_ = MakeFinalRenderSnapshot(kFactoryParameters);
    InitializeEffectRenderers(Renderers(), nullptr, nullptr);
    BindEffectRenderers(Renderers(), snapshot_,
                        CurrentRenderImageFacts(bench::BenchRun().analysis));
    ImageRecord warm;  // a one-pixel pass builds every phase the sources use
    const ImageRect pixel{0, 0, 1, 1};
    CreateImage(&warm, pixel, pixel, kImageModeRgb8, nullptr, false, true, &code);
    RunEffectsPass(&warm, pixel, snapshot_, Sources());
    ReleaseImage(&warm);
  }
  ~BandFixture() {
    ReleaseEffectRenderers(Renderers());
    FreeMasterLightSourceTable(&bench::BenchRun().analysis.master);
    ReleaseImage(&InputImage());
    ReleaseGammaTables();
  }

  static bool NoProgress(void*, uint32_t) { return true; }
  static EffectsPassSources Sources() {
    EffectsPassSources sources = RunEffectsPassSources(bench::BenchRun());
    sources.advance = &NoProgress;
    return sources;
  }
  const ParameterSetBuffer& snapshot() const { return snapshot_; }
  // The factory settings with another Length.
  static ParameterSetBuffer SnapshotOfLength(int32_t length) {
    ParameterSet p = kFactoryParameters;
    p.Length = static_cast<int16_t>(length);
    return MakeFinalRenderSnapshot(p);
  }

 private:
  ParameterSetBuffer snapshot_;
};

BandFixture& Fixture() {
  static BandFixture fixture;
  return fixture;
}

constexpr ImageRect kBand{0, 0, kWidth, kHeight / kBandCount};

void BM_EffectsPassPerBand(benchmark::State& state) {
  BandFixture& fixture = Fixture();
  ImageRecord effects;
  int code = 0;
  CreateImage(&effects, kBand, kBand, kImageModeRgb8, nullptr, false, true, &code);
  for (auto _ : state) {
    if (!RunEffectsPass(&effects, kBand, fixture.snapshot(), BandFixture::Sources())) {
      state.SkipWithError("effects pass failed");
    }
  }
  ReleaseImage(&effects);
  state.counters["pixels"] = double(kWidth) * (kHeight / kBandCount);
}
BENCHMARK(BM_EffectsPassPerBand)->Unit(benchmark::kMillisecond);

void BM_RenderBandWithCompositing(benchmark::State& state) {
  BandFixture& fixture = Fixture();
  for (auto _ : state) {
    if (!RenderEffectsBand(kBand, fixture.snapshot(), BandFixture::Sources(), &InputImage())) {
      state.SkipWithError("band render failed");
    }
  }
}
BENCHMARK(BM_RenderBandWithCompositing)->Unit(benchmark::kMillisecond);

// The final render's draw of the whole photo: one band per worker (argument 2: one or two
// workers), the shapes built afresh; planned (argument 1) as the final render plans it, in
// strips stamped by rows from phases built once and dealt to whichever worker is free (1), or
// each band's strips drawn by its own worker (2), or (0) each band in one piece stamping the
// shapes' sub-shapes. Reports the star phases built and the rise of the counted buffers over
// the photo itself (effects images and shapes). Two workers against one on the planned render
// is the render's scaling over two cores. Each worker's own processor time is counted too, and
// the time it spent neither running nor waiting for a core (blocked: waiting for a phase another
// worker builds or for the renderers' binding), from the scheduler's own accounts. These hold on
// a machine busy with other work: one worker's time over the most any of two workers ran or was
// blocked (slowestUnqueuedS) is the scaling the render allows; the process's processor time
// (processCpuS, helpers included) over twice slowestUnqueuedS is how busy two workers kept both
// cores. Argument 3 (when given): the
// Length (factory otherwise); Length 100 is a long star, drawn in the bounded mode.
struct WorkerTimes {
  double cpu = 0;       // seconds on a core
  double runQueue = 0;  // seconds waiting for a core
};

WorkerTimes ThreadTimes() {
  WorkerTimes times;
  if (FILE* file = std::fopen("/proc/thread-self/schedstat", "r")) {
    unsigned long long cpu = 0, queued = 0;
    if (std::fscanf(file, "%llu %llu", &cpu, &queued) == 2) {
      times = {static_cast<double>(cpu) * 1e-9, static_cast<double>(queued) * 1e-9};
    }
    std::fclose(file);
  }
  return times;
}

// The processor time of the whole process, every thread's (the phase builds' helpers too).
double ProcessCpu() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

double Seconds(std::chrono::steady_clock::time_point t) {
  return std::chrono::duration<double>(t.time_since_epoch()).count();
}

void BM_RenderOfThePhoto(benchmark::State& state) {
  BandFixture& fixture = Fixture();
  const int64_t way = state.range(0);
  const auto workers = static_cast<int>(state.range(1));
  const ParameterSetBuffer snapshot =
      state.range(2) > 0 ? BandFixture::SnapshotOfLength(static_cast<int32_t>(state.range(2)))
                         : fixture.snapshot();
  const std::vector<PixelRect> split = SplitIntoBands({0, 0, kWidth, kHeight}, workers);
  ImageRecord* output = &InputImage();  // taken here: the workers do not reach the run's own
  uint64_t rise = 0;
  int builds = 0;
  double slowestCpu = 0, slowestUnqueued = 0, blocked = 0, processCpu = 0, cpuSpread = 0,
         endSpread = 0;
  for (auto _ : state) {
    state.PauseTiming();
    ReleaseEffectRenderers(Renderers());
    InitializeEffectRenderers(Renderers(), nullptr, nullptr);
    const uint64_t before = GetBufferUsage().current;
    ResetBufferPeak();
    StripDeal deal(split);
    state.ResumeTiming();
    const double cpuBefore = ProcessCpu();
    std::vector<std::thread> threads;
    std::atomic<bool> ok{true};
    struct Worker {
      double start, end;
      WorkerTimes spent;
    };
    std::vector<Worker> spent(split.size());
    for (size_t i = 0; i < split.size(); ++i) {
      threads.emplace_back([&, i, band = split[i]] {
        const WorkerTimes first = ThreadTimes();
        spent[i].start = Seconds(std::chrono::steady_clock::now());
        BindEffectRenderers(Renderers(), snapshot,
                            CurrentRenderImageFacts(bench::BenchRun().analysis));
        const BandPlan plan = way == 0   ? BandPlan{}
                              : way == 1 ? FinalRenderBandPlanIn(band, split, &deal)
                                         : FinalRenderBandPlanIn(band, split);
        if (!RenderEffectsBand({band.left, band.top, band.right, band.bottom}, snapshot,
                               BandFixture::Sources(), output, plan)) {
          ok = false;
        }
        spent[i].end = Seconds(std::chrono::steady_clock::now());
        const WorkerTimes last = ThreadTimes();
        spent[i].spent = {last.cpu - first.cpu, last.runQueue - first.runQueue};
      });
    }
    for (std::thread& thread : threads) thread.join();
    processCpu += ProcessCpu() - cpuBefore;
    double mostCpu = 0, mostUnqueued = 0, leastCpu = 1e300, firstEnd = 1e300, lastEnd = 0;
    for (const Worker& w : spent) {
      const double unqueued = w.end - w.start - w.spent.runQueue;
      mostCpu = std::max(mostCpu, w.spent.cpu);
      leastCpu = std::min(leastCpu, w.spent.cpu);
      firstEnd = std::min(firstEnd, w.end);
      lastEnd = std::max(lastEnd, w.end);
      mostUnqueued = std::max(mostUnqueued, unqueued);
      blocked += std::max(0.0, unqueued - w.spent.cpu);
    }
    slowestCpu += mostCpu;
    cpuSpread += mostCpu - leastCpu;
    endSpread += lastEnd - firstEnd;
    slowestUnqueued += mostUnqueued;
    if (!ok) state.SkipWithError("render failed");
    rise = GetBufferUsage().peak - before;
    builds = StarPhases(Renderers())->builds();
  }
  const auto n = static_cast<double>(state.iterations());
  state.counters["peakRiseMB"] = static_cast<double>(rise) / 1e6;
  state.counters["starBuilds"] = builds;
  state.counters["slowestWorkerCpuS"] = slowestCpu / n;
  state.counters["slowestUnqueuedS"] = slowestUnqueued / n;
  state.counters["blockedS"] = blocked / n;
  // How unevenly the workers' work was shared: the busiest worker's CPU less the idlest's.
  state.counters["workerCpuSpreadS"] = cpuSpread / n;
  // How long the first worker to end waited for the last.
  state.counters["endSpreadS"] = endSpread / n;
  state.counters["processCpuS"] = processCpu / n;
}
BENCHMARK(BM_RenderOfThePhoto)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(4)
    ->Args({1, 1, 0})
    ->Args({1, 2, 0})
    ->Args({2, 2, 0})
    ->Args({0, 2, 0})
    ->Args({1, 1, 100})
    ->Args({1, 2, 100});

}  // namespace
}  // namespace lumeray
