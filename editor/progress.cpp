#include "progress.h"

#include <unistd.h>

#include <algorithm>
#include <string>

#include "host_context.h"
#include "interrupt.h"

namespace lumeray {
namespace {

constexpr int kBarWidth = 40;
constexpr int kFullPercent = 100;

Boolean OnTestAbort() {
  HostContext* context = CurrentHostContext();
  // Called off the run thread: the contract is broken, so the only safe answer is to stop.
  if (context == nullptr || context->control == nullptr) return 1;
  return context->control->TestAbort() ? 1 : 0;
}

void OnProgress(int32_t done, int32_t total) {
  HostContext* context = CurrentHostContext();
  if (context != nullptr && context->control != nullptr) context->control->Progress(done, total);
}

}  // namespace

ProgressBar::ProgressBar(bool enabled, std::FILE* stream) : enabled_(enabled), stream_(stream) {}

ProgressBar::~ProgressBar() {
  Finish();
}

void ProgressBar::Update(int32_t done, int32_t total) {
  if (!enabled_ || total <= 0) return;
  const int64_t clamped = std::clamp<int64_t>(done, 0, total);
  const int percent = static_cast<int>(clamped * kFullPercent / total);
  if (percent == lastPercent_) return;
  lastPercent_ = percent;
  const int filled = percent * kBarWidth / kFullPercent;
  const std::string bar = "\r[" + std::string(static_cast<size_t>(filled), '#') +
                          std::string(static_cast<size_t>(kBarWidth - filled), ' ') + "] ";
  std::fprintf(stream_, "%s%3d%%", bar.c_str(), percent);
  std::fflush(stream_);
  drawn_ = true;
}

void ProgressBar::Finish() {
  if (!drawn_) return;
  std::fputc('\n', stream_);
  std::fflush(stream_);
  drawn_ = false;
  lastPercent_ = -1;
}

bool StandardErrorIsTerminal() {
  return isatty(STDERR_FILENO) == 1;
}

RunControl::RunControl(ProgressSink* sink, AbortFaults faults, const int* outputRequests)
    : sink_(sink), faults_(faults), outputRequests_(outputRequests) {}

bool RunControl::TestAbort() {
  ++abortCalls_;
  if (faults_.afterCalls > 0 && abortCalls_ >= faults_.afterCalls) return true;
  if (faults_.afterOutputRequests > 0 && outputRequests_ != nullptr &&
      *outputRequests_ >= faults_.afterOutputRequests) {
    return true;
  }
  return InterruptRequested() || (sink_ != nullptr && sink_->CancelRequested());
}

void RunControl::Progress(int32_t done, int32_t total) {
  ++progressCalls_;
  lastDone_ = done;
  lastTotal_ = total;
  if (sink_ != nullptr) sink_->Update(done, total);
}

TestAbortProc AbortProcedure() {
  return &OnTestAbort;
}
ProgressProc ProgressProcedure() {
  return &OnProgress;
}

}  // namespace lumeray
