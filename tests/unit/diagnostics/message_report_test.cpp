// Message reporting: the log line of each kind, and where user messages are shown.

#include "diagnostics/message_report.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <regex>
#include <thread>

#include "diagnostics/debug_log.h"
#include "diagnostics_test_support.h"
#include "platform/error_text.h"
#include "platform/thread.h"

namespace lumeray {
namespace {

using testing::DiagnosticsTest;
using testing::SplitLines;

constexpr const char* kClock = R"(\d{2}:\d{2}:\d{2})";

std::string ThreadTag() {
  char tag[32];
  std::snprintf(tag, sizeof tag, "Thread 0x%04X", platform::CurrentThreadId());
  return tag;
}

// The log lines after the header, without the closing line.
std::vector<std::string> EntryLines(const testing::LogFileContents& log) {
  std::vector<std::string> lines = SplitLines(log.text);
  std::vector<std::string> entries;
  for (size_t i = 2; i < lines.size(); ++i) {
    if (lines[i].empty() || lines[i].rfind("Log closed ", 0) == 0) continue;
    entries.push_back(lines[i]);
  }
  return entries;
}

class MessageReportTest : public DiagnosticsTest {
 protected:
  // The boxes shown so far are exactly one, shown as given; a user message's box comes forward.
  void ExpectOneBox(platform::WindowHandle owner, const std::string& title, const std::string& text,
                    uint32_t icon) {
    const std::vector<testing::ShownBox> boxes = ShownBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].owner, owner);
    EXPECT_EQ(boxes[0].title, title);
    EXPECT_EQ(boxes[0].text, text);
    EXPECT_EQ(boxes[0].flags, icon | platform::kMbSetForeground);
  }
};

TEST_F(MessageReportTest, EachKindWritesItsLogLine) {
  ASSERT_TRUE(InitializeMessageReporting("Lumeray Pro 2", 0));
  ASSERT_TRUE(OpenDebugLog(kLoggingImmediate));

  MessageReport(101, kMessageDebug).Report(kIconError, kTitleDebugUnexpectedError, "A %d", 1);
  MessageReport(102, kMessageUser).Report(kIconWarning, kTitleWarning, "B");
  MessageReport(103, kMessageSystemError, ENOENT).Report(kIconError, "T", "C");
  MessageReport(104, kMessageEventMonitor).Report("D");
  MessageReport(105, kMessageCrtError, EACCES).Report(kIconError, "T", "E");
  MessageReport(106, kMessageTrace).Report("F");
  OpenGLMessageReport(107, kMessageOpenGLError, 0x502).Report(kIconError, "T", "G");
  OpenGLMessageReport(108, kMessageDebug).Report(kIconError, "T", "H");
  // Not logged: kind 3 through the base object, and unknown kinds.
  MessageReport(109, kMessageOpenGLError, 0x502).Report(kIconError, "T", "I");
  MessageReport(110, 7).Report(kIconError, "T", "J");

  const std::vector<std::string> lines = EntryLines(CloseAndReadLog());
  const std::string prefix = std::string("^") + kClock + " " + ThreadTag() + ": Line ";
  const std::string systemText = platform::SystemErrorText(ENOENT);
  const std::string crtText = std::strerror(EACCES);
  const std::vector<std::string> expected = {
      prefix + "101: Debug Message: 'Debug:  Unexpected Error' - 'A 1'$",
      prefix + "102: User Message: 'Warning' - 'B'$",
      prefix + "103: System Error: '" + systemText + "' : 'T' - 'C'$",
      prefix + "104: Event Monitor: D$",
      prefix + "105: C Run-Time Library Error: '" + crtText + "' : 'T' - 'E'$",
      prefix + "106: Trace Message: F$",
      std::string("^") + kClock +
          " : Line 107: OpenGL Error: 'An invalid operation was attempted' : 'T' - 'G'$",
      prefix + "108: Debug Message: 'T' - 'H'$",
  };
  ASSERT_EQ(lines.size(), expected.size());
  for (size_t i = 0; i < lines.size(); ++i) {
    EXPECT_TRUE(std::regex_search(lines[i], std::regex(expected[i])))
        << lines[i] << "\ndoes not match\n"
        << expected[i];
  }
}

