// Rotation of the debug log files when a new log opens.

#include <gtest/gtest.h>

#include <string>

#include "diagnostics/debug_log.h"
#include "diagnostics/log_file.h"
#include "diagnostics/message_report.h"
#include "diagnostics_test_support.h"

namespace lumeray {
namespace {

using testing::DiagnosticsTest;
using testing::FileExists;
using testing::ReadTextFile;
using testing::WriteTextFile;

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
  EXPECT_FALSE(FileExists(LogName(11)));
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
  EXPECT_FALSE(FileExists(LogName(3)));
  EXPECT_FALSE(FileExists(LogName(9)));
  EXPECT_FALSE(FileExists(logFolder_ + "/LumerayPro2_ab.log"));
  EXPECT_FALSE(FileExists(logFolder_ + "/LumerayPro2_5x.log"));
  EXPECT_TRUE(FileExists(logFolder_ + "/LumerayPro2_7.log"));
  EXPECT_TRUE(FileExists(logFolder_ + "/LumerayPro2_03.txt"));
  EXPECT_TRUE(FileExists(logFolder_ + "/Other_03.log"));
}

}  // namespace
}  // namespace lumeray
