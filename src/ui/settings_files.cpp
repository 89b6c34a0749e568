#include "ui/settings_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "diagnostics/message_report.h"
#include "platform/error_text.h"
#include "platform/folders.h"
#include "ui/user_data_folders.h"

namespace lumeray {

std::string SettingsFilePath(const char* name) {
  if (!UserDataFoldersAvailable()) return {};
  const std::string& folder = UserSettingsFolder();
  if (folder.empty() || folder.size() >= kMaximumPathLength) {
    MessageReport report(__LINE__, kMessageDebug);
    report.Report(kIconError, kTitleDebugUnexpectedError,
                  "_tcscpy_s() failed with Settings Directory = '%s'", folder.c_str());
    report.Report("GetUserDataFolder() failed.");
    return {};
  }
  std::string path = platform::JoinPath(folder, name);
  if (path.size() >= kMaximumPathLength) {
    MessageReport report(__LINE__, kMessageDebug);
    report.Report(kIconError, kTitleDebugUnexpectedError,
                  "_stprintf_s() failed with Filename = '%s' and  errno = '%d'", name, ERANGE);
    return {};
  }
  return path;
}

bool ReadSettingsFile(const char* name, void* buffer, size_t size, size_t* bytesRead) {
  if (bytesRead != nullptr) *bytesRead = 0;
  const std::string path = SettingsFilePath(name);
  if (path.empty()) return false;
  // Only a regular file is read: a pipe or a device at the path is never waited on.
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  struct stat status {};
  const bool regular = fd >= 0 && fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
  if (fd >= 0 && !regular) {
    close(fd);
    errno = EINVAL;
  }
  FILE* file = regular ? fdopen(fd, "rb") : nullptr;
  if (file == nullptr) {
    const int error = errno;
    if (regular) close(fd);
    if (error == ENOENT) {
      MessageReport report(__LINE__, kMessageTrace);
      report.Report("UI settings file '%s' does not yet exist. ", path.c_str());
    } else {
      MessageReport report(__LINE__, kMessageDebug);
      report.Report(kIconError, kTitleDebugUnexpectedError, "fopen() failed to open file '%s' : %s",
                    path.c_str(), platform::SystemErrorText(error).c_str());
    }
    return false;
  }
  const size_t count = std::fread(buffer, 1, size, file);
  const bool failed = count == 0 && std::ferror(file);
  const int error = errno;
  std::fclose(file);
  if (failed) {
    MessageReport report(__LINE__, kMessageDebug);
    report.Report(kIconError, kTitleDebugUnexpectedError, "fread() failed to read file '%s' : '%s'",
                  path.c_str(), platform::SystemErrorText(error).c_str());
  }
  if (bytesRead != nullptr) *bytesRead = count;
  return count > 0;
}

bool WriteSettingsFile(const char* name, const void* buffer, size_t size) {
  const std::string path = SettingsFilePath(name);
  if (path.empty()) return false;
  const int error = platform::WriteFileAtomically(path, buffer, size);
  if (error != 0) {
    MessageReport report(__LINE__, kMessageDebug);
    report.Report(kIconError, kTitleDebugUnexpectedError,
                  "_tfopen() failed with FilePath = '%s'  and  errno = '%d'", path.c_str(), error);
    return false;
  }
  return true;
}

}  // namespace lumeray
