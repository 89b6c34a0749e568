// The registry stand-in: typed values in INI-style hive files.

#include "platform/registry.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "platform/folders.h"
#include "support/temp_dir.h"

namespace lumeray::platform {
namespace {

using testing::ScopedEnvironment;
using TemporaryFolder = testing::TempDir;

const char kKeyPath[] = "Software\\Vantrel Software\\LumerayPro\\2.0\\OpenGLSettings";

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

void WriteAll(const std::string& path, const std::string& content) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << content;
}

class RegistryTest : public ::testing::Test {
 protected:
  TemporaryFolder folder_;
  ScopedEnvironment config_{"XDG_CONFIG_HOME", folder_.path().string()};
};

TEST(RegistryDefaultsTest, HiveFilesLiveUnderTheConfigFolderOrDotConfigInHome) {
  TemporaryFolder home, config;
  ScopedEnvironment setHome("HOME", home.path().string());
  ScopedEnvironment setConfig("XDG_CONFIG_HOME", config.path().string());
  EXPECT_EQ(HiveFilePath(Hive::kLocalMachine), config / "lumeray/local-machine.ini");
  EXPECT_EQ(HiveFilePath(Hive::kCurrentUser), config / "lumeray/current-user.ini");
  ScopedEnvironment unsetConfig("XDG_CONFIG_HOME", std::nullopt);
  EXPECT_EQ(HiveFilePath(Hive::kCurrentUser), home / ".config/lumeray/current-user.ini");
  ScopedEnvironment relativeConfig("XDG_CONFIG_HOME", "relative/ignored");
  EXPECT_EQ(HiveFilePath(Hive::kCurrentUser), home / ".config/lumeray/current-user.ini");
}

TEST_F(RegistryTest, TypedValuesRoundTrip) {
  auto key = RegistryKey::Open(Hive::kCurrentUser, kKeyPath, true);
  ASSERT_TRUE(key);
  EXPECT_EQ(key->SetDword("Accelerated", 10), 0);
  EXPECT_EQ(key->SetQword("Memory", 0x123456789abcdef0ull), 0);
  const std::string awkward = "line one\nline two\\with\\backslashes\r\n=;[x] \t\x01 end ";
  EXPECT_EQ(key->SetString("Folder", awkward), 0);
  EXPECT_EQ(key->SetString("Empty", ""), 0);
  EXPECT_EQ(key->SetDword("Max", 0xFFFFFFFFu), 0);

  EXPECT_EQ(key->GetDword("Accelerated"), 10u);
  EXPECT_EQ(key->GetQword("Memory"), 0x123456789abcdef0ull);
  EXPECT_EQ(key->GetString("Folder"), awkward);
  EXPECT_EQ(key->GetString("Empty"), "");
  EXPECT_EQ(key->GetDword("Max"), 0xFFFFFFFFu);
  // Types are kept apart, and value names ignore case as in the system registry.
  EXPECT_FALSE(key->GetQword("Accelerated"));
  EXPECT_FALSE(key->GetString("Accelerated"));
  EXPECT_EQ(key->GetDword("ACCELERATED"), 10u);
  EXPECT_FALSE(key->GetDword("Missing"));

  std::string text = ReadAll(HiveFilePath(Hive::kCurrentUser));
  EXPECT_NE(text.find(std::string("[") + kKeyPath + "]"), std::string::npos) << text;
  EXPECT_NE(text.find("Accelerated=dword:0x0000000a"), std::string::npos) << text;
  EXPECT_NE(text.find("Memory=qword:0x123456789abcdef0"), std::string::npos) << text;

  // Names with the file's own syntax in them.
  key = RegistryKey::Open(Hive::kCurrentUser, "Software\\Test", true);
  ASSERT_TRUE(key);
  const std::vector<std::string> names = {"a=b",       "[section]",   ";comment", " padded ",
                                          "new\nline", "back\\slash", ""};
  for (size_t i = 0; i < names.size(); ++i) {
    ASSERT_EQ(key->SetDword(names[i], static_cast<uint32_t>(i)), 0) << names[i];
  }
  for (size_t i = 0; i < names.size(); ++i) EXPECT_EQ(key->GetDword(names[i]), i) << names[i];
  // Nothing leaked out as a section of its own.
  EXPECT_FALSE(RegistryKey::Open(Hive::kCurrentUser, "section", false));
}

TEST_F(RegistryTest, OverwritingKeepsOneLineAndDeleteRemovesIt) {
  auto key = RegistryKey::Open(Hive::kLocalMachine, kKeyPath, true);
  ASSERT_TRUE(key);
  ASSERT_EQ(key->SetDword("Value", 1), 0);
  ASSERT_EQ(key->SetDword("Value", 2), 0);
  ASSERT_EQ(key->SetString("Value", "now text"), 0);
  EXPECT_FALSE(key->GetDword("Value"));
  EXPECT_EQ(key->GetString("Value"), "now text");
  std::string text = ReadAll(HiveFilePath(Hive::kLocalMachine));
  EXPECT_EQ(text.find("Value="), text.rfind("Value=")) << text;

  EXPECT_EQ(key->DeleteValue("Value"), 0);
  EXPECT_FALSE(key->GetString("Value"));
  EXPECT_EQ(key->DeleteValue("Value"), ENOENT);
}

TEST_F(RegistryTest, KeysExistOnceWrittenAndPersistAcrossKeyObjectsAndHives) {
  EXPECT_FALSE(RegistryKey::Open(Hive::kCurrentUser, kKeyPath, false));
  auto created = RegistryKey::Open(Hive::kCurrentUser, kKeyPath, true);
  ASSERT_TRUE(created);
  EXPECT_FALSE(RegistryKey::Open(Hive::kCurrentUser, kKeyPath, false));
  ASSERT_EQ(created->SetDword("x", 1), 0);
  EXPECT_TRUE(RegistryKey::Open(Hive::kCurrentUser, kKeyPath, false));
  // A parent of a key with values exists; an unrelated prefix does not.
  EXPECT_TRUE(RegistryKey::Open(Hive::kCurrentUser, "Software\\Vantrel Software", false));
  EXPECT_FALSE(RegistryKey::Open(Hive::kCurrentUser, "Software\\Vantrel", false));
  EXPECT_FALSE(RegistryKey::Open(Hive::kCurrentUser, "", true));
  EXPECT_FALSE(RegistryKey::Open(Hive::kCurrentUser, "bad\npath", true));

  ASSERT_EQ(created->SetDword("Quality", 3), 0);
  auto again = RegistryKey::Open(Hive::kCurrentUser, kKeyPath, false);
  ASSERT_TRUE(again);
  EXPECT_EQ(again->GetDword("Quality"), 3u);
  // Key paths ignore case too, and surrounding backslashes.
  auto otherCase = RegistryKey::Open(
      Hive::kCurrentUser, "\\software\\vantrel software\\lumeraypro\\2.0\\openglsettings\\", false);
  ASSERT_TRUE(otherCase);
  EXPECT_EQ(otherCase->GetDword("Quality"), 3u);
  EXPECT_FALSE(RegistryKey::Open(Hive::kLocalMachine, kKeyPath, false));
}

TEST_F(RegistryTest, CorruptLinesAreIgnoredAndKeptOnRewrite) {
  std::string path = HiveFilePath(Hive::kCurrentUser);
  std::string junk;  // binary noise first
  for (int i = 0; i < 4096; ++i) junk += static_cast<char>((i * 7919) & 0xff);
  WriteAll(path, junk +
                     std::string("\ngarbage before any section\n"
                                 "orphan=dword:0x1\n"
                                 "[Software\\Test]\r\n"
                                 "; a comment\n"
                                 "good=dword:0x0000002a\r\n"
                                 "badhex=dword:0xZZ\n"
                                 "toolong=dword:0x100000000\n"
                                 "notype=12\n"
                                 "unknown=binary:00ff\n"
                                 "badescape=sz:oops\\q\n"
                                 "noequals\n"
                                 "[unterminated\n") +
                     std::string("binary=\0\xff\xfe", 10) +
                     "\n"
                     "text=sz:fine\\nline\n"
                     "[Software\\Other]\n"
                     "big=qword:0xffffffffffffffff");
  auto key = RegistryKey::Open(Hive::kCurrentUser, "Software\\Test", false);
  ASSERT_TRUE(key);
  EXPECT_EQ(key->GetDword("good"), 42u);
  EXPECT_EQ(key->GetString("text"), "fine\nline");
  for (const char* name :
       {"orphan", "badhex", "toolong", "notype", "unknown", "badescape", "noequals", "binary"}) {
    EXPECT_FALSE(key->GetDword(name)) << name;
    EXPECT_FALSE(key->GetString(name)) << name;
  }
  auto other = RegistryKey::Open(Hive::kCurrentUser, "Software\\Other", false);
  ASSERT_TRUE(other);
  EXPECT_EQ(other->GetQword("big"), 0xffffffffffffffffull);

  ASSERT_EQ(key->SetDword("added", 7), 0);
  EXPECT_EQ(key->GetDword("added"), 7u);
  EXPECT_EQ(key->GetDword("good"), 42u);
  EXPECT_EQ(other->GetQword("big"), 0xffffffffffffffffull);
  std::string text = ReadAll(path);
  EXPECT_NE(text.find("; a comment"), std::string::npos);
  EXPECT_NE(text.find("garbage before any section"), std::string::npos);
}

TEST_F(RegistryTest, APipeAtTheHivesPathIsNotWaitedOn) {
  const std::string path = HiveFilePath(Hive::kCurrentUser);
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
  // Opening a pipe for reading with no writer would block for ever.
  EXPECT_FALSE(RegistryKey::Open(Hive::kCurrentUser, "Software\\Test", false));
  auto key = RegistryKey::Open(Hive::kCurrentUser, "Software\\Test", true);
  if (key) {
    EXPECT_NE(key->SetDword("v", 1), 0);
  }
}

TEST_F(RegistryTest, ConcurrentWritersLoseNothing) {
  std::vector<std::thread> writers;
  for (int t = 0; t < 4; ++t) {
    writers.emplace_back([t] {
      auto key = RegistryKey::Open(Hive::kCurrentUser, "Software\\Concurrent", true);
      for (int i = 0; i < 5; ++i) {
        key->SetDword("t" + std::to_string(t) + "_" + std::to_string(i), static_cast<uint32_t>(i));
      }
    });
  }
  for (auto& writer : writers) writer.join();
  auto key = RegistryKey::Open(Hive::kCurrentUser, "Software\\Concurrent", false);
  ASSERT_TRUE(key);
  for (int t = 0; t < 4; ++t) {
    for (int i = 0; i < 5; ++i) {
      EXPECT_EQ(key->GetDword("t" + std::to_string(t) + "_" + std::to_string(i)),
                static_cast<uint32_t>(i));
    }
  }
  // Only the hive file is left in the folder: no temporary files.
  EXPECT_EQ(ListDirectory(folder_ / "lumeray", "*"), std::vector<std::string>{"current-user.ini"});
}

TEST_F(RegistryTest, UnwritableConfigFolderReportsAnError) {
  WriteAll(folder_ / "lumeray", "a file where the folder should be");
  auto key = RegistryKey::Open(Hive::kCurrentUser, kKeyPath, true);
  ASSERT_TRUE(key);
  EXPECT_NE(key->SetDword("x", 1), 0);
  EXPECT_FALSE(key->GetDword("x"));
}

}  // namespace
}  // namespace lumeray::platform
