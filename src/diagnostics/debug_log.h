// The debug log: a UTF-16 little-endian text file with a byte-order mark, one line per report,
// rotated over ten names ("LumerayPro2_00.log" is the current one, up to "_09") each time it
// is opened, written from a queue in one of four modes:
//   0 none       entries stay queued (no file)
//   1 immediate  the whole queue is written and flushed at each entry
//   2 threaded   a logging thread writes the entries in order
//   3 discard    entries are dropped
// The module opens its log in mode 2. Closing appends "\nLog closed on ...\n" and writes every
// queued entry before the file is closed.
//
// Life cycle: OpenDebugLogQueue (at message-reporting set-up) queues the byte order mark and
// the header in front of everything else and opens the queue; entries pushed while the queue is
// closed are dropped. OpenDebugLog(mode) rotates the old files and creates the new one;
// CloseDebugLog writes or drops what is left by mode, closes the file, returns to mode 0 and
// empties the queue, so that the queue and the log can be opened again.
//
// Text: formats take UTF-8; the file holds UTF-16 (invalid UTF-8 becomes U+FFFD). Every entry
// ends with exactly one line feed (one is appended when the text has none).
//
// The log file is process-wide, kept with the module (not part of run/run_state.h).
//
// Threading contract: LogEntry and LogEntryEvent from any thread; everything else on the UI
// thread (module set-up and tear-down). Reporting never fails its caller: failures of the log
// itself are reported into the log and logging goes on without a file where needed.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace lumeray {

enum LoggingMode : uint32_t {
  kLoggingNone = 0,
  kLoggingImmediate = 1,
  kLoggingThreaded = 2,
  kLoggingDiscard = 3,
};

constexpr uint32_t kLogLevelEventMonitor = 0;
constexpr uint32_t kLogLevelNormal = 2;

// The name part of the log files: "<directory>/LumerayPro2_NN.log".
inline constexpr const char* kDebugLogBaseName = "LumerayPro2";
inline constexpr const char* kDebugLogExtension = "log";

// One queued line. The level is recorded but not used for filtering.
struct LogQueueEntry {
  uint32_t byteLength;  // of text, without a terminating zero
  uint32_t level;
  std::u16string text;
};

// The entry for a UTF-8 text, with a line feed appended when the text does not end with one.
std::unique_ptr<LogQueueEntry> MakeLogQueueEntry(uint32_t level, std::string_view utf8Text);

// The folder the log files live in; empty means "file system not initialised".
void SetDebugLogDirectory(const std::string& directory);
const std::string& DebugLogDirectory();

// Selects "Installation Log opened" in the header (installation-time configuration).
void SetInstallationLogging(bool installation);

// Queues the byte order mark and the header in front of every queued entry and opens the
// queue. Does nothing when the queue is already open.
bool OpenDebugLogQueue(const char* applicationName);
// Does nothing (and returns true) when a file is open. Returns false when logging stays off.
bool OpenDebugLog(uint32_t mode);
void CloseDebugLog();
uint32_t DebugLoggingMode();
// The path of the file being written, empty when none.
std::string DebugLogFilePath();

// Formats (into a fixed buffer of kLogEntryBufferSize bytes, or the heap for longer texts) and
// queues one entry.
constexpr size_t kLogEntryBufferSize = 2048;
void LogEntry(uint32_t level, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Pushes a ready entry according to the logging mode; a null entry is reported.
void LogEntryEvent(std::unique_ptr<LogQueueEntry> entry);

}  // namespace lumeray
