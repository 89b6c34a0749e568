// Parameter-set files: the format, which files are used, which are deleted, and where deleting
// is allowed at all.
#include "ui/parameter_set_files.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "diagnostics/message_report.h"
#include "diagnostics/user_message_display.h"
#include "host/host_globals.h"
#include "platform/folders.h"
#include "platform/thread.h"
#include "platform/window.h"
#include "ui/user_data_folders.h"
#include "unit/temp_home.h"

namespace lumeray {
namespace {

namespace fs = std::filesystem;

std::string Bytes(ParameterVersion version, size_t size = kParameterBlockSize) {
  ParameterSet parameters = kFactoryParameters;
  parameters.version = version;
  parameters.Intensity = 99;
  std::string bytes(size, '\0');
  std::memcpy(bytes.data(), &parameters, std::min(size, sizeof parameters));
  return bytes;
}

void WriteAll(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

int appliedCalls = 0;

class ParameterSetFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(InitializeUserDataFolders());
    parameters = UserParametersFolder();
    uiThread_ = UiThread();
    SetUiThread(platform::CurrentThreadId());
    RecordMessageOwnerWindows(0);
    platform::SetMessageBoxHandler([this](platform::WindowHandle, const std::string& text,
                                          const std::string& title, uint32_t) {
      shown.push_back(title + ": " + text);
      return platform::kIdOk;
    });
    appliedCalls = 0;
    SetParameterSetAppliedHook([] { ++appliedCalls; });
  }
  void TearDown() override {
    SetParameterSetAppliedHook(nullptr);
    platform::SetMessageBoxHandler({});
    SetUiThread(uiThread_);
    CurrentParameters() = kFactoryParameters;
    ResetUserDataFolders();
  }

  testing::TempHome home;
  const fs::path elsewhere = home.root() / "elsewhere";
  fs::path parameters;
  std::vector<std::string> shown;
  uint32_t uiThread_ = 0;
};

TEST_F(ParameterSetFiles, ASavedSetIs255BytesWithTheVersionFirstAndLoadsBack) {
  CurrentParameters().Angle = -450;
  OwnedParameterBlock block(NewCurrentParameterBlock());
  const fs::path sunset = parameters / "Sunset.lmx";
  ASSERT_TRUE(WriteParameterFile(block.get(), sunset));

  std::ifstream in(sunset, std::ios::binary);
  const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  ASSERT_EQ(bytes.size(), 255u);
  EXPECT_EQ(bytes.substr(0, 8), std::string("\0\0\0\0\0\0\5\0", 8));
  EXPECT_EQ(bytes.substr(40), std::string(215, '\0'));
  EXPECT_EQ(platform::ListDirectory(parameters, "*").size(), 1u) << "no temporary file is left";

  CurrentParameters() = kFactoryParameters;
  OwnedParameterBlock loaded = LoadSavedSet(sunset);
  ASSERT_NE(loaded, nullptr);
  EXPECT_TRUE(ApplyParameterSet(loaded.get()));
  EXPECT_EQ(CurrentParameters().Angle, -450);
  EXPECT_EQ(appliedCalls, 1);
  EXPECT_TRUE(shown.empty());

  EXPECT_FALSE(ApplyParameterSet(reinterpret_cast<const uint8_t*>(Bytes({0, 0, 0, 4}).data())));
  EXPECT_EQ(CurrentParameters().Intensity, kFactoryParameters.Intensity);
  EXPECT_EQ(appliedCalls, 1);
}

TEST_F(ParameterSetFiles, AnObsoleteSetIsDeletedInTheParametersFolderAndKeptElsewhere) {
  const fs::path inside = parameters / "Old.lmx";
  const fs::path outside = elsewhere / "Old.lmx";
  WriteAll(inside, Bytes({0, 0, 0, 4}));
  WriteAll(outside, Bytes({0, 0, 0, 4}));
  const std::string versions =
      "' (Major Version = '0', Minor Version = '0', Revision = '0', Build = '4')was saved in an "
      "obsolete format and cannot be converted.";

  EXPECT_EQ(LoadSavedSet(inside), nullptr);
  EXPECT_FALSE(fs::exists(inside));
  EXPECT_EQ(ImportParameterFile(outside), nullptr);
  EXPECT_EQ(LoadSavedSet(outside), nullptr) << "a file from elsewhere is never deleted";
  EXPECT_TRUE(fs::exists(outside));
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[0], "Parameter Set Conversion: Your Parameter Set file '" + inside.string() +
                          versions + " The file will be deleted.");
  EXPECT_EQ(shown[1], "Parameter Set Conversion: Your Parameter Set file '" + outside.string() +
                          versions + "  Your current settings have not been changed.");
  EXPECT_EQ(shown[2], shown[1]) << "a file from elsewhere is not said to be deleted";
  EXPECT_EQ(CurrentParameters().Intensity, kFactoryParameters.Intensity);
}

