// Whole runs of the real module compared with committed reference images (tests/golden/), so
// that a change in the look of the stars is noticed. With LUMERAY_UPDATE_GOLDEN=1 the runs write
// the references instead of comparing; tests/golden/README.md tells when and how.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "host_session.h"
#include "module_loader.h"
#include "played_settings.h"
#include "settings.h"
#include "support/golden_compare.h"
#include "support/test_images.h"

namespace lumeray {
namespace {

using testing::CompareWithReference;
using testing::GoldenComparison;

constexpr char kUpdateVariable[] = "LUMERAY_UPDATE_GOLDEN";
constexpr char kUpdateCommand[] = "LUMERAY_UPDATE_GOLDEN=1 ctest --test-dir BUILD_DIR -R Golden";

// ---- The inputs ----

// A 400x300 cut of the bundled Hubble sample around three of its brightest stars, with the
// sample's ICC profile.
HostImage HubbleCut() {
  const HostImage sample =
      testing::ReadTestImage(std::string(LUMERAY_SAMPLES_DIR) + "/hubble_deep_field.jpg");
  constexpr int32_t kLeft = 440, kTop = 380;
  HostImage cut =
      HostImage::Create(400, 300, sample.colourPlanes, sample.hasAlpha, sample.sampleType);
  cut.iccProfile = sample.iccProfile;
  for (int32_t y = 0; y < cut.height; ++y) {
    std::memcpy(cut.Pixel(0, y), sample.Pixel(kLeft, kTop + y), cut.RowBytes());
  }
  return cut;
}

// A 320x240 night scene: a dark sky brightening towards the bottom, a lit window (a flat patch
// well below white, no light source itself) and 48 lamps of radii 1 to 6.5 pixels in white,
// warm, sodium, cold, red and green light: a slightly domed disc, whiter than the light and
// below white, in a glow of the light's colour. The same scene in 8 and 16 bits.
//
// The lamps have no flat clipped cores: such a lamp across the border of two analysis bands (one
// per worker thread) is measured dimmer than inside a band, so its star would depend on the
// machine's worker count.
HostImage NightScene(SampleType type) {
  constexpr int kWidth = 320, kHeight = 240;
  std::vector<std::array<double, 3>> scene(kWidth * kHeight);
  uint32_t state = 12345;
  const auto random = [&state] {
    state = state * 1664525u + 1013904223u;
    return static_cast<double>(state >> 8) / static_cast<double>(1u << 24);
  };
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      const double sky = 0.03 + 0.05 * y / kHeight;
      scene[y * kWidth + x] = {sky * 0.8, sky * 0.9, sky * 1.3};
    }
  }
  for (int y = 150; y < 195; ++y) {
    for (int x = 210; x < 262; ++x) scene[y * kWidth + x] = {0.62, 0.48, 0.30};
  }
  constexpr std::array<std::array<double, 3>, 6> kLights{{{1.0, 1.0, 1.0},
                                                          {1.0, 0.86, 0.62},
                                                          {1.0, 0.70, 0.28},
                                                          {0.72, 0.84, 1.0},
                                                          {1.0, 0.32, 0.25},
                                                          {0.42, 1.0, 0.52}}};
  for (int lamp = 0; lamp < 48; ++lamp) {
    const double cx = 24 + random() * (kWidth - 48);
    const double cy = 24 + random() * (kHeight - 48);
    const double radius = 1.0 + random() * 5.5;
    const double brightness = 0.85 + 0.13 * random();
    const std::array<double, 3>& light = kLights[lamp % kLights.size()];
    const int reach = static_cast<int>(3 * radius) + 2;  // at most 21
    for (int y = static_cast<int>(cy) - reach; y <= static_cast<int>(cy) + reach; ++y) {
      for (int x = static_cast<int>(cx) - reach; x <= static_cast<int>(cx) + reach; ++x) {
        const double d = std::hypot(x - cx, y - cy) / radius;
        const double cover = std::clamp(radius * (1 - d) + 0.5, 0.0, 1.0);
        const double dome = 1 - 0.3 * std::min(d * d, 1.0);
        const double glow = 0.35 * std::exp(-0.5 * std::pow(std::max(d - 1, 0.0) / 0.6, 2));
        std::array<double, 3>& pixel = scene[y * kWidth + x];
        for (int c = 0; c < 3; ++c) {
          const double value =
              cover * dome * (0.55 + 0.45 * light[c]) + (1 - cover) * glow * light[c];
          pixel[c] = std::max(pixel[c], brightness * value);
        }
      }
    }
  }
  HostImage image = HostImage::Create(kWidth, kHeight, 3, false, type);
  for (size_t i = 0; i < scene.size() * 3; ++i) {
    const double level = std::clamp(scene[i / 3][i % 3], 0.0, 1.0);
    if (type == SampleType::kFloat32) {
      // Lamp cores above white, as a high-dynamic-range photo has them.
      const auto sample = static_cast<float>(level > 0.7 ? level * 4.0 : level);
      std::memcpy(image.pixels.data() + i * 4, &sample, 4);
    } else if (type == SampleType::kUInt16) {
      const auto sample = static_cast<uint16_t>(std::lround(level * 65535.0));
      std::memcpy(image.pixels.data() + i * 2, &sample, 2);
    } else {
      image.pixels[i] = static_cast<uint8_t>(std::lround(level * 255.0));
    }
  }
  return image;
}

