#include "gimp_progress.h"

#include <libgimp/gimp.h>
#include <poll.h>

#include <algorithm>
#include <charconv>
#include <fstream>
#include <string>
#include <vector>

namespace lumeray::gimp_bridge {
namespace {

constexpr int kFullPercent = 100;
constexpr int kReadFdArgument = 3;

}  // namespace

GimpProgress::GimpProgress(const char* title, int commandFd) : commandFd_(commandFd) {
  gimp_progress_init(title);
}

GimpProgress::~GimpProgress() {
  gimp_progress_end();
}

void GimpProgress::Update(int32_t done, int32_t total) {
  if (total <= 0) return;
  const int64_t clamped = std::clamp<int64_t>(done, 0, total);
  const int percent = static_cast<int>(clamped * kFullPercent / total);
  if (percent == lastPercent_) return;
  lastPercent_ = percent;
  gimp_progress_update(static_cast<double>(percent) / kFullPercent);
}

bool GimpProgress::CancelRequested() {
  if (cancelled_ || commandFd_ < 0) return cancelled_;
  pollfd watch{commandFd_, POLLIN, 0};
  if (poll(&watch, 1, 0) > 0 && (watch.revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
    cancelled_ = true;
  }
  return cancelled_;
}

int GimpCommandFd() {
  std::ifstream file("/proc/self/cmdline", std::ios::binary);
  std::vector<std::string> arguments;
  for (std::string argument; std::getline(file, argument, '\0');) arguments.push_back(argument);
  if (arguments.size() <= kReadFdArgument || arguments[1] != "-gimp") return -1;
  const std::string& text = arguments[kReadFdArgument];
  int fd = -1;
  const auto [last, status] = std::from_chars(text.data(), text.data() + text.size(), fd);
  return status == std::errc() && last == text.data() + text.size() && fd >= 0 ? fd : -1;
}

}  // namespace lumeray::gimp_bridge
