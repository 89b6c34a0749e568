#include "diagnostics_test_support.h"

#include <stdlib.h>

#include <sstream>

#include "diagnostics/debug_log.h"
#include "diagnostics/message_report.h"
#include "platform/folders.h"
#include "platform/thread.h"

namespace lumeray::testing {

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  return lines;
}

void DiagnosticsTest::SetUp() {
  setenv("XDG_DATA_HOME", temp_.path().c_str(), 1);
  setenv("XDG_CONFIG_HOME", temp_.path().c_str(), 1);
  ASSERT_EQ(platform::CreateDirectories(logFolder_), 0);
  SetDebugLogDirectory(logFolder_);
  SetUiThread(platform::CurrentThreadId());
  platform::SetMessageBoxHandler([this](platform::WindowHandle owner, const std::string& text,
                                        const std::string& title, uint32_t flags) {
    std::lock_guard lock(boxesLock_);
    boxes_.push_back({owner, text, title, flags});
    return platform::kIdOk;
  });
}

void DiagnosticsTest::TearDown() {
  TerminateMessageReporting();
  platform::DispatchPostedMessages();
  platform::SetMessageBoxHandler({});
  SetUiThread(0);
  SetInstallationLogging(false);
  SetDebugLogDirectory("");
}

LogFileContents DiagnosticsTest::CloseAndReadLog() {
  const std::string path = DebugLogFilePath();
  EXPECT_FALSE(path.empty()) << "no log file is open";
  CloseDebugLog();
  return ReadLogFile(path);
}

std::vector<ShownBox> DiagnosticsTest::ShownBoxes() {
  std::lock_guard lock(boxesLock_);
  return boxes_;
}

}  // namespace lumeray::testing
