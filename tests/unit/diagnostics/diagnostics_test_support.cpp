#include "diagnostics_test_support.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "diagnostics/debug_log.h"
#include "diagnostics/message_report.h"
#include "platform/folders.h"
#include "platform/thread.h"

namespace lumeray::testing {
namespace {

void AppendUtf8(char32_t codePoint, std::string* out) {
  if (codePoint < 0x80) {
    out->push_back(static_cast<char>(codePoint));
  } else if (codePoint < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (codePoint >> 6)));
    out->push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
  } else if (codePoint < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (codePoint >> 12)));
    out->push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (codePoint >> 18)));
    out->push_back(static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
  }
}

}  // namespace

LogFileContents ReadLogFile(const std::string& path) {
  LogFileContents contents;
  std::ifstream file(path, std::ios::binary);
  if (!file) return contents;
  contents.exists = true;
  const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  EXPECT_EQ(bytes.size() % 2, 0u) << "a UTF-16 file has whole code units";
  size_t position = 0;
  if (bytes.size() >= 2 && static_cast<uint8_t>(bytes[0]) == 0xFF &&
      static_cast<uint8_t>(bytes[1]) == 0xFE) {
    contents.byteOrderMark = true;
    position = 2;
  }
  auto unitAt = [&](size_t at) {
    return static_cast<char16_t>(static_cast<uint8_t>(bytes[at]) |
                                 (static_cast<uint8_t>(bytes[at + 1]) << 8));
  };
  while (position + 1 < bytes.size()) {
    char32_t unit = unitAt(position);
    position += 2;
    if (unit >= 0xD800 && unit <= 0xDBFF && position + 1 < bytes.size()) {
      const char32_t low = unitAt(position);
      position += 2;
      unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
    }
    AppendUtf8(unit, &contents.text);
  }
  return contents;
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  return lines;
}

bool FileExists(const std::string& path) {
  return std::filesystem::exists(path);
}

bool FolderIsEmpty(const std::string& path) {
  return std::filesystem::is_empty(path);
}

void WriteTextFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

std::string ReadTextFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

void DiagnosticsTest::SetUp() {
  std::string pattern = (std::filesystem::temp_directory_path() / "lumeray-diagnostics-XXXXXX");
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  root_ = pattern;
  setenv("XDG_DATA_HOME", root_.c_str(), 1);
  setenv("XDG_CONFIG_HOME", root_.c_str(), 1);
  logFolder_ = platform::JoinPath(root_, "Logs");
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
  std::filesystem::remove_all(root_);
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
