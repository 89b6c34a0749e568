// Data folders and the few file-system operations the module needs on them.

#include "platform/folders.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "platform/module_file.h"

#ifndef LUMERAY_INSTALL_DATADIR
#define LUMERAY_INSTALL_DATADIR "/usr/local/share"
#endif

namespace lumeray::platform {
namespace {

bool IsDirectory(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string ParentFolder(const std::string& path) {
  size_t end = path.find_last_not_of('/');
  if (end == std::string::npos) return "/";
  size_t slash = path.rfind('/', end);
  if (slash == std::string::npos) return ".";
  size_t parentEnd = path.find_last_not_of('/', slash);
  return parentEnd == std::string::npos ? "/" : path.substr(0, parentEnd + 1);
}

// The permission bits new files get (the process's umask applied to 0666). Read from
// /proc/self/status, because umask() can only be read by changing it, which races with threads.
mode_t NewFileMode() {
  mode_t mask = 022;
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("Umask:", 0) == 0) {
      mask = static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8)) & 0777;
      break;
    }
  }
  return 0666 & ~mask;
}

}  // namespace

std::string HomeFolder() {
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] == '/') return home;
  struct passwd entry;
  struct passwd* found = nullptr;
  char buffer[4096];
  if (getpwuid_r(getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr &&
      found->pw_dir != nullptr) {
    return found->pw_dir;
  }
  return {};
}

int GetLocalAppDataFolder(bool create, std::string* folder) {
  if (folder == nullptr) return EINVAL;
  std::string path;
  const char* dataHome = std::getenv("XDG_DATA_HOME");
  if (dataHome != nullptr && dataHome[0] == '/') {  // relative values are invalid (XDG spec)
    path = dataHome;
  } else {
    std::string home = HomeFolder();
    if (home.empty()) return ENOENT;
    path = JoinPath(home, ".local/share");
  }
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  if (create) {
    int error = CreateDirectories(path);
    if (error != 0) return error;
  }
  *folder = path;
  return 0;
}

int GetCommonAppDataFolder(std::string* folder) {
  if (folder == nullptr) return EINVAL;
  const char* dataDir = std::getenv("LUMERAY_DATA_DIR");
  if (dataDir != nullptr && dataDir[0] != '\0') {
    *folder = dataDir;
    return 0;
  }
  // <prefix>/lib/lumeray/plug-ins/x.8bf -> <prefix>/share; build/bin/plug-ins/x.8bf ->
  // build/share; with a multiarch library folder (<prefix>/lib/<triplet>/lumeray/plug-ins) one
  // level more. The nearest existing "share" folder wins.
  std::string module = ModuleFilePath();
  if (!module.empty()) {
    std::string ancestor = ParentFolder(ParentFolder(module));  // the module folder's parent
    for (int level = 0; level < 3 && ancestor != "/" && ancestor != "."; ++level) {
      ancestor = ParentFolder(ancestor);
      std::string candidate = JoinPath(ancestor, "share");
      if (IsDirectory(candidate)) {
        *folder = candidate;
        return 0;
      }
    }
  }
  *folder = LUMERAY_INSTALL_DATADIR;
  return 0;
}

std::string JoinPath(const std::string& directory, const std::string& name) {
  if (directory.empty()) return name;
  size_t start = name.find_first_not_of('/');
  if (start == std::string::npos) return directory;
  std::string result = directory;
  if (result.back() != '/') result += '/';
  result.append(name, start, std::string::npos);
  return result;
}

int CreateDirectories(const std::string& path) {
  if (path.empty()) return ENOENT;
  struct stat info;
  if (stat(path.c_str(), &info) == 0) return S_ISDIR(info.st_mode) ? 0 : EEXIST;
  size_t position = 0;
  for (;;) {
    position = path.find('/', position + 1);
    std::string prefix = path.substr(0, position);
    if (!prefix.empty() && prefix != "/") {
      if (mkdir(prefix.c_str(), 0777) != 0) {
        int error = errno;
        if (error != EEXIST) return error;
        if (!IsDirectory(prefix)) return position == std::string::npos ? EEXIST : ENOTDIR;
      }
    }
    if (position == std::string::npos) return 0;
  }
}

std::vector<std::string> ListDirectory(const std::string& directory, const std::string& pattern) {
  std::vector<std::string> names;
  DIR* folder = opendir(directory.c_str());
  if (folder == nullptr) return names;
  while (const dirent* entry = readdir(folder)) {
    if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
    if (fnmatch(pattern.c_str(), entry->d_name, 0) == 0) names.emplace_back(entry->d_name);
  }
  closedir(folder);
  return names;
}

int WriteFileAtomically(const std::string& path, const void* data, size_t size) {
  if (path.empty() || (data == nullptr && size != 0)) return EINVAL;
  std::string folder = ParentFolder(path);
  size_t slash = path.find_last_of('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name.empty()) return EISDIR;

  std::string temporary = JoinPath(folder, "." + name + ".tmp-XXXXXX");
  int fd = mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) return errno;

  auto fail = [&](int error) {
    if (fd >= 0) close(fd);
    unlink(temporary.c_str());
    return error;
  };

  // Keep the permissions of the file replaced; a new file gets the usual ones.
  struct stat existing;
  mode_t mode = stat(path.c_str(), &existing) == 0 ? (existing.st_mode & 07777) : NewFileMode();
  if (fchmod(fd, mode) != 0) return fail(errno);

  const auto* bytes = static_cast<const char*>(data);
  size_t written = 0;
  while (written < size) {
    ssize_t count = write(fd, bytes + written, size - written);
    if (count < 0) {
      if (errno == EINTR) continue;
      return fail(errno);
    }
    written += static_cast<size_t>(count);
  }
  if (fsync(fd) != 0) return fail(errno);
  int closed = close(fd);
  fd = -1;
  if (closed != 0) return fail(errno);
  if (rename(temporary.c_str(), path.c_str()) != 0) return fail(errno);

  // Make the rename itself durable.
  int folderFd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folderFd >= 0) {
    fsync(folderFd);
    close(folderFd);
  }
  return 0;
}

}  // namespace lumeray::platform
