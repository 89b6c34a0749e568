// The module's own file and the host program's file.

#include "platform/module_file.h"

#include <dlfcn.h>
#include <limits.h>
#include <link.h>
#include <stdlib.h>
#include <unistd.h>

#include <vector>

namespace lumeray::platform {
namespace {

// The address looked up: a function of this file, hence of whatever file this code is in.
void AnchorFunction() {}

std::string RealPath(const char* path) {
  char* resolved = realpath(path, nullptr);
  if (resolved == nullptr) return {};
  std::string result(resolved);
  free(resolved);
  return result;
}

}  // namespace

std::string ModuleFilePath() {
  Dl_info info{};
  struct link_map* map = nullptr;
  if (dladdr1(reinterpret_cast<void*>(&AnchorFunction), &info, reinterpret_cast<void**>(&map),
              RTLD_DL_LINKMAP) == 0) {
    return {};
  }
  // The main program's link map has an empty name (dladdr then reports argv[0], which may be
  // relative to a former working folder): its file is /proc/self/exe.
  if (map != nullptr && (map->l_name == nullptr || map->l_name[0] == '\0')) {
    return HostProgramPath();
  }
  if (info.dli_fname == nullptr || info.dli_fname[0] == '\0') return {};
  std::string path = RealPath(info.dli_fname);
  return path.empty() ? std::string(info.dli_fname) : path;
}

std::string HostProgramPath() {
  std::vector<char> buffer(PATH_MAX);
  for (;;) {
    ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length < 0) return {};
    if (static_cast<size_t>(length) < buffer.size()) {
      return std::string(buffer.data(), static_cast<size_t>(length));
    }
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace lumeray::platform
