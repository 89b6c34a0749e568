// The background preview task: one thread per preview that owns the preview's OpenGL context
// and draws every frame. The UI thread never draws: it hands snapshots in, and the task tells
// it through posted callbacks when a frame is ready.
//
// Requests do not queue: there is one pending slot, and a newer snapshot replaces an older one
// the task has not taken yet (at most one frame in progress and one waiting). Taking a request
// clears the abort flag; Destroy sets it, so a frame in progress stops early.
//
// Initialisation: the task makes its context and the frame composer, then waits (waking every
// kInitializationIntervalMs) until the dialog has said it is ready (DialogInitialized) and the
// light source analysis has finished (the analysisFinished callback); snapshots handed in
// meanwhile are dropped. It then posts initializationComplete, on which the UI hands in the
// snapshot of the whole preview.
//
// Resize: between BeginResize and EndResize (UI thread, around a size change of the preview)
// the task takes no request. A bitmap context has a fixed size, so a snapshot of another size
// remakes the context and the composer at the new size.
//
// Failure: a context or composer that cannot be made, or memory running out in the task, ends
// the task (reported) and calls `failed`; a single frame that fails is only traced, and the next
// request is awaited.
//
// Presentation: with a bitmap context each frame is read back into the drawing bitmap, which
// is then exchanged with the shown one under the bitmap lock; CopyShownBitmap reads it there.
// With a screen context the frame is swapped onto the window.
//
// Threading contract: Start, NewParameters, DialogInitialized, Begin/EndResize and Destroy on
// the UI thread (the creating thread; NewParameters from another thread is refused and
// reported); CopyShownBitmap and the counters from any thread. The callbacks run on the task
// thread; the UI side must post them on to its own thread. The pending slot, the abort flag and
// the resize flag are guarded by one mutex; the shown bitmap by its own; neither is held while
// the other is taken.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <thread>

#include "effects/parameter_set_buffer.h"
#include "gl/gl_session.h"
#include "preview/proxy_layer.h"

namespace lumeray {

inline constexpr uint32_t kInitializationIntervalMs = 250;
inline constexpr uint32_t kTaskEndTimeoutMs = 10000;

struct PreviewTaskCallbacks {
  void* context = nullptr;
  // A frame is in the shown bitmap (or on the window).
  void (*frameReady)(void* context) = nullptr;
  // Initialisation ended: the UI should hand in a snapshot of the whole preview.
  void (*initializationComplete)(void* context) = nullptr;
  // Whether the light source analysis has finished (null: it has).
  bool (*analysisFinished)(void* context) = nullptr;
  // Called on the task thread as each frame starts drawing (tests pause the task here).
  void (*frameStarting)(void* context, const ParameterSetBuffer& snapshot) = nullptr;
  // The task ended because its context or frame composer could not be made (at the start or at
  // a new size) or memory ran out, without being told to end: the run fails with -50.
  void (*failed)(void* context) = nullptr;
};

struct PreviewTaskSetup {
  ImageRect clientRect{0, 0, 16, 16};
  void* nativeDisplay = nullptr;  // X11 Display* and window for a screen context
  unsigned long window = 0;
  ImageRect imageBounds{};
  HostImageSource source = nullptr;  // null: no host image
  void* sourceContext = nullptr;
  const AnalysisRunState* analysis = nullptr;  // the run's light sources (null: none)
  OpenGLSettings settings;
  PixelFormatRules rules;
  DrawingLimits limits;
};

struct PreviewTaskCounters {
  uint64_t framesDrawn = 0;
  uint64_t framesFailed = 0;
  uint64_t requestsReplaced = 0;  // dropped undrawn for a newer one
  uint64_t requestsDropped = 0;   // during initialisation or after the end
  uint64_t contextsMade = 0;
};

class PreviewTask {
 public:
  PreviewTask() = default;
  PreviewTask(const PreviewTask&) = delete;
  PreviewTask& operator=(const PreviewTask&) = delete;
  ~PreviewTask() { Destroy(); }

  bool Start(const PreviewTaskSetup& setup, const PreviewTaskCallbacks& callbacks);
  void DialogInitialized();
  void NewParameters(const ParameterSetBuffer& snapshot);
  void BeginResize();
  void EndResize();
  // Ends the task (abort, terminate, wait up to kTaskEndTimeoutMs) and drops the pending slot.
  void Destroy();

  // Copies the shown bitmap; false when no frame has been shown yet.
  bool CopyShownBitmap(ScreenBitmap* out) const;
  PreviewTaskCounters Counters() const;
  // The sequence number of the last snapshot drawn.
  uint32_t LastDrawnSequence() const;
  // Whether the task ended because it could not start or draw (the dialog closes with -50).
  bool Failed() const { return failed_.load(); }
  // Whether frames go onto the window (a screen context) rather than into the shown bitmap.
  bool OnScreen() const { return onScreen_.load(); }

 private:
  void Run();
  bool DrawRequests();
  bool StartDrawing(const ImageRect& client);
  void EndDrawing();
  bool WaitForInitializationComplete();
  std::optional<ParameterSetBuffer> WaitForParameters();
  void Publish();

  PreviewTaskSetup setup_;
  PreviewTaskCallbacks callbacks_;
  std::thread thread_;
  std::thread::id creator_;

  mutable std::mutex mutex_;  // the pending slot, the flags and the counters
  std::condition_variable wake_;
  std::optional<ParameterSetBuffer> pending_;
  bool terminate_ = false;
  bool dialogInitialized_ = false;
  bool resizing_ = false;
  bool ended_ = false;
  std::condition_variable endedSignal_;
  PreviewTaskCounters counters_;
  uint32_t lastDrawn_ = 0;
  std::atomic<bool> abort_{false};
  std::atomic<bool> failed_{false};
  std::atomic<bool> onScreen_{false};

  // The task thread's drawing state.
  std::unique_ptr<GlSession> session_;
  ProxyLayer layer_;
  ScreenBitmap drawing_;

  mutable std::mutex bitmapMutex_;
  ScreenBitmap shown_;
  bool hasShown_ = false;
};

}  // namespace lumeray
