// Ctrl-C, SIGTERM and SIGHUP as the user's cancel, from reading the input to the last byte of
// the output.
//
// While an InterruptGuard exists, the first of these signals only records itself: the host's
// abort procedure reports it to the module, which then stops and answers "cancelled", and the
// output writer stops at its next write. A second signal removes the temporary output file, if
// one is being written, restores the previous disposition and re-raises, so that a module that
// stops polling can still be interrupted. A signal that was ignored when the guard was made (a
// background job) stays ignored.
//
// Threading: the recorded signal and the temporary files' names are the editor's process-wide
// state, lock-free atomics and fixed buffers written before the handler can read them; names are
// remembered and forgotten from any thread, read by the handler. One guard at a time.
#pragma once

#include <signal.h>

#include <array>

namespace lumeray {

class InterruptGuard {
 public:
  InterruptGuard();
  ~InterruptGuard();
  InterruptGuard(const InterruptGuard&) = delete;
  InterruptGuard& operator=(const InterruptGuard&) = delete;

 private:
  static constexpr std::array<int, 3> kSignals{SIGINT, SIGTERM, SIGHUP};
  std::array<struct sigaction, kSignals.size()> previous_{};
  std::array<bool, kSignals.size()> installed_{};
};

// Whether one of the signals arrived while a guard was installed (cleared when a guard is made).
bool InterruptRequested();

// The exit status for the signal that arrived: 128 + its number (130 for Ctrl-C).
int InterruptExitStatus();

// Names a temporary file a second signal removes before the process ends; the slot to forget it
// by, or -1 when it is not remembered (a name longer than the buffer, or every slot taken). The
// name is copied.
inline constexpr int kTemporaryFileSlots = 4;
int RememberTemporaryFile(const char* path);
// Forgets the file of `slot` (-1: nothing); the signal then leaves it alone.
void ForgetTemporaryFile(int slot);

}  // namespace lumeray
