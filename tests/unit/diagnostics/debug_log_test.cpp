// The debug log: file layout, entry texts and the logging modes.

#include "diagnostics/debug_log.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "diagnostics/message_report.h"
#include "diagnostics_test_support.h"

namespace lumeray {
namespace {

using testing::DiagnosticsTest;
using testing::SplitLines;

class DebugLogTest : public DiagnosticsTest {};

constexpr const char* kHeaderPattern =
    R"(^Lumeray Pro 2 version 2\.0\.0\.5 64 bit Release \([A-Z][a-z]{2} [ 0-9]\d \d{4}\) )"
    R"(Log opened on (Sun|Mon|Tues|Wednes|Thurs|Fri|Satur)day, (January|February|March|April|)"
    R"(May|June|July|August|September|October|November|December) \d{2}, \d{4} at )"
    R"(\d{2}:\d{2}:\d{2}\.\n\n)";

TEST_F(DebugLogTest, ByteOrderMarkAndHeaderPrecedeEntriesQueuedBeforeTheFileOpened) {
  ASSERT_TRUE(InitializeMessageReporting("Lumeray Pro 2", 0));
  LogEntry(kLogLevelNormal, "early %d", 1);
  ASSERT_TRUE(OpenDebugLog(kLoggingThreaded));
  EXPECT_EQ(DebugLoggingMode(), kLoggingThreaded);
  LogEntry(kLogLevelNormal, "late");

  const testing::LogFileContents log = CloseAndReadLog();
  ASSERT_TRUE(log.exists);
  EXPECT_TRUE(log.byteOrderMark);
  std::smatch header;
  ASSERT_TRUE(std::regex_search(log.text, header, std::regex(kHeaderPattern))) << log.text;
  EXPECT_EQ(log.text.substr(header.length(), 15), "early 1\nlate\n\nL");
  EXPECT_TRUE(std::regex_search(
      log.text, std::regex(R"(\n\nLog closed on [A-Za-z]+, [A-Za-z]+ \d{2}, \d{4} at )"
                           R"(\d{2}:\d{2}:\d{2}\.\n$)")));
  EXPECT_EQ(DebugLoggingMode(), kLoggingNone);
  EXPECT_TRUE(DebugLogFilePath().empty());
}

// Texts around the fixed buffer's size arrive whole; the text is stored as UTF-16, a byte that
// is no UTF-8 as the replacement character.
TEST_F(DebugLogTest, TextsArriveWholeAndAsUtf16) {
  ASSERT_TRUE(InitializeMessageReporting("Lumeray Pro 2", 0));
  ASSERT_TRUE(OpenDebugLog(kLoggingImmediate));
  const std::string fits(kLogEntryBufferSize - 1, 'a');  // text and its zero fill the buffer
  const std::string spills(kLogEntryBufferSize, 'b');
  const std::string far(3 * kLogEntryBufferSize + 7, 'c');
  const std::string wide = "Blende \xC6\x92/2.8 \xE2\x80\x94 \xE5\x85\x89 \xF0\x9F\x98\x80";
  for (const std::string* text : {&fits, &spills, &far, &wide}) {
    LogEntry(kLogLevelNormal, "%s", text->c_str());
  }
  LogEntry(kLogLevelNormal, "bad \xFF byte, cut \xE5\x85");
  const std::vector<std::string> lines = SplitLines(CloseAndReadLog().text);
  ASSERT_GE(lines.size(), 7u);
  EXPECT_EQ(lines[2], fits);
  EXPECT_EQ(lines[3], spills);
  EXPECT_EQ(lines[4], far);
  EXPECT_EQ(lines[5], wide);
  EXPECT_EQ(lines[6], "bad \xEF\xBF\xBD byte, cut \xEF\xBF\xBD");
}

TEST_F(DebugLogTest, ThreadedCloseWritesEveryQueuedEntryAndTheClosingLine) {
  constexpr int kThreads = 4;
  constexpr int kEntriesPerThread = 500;
  ASSERT_TRUE(InitializeMessageReporting("Lumeray Pro 2", 0));
  ASSERT_TRUE(OpenDebugLog(kLoggingThreaded));
  std::vector<std::thread> reporters;
  for (int t = 0; t < kThreads; ++t) {
    reporters.emplace_back([t] {
      for (int i = 0; i < kEntriesPerThread; ++i) LogEntry(kLogLevelNormal, "t%d e%d", t, i);
    });
  }
  for (std::thread& reporter : reporters) reporter.join();
  const std::vector<std::string> lines = SplitLines(CloseAndReadLog().text);

  std::vector<int> next(kThreads, 0);
  int entries = 0;
  for (const std::string& line : lines) {
    int t = 0;
    int i = 0;
    if (std::sscanf(line.c_str(), "t%d e%d", &t, &i) != 2) continue;
    ASSERT_EQ(i, next[t]) << "entries of one thread stay in order";
    ++next[t];
    ++entries;
  }
  EXPECT_EQ(entries, kThreads * kEntriesPerThread);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back().rfind("Log closed on ", 0), 0u);
}

TEST_F(DebugLogTest, ImmediateModeWritesAtOnceDiscardAndNoneWriteNoFile) {
  ASSERT_TRUE(InitializeMessageReporting("Lumeray Pro 2", 0));
  ASSERT_TRUE(OpenDebugLog(kLoggingImmediate));
  const std::string path = DebugLogFilePath();
  EXPECT_EQ(path, logFolder_ + "/LumerayPro2_00.log");
  LogEntry(kLogLevelNormal, "written now");
  EXPECT_NE(testing::ReadLogFile(path).text.find("written now\n"), std::string::npos);
  const std::string text = CloseAndReadLog().text;
  EXPECT_EQ(text.find("Flush Queue"), std::string::npos) << "reported after the queue closed";
  std::filesystem::remove(path);

  TerminateMessageReporting();
  ASSERT_TRUE(InitializeMessageReporting("Lumeray Pro 2", 0));
  ASSERT_TRUE(OpenDebugLog(kLoggingDiscard));
  LogEntry(kLogLevelNormal, "dropped");
  EXPECT_TRUE(DebugLogFilePath().empty());
  CloseDebugLog();
  TerminateMessageReporting();
  ASSERT_TRUE(InitializeMessageReporting("Lumeray Pro 2", 0));
  LogEntry(kLogLevelNormal, "waits, then is dropped");
  CloseDebugLog();
  EXPECT_TRUE(std::filesystem::is_empty(logFolder_));
}

TEST_F(DebugLogTest, LoggingStaysOffWithoutFolderOrWithInvalidMode) {
  ASSERT_TRUE(InitializeMessageReporting("Lumeray Pro 2", 0));
  EXPECT_FALSE(OpenDebugLog(7));
  EXPECT_EQ(DebugLoggingMode(), kLoggingNone);
  SetDebugLogDirectory("");
  EXPECT_FALSE(OpenDebugLog(kLoggingThreaded));
  EXPECT_FALSE(OpenDebugLog(kLoggingImmediate));
  EXPECT_EQ(DebugLoggingMode(), kLoggingNone);
  SetDebugLogDirectory(logFolder_ + "/missing");
  EXPECT_FALSE(OpenDebugLog(kLoggingThreaded));
  EXPECT_EQ(DebugLoggingMode(), kLoggingNone);
  EXPECT_TRUE(DebugLogFilePath().empty());

  // What was reported meanwhile is written once a log opens.
  SetDebugLogDirectory(logFolder_);
  ASSERT_TRUE(OpenDebugLog(kLoggingImmediate));
  const std::string text = CloseAndReadLog().text;
  EXPECT_NE(text.find("invalid logging mode'7'"), std::string::npos);
  EXPECT_NE(text.find("'" + logFolder_ + "/missing/LumerayPro2_00.log'"), std::string::npos);
}

}  // namespace
}  // namespace lumeray
