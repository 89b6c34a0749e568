#include "interrupt.h"

#include <atomic>

namespace lumeray {
namespace {

std::atomic<bool> gInterrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the SIGINT flag must be signal-safe");

// The disposition to go back to on a second Ctrl-C; written before the handler is installed.
struct sigaction gPrevious {};

void OnInterrupt(int signal) {
  if (gInterrupted.exchange(true)) {
    sigaction(signal, &gPrevious, nullptr);
    raise(signal);
  }
}

}  // namespace

InterruptGuard::InterruptGuard() {
  gInterrupted.store(false);
  struct sigaction current {};
  if (sigaction(SIGINT, nullptr, &current) != 0 || current.sa_handler == SIG_IGN) return;
  gPrevious = current;
  struct sigaction action {};
  action.sa_handler = &OnInterrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  installed_ = sigaction(SIGINT, &action, &previous_) == 0;
}

InterruptGuard::~InterruptGuard() {
  if (installed_) sigaction(SIGINT, &previous_, nullptr);
}

bool InterruptRequested() {
  return gInterrupted.load();
}

}  // namespace lumeray
