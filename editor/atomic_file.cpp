#include "atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "interrupt.h"

namespace lumeray {
namespace {

namespace fs = std::filesystem;

constexpr mode_t kDefaultUmask = 022;
constexpr mode_t kNewFileMode = 0666;
constexpr char kTemporaryStem[] = ".lumeray-";
constexpr char kTemporaryPattern[] = "XXXXXX";
// Longer extensions are not kept (the name must stay short); the writer is then told the
// format by other means.
constexpr size_t kMaxKeptExtension = 16;

// The process's file-creation mask, read without changing it.
mode_t CurrentUmask() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("Umask:", 0) == 0) {
      return static_cast<mode_t>(std::stoul(line.substr(line.find(':') + 1), nullptr, 8));
    }
  }
  return kDefaultUmask;
}

fs::path FolderOf(const std::string& path) {
  const fs::path target(path);
  return target.has_parent_path() ? target.parent_path() : fs::path(".");
}

bool WriteAll(int fd, std::string_view contents) {
  while (!contents.empty()) {
    if (InterruptRequested()) {
      errno = EINTR;
      return false;
    }
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

std::string DescribeWriteError(int error) {
  switch (error) {
    case ENOSPC:
      return "the disk is full";
    case EDQUOT:
      return "the disk quota is used up";
    case EROFS:
      return "the file system is read-only";
    case EACCES:
    case EPERM:
      return "permission denied";
    case EFBIG:
      return "the file is too large for the file system";
    case EINTR:
      return "interrupted";
    default:
      return std::strerror(error);
  }
}

std::string RegularFileProblem(const std::string& path) {
  struct stat status {};
  if (stat(path.c_str(), &status) != 0) {
    return errno == ENOENT ? "no such file" : std::string(std::strerror(errno));
  }
  if (S_ISDIR(status.st_mode)) return "is a folder, not a file";
  if (!S_ISREG(status.st_mode)) return "is not a regular file (a pipe or a device)";
  return {};
}

bool ReadWholeFile(const std::string& path, size_t limit, std::string* contents,
                   std::string* error) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    *error = "cannot read the file: " + std::string(std::strerror(errno));
    return false;
  }
  struct stat status {};
  if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    *error = "cannot read the file: it is not a regular file";
    close(fd);
    return false;
  }
  std::string text;
  char buffer[4096];
  bool ok = true;
  for (;;) {
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      *error = "cannot read the file: " + std::string(std::strerror(errno));
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

TemporaryFile::~TemporaryFile() {
  Discard();
}

void TemporaryFile::Discard() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  if (!path_.empty()) {
    ForgetTemporaryFile(slot_);
    slot_ = -1;
    unlink(path_.c_str());
    path_.clear();
  }
}

bool TemporaryFile::Create(const std::string& destination, std::string* error) {
  Discard();
  const fs::path folder = FolderOf(destination);
  std::string extension = fs::path(destination).extension().string();
  if (extension.size() > kMaxKeptExtension) extension.clear();
  std::string pattern =
      (folder / (kTemporaryStem + std::string(kTemporaryPattern) + extension)).string();
  const int fd = mkostemps(pattern.data(), static_cast<int>(extension.size()), O_CLOEXEC);
  if (fd < 0) {
    *error = "cannot create a file in " + folder.string() + ": " + DescribeWriteError(errno);
    return false;
  }
  fchmod(fd, kNewFileMode & ~CurrentUmask());
  destination_ = destination;
  path_ = pattern;
  fd_ = fd;
  slot_ = RememberTemporaryFile(path_.c_str());
  return true;
}

bool TemporaryFile::Publish(std::string* error) {
  const auto fail = [&](int code) {
    *error = "cannot write the file: " + DescribeWriteError(code);
    Discard();
    return false;
  };
  if (fd_ < 0) return fail(EBADF);
  if (fsync(fd_) != 0) return fail(errno);
  const int fd = fd_;
  fd_ = -1;
  if (close(fd) != 0) return fail(errno);
  if (InterruptRequested()) return fail(EINTR);
  if (rename(path_.c_str(), destination_.c_str()) != 0) return fail(errno);
  ForgetTemporaryFile(slot_);
  slot_ = -1;
  path_.clear();
  // The rename itself is made durable; a failure here loses nothing already written.
  const int folder = open(FolderOf(destination_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    fsync(folder);
    close(folder);
  }
  return true;
}

bool WriteFileAtomically(const std::string& path, std::string_view contents, bool createFolders,
                         std::string* error) {
  if (createFolders) {
    std::error_code ignored;
    fs::create_directories(FolderOf(path), ignored);
  }
  TemporaryFile file;
  if (!file.Create(path, error)) return false;
  if (!WriteAll(file.fd(), contents)) {
    *error = "cannot write " + path + ": " + DescribeWriteError(errno);
    return false;
  }
  if (!file.Publish(error)) {
    *error = path + ": " + *error;
    return false;
  }
  return true;
}

}  // namespace lumeray
