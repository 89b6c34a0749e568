#include "diagnostics/debug_log.h"

#include <unistd.h>

#include <cstdarg>
#include <cstdio>

#include "diagnostics/log_file.h"
#include "diagnostics/log_queue.h"
#include "diagnostics/log_text.h"
#include "diagnostics/logging_thread.h"
#include "diagnostics/message_report.h"

namespace lumeray {
namespace {

constexpr char16_t kByteOrderMark = 0xFEFF;
constexpr char16_t kLineFeed = u'\n';
constexpr const char* kBuildConfiguration = "Release";
constexpr const char* kBuildDate = __DATE__;
constexpr const char* kArchitecture = "64 bit";
static_assert(sizeof(void*) == 8, "the header names a 64-bit module");

// The log's file and logging thread. Open and close run on the UI thread only.
struct DebugLogFile {
  std::string directory;
  bool installation = false;
  int descriptor = -1;
  std::string path;
  LoggingThread* loggingThread = nullptr;
};
DebugLogFile logFile;

std::unique_ptr<LogQueueEntry> MakeByteOrderMarkEntry() {
  auto entry = std::make_unique<LogQueueEntry>();
  entry->level = kLogLevelNormal;
  entry->text = std::u16string(1, kByteOrderMark);
  entry->byteLength = sizeof(char16_t);
  return entry;
}

void ReportDebug(uint32_t line, const char* text) {
  MessageReport report(line, kMessageDebug);
  report.Report(kIconError, kTitleDebugUnexpectedError, "%s", text);
}

void CloseQueue() {
  LogQueue::Instance().Close(MakeLogQueueEntry(
      kLogLevelNormal, FormatText("\nLog closed %s.\n", LogDateTimeText().c_str())));
}

// In immediate mode with the queue closed this writes what is left (closing line included);
// in discard mode it drops it.
void FlushQueue() {
  MessageReport report(__LINE__, kMessageTrace);
  report.Report(0, "", "Debug:  Flush Queue");
}

bool OpenLogFile(uint32_t mode) {
  if (logFile.directory.empty()) {
    ReportDebug(__LINE__,
                mode == kLoggingImmediate
                    ? "File system not initialized - Immediate mode logging requires the file "
                      "system."
                    : "File system not initialized - Threaded mode logging requires the file "
                      "system.");
    return false;
  }
  std::string path;
  const LogFolderLock folderLock(logFile.directory);
  if (!ChooseLogFileName(logFile.directory, &path)) return false;
  int errorNumber = 0;
  const int descriptor = CreateLogFile(path, &errorNumber);
  if (descriptor < 0) {
    MessageReport report(__LINE__, kMessageSystemError, static_cast<uint32_t>(errorNumber));
    report.Report(kIconError, kTitleDebugUnexpectedError, "Can't open debug log file '%s'",
                  path.c_str());
    return false;
  }
  logFile.descriptor = descriptor;
  logFile.path = path;
  return true;
}

}  // namespace

std::unique_ptr<LogQueueEntry> MakeLogQueueEntry(uint32_t level, std::string_view utf8Text) {
  auto entry = std::make_unique<LogQueueEntry>();
  entry->level = level;
  entry->text = Utf8ToUtf16(utf8Text);
  if (entry->text.empty() || entry->text.back() != kLineFeed) entry->text.push_back(kLineFeed);
  entry->byteLength = static_cast<uint32_t>(entry->text.size() * sizeof(char16_t));
  return entry;
}

void SetDebugLogDirectory(const std::string& directory) {
  logFile.directory = directory;
}
const std::string& DebugLogDirectory() {
  return logFile.directory;
}
void SetInstallationLogging(bool installation) {
  logFile.installation = installation;
}

bool OpenDebugLogQueue(const char* applicationName) {
  const std::string header = FormatText(
      "%s version %u.%u.%u.%u %s %s %s %s.\n\n", applicationName, LUMERAY_VERSION_MAJOR,
      LUMERAY_VERSION_MINOR, LUMERAY_VERSION_PATCH, LUMERAY_VERSION_TWEAK, kArchitecture,
      FormatText("%s (%s)", kBuildConfiguration, kBuildDate).c_str(),
      logFile.installation ? "Installation Log opened" : "Log opened", LogDateTimeText().c_str());
  LogQueue::Instance().Open(MakeByteOrderMarkEntry(), MakeLogQueueEntry(kLogLevelNormal, header));
  return true;
}

bool OpenDebugLog(uint32_t mode) {
  if (logFile.descriptor >= 0) return true;
  switch (mode) {
    case kLoggingImmediate:
      if (!OpenLogFile(mode)) return false;
      LogQueue::Instance().EnterImmediateMode(logFile.descriptor);
      return true;
    case kLoggingThreaded:
      if (!OpenLogFile(mode)) return false;
      logFile.loggingThread = StartLoggingThread(logFile.descriptor);
      if (logFile.loggingThread == nullptr) {
        ReportDebug(__LINE__, "Can't start thread required for threaded logging mode.");
        CloseDebugLog();
        return false;
      }
      return true;
    case kLoggingDiscard:
      LogQueue::Instance().EnterDiscardMode();
      return true;
    default: {
      MessageReport report(__LINE__, kMessageDebug);
      report.Report(kIconError, kTitleDebugUnexpectedError,
                    "Can't open debug log file with invalid logging mode'%u'", mode);
      return false;
    }
  }
}

void CloseDebugLog() {
  LogQueue& queue = LogQueue::Instance();
  const uint32_t mode = queue.Mode();
  switch (mode) {
    case kLoggingNone:
      CloseQueue();
      break;
    case kLoggingImmediate:
    case kLoggingDiscard:
      CloseQueue();
      FlushQueue();
      break;
    case kLoggingThreaded:
      CloseQueue();
      StopLoggingThread(logFile.loggingThread);
      logFile.loggingThread = nullptr;
      break;
    default: {
      MessageReport report(__LINE__, kMessageDebug);
      report.Report(kIconError, kTitleDebugUnexpectedError,
                    "Invalid logging mode %u detected while closing log file", mode);
      CloseQueue();
      break;
    }
  }
  // No writer may use the descriptor once it is closed.
  queue.LeaveMode();
  if (logFile.descriptor >= 0) {
    FlushLogFile(logFile.descriptor);
    close(logFile.descriptor);
    logFile.descriptor = -1;
    logFile.path.clear();
  }
  queue.Clear();
}

uint32_t DebugLoggingMode() {
  return LogQueue::Instance().Mode();
}
std::string DebugLogFilePath() {
  return logFile.path;
}

void LogEntry(uint32_t level, const char* format, ...) {
  char fixed[kLogEntryBufferSize];
  va_list arguments;
  va_start(arguments, format);
  va_list again;
  va_copy(again, arguments);
  const int length = std::vsnprintf(fixed, sizeof fixed, format, arguments);
  va_end(arguments);
  if (length < 0) {
    va_end(again);
    return;
  }
  std::string heap;
  std::string_view text(fixed, static_cast<size_t>(length));
  if (static_cast<size_t>(length) >= sizeof fixed) {
    heap.resize(static_cast<size_t>(length));
    std::vsnprintf(heap.data(), heap.size() + 1, format, again);
    text = heap;
  }
  va_end(again);
  LogEntryEvent(MakeLogQueueEntry(level, text));
}

void LogEntryEvent(std::unique_ptr<LogQueueEntry> entry) {
  if (entry == nullptr) {
    ReportDebug(__LINE__, "LogEntryEvent() called with invalid argument.");
    return;
  }
  LogQueue::Instance().Push(std::move(entry));
}

}  // namespace lumeray
