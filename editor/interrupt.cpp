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

// The temporary files being written (an output image streamed during the run and a settings
// file, say). A slot is taken by claiming `taken`; `named` is set only while its buffer holds a
// whole name.
struct TemporarySlot {
  std::atomic<bool> taken{false};
  std::atomic<bool> named{false};
  char path[4096];
};
TemporarySlot gTemporaries[kTemporaryFileSlots];
static_assert(std::atomic<bool>::is_always_lock_free, "the slots must be signal-safe");

void OnSignal(int signal) {
  int expected = 0;
  if (!gSignal.compare_exchange_strong(expected, signal)) {
    for (TemporarySlot& slot : gTemporaries) {
      if (slot.named.load()) unlink(slot.path);
    }
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

int RememberTemporaryFile(const char* path) {
  if (std::strlen(path) >= sizeof gTemporaries[0].path) return -1;
  for (int i = 0; i < kTemporaryFileSlots; ++i) {
    TemporarySlot& slot = gTemporaries[i];
    bool expected = false;
    if (!slot.taken.compare_exchange_strong(expected, true)) continue;
    std::strcpy(slot.path, path);
    slot.named.store(true);
    return i;
  }
  return -1;
}

void ForgetTemporaryFile(int slot) {
  if (slot < 0 || slot >= kTemporaryFileSlots) return;
  gTemporaries[slot].named.store(false);
  gTemporaries[slot].taken.store(false);
}

}  // namespace lumeray
