#include "diagnostics/log_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <vector>

#include "diagnostics/log_text.h"
#include "diagnostics/message_report.h"
#include "platform/folders.h"

namespace lumeray {
namespace {

// The file holds the entries' UTF-16 code units as they lie in memory.
static_assert(std::endian::native == std::endian::little, "the log is UTF-16 little-endian");

constexpr mode_t kLogFilePermissions = 0644;

struct NumberedLog {
  unsigned number;
  std::string name;
};

// The number of a matched name, or nothing when the file is to be deleted: digits after the
// last underscore, followed by a period, below the last number of the rotation.
bool KeptLogNumber(const std::string& name, unsigned* number) {
  const size_t underscore = name.rfind('_');
  if (underscore == std::string::npos) return false;
  size_t position = underscore + 1;
  unsigned value = 0;
  while (position < name.size() && name[position] >= '0' && name[position] <= '9') {
    value = value * 10 + static_cast<unsigned>(name[position] - '0');
    ++position;
  }
  const bool hasDigits = position > underscore + 1;
  const bool followedByPeriod = position < name.size() && name[position] == '.';
  if (!hasDigits || !followedByPeriod || value >= kDebugLogFileCount - 1) return false;
  *number = value;
  return true;
}

}  // namespace

LogFolderLock::LogFolderLock(const std::string& directory) {
  descriptor_ = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (descriptor_ < 0) return;
  int result;
  do {
    result = flock(descriptor_, LOCK_EX);
  } while (result != 0 && errno == EINTR);
  held_ = result == 0;
}

LogFolderLock::~LogFolderLock() {
  if (descriptor_ >= 0) close(descriptor_);  // closing releases the lock
}

std::string DebugLogFileName(const std::string& directory, unsigned number) {
  return platform::JoinPath(
      directory, FormatText("%s_%02u.%s", kDebugLogBaseName, number, kDebugLogExtension));
}

bool ChooseLogFileName(const std::string& directory, std::string* path) {
  const std::string newName = DebugLogFileName(directory, 0);
  if (newName.size() >= PATH_MAX) {
    MessageReport report(__LINE__, kMessageDebug);
    report.Report(kIconError, kTitleDebugUnexpectedError,
                  "Can't allocate a debug log file for '%s'", kDebugLogBaseName);
    return false;
  }
  const std::string pattern = FormatText("%s_??.%s", kDebugLogBaseName, kDebugLogExtension);
  std::vector<NumberedLog> kept;
  for (const std::string& name : platform::ListDirectory(directory, pattern)) {
    const std::string filePath = platform::JoinPath(directory, name);
    unsigned number = 0;
    if (KeptLogNumber(name, &number)) {
      kept.push_back({number, name});
      continue;
    }
    if (std::remove(filePath.c_str()) != 0) {
      const int error = errno;
      MessageReport report(__LINE__, kMessageDebug);
      report.Report(kIconError, kTitleDebugUnexpectedError,
                    "_tremove() failed with error = '%d'. File to be deleted was '%s'", error,
                    filePath.c_str());
      return false;
    }
  }
  std::sort(kept.begin(), kept.end(),
            [](const NumberedLog& a, const NumberedLog& b) { return a.number > b.number; });
  for (const NumberedLog& log : kept) {
    const std::string from = platform::JoinPath(directory, log.name);
    const std::string to = DebugLogFileName(directory, log.number + 1);
    if (std::rename(from.c_str(), to.c_str()) != 0) {
      const int error = errno;
      MessageReport report(__LINE__, kMessageDebug);
      report.Report(kIconError, kTitleDebugUnexpectedError,
                    "_trename() failed with error = '%d'. Original Name was '%s', New Name is '%s'",
                    error, from.c_str(), to.c_str());
      return false;
    }
  }
  *path = newName;
  return true;
}

int CreateLogFile(const std::string& path, int* errorNumber) {
  const int descriptor =
      open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, kLogFilePermissions);
  if (descriptor < 0) *errorNumber = errno;
  return descriptor;
}

bool WriteLogEntryAt(int descriptor, const LogQueueEntry& entry, uint64_t* offset) {
  const auto* bytes = reinterpret_cast<const char*>(entry.text.data());
  size_t remaining = std::min<size_t>(entry.byteLength, entry.text.size() * sizeof(char16_t));
  while (remaining > 0) {
    const ssize_t written = pwrite(descriptor, bytes, remaining, static_cast<off_t>(*offset));
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes += written;
    remaining -= static_cast<size_t>(written);
    *offset += static_cast<uint64_t>(written);
  }
  return true;
}

void FlushLogFile(int descriptor) {
  fdatasync(descriptor);
}

}  // namespace lumeray
