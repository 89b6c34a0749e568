// The host's progress and abort procedures, and the editor's progress bar.
//
// RunControl answers the module's progressProc and abortProc for one run: it counts the calls,
// shows the progress on a ProgressSink, and reports "abort" when Ctrl-C was pressed
// (interrupt.h), when the sink says the user cancelled, or when a test asks for an abort
// (AbortFaults). A ProgressSink is where a host shows progress: the editor's ProgressBar, or
// another host's own progress display (the GIMP bridge's).
// ProgressBar draws "[#####     ]  50%" on standard error, redrawn only when the percentage
// changes, and only when it is enabled (the editor enables it when standard error is a terminal
// and --quiet is not given).
//
// Threading: both are used on the run thread only.
#pragma once

#include <cstdint>
#include <cstdio>

#include "filter_interface.h"

namespace lumeray {

class ProgressSink {
 public:
  virtual ~ProgressSink() = default;
  virtual void Update(int32_t done, int32_t total) = 0;
  // Whether the user asked the host to stop the run.
  virtual bool CancelRequested() { return false; }
};

class ProgressBar final : public ProgressSink {
 public:
  ProgressBar(bool enabled, std::FILE* stream);
  ~ProgressBar() override;
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;

  void Update(int32_t done, int32_t total) override;
  // Ends the bar's line, if one was drawn.
  void Finish();

 private:
  bool enabled_;
  std::FILE* stream_;
  int lastPercent_ = -1;
  bool drawn_ = false;
};

// Whether standard error is a terminal.
bool StandardErrorIsTerminal();

// When a test wants abortProc to answer "cancel" (0: never).
struct AbortFaults {
  int afterCalls = 0;           // from the Nth call of abortProc on
  int afterOutputRequests = 0;  // once N output requests were served
};

class RunControl {
 public:
  // `outputRequests` counts the output requests served so far (read for AbortFaults).
  RunControl(ProgressSink* sink, AbortFaults faults, const int* outputRequests);

  bool TestAbort();
  void Progress(int32_t done, int32_t total);

  int abortCalls() const { return abortCalls_; }
  int progressCalls() const { return progressCalls_; }
  int32_t lastDone() const { return lastDone_; }
  int32_t lastTotal() const { return lastTotal_; }

 private:
  ProgressSink* sink_;
  AbortFaults faults_;
  const int* outputRequests_;
  int abortCalls_ = 0;
  int progressCalls_ = 0;
  int32_t lastDone_ = 0;
  int32_t lastTotal_ = 0;
};

// The record's procedures; they use the RunControl of the current host context.
TestAbortProc AbortProcedure();
ProgressProc ProgressProcedure();

}  // namespace lumeray
