#include "preview/preview_task.h"

#include <chrono>
#include <new>

#include "diagnostics/message_report.h"
#include "effects/preview_task_callback.h"

namespace lumeray {
namespace {

void ReportTask(uint32_t line, const char* text) {
  MessageReport(line, kMessageDebug).Report(kIconError, kTitleDebugUnexpectedErrorDash, "%s", text);
}

ImageRect ClientOf(const ParameterSetBuffer& s) {
  return {0, 0, s.view.previewRect[2] - s.view.previewRect[0],
          s.view.previewRect[3] - s.view.previewRect[1]};
}

}  // namespace

bool PreviewTask::Start(const PreviewTaskSetup& setup, const PreviewTaskCallbacks& callbacks) {
  if (thread_.joinable()) return false;
  setup_ = setup;
  callbacks_ = callbacks;
  creator_ = std::this_thread::get_id();
  {
    std::lock_guard lock(mutex_);
    terminate_ = ended_ = dialogInitialized_ = resizing_ = false;
    pending_.reset();
  }
  try {
    thread_ = std::thread(&PreviewTask::Run, this);
  } catch (const std::system_error& error) {
    MessageReport(__LINE__, kMessageDebug)
        .Report(kIconError, kTitleDebugUnexpectedError,
                "Could not start Proxy Background Task thread : %s.", error.what());
    return false;
  }
  return true;
}

void PreviewTask::DialogInitialized() {
  std::lock_guard lock(mutex_);
  dialogInitialized_ = true;
  wake_.notify_all();
}

void PreviewTask::NewParameters(const ParameterSetBuffer& snapshot) {
  if (std::this_thread::get_id() != creator_) {
    ReportTask(__LINE__, "NewBackgroundTaskParameters() - Could not get current parameter set.");
    return;
  }
  std::lock_guard lock(mutex_);
  if (terminate_) {
    ++counters_.requestsDropped;
    return;
  }
  if (pending_) {
    TraceRenderingParameters("NewBackgroundTaskParameters() - Removed pending requests.",
                             &*pending_);
    ++counters_.requestsReplaced;
  }
  pending_ = snapshot;
  wake_.notify_all();
}

void PreviewTask::BeginResize() {
  std::lock_guard lock(mutex_);
  resizing_ = true;
}

void PreviewTask::EndResize() {
  std::lock_guard lock(mutex_);
  resizing_ = false;
  wake_.notify_all();
}

void PreviewTask::Destroy() {
  if (!thread_.joinable()) return;
  abort_ = true;
  bool ended;
  {
    std::unique_lock lock(mutex_);
    terminate_ = true;
    wake_.notify_all();
    ended = endedSignal_.wait_for(lock, std::chrono::milliseconds(kTaskEndTimeoutMs),
                                  [this] { return ended_; });
  }
  if (ended) {
    thread_.join();
  } else {
    // A driver stuck in a call cannot be stopped safely; the thread is left to end on its own.
    ReportTask(__LINE__,
               "DestroyBackgroundTask() - Timed out while waiting for Background Task exit. "
               "Background Task is being forcibly aborted.");
    thread_.detach();
  }
  std::lock_guard lock(mutex_);
  if (pending_) {
    TraceRenderingParameters("DestroyBackgroundTask()", &*pending_);
    pending_.reset();
  }
  abort_ = false;
}

bool PreviewTask::CopyShownBitmap(ScreenBitmap* out) const {
  std::lock_guard lock(bitmapMutex_);
  if (!hasShown_) return false;
  *out = shown_;
  return true;
}

PreviewTaskCounters PreviewTask::Counters() const {
  std::lock_guard lock(mutex_);
  return counters_;
}

uint32_t PreviewTask::LastDrawnSequence() const {
  std::lock_guard lock(mutex_);
  return lastDrawn_;
}

bool PreviewTask::StartDrawing(const ImageRect& client) {
  session_ = std::make_unique<GlSession>();
  GlSessionRequest request;
  request.clientRect = client;
  request.nativeDisplay = setup_.nativeDisplay;
  request.window = setup_.window;
  drawing_.Resize(client.right - client.left, client.bottom - client.top);
  request.bitmap = &drawing_;
  request.rules = setup_.rules;
  request.limits = setup_.limits;
  if (!StartGlSession(session_.get(), request, setup_.settings)) {
    session_.reset();
    return false;
  }
  onScreen_ = session_->context.type == kContextScreen;
  {
    std::lock_guard lock(mutex_);
    ++counters_.contextsMade;
  }
  layer_ = ProxyLayer{};
  layer_.abort = &abort_;
  if (!InitializeScaledProxyLayer(&layer_, session_.get(), setup_.imageBounds, setup_.source,
                                  setup_.sourceContext)) {
    EndDrawing();
    return false;
  }
  layer_.effects.analysis = setup_.analysis;
  return true;
}

void PreviewTask::EndDrawing() {
  if (!session_) return;
  DestroyScaledProxyLayer(&layer_);
  EndGlSession(session_.get());
  session_.reset();
}

bool PreviewTask::WaitForInitializationComplete() {
  std::unique_lock lock(mutex_);
  for (;;) {
    if (terminate_) return false;
    if (pending_) {
      TraceRenderingParameters("WaitForInitializationComplete() - Parameters Available Event. ",
                               &*pending_);
      pending_.reset();
      ++counters_.requestsDropped;
    }
    if (dialogInitialized_) {
      lock.unlock();
      const bool analysed =
          callbacks_.analysisFinished == nullptr || callbacks_.analysisFinished(callbacks_.context);
      lock.lock();
      if (analysed) return !terminate_;
    }
    wake_.wait_for(lock, std::chrono::milliseconds(kInitializationIntervalMs));
  }
}

std::optional<ParameterSetBuffer> PreviewTask::WaitForParameters() {
  std::unique_lock lock(mutex_);
  wake_.wait(lock, [this] { return terminate_ || (pending_ && !resizing_); });
  if (terminate_) return std::nullopt;
  std::optional<ParameterSetBuffer> taken = std::move(pending_);
  pending_.reset();
  abort_ = false;
  return taken;
}

void PreviewTask::Publish() {
  std::lock_guard lock(bitmapMutex_);
  std::swap(shown_.bits, drawing_.bits);
  std::swap(shown_.width, drawing_.width);
  std::swap(shown_.height, drawing_.height);
  drawing_.Resize(shown_.width, shown_.height);
  hasShown_ = true;
}

void PreviewTask::Run() {
  bool ok = false;
  try {
    ok = DrawRequests();
  } catch (const std::bad_alloc&) {
    MessageReport(__LINE__, kMessageDebug)
        .Report(kIconError, kTitleDebugUnexpectedError,
                "Background Task - Out of memory. The preview ends.");
  }
  EndDrawing();
  std::unique_lock lock(mutex_);
  const bool failed = !ok && !terminate_;
  lock.unlock();
  if (failed) {
    failed_ = true;
    if (callbacks_.failed != nullptr) callbacks_.failed(callbacks_.context);
  }
  lock.lock();
  ended_ = true;
  endedSignal_.notify_all();
}

// Initialises, then draws requests until told to end (true) or until the context or the composer
// cannot be made (false).
bool PreviewTask::DrawRequests() {
  if (!StartDrawing(setup_.clientRect)) return false;
  if (!WaitForInitializationComplete()) return true;  // told to end
  if (callbacks_.initializationComplete != nullptr) {
    callbacks_.initializationComplete(callbacks_.context);
  }
  for (;;) {
    std::optional<ParameterSetBuffer> snapshot = WaitForParameters();
    if (!snapshot) return true;
    const ImageRect client = ClientOf(*snapshot);
    const bool bitmap = session_ && session_->context.type == kContextBitmap;
    if (bitmap &&
        (client.right != session_->context.width || client.bottom != session_->context.height)) {
      EndDrawing();
      if (!StartDrawing(client)) return false;
    }
    if (callbacks_.frameStarting != nullptr)
      callbacks_.frameStarting(callbacks_.context, *snapshot);
    const bool drawn = DisplayScaledProxy(&layer_, *snapshot);
    if (abort_) {
      TraceRenderingParameters("Background Task - Parameter Set Processing Aborted.", &*snapshot);
    } else if (!drawn) {
      TraceRenderingParameters("Background Task - Parameter Set Processing Failed.", &*snapshot);
    }
    {
      std::lock_guard lock(mutex_);
      if (drawn) {
        ++counters_.framesDrawn;
        lastDrawn_ = snapshot->sequenceNumber;
      } else {
        ++counters_.framesFailed;
      }
    }
    if (drawn) {
      if (bitmap) Publish();
      if (callbacks_.frameReady != nullptr) callbacks_.frameReady(callbacks_.context);
    }
    abort_ = false;
  }
}

}  // namespace lumeray
