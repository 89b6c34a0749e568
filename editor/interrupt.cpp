#include "interrupt.h"

#include <unistd.h>

#include <atomic>
#include <cstring>

namespace lumeray {
namespace {

constexpr int kSignalExitBase = 128;

std::atomic<int> gSignal{0};
static_assert(std::atomic<int>::is_always_lock_free, "the signal record must be signal-safe");

// The dispositions to go back to on a second signal; written before the handlers are installed.
struct sigaction gPrevious[NSIG] {};

// The temporary output file; the flag is set only while the buffer holds a whole name.
char gTemporary[4096];
std::atomic<bool> gHasTemporary{false};

void OnSignal(int signal) {
  int expected = 0;
  if (!gSignal.compare_exchange_strong(expected, signal)) {
    if (gHasTemporary.load()) unlink(gTemporary);
    sigaction(signal, &gPrevious[signal], nullptr);
    raise(signal);
  }
}

}  // namespace

InterruptGuard::InterruptGuard() {
  gSignal.store(0);
  for (size_t i = 0; i < kSignals.size(); ++i) {
    const int signal = kSignals[i];
    struct sigaction current {};
    if (sigaction(signal, nullptr, &current) != 0 || current.sa_handler == SIG_IGN) continue;
    gPrevious[signal] = current;
    struct sigaction action {};
    action.sa_handler = &OnSignal;
    sigemptyset(&action.sa_mask);
    for (const int other : kSignals) sigaddset(&action.sa_mask, other);
    action.sa_flags = SA_RESTART;
    installed_[i] = sigaction(signal, &action, &previous_[i]) == 0;
  }
}

InterruptGuard::~InterruptGuard() {
  SetTemporaryFileToRemove(nullptr);
  for (size_t i = 0; i < kSignals.size(); ++i) {
    if (installed_[i]) sigaction(kSignals[i], &previous_[i], nullptr);
  }
}

bool InterruptRequested() {
  return gSignal.load() != 0;
}

int InterruptExitStatus() {
  return kSignalExitBase + gSignal.load();
}

void SetTemporaryFileToRemove(const char* path) {
  gHasTemporary.store(false);
  if (path == nullptr || std::strlen(path) >= sizeof gTemporary) return;
  std::strcpy(gTemporary, path);
  gHasTemporary.store(true);
}

}  // namespace lumeray
