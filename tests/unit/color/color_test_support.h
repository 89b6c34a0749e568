// Shared helpers of the colour tests (also used by the host tests of pixel conversion): a run's
// colour management set up around each test with its debug log captured, a host filter record
// that hands over a profile, images in given profiles, and Little CMS's own command-line
// calculator `transicc` as the reference for conversions.
//
// transicc is run as
//   transicc -t1 -b -c2 -e[w] -n -i<source> -o<destination>
// that is relative colorimetric intent, black point compensation, high-resolution
// precalculation, encoded 8-bit (-e) or 16-bit (-ew) output: the transform the module makes.
// Its input is on the 0..255 scale (16-bit values are given as value / 257).
#pragma once

#include <gtest/gtest.h>
#include <lcms2.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "color/color_management.h"
#include "color/profile_gamma.h"
#include "diagnostics/debug_log.h"
#include "handles.h"
#include "host/host_globals.h"
#include "host_context.h"
#include "image/gamma_tables.h"
#include "image/image_create.h"
#include "image/pixel_tables.h"
#include "support/module_log.h"
#include "support/temp_dir.h"

namespace lumeray::testing {

// A filter record whose ICC profile handle holds `bytes`, in the editor's handle table.
class ProfileHandingHost {
 public:
  explicit ProfileHandingHost(const std::vector<uint8_t>& bytes, int16_t imageMode = kModeRGB) {
    record_.handleProcs = &procs_;
    record_.imageMode = imageMode;
    record_.iCCprofileSize = static_cast<int32_t>(bytes.size());
    if (!bytes.empty()) record_.iCCprofileData = handles_.NewCopy(bytes);
    Host().filterRecord = &record_;
  }
  ~ProfileHandingHost() { Host().filterRecord = nullptr; }
  ProfileHandingHost(const ProfileHandingHost&) = delete;
  ProfileHandingHost& operator=(const ProfileHandingHost&) = delete;

  FilterRecord& record() { return record_; }
  HandleTable& handles() { return handles_; }

 private:
  HandleTable handles_;
  HostContext context_{&handles_};
  HostContextScope scope_{&context_};
  HandleProcs procs_ = MakeHandleProcs();
  FilterRecord record_{};
};

inline std::vector<uint8_t> SaveProfileBytes(cmsHPROFILE profile) {
  cmsUInt32Number size = 0;
  cmsSaveProfileToMem(profile, nullptr, &size);
  std::vector<uint8_t> bytes(size);
  cmsSaveProfileToMem(profile, bytes.data(), &size);
  return bytes;
}

inline std::vector<uint8_t> StandardProfileBytes() {
  cmsHPROFILE srgb = cmsCreate_sRGBProfile();
  std::vector<uint8_t> bytes = SaveProfileBytes(srgb);
  cmsCloseProfile(srgb);
  return bytes;
}

// An RGB profile with sRGB primaries and power curves of `gamma` (the test closes it).
inline cmsHPROFILE PowerCurveProfile(double gamma) {
  const cmsCIExyY white{0.3127, 0.3290, 1.0};
  const cmsCIExyYTRIPLE primaries{{0.64, 0.33, 1.0}, {0.30, 0.60, 1.0}, {0.15, 0.06, 1.0}};
  cmsToneCurve* curve = cmsBuildGamma(nullptr, gamma);
  cmsToneCurve* curves[3] = {curve, curve, curve};
  cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
  cmsFreeToneCurve(curve);
  return profile;
}

// Linear Rec. 2020 primaries: its pure green lies outside sRGB (the test closes it).
inline cmsHPROFILE WideLinearProfile() {
  const cmsCIExyY white{0.3127, 0.3290, 1.0};
  const cmsCIExyYTRIPLE wide{{0.708, 0.292, 1.0}, {0.170, 0.797, 1.0}, {0.131, 0.046, 1.0}};
  cmsToneCurve* linear = cmsBuildGamma(nullptr, 1.0);
  cmsToneCurve* curves[3] = {linear, linear, linear};
  cmsHPROFILE profile = cmsCreateRGBProfile(&white, &wide, curves);
  cmsFreeToneCurve(linear);
  return profile;
}

class ColorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetDebugLogDirectory(temp_.path().string());
    ASSERT_TRUE(OpenDebugLogQueue("LumerayPro2"));
    ASSERT_TRUE(OpenDebugLog(kLoggingImmediate));
    ASSERT_EQ(InitializeFixedTables(), 0);
    SetProfileGammaEstimator(&EstimateProfileGamma);
  }
  void TearDown() override {
    for (ImageRecord* image : images_) {
      ReleaseImage(image);
      delete image;
    }
    ReleaseColorManagement();
    ReleaseGammaTables();
    SetProfileGammaEstimator(nullptr);
    CloseDebugLog();
    SetDebugLogDirectory("");
  }

  // How many lines of the debug log contain `text`.
  int LogCount(const std::string& text) const {
    int count = 0;
    for (const std::string& line : ReadModuleLog(CurrentLogPath())) {
      if (line.find(text) != std::string::npos) ++count;
    }
    return count;
  }

  // An image that must be created, released at tear-down.
  ImageRecord* MakeImage(int32_t mode, const ImageRect& rect, ProfileHandle profile,
                         bool withMask = false) {
    auto* image = new ImageRecord;
    images_.push_back(image);
    int result = -1;
    EXPECT_TRUE(CreateImage(image, rect, rect, mode, profile, withMask, false, &result));
    EXPECT_EQ(result, 0);
    return image;
  }

  std::string SaveProfile(cmsHPROFILE profile, const std::string& name) const {
    const std::string path = temp_.File(name);
    const std::vector<uint8_t> bytes = SaveProfileBytes(profile);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return path;
  }

  static bool TransiccAvailable() {
    return std::system("command -v transicc >/dev/null 2>&1") == 0;
  }

  // transicc's encoded output (see the top of this file) for each input line.
  std::vector<std::vector<double>> Transicc(const std::string& source,
                                            const std::string& destination, bool sixteenBit,
                                            const std::vector<std::vector<double>>& inputs) const {
    const std::string inputPath = temp_.File("transicc-input.txt");
    {
      std::ofstream input(inputPath);
      input.precision(10);
      for (const std::vector<double>& line : inputs) {
        for (double value : line) input << value << ' ';
        input << '\n';
      }
    }
    const std::string command = std::string("transicc -t1 -b -c2 ") + (sixteenBit ? "-ew" : "-e") +
                                " -n -i'" + source + "' -o'" + destination + "' < '" + inputPath +
                                "' 2>/dev/null";
    std::vector<std::vector<double>> outputs;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return outputs;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
      std::istringstream line(buffer);
      std::vector<double> values;
      for (double value; line >> value;) values.push_back(value);
      if (!values.empty()) outputs.push_back(values);
    }
    pclose(pipe);
    return outputs;
  }

  TempDir temp_;

 private:
  static std::string CurrentLogPath() { return DebugLogFilePath(); }

  std::vector<ImageRecord*> images_;
};

}  // namespace lumeray::testing
