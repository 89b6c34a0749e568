// Data folders and file operations.

#include "platform/folders.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/temp_dir.h"

namespace lumeray::platform {
namespace {

using testing::ScopedEnvironment;
using TemporaryFolder = testing::TempDir;

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

TEST(FoldersTest, DataFoldersFollowTheEnvironment) {
  TemporaryFolder folder;
  ScopedEnvironment home("HOME", folder.path().string());
  ScopedEnvironment data("XDG_DATA_HOME", std::nullopt);
  std::string found;
  EXPECT_EQ(GetLocalAppDataFolder(false, &found), 0);
  EXPECT_EQ(found, folder / ".local/share");
  {
    ScopedEnvironment relative("XDG_DATA_HOME", "not/absolute");
    EXPECT_EQ(GetLocalAppDataFolder(false, &found), 0);
    EXPECT_EQ(found, folder / ".local/share");
  }
  const std::string dataHome = folder / "data/home";
  ScopedEnvironment absolute("XDG_DATA_HOME", dataHome);
  EXPECT_EQ(GetLocalAppDataFolder(false, &found), 0);
  EXPECT_EQ(found, dataHome);
  EXPECT_FALSE(std::filesystem::exists(dataHome));
  EXPECT_EQ(GetLocalAppDataFolder(true, &found), 0);
  EXPECT_TRUE(std::filesystem::is_directory(dataHome));

  ScopedEnvironment dataDir("LUMERAY_DATA_DIR", std::nullopt);
  EXPECT_EQ(GetCommonAppDataFolder(&found), 0);
  EXPECT_FALSE(found.empty());
  ScopedEnvironment chosen("LUMERAY_DATA_DIR", "/opt/lumeray/share");
  EXPECT_EQ(GetCommonAppDataFolder(&found), 0);
  EXPECT_EQ(found, "/opt/lumeray/share");
}

TEST(FoldersTest, JoinPathUsesOneSlash) {
  EXPECT_EQ(JoinPath("/a/b", "c"), "/a/b/c");
  EXPECT_EQ(JoinPath("/a/b/", "c"), "/a/b/c");
  EXPECT_EQ(JoinPath("/a/b", "/c/d"), "/a/b/c/d");
  EXPECT_EQ(JoinPath("", "c"), "c");
  EXPECT_EQ(JoinPath("/a", ""), "/a");
  EXPECT_EQ(JoinPath("/", "c"), "/c");
}

TEST(FoldersTest, CreateDirectoriesMakesParentsAndReportsFilesInTheWay) {
  TemporaryFolder folder;
  EXPECT_EQ(CreateDirectories(folder / "x/y/z"), 0);
  EXPECT_TRUE(std::filesystem::is_directory(folder / "x/y/z"));
  EXPECT_EQ(CreateDirectories(folder / "x/y/z"), 0);  // already there
  EXPECT_EQ(CreateDirectories(folder / "x/y/z/"), 0);
  std::ofstream(folder / "file") << "x";
  EXPECT_EQ(CreateDirectories(folder / "file"), EEXIST);
  EXPECT_NE(CreateDirectories(folder / "file/sub"), 0);
}

TEST(FoldersTest, ListDirectoryMatchesShellPatterns) {
  TemporaryFolder folder;
  for (const char* name : {"a.lmx", "b.lmx", "c.txt", "LumerayPro2_01.log", "LumerayPro2_1.log"}) {
    std::ofstream(folder / name) << "x";
  }
  auto sorted = [](std::vector<std::string> names) {
    std::sort(names.begin(), names.end());
    return names;
  };
  EXPECT_EQ(sorted(ListDirectory(folder.path(), "*.lmx")),
            (std::vector<std::string>{"a.lmx", "b.lmx"}));
  EXPECT_EQ(ListDirectory(folder.path(), "LumerayPro2_??.log"),
            std::vector<std::string>{"LumerayPro2_01.log"});
  EXPECT_EQ(ListDirectory(folder.path(), "*").size(), 5u);
  EXPECT_TRUE(ListDirectory(folder / "missing", "*").empty());
}

TEST(FoldersTest, WriteFileAtomicallyReplacesContentAndLeavesNoTemporaryFile) {
  TemporaryFolder folder;
  std::string path = folder / "settings.lmx";
  const std::string first = "first content";
  ASSERT_EQ(WriteFileAtomically(path, first.data(), first.size()), 0);
  EXPECT_EQ(ReadAll(path), first);
  chmod(path.c_str(), 0640);
  const std::string second(100000, 'z');
  ASSERT_EQ(WriteFileAtomically(path, second.data(), second.size()), 0);
  EXPECT_EQ(ReadAll(path), second);
  EXPECT_EQ(ListDirectory(folder.path(), "*"), std::vector<std::string>{"settings.lmx"});
  struct stat info;
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);  // the replaced file's permissions are kept
  ASSERT_EQ(WriteFileAtomically(path, nullptr, 0), 0);
  EXPECT_EQ(ReadAll(path), "");
}

TEST(FoldersTest, FailedAtomicWriteLeavesNothingBehind) {
  TemporaryFolder folder;
  std::string target = folder / "occupied";
  ASSERT_EQ(CreateDirectories(target + "/inside"), 0);  // a non-empty folder cannot be replaced
  const std::string data = "data";
  EXPECT_NE(WriteFileAtomically(target, data.data(), data.size()), 0);
  EXPECT_EQ(ListDirectory(folder.path(), "*"), std::vector<std::string>{"occupied"});
  EXPECT_EQ(WriteFileAtomically(folder / "missing/file", data.data(), data.size()), ENOENT);
}

}  // namespace
}  // namespace lumeray::platform