TEST_F(ParameterSetFiles, FilesShorterThanARecordAreInvalid) {
  const fs::path cut = parameters / "Cut.lmx";
  const fs::path empty = parameters / "Empty.lmx";
  const fs::path outside = elsewhere / "Cut.lmx";
  WriteAll(cut, Bytes(kCurrentParameterVersion, 39));  // the right version, but cut short
  WriteAll(empty, "");
  WriteAll(outside, Bytes(kCurrentParameterVersion, 39));

  std::array<uint8_t, kParameterBlockSize> block{};
  EXPECT_FALSE(ReadParameterFile(cut, block.data()));
  EXPECT_EQ(LoadSavedSet(cut), nullptr);
  EXPECT_EQ(LoadSavedSet(empty), nullptr);
  EXPECT_EQ(ImportParameterFile(outside), nullptr);
  EXPECT_FALSE(fs::exists(cut));
  EXPECT_FALSE(fs::exists(empty));
  EXPECT_TRUE(fs::exists(outside));
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[0], "Invalid Parameter Set: Your Parameter Set file '" + cut.string() +
                          "' is invalid and cannot be used. The file is being deleted.\r\n");
  EXPECT_EQ(shown[2], "Invalid Parameter Set: Your Parameter Set file '" + outside.string() +
                          "' is invalid and cannot be used.");

  // A record and more: the first 255 bytes count.
  WriteAll(cut, Bytes(kCurrentParameterVersion, 1000));
  EXPECT_NE(LoadSavedSet(cut), nullptr);

  // Not a verdict on the content: a file that cannot be read is reported but kept.
  fs::create_directories(parameters / "Folder.lmx");
  EXPECT_EQ(LoadSavedSet(parameters / "Folder.lmx"), nullptr);
  EXPECT_TRUE(fs::is_directory(parameters / "Folder.lmx"));
  EXPECT_EQ(shown.size(), 4u);
}

TEST_F(ParameterSetFiles, DeletingStaysWithinTheParametersFolder) {
  const fs::path settingsFile = UserSettingsFolder() + "/Precious.lmx";
  const fs::path outside = elsewhere / "Precious.lmx";
  WriteAll(settingsFile, "x");
  WriteAll(outside, "x");
  fs::create_directory_symlink(elsewhere, parameters / "link");
  fs::create_symlink(outside, parameters / "Pointer.lmx");

  for (const fs::path& path : {outside, parameters / ".." / "Settings" / "Precious.lmx",
                               parameters / "link" / "Precious.lmx", parameters / "..",
                               fs::path(parameters.string() + "/")}) {
    SCOPED_TRACE(path);
    EXPECT_FALSE(DeleteParameterFile(path));
  }
  EXPECT_TRUE(fs::exists(settingsFile));
  EXPECT_TRUE(fs::exists(outside));

  EXPECT_TRUE(DeleteParameterFile(parameters / "Pointer.lmx"));
  EXPECT_FALSE(fs::is_symlink(parameters / "Pointer.lmx"));
  EXPECT_TRUE(fs::exists(outside)) << "a link goes, not what it points to";

  WriteAll(parameters / "Mine.lmx", "x");
  fs::create_directories(parameters / "sub");
  EXPECT_TRUE(DeleteParameterFile(parameters / "sub" / ".." / "Mine.lmx"));
  EXPECT_FALSE(fs::exists(parameters / "Mine.lmx"));
}

TEST_F(ParameterSetFiles, WithoutTheFoldersNothingIsTouched) {
  const fs::path file = parameters / "Set.lmx";
  WriteAll(file, Bytes({0, 0, 0, 4}));
  ResetUserDataFolders();
  OwnedParameterBlock block(NewFactoryParameterBlock());
  EXPECT_FALSE(WriteParameterFile(block.get(), elsewhere / "New.lmx"));
  EXPECT_FALSE(ReadParameterFile(file, block.get()));
  EXPECT_EQ(LoadSavedSet(file), nullptr);
  EXPECT_FALSE(DeleteParameterFile(file));
  EXPECT_TRUE(fs::exists(file));
  EXPECT_FALSE(fs::exists(elsewhere / "New.lmx"));
  EXPECT_TRUE(shown.empty());
}

TEST(ParameterFileContent, RecordLengthAndVersionDecide) {
  std::array<uint8_t, kParameterBlockSize> block{};
  auto decode = [&](const std::string& bytes) {
    return DecodeParameterFile({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()},
                               block.data());
  };
  EXPECT_EQ(decode(""), ParameterFileContent::kInvalid);
  EXPECT_EQ(decode(Bytes(kCurrentParameterVersion, 39)), ParameterFileContent::kInvalid);
  EXPECT_EQ(decode(Bytes(kCurrentParameterVersion, 40)), ParameterFileContent::kValid);
  EXPECT_EQ(decode(Bytes({5, 0, 0, 0}, 300)), ParameterFileContent::kObsolete);
  EXPECT_EQ(BlockVersion(block.data()), (ParameterVersion{5, 0, 0, 0}));
}

}  // namespace
}  // namespace lumeray
