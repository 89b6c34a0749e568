// The background task: the initialisation hand-shake, coalescing of requests made while a frame
// is drawn, and a resize remaking the bitmap context.
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

#include "preview/preview_task.h"
#include "unit/preview/preview_test_support.h"

namespace lumeray::testing {
namespace {

// What the task's callbacks tell the test, and the gate that holds the first frame.
struct Probe {
  std::mutex mutex;
  std::condition_variable changed;
  std::atomic<bool> analysisDone{false};
  bool initialized = false;
  bool holdNextFrame = false;
  bool frameHeld = false;
  uint64_t framesReady = 0;

  template <class Predicate>
  bool WaitFor(Predicate done) {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, std::chrono::seconds(30), done);
  }
  void Update(void (*change)(Probe*)) {
    std::lock_guard lock(mutex);
    change(this);
    changed.notify_all();
  }
};

PreviewTaskCallbacks CallbacksOf(Probe* probe) {
  PreviewTaskCallbacks c;
  c.context = probe;
  c.analysisFinished = [](void* p) { return static_cast<Probe*>(p)->analysisDone.load(); };
  c.initializationComplete = [](void* p) {
    static_cast<Probe*>(p)->Update([](Probe* q) { q->initialized = true; });
  };
  c.frameReady = [](void* p) {
    static_cast<Probe*>(p)->Update([](Probe* q) { ++q->framesReady; });
  };
  c.frameStarting = [](void* p, const ParameterSetBuffer&) {
    auto* probe = static_cast<Probe*>(p);
    std::unique_lock lock(probe->mutex);
    if (!probe->holdNextFrame) return;
    probe->frameHeld = true;
    probe->changed.notify_all();
    probe->changed.wait(lock, [probe] { return !probe->holdNextFrame; });
  };
  return c;
}

class PreviewTaskTest : public PreviewTest {};

TEST_F(PreviewTaskTest, TenRequestsDuringAFrameGiveOneMoreFrameWithTheLastValues) {
  MakeScene(160, 120);
  SetSources({Source(40, 0, 30, 0), Source(120, 2, 90, 1)});
  constexpr int32_t w = 162, h = 122;
  Probe probe;
  PreviewTaskSetup setup;
  setup.clientRect = {0, 0, w, h};
  setup.imageBounds = InputImage().bounds;
  setup.source = &PyramidSource;
  setup.analysis = &Analysis();
  setup.sourceContext = &pyramid_;
  setup.settings.option = OPTIMIZE_NONE;
  PreviewTask task;
  ASSERT_TRUE(task.Start(setup, CallbacksOf(&probe)));

  ParameterSet p = kFactoryParameters;
  p.Quantity = 100;
  // Before the analysis has finished a request is dropped and nothing is drawn.
  task.NewParameters(PreviewSnapshot(p, w, h, 100));
  task.DialogInitialized();
  std::this_thread::sleep_for(std::chrono::milliseconds(2 * kInitializationIntervalMs));
  EXPECT_FALSE(probe.WaitFor([&] { return true; }) && probe.initialized);
  probe.analysisDone = true;
  ASSERT_TRUE(probe.WaitFor([&] { return probe.initialized; }));
  EXPECT_EQ(task.Counters().requestsDropped, 1u);
  EXPECT_EQ(task.Counters().framesDrawn, 0u);

  probe.Update([](Probe* q) { q->holdNextFrame = true; });
  task.NewParameters(PreviewSnapshot(p, w, h, 100));
  ASSERT_TRUE(probe.WaitFor([&] { return probe.frameHeld; }));
  ParameterSetBuffer last{};
  for (int i = 0; i < 10; ++i) {
    p.Intensity = static_cast<int16_t>(40 + i);
    last = PreviewSnapshot(p, w, h, 100);
    task.NewParameters(last);
  }
  probe.Update([](Probe* q) { q->holdNextFrame = false; });
  ASSERT_TRUE(probe.WaitFor([&] { return probe.framesReady == 2; }));
  EXPECT_EQ(task.Counters().framesDrawn, 2u);
  EXPECT_EQ(task.Counters().requestsReplaced, 9u);
  EXPECT_EQ(task.LastDrawnSequence(), last.sequenceNumber);

  // A snapshot of another size remakes the bitmap context; the shown frame has the new size.
  task.NewParameters(PreviewSnapshot(p, w + 40, h + 20, 100));
  ASSERT_TRUE(probe.WaitFor([&] { return probe.framesReady == 3; }));
  ScreenBitmap shown;
  ASSERT_TRUE(task.CopyShownBitmap(&shown));
  EXPECT_EQ(shown.width, w + 40);
  EXPECT_EQ(shown.height, h + 20);
  EXPECT_EQ(task.Counters().contextsMade, 2u);

  task.Destroy();
  EXPECT_FALSE(task.Failed());
  // After the end a request is dropped quietly.
  task.NewParameters(PreviewSnapshot(p, w, h, 100));
  EXPECT_EQ(task.Counters().framesDrawn, 3u);
}

}  // namespace
}  // namespace lumeray::testing