TEST_F(MessageReportTest, OnlyUserMessagesShowBoxes) {
  const platform::WindowHandle host =
      platform::RegisterWindow([](uint32_t, uintptr_t, intptr_t) {});
  ASSERT_TRUE(InitializeMessageReporting("Lumeray Pro 2", host));
  for (int kind : {kMessageDebug, kMessageSystemError, kMessageEventMonitor, kMessageCrtError,
                   kMessageTrace}) {
    MessageReport(1, kind, ENOENT).Report(kIconError | platform::kMbOkCancel, "Error", "quiet");
  }
  OpenGLMessageReport(1, kMessageOpenGLError, 0x500).Report(kIconError, "Error", "quiet");
  EXPECT_TRUE(ShownBoxes().empty());

  MessageReport(2, kMessageUser).Report(kIconWarning, "Warning", "Shown once");
  ExpectOneBox(host, "Warning", "Shown once", kIconWarning);
  EXPECT_EQ(platform::DispatchPostedMessages(), 0u);
  platform::UnregisterWindow(host);
}

TEST_F(MessageReportTest, UserMessageFromWorkerIsPostedToModuleWindow) {
  std::vector<MessageBlock*> received;
  const platform::WindowHandle host =
      platform::RegisterWindow([](uint32_t, uintptr_t, intptr_t) {});
  const platform::WindowHandle dialog =
      platform::RegisterWindow([&](uint32_t message, uintptr_t wParam, intptr_t) {
        if (message == kMsgShowMessage) received.push_back(reinterpret_cast<MessageBlock*>(wParam));
      });
  ASSERT_TRUE(InitializeMessageReporting("Lumeray Pro 2", host));
  EXPECT_EQ(SetMessageOwnerWindow(dialog), host);

  std::thread worker([] {
    MessageReport(3, kMessageUser)
        .Report(kIconWarning | platform::kMbOkCancel, "Scripting Error", "From a worker");
  });
  worker.join();
  EXPECT_TRUE(ShownBoxes().empty()) << "a worker thread never shows a box";

  EXPECT_EQ(platform::DispatchPostedMessages(), 1u);
  ASSERT_EQ(received.size(), 1u);
  ShowAndFreeMessageBlock(received[0], dialog);
  ExpectOneBox(dialog, "Scripting Error", "From a worker", kIconWarning);
  platform::UnregisterWindow(dialog);
  platform::UnregisterWindow(host);
}

TEST_F(MessageReportTest, WithoutAnyWindowUserMessagesShowUnownedOnUiThreadOnly) {
  ASSERT_TRUE(InitializeMessageReporting("Lumeray Pro 2", 0));
  std::thread worker([] { MessageReport(5, kMessageUser).Report(kIconError, "Warning", "No"); });
  worker.join();
  EXPECT_TRUE(ShownBoxes().empty());

  MessageReport(6, kMessageUser).Report(kIconError, kTitleErrorExiting, "Yes");
  ExpectOneBox(0, "Error - Exiting Plug-in", "Yes", kIconError);
  EXPECT_EQ(platform::DispatchPostedMessages(), 0u);
}

TEST_F(MessageReportTest, OwnerWindowChangesOnlyOnUiThreadToWindowOrInitialOwner) {
  const platform::WindowHandle dialog =
      platform::RegisterWindow([](uint32_t, uintptr_t, intptr_t) {});
  ASSERT_TRUE(InitializeMessageReporting("Lumeray Pro 2", 0));

  platform::WindowHandle fromWorker = -1;
  std::thread worker([&] { fromWorker = SetMessageOwnerWindow(dialog); });
  worker.join();
  EXPECT_EQ(fromWorker, 0);
  EXPECT_EQ(MessageOwnerWindow(), 0);

  EXPECT_EQ(SetMessageOwnerWindow(dialog + 1), 0) << "not a window";
  EXPECT_EQ(MessageOwnerWindow(), 0);

  SetMessageOwnerWindow(dialog);
  EXPECT_EQ(MessageOwnerWindow(), dialog);
  // The dialog hands the messages back to the host, which has no window here.
  EXPECT_EQ(SetMessageOwnerWindow(0), dialog);
  EXPECT_EQ(MessageOwnerWindow(), 0);
  platform::UnregisterWindow(dialog);
}

TEST_F(MessageReportTest, SecondInitializationKeepsTheFirstSetUp) {
  const platform::WindowHandle host =
      platform::RegisterWindow([](uint32_t, uintptr_t, intptr_t) {});
  ASSERT_TRUE(InitializeMessageReporting("Lumeray Pro 2", host));
  EXPECT_TRUE(InitializeMessageReporting("Other", 0));
  EXPECT_EQ(MessageOwnerWindow(), host);
  ASSERT_TRUE(OpenDebugLog(kLoggingImmediate));
  const std::string text = CloseAndReadLog().text;
  EXPECT_EQ(text.rfind("Lumeray Pro 2 version ", 0), 0u);
  EXPECT_EQ(text.find("Other"), std::string::npos);
  EXPECT_EQ(text.find(" Log opened "), text.rfind(" Log opened ")) << "one header";
  platform::UnregisterWindow(host);
}

}  // namespace
}  // namespace lumeray
