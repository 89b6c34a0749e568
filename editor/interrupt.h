// Ctrl-C as the user's cancel.
//
// While an InterruptGuard exists, the first SIGINT only sets a flag that the host's abort
// procedure reports to the module, which then stops and answers "cancelled". A second SIGINT
// restores the previous disposition and re-raises, so a module that stops polling can still be
// interrupted. If SIGINT was ignored when the guard was made (a background job), it stays so.
//
// Threading: the flag is the editor's one piece of process-wide state, a lock-free atomic set
// by the signal handler and read from any thread. One guard at a time.
#pragma once

#include <signal.h>

namespace lumeray {

class InterruptGuard {
 public:
  InterruptGuard();
  ~InterruptGuard();
  InterruptGuard(const InterruptGuard&) = delete;
  InterruptGuard& operator=(const InterruptGuard&) = delete;

 private:
  struct sigaction previous_ {};
  bool installed_ = false;
};

// Whether SIGINT arrived while a guard was installed (cleared when a guard is made).
bool InterruptRequested();

}  // namespace lumeray