HostImage NightScene8() {
  return NightScene(SampleType::kUInt8);
}
HostImage NightScene16() {
  return NightScene(SampleType::kUInt16);
}
HostImage NightSceneFloat() {
  return NightScene(SampleType::kFloat32);
}

// A selection of the night scene: nothing on the left, a feathered edge rising across the
// middle third, everything on the right.
GreyMask FeatheredSelection() {
  constexpr int kWidth = 320, kHeight = 240;
  GreyMask mask{kWidth, kHeight, std::vector<uint8_t>(kWidth * kHeight)};
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      const double rise = std::clamp((x - kWidth / 3.0) / (kWidth / 3.0), 0.0, 1.0);
      mask.values[y * kWidth + x] = static_cast<uint8_t>(std::lround(rise * 255));
    }
  }
  return mask;
}

// ---- The runs ----

struct Setting {
  std::string_view option;  // as on the command line: "--effect"
  std::string_view value;   // ignored for "--effects-only"
};

struct GoldenCase {
  const char* name;  // the test's name
  const char* file;  // the reference is tests/golden/<file>.png
  HostImage (*input)();
  std::vector<Setting> settings;  // the others keep their factory values
  GreyMask (*mask)() = nullptr;   // the selection, if any
};

void PrintTo(const GoldenCase& golden, std::ostream* out) {
  *out << golden.name;
}

const GoldenCase kCases[] = {
    {"HubbleCutFactorySettings", "hubble_factory", HubbleCut, {}},
    {"HubbleCutStarBurst", "hubble_star_burst", HubbleCut, {{"--effect", "Star Burst"}}},
    {"NightScene8BitHollywoodStarWithRainbow",
     "night8_hollywood_rainbow",
     NightScene8,
     {{"--effect", "Hollywood Star"},
      {"--rainbow-intensity", "85"},
      {"--rainbow-frequency", "70"}}},
    {"NightScene8BitHighSoftFlare",
     "night8_soft_flare",
     NightScene8,
     {{"--flare", "90"}, {"--quantity", "80"}}},
    {"NightScene8BitVectorStarEffectsOnly",
     "night8_vector_effects_only",
     NightScene8,
     {{"--effect", "Vector Star"}, {"--effects-only", ""}, {"--angle", "-30"}}},
    {"NightScene16BitHyperStarSaturatedWithSecondarySpikes",
     "night16_hyper_secondary",
     NightScene16,
     {{"--effect", "Hyper Star"}, {"--saturation", "90"}, {"--secondary", "80"}}},
    {"NightScene16BitReligiousCrossLongSoftSpikes",
     "night16_religious_cross",
     NightScene16,
     {{"--effect", "Religious Cross"},
      {"--length", "65"},
      {"--sharpness", "15"},
      {"--intensity", "75"}}},
    // Float references are kept as 16-bit PNGs of the 0..1 range.
    {"NightSceneFloatStandardStar",
     "nightfloat_standard",
     NightSceneFloat,
     {{"--effect", "Standard Star"}, {"--flare", "40"}}},
    {"NightScene8BitFeatheredSelection",
     "night8_feathered_selection",
     NightScene8,
     {{"--effect", "North Star"}},
     FeatheredSelection},
};

