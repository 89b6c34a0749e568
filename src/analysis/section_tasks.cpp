#include "analysis/section_tasks.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <vector>

#include "analysis/data_initialization.h"
#include "analysis/shape_builders.h"
#include "diagnostics/message_report.h"
#include "platform/error_text.h"
#include "run/run_status.h"

namespace lumeray {
namespace {

constexpr int kGeneralFailure = -1715;

// Sets the task's exit event when a pass ends, whatever way it ends.
class ExitSignal {
 public:
  explicit ExitSignal(SectionTask* task) : task_(task) {}
  ~ExitSignal() { task_->exitEvent->Set(); }
  ExitSignal(const ExitSignal&) = delete;
  ExitSignal& operator=(const ExitSignal&) = delete;

 private:
  SectionTask* task_;
};

int ReportBuffer(int error, const char* format, uint32_t index) {
  MessageReport report(__LINE__, kMessageDebug);
  report.Report(kIconError, kTitleDebugUnexpectedError, format, static_cast<int>(index));
  return error;
}

void BindShapes(BufferDescriptor* shapes, const BufferDescriptor& radii, ShapeBuilder builder) {
  auto* shape = static_cast<EffectShape*>(shapes->data);
  const auto* radius = static_cast<const float*>(radii.data);
  for (int i = 0; i < kMeasuringShapeCount; ++i) {
    new (&shape[i]) EffectShape();
    shape[i].builder = builder;
    shape[i].parameters = &radius[i];
  }
}

void FillRadii(BufferDescriptor* radii) {
  auto* radius = static_cast<float*>(radii->data);
  for (int i = 0; i < kMeasuringShapeCount; ++i)
    radius[i] = static_cast<float>(i) * kMeasuringRadiusStep;
}

void ReleaseShapes(BufferDescriptor* shapes) {
  auto* shape = static_cast<EffectShape*>(shapes->data);
  if (shape != nullptr) {
    for (int i = 0; i < kMeasuringShapeCount; ++i) ReleaseEffectShape(&shape[i]);
  }
  DeallocateBuffer(shapes);
}

void ReportWait(const char* text, uint32_t errorCode = 0) {
  MessageReport report(__LINE__, errorCode != 0 ? kMessageSystemError : kMessageDebug, errorCode);
  report.Report(kIconError, kTitleDebugUnexpectedError, "%s", text);
}

}  // namespace

int SetUpSectionTask(SectionTask* task, uint32_t index, const ImageRect& band, float scale,
                     const AnalysisContext* context) {
  constexpr uint64_t kRadiiBytes = kMeasuringShapeCount * sizeof(float);
  constexpr uint64_t kShapesBytes = kMeasuringShapeCount * sizeof(EffectShape);
  task->index = index;
  task->section = band;
  task->scale = scale;
  task->context = context;
  if (int error = ReallocateBuffer(kRadiiBytes, &task->diskParams)) {
    return ReportBuffer(error, "Thread %d: Could not allocate buffer for DiskParamsBuff.", index);
  }
  if (int error = ReallocateBuffer(kRadiiBytes, &task->ringParams)) {
    return ReportBuffer(error, "Thread %d: Could not allocate buffer for RingParamsBuff.", index);
  }
  // Zeroed at once: a zeroed shape holds nothing, so tear-down is safe after any failure.
  if (int error = ReallocateBuffer(kShapesBytes, &task->diskShapes)) {
    return ReportBuffer(error, "Thread %d: Could not allocate buffer for DiskShapeBuff.", index);
  }
  std::memset(task->diskShapes.data, 0, task->diskShapes.size);
  if (int error = ReallocateBuffer(kShapesBytes, &task->ringShapes)) {
    return ReportBuffer(error, "Thread %d: Could not allocate buffer for RingShapeBuff.", index);
  }
  std::memset(task->ringShapes.data, 0, task->ringShapes.size);
  FillRadii(&task->diskParams);
  FillRadii(&task->ringParams);
  BindShapes(&task->diskShapes, task->diskParams, BuildDiskSubShape);
  BindShapes(&task->ringShapes, task->ringParams, BuildRingSubShape);
  task->exitEvent = new (std::nothrow) platform::Event(/*manualReset=*/true, false);
  if (task->exitEvent == nullptr) {
    MessageReport report(__LINE__, kMessageSystemError, ENOMEM);
    report.Report(kIconError, kTitleDebugUnexpectedError,
                  "Could not create AnalyzeSectionTask() termination event.");
    return kGeneralFailure;
  }
  return 0;
}

void TearDownSectionTask(SectionTask* task) {
  ReleaseShapes(&task->diskShapes);
  ReleaseShapes(&task->ringShapes);
  DeallocateBuffer(&task->diskParams);
  DeallocateBuffer(&task->ringParams);
  FreeLightSourceTable(&task->localTable);
  delete task->exitEvent;
  task->exitEvent = nullptr;
}

int SpawnAnalysisThreadsAndWait(platform::ThreadRoutine routine, SectionTask* tasks, int count) {
  std::vector<platform::Waitable*> events;
  for (int i = 0; i < count; ++i) {
    SectionTask& task = tasks[i];
    events.push_back(task.exitEvent);
    int errorNumber = 0;
    task.thread = platform::Thread::Start(routine, &task, &errorNumber);
    if (task.thread == nullptr) {
      MessageReport report(__LINE__, kMessageDebug);
      report.Report(kIconError, kTitleDebugUnexpectedError,
                    "Could not initiate AnalyzeSection() task : %s", std::strerror(errorNumber));
      task.exitEvent->Set();
    }
  }
  int result = 0;
  if (!events.empty()) {
    const platform::WaitResult wait =
        platform::WaitForObjects(events, /*waitAll=*/true, platform::kInfinite);
    switch (wait.status) {
      case platform::WaitStatus::kSignaled:
        break;
      case platform::WaitStatus::kAbandoned:
        ReportWait("An object was abandoned in SpawnAnalysisThreadsAndWait().");
        result = kGeneralFailure;
        break;
      case platform::WaitStatus::kTimeout:
        ReportWait("A wait timed out in SpawnAnalysisThreadsAndWait().");
        result = kGeneralFailure;
        break;
      default:
        ReportWait("Waiting for events failed in SpawnAnalysisThreadsAndWait.",
                   static_cast<uint32_t>(platform::LastError()));
        result = kGeneralFailure;
        break;
    }
  }
  for (int i = 0; i < count; ++i) {
    SectionTask& task = tasks[i];
    if (task.thread != nullptr) {
      // The exit event is the routine's last act; joining keeps the task's memory safe.
      platform::WaitForObject(*task.thread, platform::kInfinite);
      delete task.thread;
      task.thread = nullptr;
    }
    task.exitEvent->Reset();
  }
  return result;
}

uint32_t FindBandPeak(void* argument) {
  auto* task = static_cast<SectionTask*>(argument);
  ExitSignal signal(task);
  const AnalysisContext& context = *task->context;
  const AnalysisPixels& pixels = context.pixels;
  uint32_t peak = 0;
  for (int32_t y = task->section.top; y < task->section.bottom; ++y) {
    if (context.Stopped()) {
      task->bandPeak = 0;
      return 0;
    }
    for (int32_t x = task->section.left; x < task->section.right; ++x) {
      if (pixels.AlphaAt(x, y) != 0) peak = std::max(peak, pixels.BrightnessAt(x, y));
    }
  }
  task->bandPeak = peak;
  return 0;
}

uint32_t SearchBandForLightSources(void* argument) {
  auto* task = static_cast<SectionTask*>(argument);
  ExitSignal signal(task);
  const AnalysisContext& context = *task->context;
  const AnalysisPixels& pixels = context.pixels;
  const MeasuringShapes shapes = task->Shapes();
  for (int32_t y = task->section.top; y < task->section.bottom; ++y) {
    for (int32_t x = task->section.left; x < task->section.right; ++x) {
      if (context.Stopped()) return 0;
      if (!IsCandidate(pixels, x, y, context.globalPeak)) continue;
      const int error = MeasureLightSource(context, shapes, &task->localTable, x, y);
      if (error != 0) {
        task->error = error;
        context.status->SetResult(static_cast<int16_t>(error));
        return 0;
      }
    }
    if (context.progressDone != nullptr) context.progressDone->fetch_add(1);
  }
  LightSourceEntry* entries = task->localTable.data();
  if (entries != nullptr) {
    std::stable_sort(
        entries, entries + task->localTable.count,
        [](const LightSourceEntry& a, const LightSourceEntry& b) { return a.y < b.y; });
  }
  return 0;
}

}  // namespace lumeray
