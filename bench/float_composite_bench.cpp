// The float effects strip's last steps on one sixth of a 24-megapixel image (6000 x 666), as
// a float run draws it: encoding the working samples it was drawn on into floats, and screening
// it onto a float photo. Argument 0 runs the images' own per-pixel fetch and store routines (a
// routine call and a codec per pixel), 1 the row loops of image/float_composite.h; both give
// the same samples. The drawn share is 82 % of the pixels, as in the factory run's float output.
// The screen's second argument picks the photo: 0 noise (no sample repeats its neighbour's), 1 a
// dark vertical gradient of 8-bit levels, each row one colour, like the generated night scene's
// background. Items are pixels.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "color/color_management.h"
#include "color/profile_gamma.h"
#include "image/blend.h"
#include "image/float_composite.h"
#include "image/gamma_tables.h"
#include "image/image_create.h"
#include "image/pixel_tables.h"

namespace lumeray {
namespace {

constexpr ImageRect kStrip{0, 0, 6000, 666};
constexpr int kDrawnPercent = 82;

class FloatStripBench {
 public:
  FloatStripBench() {
    InitializeFixedTables();
    SetProfileGammaEstimator(&EstimateProfileGamma);
    if (!InitializeColorManagement()) return;
    int result = 0;
    ok_ = CreateImage(&effects_, kStrip, kStrip, kImageModeRgbFloat, WorkingProfile(), false, true,
                      &result) &&
          CreateImage(&photo_, kStrip, kStrip, kImageModeRgbFloat, HostProfile(), false, false,
                      &result);
    if (!ok_) return;
    std::mt19937 random(11);
    const size_t samples = static_cast<size_t>(effects_.dataWidth * effects_.dataHeight) * 4;
    working_.assign(samples, 0);
    photo0_.assign(samples, 0.0f);
    flat0_.assign(samples, 1.0f);
    for (size_t i = 0; i < samples; i += 4) {
      photo0_[i + 3] = 1.0f;
      working_[i + 3] = kFullCoverage;
      for (int c = 0; c < 3; ++c) photo0_[i + c] = static_cast<float>(random() % 4096) / 4096.0f;
      const auto row = static_cast<int>(i / 4 / static_cast<size_t>(effects_.dataWidth));
      for (int c = 0; c < 3; ++c) flat0_[i + c] = static_cast<float>(6 + 2 * c + row / 48) / 255.0f;
      if (static_cast<int>(random() % 100) >= kDrawnPercent) continue;
      for (int c = 0; c < 3; ++c) working_[i + c] = random() % (kFullIntensity / 4);
    }
    ResetEffects();
    EncodeWorkingAsFloat(effects_);
    effects0_.assign(static_cast<const float*>(effects_.pixels.data),
                     static_cast<const float*>(effects_.pixels.data) + samples);
  }
  ~FloatStripBench() {
    ReleaseImage(&effects_);
    ReleaseImage(&photo_);
    ReleaseColorManagement();
    ReleaseGammaTables();
  }
  bool ok() const { return ok_; }
  void ResetEffects() {
    std::copy(working_.begin(), working_.end(), static_cast<uint32_t*>(effects_.pixels.data));
  }
  void ResetForScreen(bool flat) {
    std::copy(effects0_.begin(), effects0_.end(), static_cast<float*>(effects_.pixels.data));
    const std::vector<float>& photo = flat ? flat0_ : photo0_;
    std::copy(photo.begin(), photo.end(), static_cast<float*>(photo_.pixels.data));
  }
  ImageRecord effects_;
  ImageRecord photo_;

 private:
  std::vector<uint32_t> working_;
  std::vector<float> effects0_;
  std::vector<float> photo0_;
  std::vector<float> flat0_;
  bool ok_ = false;
};

void BM_EncodeFloatStrip(benchmark::State& state) {
  FloatStripBench bench;
  if (!bench.ok()) return state.SkipWithError("set-up failed");
  ImageRecord& effects = bench.effects_;
  for (auto _ : state) {
    state.PauseTiming();
    bench.ResetEffects();
    state.ResumeTiming();
    if (state.range(0) != 0) {
      EncodeWorkingAsFloat(effects);
    } else {
      const auto* s = static_cast<const uint32_t*>(effects.pixels.data);
      for (int32_t y = kStrip.top; y < kStrip.bottom; ++y) {
        for (int32_t x = kStrip.left; x < kStrip.right; ++x, s += kSamplesPerPixel) {
          const WorkingPixel pixel{s[0], s[1], s[2], s[kAlphaSample], kLeaveUnchanged};
          effects.store(&effects, &pixel, x, y);
        }
      }
    }
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * int64_t{kStrip.right} * kStrip.bottom);
}

void BM_ScreenFloatStrip(benchmark::State& state) {
  FloatStripBench bench;
  if (!bench.ok()) return state.SkipWithError("set-up failed");
  const ImageRecord& effects = bench.effects_;
  ImageRecord& photo = bench.photo_;
  for (auto _ : state) {
    state.PauseTiming();
    bench.ResetForScreen(state.range(1) != 0);
    state.ResumeTiming();
    if (state.range(0) != 0) {
      ScreenFloatImage(effects, kStrip, photo);
    } else {
      for (int32_t y = kStrip.top; y < kStrip.bottom; ++y) {
        for (int32_t x = kStrip.left; x < kStrip.right; ++x) {
          WorkingPixel effect;
          effects.fetch(&effects, &effect, x, y);
          if (effect.red == 0 && effect.green == 0 && effect.blue == 0) continue;
          WorkingPixel pixel;
          photo.fetch(&photo, &pixel, x, y);
          CompositeScreen(&pixel, effect);
          photo.store(&photo, &pixel, x, y);
        }
      }
    }
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * int64_t{kStrip.right} * kStrip.bottom);
}

BENCHMARK(BM_EncodeFloatStrip)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScreenFloatStrip)->ArgsProduct({{0, 1}, {0, 1}})->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace lumeray
