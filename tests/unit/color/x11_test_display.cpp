#include "x11_test_display.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

extern char** environ;

namespace lumeray::testing {
namespace {

constexpr int kStartTimeoutMs = 10000;

}  // namespace

X11TestDisplay::X11TestDisplay() {
  if (const char* display = std::getenv("DISPLAY")) savedDisplay_ = display;
  int fds[2];
  if (pipe(fds) != 0) return;
  const std::string fd = std::to_string(fds[1]);
  // -noreset: the server would otherwise drop its properties whenever its last client leaves.
  const char* argv[] = {"Xvfb",     "-displayfd", fd.c_str(), "-nolisten", "tcp",
                        "-noreset", "-screen",    "0",        "64x64x24",  nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  if (posix_spawnp(&pid_, "Xvfb", &actions, nullptr, const_cast<char**>(argv), environ) != 0) {
    pid_ = -1;
  }
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);

  std::string number;
  pollfd poller{fds[0], POLLIN, 0};
  while (pid_ > 0 && poll(&poller, 1, kStartTimeoutMs) > 0) {
    char c = 0;
    if (read(fds[0], &c, 1) != 1 || c == '\n') break;
    number.push_back(c);
  }
  close(fds[0]);
  if (pid_ > 0 && !number.empty()) {
    name_ = ":" + number;
    setenv("DISPLAY", name_.c_str(), 1);
  }
}

X11TestDisplay::~X11TestDisplay() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  if (savedDisplay_) {
    setenv("DISPLAY", savedDisplay_->c_str(), 1);
  } else {
    unsetenv("DISPLAY");
  }
}

bool X11TestDisplay::SetRootProperty(const std::string& property,
                                     const std::optional<std::vector<uint8_t>>& bytes) {
  Display* display = XOpenDisplay(name_.c_str());
  if (display == nullptr) return false;
  const Atom atom = XInternAtom(display, property.c_str(), False);
  if (bytes) {
    XChangeProperty(display, DefaultRootWindow(display), atom, XA_CARDINAL, 8, PropModeReplace,
                    bytes->data(), static_cast<int>(bytes->size()));
  } else {
    XDeleteProperty(display, DefaultRootWindow(display), atom);
  }
  XSync(display, False);
  XCloseDisplay(display);
  return true;
}

}  // namespace lumeray::testing
