// The GIMP plug-in inside a real GIMP: one headless GIMP session runs Script-Fu commands on
// generated images, and the files it saves are compared with what `lumeray apply` makes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/process.h"
#include "support/temp_dir.h"
#include "support/test_images.h"

namespace lumeray {
namespace {

using testing::ProcessResult;
using testing::TempDir;

constexpr int kWidth = 160;
constexpr int kHeight = 120;
// The selection: the left half, holding the first two light sources only.
constexpr int kSelectionWidth = kWidth / 2;

// The settings as `lumeray apply` options and as the procedure's arguments after the drawable.
const std::vector<std::string> kApplySettings{"--effect",
                                              "Hollywood Star",
                                              "--quantity",
                                              "100",
                                              "--intensity",
                                              "80",
                                              "--length",
                                              "60",
                                              "--angle",
                                              "15",
                                              "--sharpness",
                                              "40",
                                              "--saturation",
                                              "30",
                                              "--rainbow-intensity",
                                              "50",
                                              "--rainbow-frequency",
                                              "50",
                                              "--secondary",
                                              "20",
                                              "--flare",
                                              "30"};
constexpr char kProcedureSettings[] = "3 100 80 60 15 0 40 30 50 50 20 30 0";

std::string FindGimp() {
  for (const char* folder : {"/usr/bin", "/usr/local/bin"}) {
    const std::string path = std::string(folder) + "/gimp";
    if (access(path.c_str(), X_OK) == 0) return path;
  }
  return {};
}

// A dark, slightly graded sky with three small bright discs: light sources at known places.
HostImage NightImage(SampleType type) {
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
double LargestDifference(const HostImage& a, const HostImage& b, int x0 = 0, int x1 = kWidth) {
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

std::string Quoted(const std::string& text) {
  return "\"" + text + "\"";
}

// Load, do `before` (with `image` and `drawable` bound), run the filter in `mode` with
// `settings`, save.
std::string FilterCommand(const std::string& input, const std::string& output,
                          const std::string& mode, const std::string& settings,
                          const std::string& before = "", const std::string& after = "") {
  return "(let* ((image (car (gimp-file-load RUN-NONINTERACTIVE " + Quoted(input) + " " +
         Quoted(input) + "))) (drawable (car (gimp-image-get-active-drawable image)))) " + before +
         " (plug-in-lumeray-pro-2 " + mode + " image drawable " + settings + ") " + after +
         " (gimp-file-save RUN-NONINTERACTIVE image drawable " + Quoted(output) + " " +
         Quoted(output) + "))";
}

class GimpBridge : public ::testing::Test {
 protected:
  void SetUp() override {
    gimp_ = FindGimp();
    if (gimp_.empty() || std::string(LUMERAY_GIMP_PLUGIN_PATH).empty()) {
      GTEST_SKIP() << "GIMP 2.10 is not installed (no gimp program or no libgimp to build the "
                      "plug-in); scripts/setup installs it";
    }
    // GIMP sees the plug-in through the plug-in path of its own configuration in the temp dir.
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
                    {"DISPLAY", ""},
                    {"LUMERAY_PLUGIN", LUMERAY_MODULE_PATH}};
  }

  ProcessResult Gimp(const std::vector<std::string>& commands) {
    std::vector<std::string> arguments{gimp_,
                                       "-i",
                                       "-d",
                                       "-f",
                                       "--gimprc=" + dir_.File("gimprc"),
                                       "-b",
                                       "(gimp-message-set-handler CONSOLE)"};
    for (const std::string& command : commands) {
      arguments.push_back("-b");
      arguments.push_back(command);
    }
    arguments.insert(arguments.end(), {"-b", "(gimp-quit 0)"});
    return testing::RunProcess(arguments, environment_);
  }

  ProcessResult Apply(const std::string& input, const std::string& output) {
    std::vector<std::string> arguments{LUMERAY_EDITOR_PATH, "apply", input, output, "--quiet"};
    arguments.insert(arguments.end(), kApplySettings.begin(), kApplySettings.end());
    return testing::RunProcess(arguments, environment_);
  }

  std::string gimp_;
  TempDir dir_;
  std::map<std::string, std::string> environment_;
};

TEST_F(GimpBridge, FiltersLikeTheEditorWithinTheSelectionAndKeepsFloat) {
  const HostImage night8 = NightImage(SampleType::kUInt8);
  const HostImage nightFloat = NightImage(SampleType::kFloat32);
  testing::WriteTestImage(dir_.File("night.png"), night8);
  testing::WriteTestImage(dir_.File("night.exr"), nightFloat);

  const std::string night = dir_.File("night.png");
  const std::string select = "(gimp-image-select-rectangle image CHANNEL-OP-REPLACE 0 0 " +
                             std::to_string(kSelectionWidth) + " " + std::to_string(kHeight) + ")";
  const ProcessResult gimp = Gimp({
      FilterCommand(night, dir_.File("whole.png"), "RUN-NONINTERACTIVE", kProcedureSettings),
      FilterCommand(night, dir_.File("selected.png"), "RUN-NONINTERACTIVE", kProcedureSettings,
                    select),
      FilterCommand(dir_.File("night.exr"), dir_.File("float.exr"), "RUN-NONINTERACTIVE",
                    kProcedureSettings, "",
                    "(gimp-message (string-append \"precision \" (number->string (car "
                    "(gimp-image-get-precision image)))))"),
      // The settings of the last run, whatever the arguments say.
      FilterCommand(night, dir_.File("repeated.png"), "RUN-WITH-LAST-VALS",
                    "0 0 0 0 0 0 0 0 0 0 0 0 0"),
      // Refused, nothing saved: a setting out of range, an indexed image.
      FilterCommand(night, dir_.File("refused.png"), "RUN-NONINTERACTIVE",
                    "3 200 80 60 15 0 40 30 50 50 20 30 0"),
      FilterCommand(night, dir_.File("indexed.png"), "RUN-NONINTERACTIVE", kProcedureSettings,
                    "(gimp-image-convert-indexed image CONVERT-DITHER-NONE "
                    "CONVERT-PALETTE-GENERATE 16 FALSE FALSE \"\")"),
  });
  const ProcessResult editor = Apply(dir_.File("night.png"), dir_.File("editor.png"));
  ASSERT_EQ(editor.exitStatus, 0) << editor.err;
  ASSERT_TRUE(std::filesystem::exists(dir_.File("whole.png"))) << gimp.err;

  // The same pixels as the editor, within a level.
  const HostImage editorResult = testing::ReadTestImage(dir_.File("editor.png"));
  const HostImage whole = testing::ReadTestImage(dir_.File("whole.png"));
  EXPECT_GT(LargestDifference(editorResult, night8), 100) << "the stars are drawn";
  EXPECT_LE(LargestDifference(whole, editorResult), 1);

  // The selection confines the result: the right half is untouched, the left half has stars.
  ASSERT_TRUE(std::filesystem::exists(dir_.File("selected.png"))) << gimp.err;
  const HostImage selected = testing::ReadTestImage(dir_.File("selected.png"));
  EXPECT_EQ(LargestDifference(selected, night8, kSelectionWidth, kWidth), 0);
  EXPECT_GT(LargestDifference(selected, night8, 0, kSelectionWidth), 100);

  // A float image stays float, and is filtered.
  ASSERT_TRUE(std::filesystem::exists(dir_.File("float.exr"))) << gimp.err;
  EXPECT_NE(gimp.err.find("precision 600"), std::string::npos) << "32-bit float linear\n"
                                                               << gimp.err;
  const HostImage floatResult = testing::ReadTestImage(dir_.File("float.exr"));
  EXPECT_EQ(floatResult.sampleType, SampleType::kFloat32);
  const double change = LargestDifference(floatResult, nightFloat);
  EXPECT_TRUE(change > 0.2 && std::isfinite(change)) << change;

  ASSERT_TRUE(std::filesystem::exists(dir_.File("repeated.png"))) << gimp.err;
  EXPECT_EQ(LargestDifference(testing::ReadTestImage(dir_.File("repeated.png")), whole), 0);

  EXPECT_FALSE(std::filesystem::exists(dir_.File("refused.png")));
  EXPECT_NE(gimp.err.find("quantity must be from 0 to 100"), std::string::npos) << gimp.err;
  EXPECT_FALSE(std::filesystem::exists(dir_.File("indexed.png")));
  EXPECT_NE(gimp.err.find("indexed images cannot be filtered"), std::string::npos) << gimp.err;
}

}  // namespace
}  // namespace lumeray
