// Shared set-up of the render tests: an output image standing in for the host's InputImage,
// light sources in the master table, the effect renderers, and a render split into bands on
// their own threads, with a progress counter instead of the host's progress bar.
#pragma once

#include <gtest/gtest.h>
#include <algorithm>

#include <atomic>
#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

#include "analysis/master_light_source_table.h"
#include "analysis/presence_threshold.h"
#include "effects/band_render.h"
#include "effects/effect_renderers.h"
#include "effects/effects_pass.h"
#include "effects/effects_run_state.h"
#include "effects/parameter_set.h"
#include "effects/parameter_set_buffer.h"
#include "host/filter_run.h"
#include "host/final_render.h"
#include "host/host_globals.h"
#include "image/gamma_tables.h"
#include "image/image_create.h"
#include "image/image_modes.h"
#include "image/image_ops.h"
#include "image/pixel_tables.h"
#include "run/input_image.h"

namespace lumeray::testing {

inline std::atomic<uint64_t> gProgressUnits{0};
inline std::atomic<int64_t> gProgressBudget{-1};  // calls until a cancel; -1: never

inline bool CountProgress(void*, uint32_t units) {
  gProgressUnits += units;
  if (gProgressBudget.load() < 0) return true;
  return gProgressBudget.fetch_sub(1) > 0;
}

class RenderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    BeginFilterRun();
    ASSERT_EQ(InitializeFixedTables(), 0);
    gProgressUnits = 0;
    gProgressBudget = -1;
    InitializeEffectRenderers(Renderers(), nullptr, nullptr);
  }

  void TearDown() override {
    ReleaseEffectRenderers(Renderers());
    FreeMasterLightSourceTable(&Analysis().master);
    Analysis().master.count = 0;
    ReleaseImage(&InputImage());
    ReleaseGammaTables();
    EndFilterRun();
  }

  static EffectRenderers& Renderers() { return ActiveFilterRun().effects.renderers; }
  static AnalysisRunState& Analysis() { return ActiveFilterRun().analysis; }

  // The output image, filled with `fill` (no profile: gamma 2.2), its diagonal and threshold.
  void MakeOutput(int32_t mode, int32_t width, int32_t height,
                  const WorkingPixel& fill = {0, 0, 0, 0xFFFFFFFE, 0xFFFFFFFE}) {
    const ImageRect rect{0, 0, width, height};
    int code = -1;
    ASSERT_TRUE(CreateImage(&InputImage(), rect, rect, mode, nullptr, false, true, &code));
    ASSERT_EQ(code, 0);
    FillImage(&InputImage(), fill, rect);
    SetImageDiagonal(
        static_cast<uint32_t>(std::sqrt(double(width) * width + double(height) * height) + 1.0));
    Analysis().presenceThreshold =
        PresenceThresholdForDepth(static_cast<int32_t>(InputImage().bytesPerSample));
  }

  // A light source at (x + xf / 4, y + yf / 4); white, full strength, bright.
  static LightSourceEntry Source(int32_t x, int32_t xf, int32_t y, int32_t yf,
                                 uint32_t state = kLightSourceNormal) {
    LightSourceEntry e{};
    e.x = x, e.xFraction = xf, e.y = y, e.yFraction = yf;
    e.radius = 1.0f, e.squaredRadius = 1.0f;
    e.brightness = 0xF0000000u;
    e.red = e.green = e.blue = 0xFFFFFFFEu;
    e.strength = 0xFFFFFFFEu;
    e.state = e.savedState = state;
    return e;
  }

  static void SetSources(const std::vector<LightSourceEntry>& sources) {
    ASSERT_EQ(PreallocateMasterLightSourceTable(&Analysis().master, sources.size() + 1), 0);
    std::copy(sources.begin(), sources.end(), Analysis().master.data());
    Analysis().master.count = static_cast<uint32_t>(sources.size());
  }

  // The factory settings with Effects Only, no secondary spikes, no flare, no rainbow.
  static ParameterSetBuffer PlainStar(uint32_t type, int16_t points, int16_t angle) {
    ParameterSet p = kFactoryParameters;
    p.EffectType = type;
    p.NumberOfPoints = points;
    p.Angle = angle;
    p.EffectsOnly = 1;
    p.SecondarySpikeIntensity = 0;
    p.SoftFlareIntensity = 0;
    p.RainbowIntensity = 0;
    p.Quantity = 100;
    return MakeFinalRenderSnapshot(p);
  }

  static EffectsPassSources Sources() {
    EffectsPassSources sources = RunEffectsPassSources(ActiveFilterRun());
    sources.advance = &CountProgress;
    return sources;
  }

  // Renders the whole output in `bands` bands, one thread each, planned as the final render
  // plans them (strips dealt to whichever thread is free, shared shapes) or, without `planned`,
  // each band in one piece with the shapes kept built. True when every band succeeded.
  static bool Render(const ParameterSetBuffer& snapshot, int bands = 3, bool planned = true) {
    const ImageRect& r = InputImage().dataRect;
    const auto split = SplitIntoBands({r.left, r.top, r.right, r.bottom}, bands);
    std::vector<std::thread> threads;
    std::atomic<bool> all{true};
    // The band threads are handed their run, as the final render's are.
    FilterRun& run = ActiveFilterRun();
    const EffectsPassSources sources = Sources();
    StripDeal deal(split);
    for (const PixelRect& band : split) {
      const BandPlan plan = planned ? FinalRenderBandPlanIn(band, split, &deal) : BandPlan{};
      threads.emplace_back([&, band, plan] {
        BindEffectRenderers(run.effects.renderers, snapshot, CurrentRenderImageFacts(run.analysis));
        if (!RenderEffectsBand({band.left, band.top, band.right, band.bottom}, snapshot, sources,
                               &run.state.inputImage, plan)) {
          all = false;
        }
      });
    }
    for (std::thread& t : threads) t.join();
    return all;
  }

  static WorkingPixel PixelAt(int32_t x, int32_t y) {
    WorkingPixel p;
    InputImage().fetch(&InputImage(), &p, x, y);
    return p;
  }

  static uint32_t Brightest(const WorkingPixel& p) { return std::max({p.red, p.green, p.blue}); }

  static std::vector<uint8_t> OutputBytes() {
    const ImageRecord& image = InputImage();
    const auto* data = static_cast<const uint8_t*>(image.pixels.data);
    const size_t size = static_cast<size_t>(image.dataWidth * image.dataHeight * kSamplesPerPixel *
                                            image.bytesPerSample);
    return std::vector<uint8_t>(data, data + size);
  }
};

}  // namespace lumeray::testing