Descriptor PlayedSettings(const std::vector<Setting>& settings) {
  Descriptor given;
  for (const Setting& setting : settings) {
    const SettingOption* option = FindSettingOption(setting.option);
    std::string error;
    EXPECT_NE(option, nullptr) << setting.option;
    if (option != nullptr) {
      EXPECT_TRUE(ApplySetting(*option, setting.value, &given, &error)) << error;
    }
  }
  return CompleteSettings(given);
}

bool UpdatingReferences() {
  const char* value = std::getenv(kUpdateVariable);
  return value != nullptr && std::string_view(value) == "1";
}

std::string SaveActual(const OIIO::ImageBuf& actual, const std::string& file) {
  const std::string path = std::string(LUMERAY_GOLDEN_ACTUAL_DIR) + "/" + file + ".png";
  std::string error;
  std::error_code ignored;  // a missing folder shows in the write's error
  std::filesystem::create_directories(LUMERAY_GOLDEN_ACTUAL_DIR, ignored);
  return testing::WritePngAtomically(actual, path, &error) ? path : "(not saved: " + error + ")";
}

class GoldenRun : public ::testing::TestWithParam<GoldenCase> {};

TEST_P(GoldenRun, LooksLikeItsReferenceImage) {
  const GoldenCase& golden = GetParam();
  HostImage image = golden.input();
  std::string error;
  const auto module = LoadedModule::Load(LUMERAY_MODULE_PATH, HostImageMode(image), &error);
  ASSERT_NE(module, nullptr) << error;
  const Descriptor played = PlayedSettings(golden.settings);
  RunOptions options;
  options.played = &played;
  GreyMask mask;
  if (golden.mask != nullptr) {
    mask = golden.mask();
    options.mask = &mask;
  }
  HostSession session(module->entry());
  const RunOutcome outcome = session.Run(image, options);
  ASSERT_TRUE(outcome.ok()) << outcome.result << " " << outcome.moduleMessage
                            << outcome.hostMessage;

  OIIO::ImageBuf actual = testing::ToImageBuf(image);
  if (image.sampleType == SampleType::kFloat32) {
    OIIO::ImageBuf deep;
    deep.copy(actual, OIIO::TypeDesc::UINT16);  // clamps to 0..1
    actual = deep;
  }
  const std::string reference = std::string(LUMERAY_GOLDEN_DIR) + "/" + golden.file + ".png";
  if (UpdatingReferences()) {
    ASSERT_TRUE(testing::WritePngAtomically(actual, reference, &error)) << error;
    std::cout << "[ GOLDEN   ] wrote the reference " << reference << std::endl;
    return;
  }
  if (!std::filesystem::exists(reference)) {
    FAIL() << "no reference image " << reference << "; write the references with\n  "
           << kUpdateCommand << "\nthis run's image: " << SaveActual(actual, golden.file);
  }
  OIIO::ImageBuf expected(reference);
  ASSERT_TRUE(expected.read()) << reference << ": " << expected.geterror();
  const GoldenComparison comparison = CompareWithReference(actual, expected);
  if (!comparison.matches) {
    ADD_FAILURE() << "the run differs from " << reference << ":\n"
                  << comparison.report << "this run's image: " << SaveActual(actual, golden.file)
                  << "\nif the new look is intended, write the references with\n  "
                  << kUpdateCommand;
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, GoldenRun, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<GoldenCase>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace lumeray
