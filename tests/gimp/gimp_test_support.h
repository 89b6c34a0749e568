// What the GIMP plug-in tests share: a GIMP configuration of their own in a temp folder that
// shows GIMP the built plug-in, a generated night image, and Script-Fu command builders.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "support/test_images.h"

namespace lumeray::testing {

constexpr int kWidth = 160;
constexpr int kHeight = 120;

// Hollywood Star, quantity 100, intensity 80, length 60, angle 15, its own points, sharpness 40,
// saturation 30, rainbow 50 and 50, secondary 20, flare 30, not effects only.
constexpr char kProcedureSettings[] = "3 100 80 60 15 0 40 30 50 50 20 30 0";

inline std::string FindGimp() {
  for (const char* folder : {"/usr/bin", "/usr/local/bin"}) {
    const std::string path = std::string(folder) + "/gimp";
    if (access(path.c_str(), X_OK) == 0) return path;
  }
  return {};
}

// A dark, slightly graded sky with three small bright discs: light sources at known places.
inline HostImage NightImage(SampleType type) {
  HostImage image = HostImage::Create(kWidth, kHeight, 3, false, type);
  struct Disc {
    double x, y, radius;
  };
  const Disc discs[] = {{30, 40, 2.5}, {60, 90, 1.5}, {120, 60, 2.0}};
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      double level = 0.03 + 0.02 * x / kWidth;
      for (const Disc& disc : discs) {
        if (std::hypot(x - disc.x, y - disc.y) <= disc.radius) level = 1.0;
      }
      for (int c = 0; c < 3; ++c) {
        const double sample = c == 2 ? level : level * (1.0 - 0.05 * c);
        uint8_t* pixel = image.Pixel(x, y) + c * image.BytesPerSample();
        if (type == SampleType::kUInt8) {
          *pixel = static_cast<uint8_t>(std::lround(sample * 255.0));
        } else {
          const auto value = static_cast<float>(sample);
          std::memcpy(pixel, &value, sizeof value);
        }
      }
    }
  }
  return image;
}

// The largest difference of two same-shaped images, in sample units.
inline double LargestDifference(const HostImage& a, const HostImage& b, int x0 = 0,
                                int x1 = kWidth) {
  double largest = 0;
  const size_t size = a.BytesPerSample();
  for (int y = 0; y < a.height; ++y) {
    for (int x = x0; x < x1; ++x) {
      for (int c = 0; c < a.Channels(); ++c) {
        const uint8_t* p = a.Pixel(x, y) + c * size;
        const uint8_t* q = b.Pixel(x, y) + c * size;
        double d = 0;
        if (a.sampleType == SampleType::kUInt8) {
          d = std::abs(int{*p} - int{*q});
        } else {
          float u = 0;
          float v = 0;
          std::memcpy(&u, p, 4);
          std::memcpy(&v, q, 4);
          d = std::isfinite(u) && std::isfinite(v) ? std::abs(u - v) : INFINITY;
        }
        largest = std::max(largest, d);
      }
    }
  }
  return largest;
}

inline std::string Quoted(const std::string& text) {
  return "\"" + text + "\"";
}

// Load, do `before` (with `image` and `drawable` bound), run the filter in `mode` with
// `settings`, save.
inline std::string FilterCommand(const std::string& input, const std::string& output,
                                 const std::string& mode, const std::string& settings,
                                 const std::string& before = "", const std::string& after = "") {
  return "(let* ((image (car (gimp-file-load RUN-NONINTERACTIVE " + Quoted(input) + " " +
         Quoted(input) + "))) (drawable (car (gimp-image-get-active-drawable image)))) " + before +
         " (plug-in-lumeray-pro-2 " + mode + " image drawable " + settings + ") " + after +
         " (gimp-file-save RUN-NONINTERACTIVE image drawable " + Quoted(output) + " " +
         Quoted(output) + "))";
}

// A GIMP configuration in a temp folder whose plug-in path holds the built plug-in, and the
// environment that keeps GIMP, the plug-in and the module inside that folder. Skips the test
// where GIMP or the plug-in is missing.
class GimpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gimp_ = FindGimp();
    if (gimp_.empty() || std::string(LUMERAY_GIMP_PLUGIN_PATH).empty()) {
      GTEST_SKIP() << "GIMP 2.10 is not installed (no gimp program or no libgimp to build the "
                      "plug-in); scripts/setup installs it";
    }
    const std::filesystem::path plugins = dir_.path() / "plug-ins" / "lumeray-gimp";
    std::filesystem::create_directories(plugins);
    std::filesystem::create_symlink(LUMERAY_GIMP_PLUGIN_PATH, plugins / "lumeray-gimp");
    std::ofstream(dir_.File("gimprc"))
        << "(plug-in-path \"${gimp_plug_in_dir}/plug-ins:" << (dir_.path() / "plug-ins").string()
        << "\")\n";
    for (const char* name : {"home", "config", "data", "state", "cache"}) {
      std::filesystem::create_directories(dir_.path() / name);
    }
    environment_ = {{"HOME", dir_.File("home")},
                    {"XDG_CONFIG_HOME", dir_.File("config")},
                    {"XDG_DATA_HOME", dir_.File("data")},
                    {"XDG_STATE_HOME", dir_.File("state")},
                    {"XDG_CACHE_HOME", dir_.File("cache")},
                    {"LUMERAY_PLUGIN", LUMERAY_MODULE_PATH}};
  }

  // GIMP's arguments up to the batch commands.
  std::vector<std::string> GimpArguments(bool headless) const {
    std::vector<std::string> arguments{gimp_, "-d", "-f", "--gimprc=" + dir_.File("gimprc")};
    if (headless) arguments.push_back("-i");
    return arguments;
  }

  std::string gimp_;
  TempDir dir_;
  std::map<std::string, std::string> environment_;
};

}  // namespace lumeray::testing
