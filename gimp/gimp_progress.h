// GIMP's progress bar as the host's progress display, and GIMP's cancel as the host's abort.
//
// Progress is passed on only when the whole percentage changes (each update is a round trip to
// GIMP). Cancel: when the user cancels a plug-in's progress, GIMP 2.10 sends it a quit message
// on the plug-in's command pipe and kills it 10 ms later; libgimp offers no call to ask about
// it. CancelRequested() therefore looks at that pipe without reading it: anything waiting there
// while the run is in progress (the quit message) or a closed pipe means "stop". Either way the
// image is safe, because the result reaches it only through the shadow buffer after a
// successful run.
//
// Threading: main thread only (the module calls progress and abort on its run thread, which is
// the plug-in's main thread).
#pragma once

#include "progress.h"

namespace lumeray::gimp_bridge {

class GimpProgress final : public ProgressSink {
 public:
  // `commandFd`: the pipe GIMP writes to the plug-in on; -1 when unknown (no cancel test).
  GimpProgress(const char* title, int commandFd);
  ~GimpProgress() override;
  GimpProgress(const GimpProgress&) = delete;
  GimpProgress& operator=(const GimpProgress&) = delete;

  void Update(int32_t done, int32_t total) override;
  bool CancelRequested() override;

 private:
  int commandFd_;
  int lastPercent_ = -1;
  bool cancelled_ = false;
};

// The read end of GIMP's command pipe, from the command line GIMP started the plug-in with
// ("<program> -gimp <protocol> <read fd> <write fd> -run <stack trace mode>", read from
// /proc/self/cmdline); -1 if not found.
int GimpCommandFd();

}  // namespace lumeray::gimp_bridge
