#include "ui/settings_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "effects/parameter_block.h"
#include "effects/parameter_set.h"
#include "host/host_globals.h"
#include "host/last_saved_parameters.h"
#include "ui/user_data_folders.h"
#include "unit/temp_home.h"

namespace lumeray {
namespace {

class SettingsFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(InitializeUserDataFolders());
    CurrentParameters() = kFactoryParameters;
  }
  void TearDown() override {
    CurrentParameters() = kFactoryParameters;
    ResetUserDataFolders();
  }
  void WriteRaw(const std::string& bytes) {
    std::ofstream out(home.settingsFolder() / kLastSavedParametersFile, std::ios::binary);
    out << bytes;
  }
  testing::TempHome home;
};

TEST_F(SettingsFiles, MissingShortAndForeignFilesAreNotUsed) {
  EXPECT_FALSE(LoadLastSavedParameters());

  WriteRaw(std::string("\0\0\0\0\0\0\5\0\x63", 9));  // the right version, but no record
  EXPECT_FALSE(LoadLastSavedParameters());
  EXPECT_EQ(CurrentParameters().Intensity, 50);

  std::string old(255, '\0');
  old[6] = 4;   // version 0.0.0.4
  old[8] = 99;  // Intensity
  WriteRaw(old);
  EXPECT_FALSE(LoadLastSavedParameters());
  EXPECT_EQ(CurrentParameters().Intensity, 50);

  WriteRaw("");
  EXPECT_FALSE(LoadLastSavedParameters());
}

TEST_F(SettingsFiles, NothingIsReadOrWrittenWithoutFolders) {
  ResetUserDataFolders();
  char byte = 1;
  EXPECT_FALSE(WriteSettingsFile("x.bin", &byte, 1));
  EXPECT_FALSE(ReadSettingsFile("x.bin", &byte, 1));
}

TEST(ParameterBlockCallback, CommandsMakeCompareApplyAndReset) {
  CurrentParameters() = kFactoryParameters;
  const auto* version = reinterpret_cast<const ParameterVersion*>(
      ParameterBlockCallback(kBlockCurrentVersion, nullptr));
  EXPECT_EQ(*version, kCurrentParameterVersion);

  auto* block =
      reinterpret_cast<uint8_t*>(ParameterBlockCallback(kBlockCurrentParameters, nullptr));
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(ParameterBlockCallback(kBlockEquals, block), 1);
  CurrentParameters().Length = 3;
  EXPECT_EQ(ParameterBlockCallback(kBlockEquals, block), 0);
  block[0] = 9;  // the version is not compared
  CurrentParameters().Length = 50;
  EXPECT_EQ(ParameterBlockCallback(kBlockEquals, block), 1);
  EXPECT_EQ(ParameterBlockCallback(kBlockConvert, block), 0);
  EXPECT_EQ(ParameterBlockCallback(kBlockApply, block), 1);
  EXPECT_EQ(CurrentParameters().version.major, 9);
  EXPECT_EQ(ParameterBlockCallback(kBlockReset, nullptr), 1);
  EXPECT_EQ(CurrentParameters().version, kCurrentParameterVersion);
  EXPECT_EQ(ParameterBlockCallback(99, nullptr), 0);
  FreeParameterBlock(block);
}

}  // namespace
}  // namespace lumeray
