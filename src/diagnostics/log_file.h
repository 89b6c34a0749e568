// The debug log's files: choosing the name of a new log (rotating the earlier ones), creating
// it, and writing entries at a running offset.
//
// Rotation: of the files "<directory>/LumerayPro2_??.log", those whose number (the digits after
// the last underscore, followed by a period) is below 9 move up by one, from the highest number
// down; every other match is deleted. The new log is always number 00, so at most ten files
// exist: 00 (current) to 09.
//
// Several processes may open logs in the same folder at once: whoever rotates holds the
// folder's lock (LogFolderLock) from the rotation until the new 00 file exists, so no process
// renames or truncates another's log.
//
// Threading contract: LogFolderLock, ChooseLogFileName and CreateLogFile on the thread that opens
// the log; WriteLogEntryAt and FlushLogFile by whoever owns the descriptor at the time (the logging
// thread writes through a descriptor of its own).
#pragma once

#include <cstdint>
#include <string>

#include "diagnostics/debug_log.h"

namespace lumeray {

// The number of file names the log rotates over.
constexpr unsigned kDebugLogFileCount = 10;

// An exclusive advisory lock on the log folder itself (flock on the directory), held for the
// object's lifetime; it serialises rotations between processes and between threads. Where the
// file system has no such locks the object holds none and rotation goes ahead unguarded.
class LogFolderLock {
 public:
  explicit LogFolderLock(const std::string& directory);
  ~LogFolderLock();
  LogFolderLock(const LogFolderLock&) = delete;
  LogFolderLock& operator=(const LogFolderLock&) = delete;

  bool Held() const { return held_; }

 private:
  int descriptor_ = -1;
  bool held_ = false;
};

// "<directory>/LumerayPro2_NN.log".
std::string DebugLogFileName(const std::string& directory, unsigned number);

// Rotates the earlier logs and sets *path to the name of the new one. Failures are reported;
// false means no log may be opened.
bool ChooseLogFileName(const std::string& directory, std::string* path);

// Creates (or truncates) the file for writing. Returns the descriptor, or -1 with *errorNumber.
int CreateLogFile(const std::string& path, int* errorNumber);

// Writes the entry's text at *offset and advances it by what was written. False on a write
// error (the rest of the entry is dropped).
bool WriteLogEntryAt(int descriptor, const LogQueueEntry& entry, uint64_t* offset);

// Hands what was written to the storage device.
void FlushLogFile(int descriptor);

}  // namespace lumeray
