// Whole runs of the real module on images with deep-shadow noise and a few bright discs, at
// every sample type: the stars only ever brighten the photo, what they do not reach comes back
// bit for bit, float highlights keep their range, the selection confines the change, and a host
// with 16-bit rectangles gets the same result as one with 32-bit ones.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <string>

#include "host_session.h"
#include "module_loader.h"
#include "played_settings.h"
#include "settings.h"

namespace lumeray {
namespace {

constexpr int32_t kWidth = 160, kHeight = 120;
constexpr float kFloatCore = 4.0f;

struct Disc {
  double x, y, radius;
};
constexpr Disc kDiscs[] = {{40.3, 38.6, 4.0}, {112.5, 52.2, 5.0}, {72.8, 90.4, 3.5}};

// Noise in the deepest shadows (8 bits 0..3; 16 bits 0..600, across the darkest values a
// 24-bit linear index cannot tell apart; float -0.02..0.02 with some samples at 1.5) and the
// discs (float cores at 4.0).
HostImage ShadowScene(SampleType type) {
  HostImage image = HostImage::Create(kWidth, kHeight, 3, false, type);
  std::mt19937 random(17);
  for (int32_t y = 0; y < kHeight; ++y) {
    for (int32_t x = 0; x < kWidth; ++x) {
      double disc = 0;
      for (const Disc& d : kDiscs) {
        const double r = std::hypot(x - d.x, y - d.y) / d.radius;
        disc = std::max(disc, std::clamp(d.radius * (1 - r) + 0.5, 0.0, 1.0) *
                                  (1 - 0.25 * std::min(r * r, 1.0)));
      }
      uint8_t* pixel = image.Pixel(x, y);
      for (int c = 0; c < 3; ++c) {
        const uint32_t noise = random();
        switch (type) {
          case SampleType::kUInt8:
            pixel[c] = disc > 0 ? static_cast<uint8_t>(std::lround(disc * 255)) : noise % 4;
            break;
          case SampleType::kUInt16: {
            const auto v =
                static_cast<uint16_t>(disc > 0 ? std::lround(disc * 65535) : noise % 601);
            std::memcpy(pixel + 2 * c, &v, 2);
            break;
          }
          case SampleType::kFloat32: {
            float v = (static_cast<float>(noise % 4001) - 2000.0f) / 100000.0f;
            if (noise % 53 == 0) v = 1.5f;
            if (disc > 0) v = static_cast<float>(disc * kFloatCore);
            std::memcpy(pixel + 4 * c, &v, 4);
            break;
          }
        }
      }
    }
  }
  return image;
}

double Sample(const HostImage& image, size_t index) {
  switch (image.sampleType) {
    case SampleType::kUInt8:
      return image.pixels[index];
    case SampleType::kUInt16: {
      uint16_t v;
      std::memcpy(&v, image.pixels.data() + 2 * index, 2);
      return v;
    }
    case SampleType::kFloat32: {
      float v;
      std::memcpy(&v, image.pixels.data() + 4 * index, 4);
      return v;
    }
  }
  return 0;
}

bool SameSample(const HostImage& a, const HostImage& b, size_t index) {
  const size_t bytes = a.BytesPerSample();
  return std::memcmp(a.pixels.data() + index * bytes, b.pixels.data() + index * bytes, bytes) == 0;
}

// Every run plays its settings, so that no run depends on the one before: the factory
// settings, or those with Effects Only.
Descriptor Settings(bool effectsOnly) {
  Descriptor given;
  if (effectsOnly) {
    std::string error;
    const SettingOption* option = FindSettingOption("--effects-only");
    EXPECT_TRUE(option != nullptr && ApplySetting(*option, "", &given, &error)) << error;
  }
  return CompleteSettings(given);
}

HostImage Filtered(const HostImage& input, RunOptions options = {}, bool effectsOnly = false) {
  const Descriptor played = Settings(effectsOnly);
  options.played = &played;
  HostImage image = input;
  std::string error;
  const auto module = LoadedModule::Load(LUMERAY_MODULE_PATH, HostImageMode(image), &error);
  EXPECT_NE(module, nullptr) << error;
  if (module == nullptr) return image;
  HostSession session(module->entry());
  const RunOutcome outcome = session.Run(image, options);
  EXPECT_TRUE(outcome.ok()) << outcome.result << " " << outcome.moduleMessage
                            << outcome.hostMessage;
  return image;
}

class LosslessRun : public ::testing::TestWithParam<SampleType> {};

// One run with the factory settings, compared with runs of the same image: Effects Only (which
// tells where the stars reach), a selection, and a host with 16-bit rectangles.
TEST_P(LosslessRun, StarsOnlyBrightenLeaveWhatTheyDoNotReachAndKeepToTheSelection) {
  const SampleType type = GetParam();
  const HostImage input = ShadowScene(type);
  RunOptions tiled;
  tiled.tileSize = 64;
  const HostImage output = Filtered(input, tiled);
  const HostImage effects = Filtered(input, {}, /*effectsOnly=*/true);
  const bool isFloat = type == SampleType::kFloat32;
  size_t unreached = 0, brightened = 0;
  for (size_t pixel = 0; pixel < size_t{kWidth} * kHeight; ++pixel) {
    bool effect = false;
    for (int c = 0; c < 3; ++c) effect = effect || Sample(effects, pixel * 3 + c) != 0;
    unreached += !effect;
    for (size_t i = pixel * 3; i < pixel * 3 + 3; ++i) {
      ASSERT_GE(Sample(output, i), Sample(input, i)) << "sample " << i;
      if (!effect) {
        ASSERT_TRUE(SameSample(output, input, i)) << "unreached sample " << i;
      }
      if (isFloat && Sample(input, i) >= kFloatCore) {
        ASSERT_GE(Sample(output, i), kFloatCore);
      }
      brightened += Sample(output, i) > Sample(input, i);
    }
  }
  EXPECT_GT(brightened, 500u) << "the discs get stars";
  EXPECT_GT(unreached, 1000u) << "the stars leave part of the image alone";

  // A host with 16-bit rectangles gets the same image.
  RunOptions small = tiled;
  small.bigDocument = false;
  EXPECT_EQ(Filtered(input, small).pixels, output.pixels);

  // The selection: the left third unselected, the middle third grey (a different level per
  // column), the right third and every disc selected, so that the light sources are the same as
  // without a mask. Unselected samples stay, selected ones are the unmasked run's, grey ones the
  // mix of the two by the mask's level.
  GreyMask mask{kWidth, kHeight, std::vector<uint8_t>(size_t{kWidth} * kHeight, 255)};
  for (int32_t y = 0; y < kHeight; ++y) {
    for (int32_t x = 0; x < 2 * kWidth / 3; ++x) {
      const bool nearDisc = std::any_of(std::begin(kDiscs), std::end(kDiscs), [&](const Disc& d) {
        return std::hypot(x - d.x, y - d.y) < d.radius + 3;
      });
      if (!nearDisc) mask.values[size_t(y) * kWidth + x] = x < kWidth / 3 ? 0 : 40 + x;
    }
  }
  RunOptions options;
  options.mask = &mask;
  const HostImage masked = Filtered(input, options);
  size_t grey = 0;
  for (size_t i = 0; i < input.pixels.size() / input.BytesPerSample(); ++i) {
    const uint8_t m = mask.values[i / 3];
    if (m == 0) {
      ASSERT_TRUE(SameSample(masked, input, i)) << i;
    } else if (m == 255) {
      ASSERT_TRUE(SameSample(masked, output, i)) << i;
    } else {
      const double share = m / 255.0;
      const double mix = Sample(input, i) * (1 - share) + Sample(output, i) * share;
      const double expected = isFloat ? static_cast<float>(mix) : std::round(mix);
      ASSERT_EQ(Sample(masked, i), expected) << i;
      grey += Sample(output, i) != Sample(input, i);
    }
  }
  EXPECT_GT(grey, 50u) << "stars cross the grey part";
}

INSTANTIATE_TEST_SUITE_P(EveryDepth, LosslessRun,
                         ::testing::Values(SampleType::kUInt8, SampleType::kUInt16,
                                           SampleType::kFloat32),
                         [](const ::testing::TestParamInfo<SampleType>& info) {
                           return std::string(info.param == SampleType::kUInt8    ? "EightBit"
                                              : info.param == SampleType::kUInt16 ? "SixteenBit"
                                                                                  : "Float");
                         });

}  // namespace
}  // namespace lumeray
