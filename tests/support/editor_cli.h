// The built `lumeray` command run as a user runs it, for the command-line tests: a temp folder
// holding a 48 x 32 input image, and refusals that must leave that folder as it was.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "support/process.h"
#include "support/temp_dir.h"
#include "support/test_images.h"

namespace lumeray::testing {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

inline ProcessResult Lumeray(std::vector<std::string> arguments,
                             const std::map<std::string, std::string>& environment = {}) {
  arguments.insert(arguments.begin(), LUMERAY_EDITOR_PATH);
  return RunProcess(arguments, environment);
}

inline std::string SampleImage() {
  return std::string(LUMERAY_SAMPLES_DIR) + "/hubble_deep_field.jpg";
}

class EditorCli : public ::testing::Test {
 protected:
  void SetUp() override {
    input_ = dir_.File("input.png");
    WriteTestImage(input_, PatternImage(48, 32, 3, false, SampleType::kUInt8));
  }

  // Runs and checks that the run failed with `status`, said why, and wrote nothing: no output,
  // no temporary file.
  ProcessResult ExpectRefused(int status, std::vector<std::string> arguments,
                              const std::map<std::string, std::string>& environment = {}) {
    const std::vector<std::string> before = dir_.Entries();
    ProcessResult result = Lumeray(std::move(arguments), environment);
    EXPECT_EQ(result.exitStatus, status) << result.err;
    EXPECT_NE(result.err.find("lumeray: "), std::string::npos) << result.err;
    EXPECT_EQ(dir_.Entries(), before) << result.err;
    return result;
  }

  TempDir dir_;
  std::string input_;
};

}  // namespace lumeray::testing
