// Shared fixture of the diagnostics tests: a temporary log folder, the calling thread as the UI
// thread, message boxes captured instead of shown, and the log read back from its UTF-16 file.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "platform/window.h"
#include "support/module_log.h"

namespace lumeray::testing {

struct ShownBox {
  platform::WindowHandle owner;
  std::string text;
  std::string title;
  uint32_t flags;
};

std::vector<std::string> SplitLines(const std::string& text);

class DiagnosticsTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Closes the log and returns what it wrote.
  LogFileContents CloseAndReadLog();
  std::vector<ShownBox> ShownBoxes();

  TempDir temp_;                            // also XDG_DATA_HOME and XDG_CONFIG_HOME
  std::string logFolder_ = temp_ / "Logs";  // the debug log directory

 private:
  std::mutex boxesLock_;
  std::vector<ShownBox> boxes_;
};

}  // namespace lumeray::testing
