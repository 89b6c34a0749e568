// The GIMP plug-in inside a real GIMP: one headless GIMP session runs Script-Fu commands on
// generated images, and the files it saves are compared with what `lumeray apply` makes.
#include <gtest/gtest.h>
#include <lcms2.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "gimp/gimp_test_support.h"
#include "support/process.h"
#include "support/srgb_profile.h"

namespace lumeray {
namespace {

using testing::ProcessResult;
using testing::TempDir;

using testing::FilterCommand;
using testing::kHeight;
using testing::kProcedureSettings;
using testing::kWidth;
using testing::LargestDifference;
using testing::NightImage;
// The selection: the left half, holding the first two light sources only.
constexpr int kSelectionWidth = kWidth / 2;

// kProcedureSettings as `lumeray apply` options.
// clang-format off
const std::vector<std::string> kApplySettings{
    "--effect", "Hollywood Star", "--quantity", "100", "--intensity", "80", "--length", "60",
    "--angle", "15", "--sharpness", "40", "--saturation", "30", "--rainbow-intensity", "50",
    "--rainbow-frequency", "50", "--secondary", "20", "--flare", "30"};
// clang-format on

class GimpBridge : public testing::GimpTest {
 protected:
  ProcessResult Gimp(const std::vector<std::string>& commands) {
    std::vector<std::string> arguments = GimpArguments(true);
    arguments.insert(arguments.end(), {"-b", "(gimp-message-set-handler CONSOLE)"});
    for (const std::string& command : commands) {
      arguments.push_back("-b");
      arguments.push_back(command);
    }
    arguments.insert(arguments.end(), {"-b", "(gimp-quit 0)"});
    std::map<std::string, std::string> environment = environment_;
    environment["DISPLAY"] = "";
    return testing::RunProcess(arguments, environment);
  }

  ProcessResult Apply(const std::string& input, const std::string& output) {
    std::vector<std::string> arguments{LUMERAY_EDITOR_PATH, "apply", input, output, "--quiet"};
    arguments.insert(arguments.end(), kApplySettings.begin(), kApplySettings.end());
    return testing::RunProcess(arguments, environment_);
  }
};

TEST_F(GimpBridge, FiltersLikeTheEditorWithinTheSelectionAndKeepsFloat) {
  HostImage night8 = NightImage(SampleType::kUInt8);
  // The same embedded profile for GIMP and the editor: GIMP's built-in sRGB and the module's
  // default differ by a level here and there.
  night8.iccProfile = testing::SrgbProfile();
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
      // Refused, nothing saved: a setting out of range, an indexed image, locked pixels.
      FilterCommand(night, dir_.File("refused.png"), "RUN-NONINTERACTIVE",
                    "3 200 80 60 15 0 40 30 50 50 20 30 0"),
      FilterCommand(night, dir_.File("indexed.png"), "RUN-NONINTERACTIVE", kProcedureSettings,
                    "(gimp-image-convert-indexed image CONVERT-DITHER-NONE "
                    "CONVERT-PALETTE-GENERATE 16 FALSE FALSE \"\")"),
      FilterCommand(night, dir_.File("locked.png"), "RUN-NONINTERACTIVE", kProcedureSettings,
                    "(gimp-item-set-lock-content drawable TRUE)"),
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
  EXPECT_FALSE(std::filesystem::exists(dir_.File("locked.png")));
  EXPECT_NE(gimp.err.find("the layer's pixels are locked"), std::string::npos) << gimp.err;
}

}  // namespace
}  // namespace lumeray
