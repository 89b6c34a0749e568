// Rotation of the debug log files when a new log opens.

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "diagnostics/debug_log.h"
#include "diagnostics/log_file.h"
#include "diagnostics/message_report.h"
#include "diagnostics_test_support.h"

namespace lumeray {
namespace {

using testing::DiagnosticsTest;

bool Exists(const std::string& path) {
  return std::filesystem::exists(path);
}
void WriteTextFile(const std::string& path, const std::string& text) {
  std::ofstream(path) << text;
}
std::string ReadTextFile(const std::string& path) {
  const std::vector<uint8_t> bytes = testing::ReadFileBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

class LogRotationTest : public DiagnosticsTest {
 protected:
  std::string LogName(unsigned number) { return DebugLogFileName(logFolder_, number); }

  void OpenAndCloseLog() {
    ASSERT_TRUE(InitializeMessageReporting("Lumeray Pro 2", 0));
    ASSERT_TRUE(OpenDebugLog(kLoggingImmediate));
    ASSERT_EQ(DebugLogFilePath(), LogName(0));
    CloseDebugLog();
  }

  void ExpectNewLog() {
    const testing::LogFileContents log = testing::ReadLogFile(LogName(0));
    EXPECT_TRUE(log.byteOrderMark);
    EXPECT_EQ(log.text.rfind("Lumeray Pro 2 version ", 0), 0u);
  }
};

TEST_F(LogRotationTest, EarlierLogsMoveUpAndNumbersFromNineOnAreDeleted) {
  for (unsigned number = 0; number <= 8; ++number) {
    WriteTextFile(LogName(number), "log " + std::to_string(number));
  }
  WriteTextFile(LogName(11), "log 11");
  OpenAndCloseLog();

  ExpectNewLog();
  for (unsigned number = 1; number <= 9; ++number) {
    EXPECT_EQ(ReadTextFile(LogName(number)), "log " + std::to_string(number - 1));
  }
  EXPECT_FALSE(Exists(LogName(11)));
}

TEST_F(LogRotationTest, OnlyMatchingNamesTakePartAndStrayMatchesAreDeleted) {
  WriteTextFile(LogName(9), "log 9");  // the oldest name: makes room
  WriteTextFile(LogName(3), "log 3");
  WriteTextFile(logFolder_ + "/LumerayPro2_ab.log", "no number");
  WriteTextFile(logFolder_ + "/LumerayPro2_5x.log", "number not followed by a period");
  WriteTextFile(logFolder_ + "/LumerayPro2_7.log", "one digit: not a match");
  WriteTextFile(logFolder_ + "/LumerayPro2_03.txt", "other extension");
  WriteTextFile(logFolder_ + "/Other_03.log", "other name");
  OpenAndCloseLog();

  ExpectNewLog();
  EXPECT_EQ(ReadTextFile(LogName(4)), "log 3");
  EXPECT_FALSE(Exists(LogName(3)));
  EXPECT_FALSE(Exists(LogName(9)));
  EXPECT_FALSE(Exists(logFolder_ + "/LumerayPro2_ab.log"));
  EXPECT_FALSE(Exists(logFolder_ + "/LumerayPro2_5x.log"));
  EXPECT_TRUE(Exists(logFolder_ + "/LumerayPro2_7.log"));
  EXPECT_TRUE(Exists(logFolder_ + "/LumerayPro2_03.txt"));
  EXPECT_TRUE(Exists(logFolder_ + "/Other_03.log"));
}

// Runs opening logs at the same moment (several processes of a batch) each keep a log of their
// own: without the folder lock two rotations renamed the same files and one run's new 00 file
// was truncated or renamed away by another.
TEST_F(LogRotationTest, ConcurrentOpeningsEachKeepTheirOwnLog) {
  constexpr int kOpenings = 8;  // fewer than the ten names, so every log must survive
  for (int round = 0; round < 6; ++round) {
    for (const auto& entry : std::filesystem::directory_iterator(logFolder_)) {
      std::filesystem::remove(entry.path());
    }
    std::vector<int> succeeded(kOpenings, 0);
    std::vector<std::thread> threads;
    for (int index = 0; index < kOpenings; ++index) {
      threads.emplace_back([&, index] {
        const LogFolderLock lock(logFolder_);
        std::string path;
        if (!lock.Held() || !ChooseLogFileName(logFolder_, &path)) return;
        int errorNumber = 0;
        const int descriptor = CreateLogFile(path, &errorNumber);
        if (descriptor < 0) return;
        const std::string tag = "opening " + std::to_string(index);
        succeeded[index] = write(descriptor, tag.data(), tag.size()) == ssize_t(tag.size());
        close(descriptor);
      });
    }
    for (std::thread& thread : threads) thread.join();

    std::set<std::string> tags;
    for (unsigned number = 0; number < kOpenings; ++number) {
      tags.insert(ReadTextFile(LogName(number)));
    }
    for (int index = 0; index < kOpenings; ++index) {
      ASSERT_TRUE(succeeded[index]) << "round " << round << ", opening " << index;
      ASSERT_EQ(tags.count("opening " + std::to_string(index)), 1u) << "round " << round;
    }
  }
}

}  // namespace
}  // namespace lumeray
