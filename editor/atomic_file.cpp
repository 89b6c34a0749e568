#include "atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace lumeray {
namespace {

namespace fs = std::filesystem;

constexpr mode_t kNewFileMode = 0644;  // owner writes, everyone reads

std::string SystemError() {
  return std::strerror(errno);
}

bool WriteAll(int fd, std::string_view contents) {
  while (!contents.empty()) {
    const ssize_t written = write(fd, contents.data(), contents.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    contents.remove_prefix(static_cast<size_t>(written));
  }
  return true;
}

}  // namespace

bool ReadWholeFile(const std::string& path, size_t limit, std::string* contents,
                   std::string* error) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *error = "cannot read the file: " + SystemError();
    return false;
  }
  std::string text;
  char buffer[4096];
  bool ok = true;
  for (;;) {
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      *error = "cannot read the file: " + SystemError();
      ok = false;
      break;
    }
    if (got == 0) break;
    text.append(buffer, static_cast<size_t>(got));
    if (text.size() > limit) {
      *error = "the file is larger than " + std::to_string(limit) + " bytes";
      ok = false;
      break;
    }
  }
  close(fd);
  if (ok) *contents = std::move(text);
  return ok;
}

bool WriteFileAtomically(const std::string& path, std::string_view contents, bool createFolders,
                         std::string* error) {
  const fs::path target(path);
  const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
  if (createFolders) {
    std::error_code ignored;
    fs::create_directories(folder, ignored);
  }
  std::string temporary = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
  const int fd = mkstemp(temporary.data());
  if (fd < 0) {
    *error = "cannot create a file in " + folder.string() + ": " + SystemError();
    return false;
  }
  fchmod(fd, kNewFileMode);
  const bool written = WriteAll(fd, contents) && fsync(fd) == 0;
  const std::string writeError = written ? "" : SystemError();
  const bool closed = close(fd) == 0;
  if (!written || !closed) {
    *error = "cannot write " + path + ": " + (written ? SystemError() : writeError);
    unlink(temporary.c_str());
    return false;
  }
  if (rename(temporary.c_str(), path.c_str()) != 0) {
    *error = "cannot write " + path + ": " + SystemError();
    unlink(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace lumeray
