#include "analysis/data_initialization.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>
#include <new>

#include "analysis/analysis_image.h"
#include "analysis/analysis_run_state.h"
#include "analysis/light_source_measurement.h"
#include "analysis/presence_threshold.h"
#include "analysis/section_tasks.h"
#include "analysis/worker_threads.h"
#include "diagnostics/message_report.h"
#include "image/buffer.h"
#include "platform/thread.h"

namespace lumeray {
namespace {

constexpr int kGeneralFailure = -1715;

// The task array: a counted block of kMaximumSectionTasks zeroed tasks.
class TaskArray {
 public:
  int Allocate() {
    if (int error = ReallocateBuffer(kMaximumSectionTasks * sizeof(SectionTask), &buffer_)) {
      return error;
    }
    std::memset(buffer_.data, 0, buffer_.size);
    for (int i = 0; i < kMaximumSectionTasks; ++i) new (&tasks()[i]) SectionTask();
    return 0;
  }
  ~TaskArray() {
    if (buffer_.data == nullptr) return;
    for (int i = 0; i < kMaximumSectionTasks; ++i) TearDownSectionTask(&tasks()[i]);
    DeallocateBuffer(&buffer_);
  }
  SectionTask* tasks() { return static_cast<SectionTask*>(buffer_.data); }

 private:
  BufferDescriptor buffer_;
};

int Merge(MasterLightSourceTable& master, const AnalysisContext& context, SectionTask* tasks,
          int count) {
  uint32_t total = 0;
  for (int i = 0; i < count; ++i) total += tasks[i].localTable.count;
  if (int error = PreallocateMasterLightSourceTable(&master, total)) return error;
  for (int i = 0; i < count; ++i) {
    if (context.Stopped()) return 0;
    const int32_t bandTop = ToSourceRow(context, tasks[i].section.top);
    if (int error =
            AddLightSourceTableToTable(&master, tasks[i].localTable, bandTop, context.cancelled)) {
      return error;
    }
  }
  if (!context.Stopped()) NormalizeAndSortLightSources(&master, context.cancelled);
  return 0;
}

int RunPasses(AnalysisRunState& run, const AnalysisImage& analysis, int count,
              AnalysisContext* context, SectionTask* tasks) {
  const ImageRect& rect = analysis.rect;
  SetAnalysisProgress(run, 0, rect.bottom - rect.top);
  const int32_t bandHeight = (rect.bottom - rect.top) / count;
  for (int i = 0; i < count; ++i) {
    const int32_t top = rect.top + i * bandHeight;
    const ImageRect band{rect.left, top, rect.right,
                         i == count - 1 ? rect.bottom : top + bandHeight};
    if (int error = SetUpSectionTask(&tasks[i], static_cast<uint32_t>(i), band,
                                     static_cast<float>(analysis.scale), context)) {
      return error;
    }
  }
  if (context->Stopped()) return 0;
  if (int error = SpawnAnalysisThreadsAndWait(FindBandPeak, tasks, count)) return error;
  for (int i = 0; i < count; ++i)
    context->globalPeak = std::max(context->globalPeak, tasks[i].bandPeak);

  if (context->Stopped()) return 0;
  if (int error = SpawnAnalysisThreadsAndWait(SearchBandForLightSources, tasks, count))
    return error;
  for (int i = 0; i < count; ++i) {
    if (tasks[i].error != 0) return tasks[i].error;
  }
  if (context->Stopped()) return 0;
  return Merge(run.master, *context, tasks, count);
}

uint32_t DataInitializationThread(void* argument) {
  const auto* arguments = static_cast<const DataInitializationArguments*>(argument);
  int result;
  try {
    result = AnalyzeLightSources(*arguments->run, *arguments->source, arguments->options);
  } catch (...) {
    MessageReport report(__LINE__, kMessageDebug);
    report.Report(kIconError, kTitleDebugUnexpectedError,
                  "The light source analysis ended unexpectedly.");
    result = kGeneralFailure;
  }
  if (result != 0) arguments->run->run->status.SetResult(static_cast<int16_t>(result));
  arguments->complete->Set();
  return 0;
}

}  // namespace

int AnalyzeLightSources(AnalysisRunState& run, const ImageRecord& source,
                        const AnalysisOptions& options) {
  MasterLightSourceTable& master = run.master;
  master.count = 0;
  master.largestRadius = 0.0f;
  SetAnalysisProgress(run, 0, 0);

  TaskArray taskArray;
  int result = taskArray.Allocate();
  run.presenceThreshold.store(PresenceThresholdForDepth(options.depthCode));
  const int count = std::clamp(options.threadCount > 0 ? options.threadCount : WorkerThreadCount(),
                               1, kMaximumSectionTasks);
  std::unique_ptr<platform::Mutex> ownMutex;
  platform::Mutex* mutex = options.floodFillMutex;
  if (mutex == nullptr) {
    ownMutex = std::make_unique<platform::Mutex>();
    mutex = ownMutex.get();
  }

  AnalysisContext context;
  context.cancelled = options.cancelled != nullptr ? options.cancelled
                                                   : CancelTest(&run.initialization.stopRequested);
  context.progressDone = &run.initialization.progressDone;
  context.status = &run.run->status;
  context.floodFillMutex = mutex;
  AnalysisImage analysis;
  if (result == 0) {
    result = BuildAnalysisImage(source, count, context.cancelled, run.run->profiles.linearWorking,
                                &analysis);
  }
  if (result == 0 && !context.Stopped()) {
    context.pixels = AnalysisPixels(analysis.image);
    context.scale = analysis.scale;
    context.sourceRect = analysis.sourceRect;
    result = RunPasses(run, analysis, count, &context, taskArray.tasks());
  }
  if (result != 0 || context.Stopped()) master.count = 0;
  ReleaseAnalysisImage(&analysis);
  if (result != 0) run.run->status.SetResult(static_cast<int16_t>(result));
  return result;
}

int StartLightSourceAnalysis(AnalysisRunState& analysis, const ImageRecord* source,
                             int32_t depthCode) {
  AnalysisOptions options;
  options.depthCode = depthCode;
  return StartLightSourceAnalysisOf(analysis, source, options);
}

int StartLightSourceAnalysisOf(AnalysisRunState& analysis, const ImageRecord* source,
                               const AnalysisOptions& options) {
  DataInitializationRun& run = analysis.initialization;
  run.stopRequested = false;
  run.progressDone = 0;
  run.progressTotal = 0;
  run.floodFillMutex.reset(new (std::nothrow) platform::Mutex());
  run.complete.reset(new (std::nothrow) platform::Event(/*manualReset=*/true, false));
  if (run.complete == nullptr || run.floodFillMutex == nullptr) {
    MessageReport report(__LINE__, kMessageSystemError, ENOMEM);
    report.Report(kIconError, kTitleDebugUnexpectedError,
                  "Could not create the data initialization complete event.");
    run.complete.reset();
    run.floodFillMutex.reset();
    analysis.run->status.SetResult(kGeneralFailure);
    return kGeneralFailure;
  }
  run.arguments = {&analysis, source, options, run.complete.get()};
  run.arguments.options.floodFillMutex = run.floodFillMutex.get();
  int errorNumber = 0;
  run.thread.reset(platform::Thread::Start(DataInitializationThread, &run.arguments, &errorNumber));
  if (!run.thread) {
    MessageReport report(__LINE__, kMessageSystemError, static_cast<uint32_t>(errorNumber));
    report.Report(kIconError, kTitleDebugUnexpectedError,
                  "Could not initiate light source table initialization");
    run.complete.reset();
    run.floodFillMutex.reset();
    analysis.run->status.SetResult(kGeneralFailure);
    return kGeneralFailure;
  }
  run.started = true;
  return 0;
}

bool LightSourceAnalysisStarted(const AnalysisRunState& run) {
  return run.initialization.started;
}

void RequestAnalysisStop(AnalysisRunState& run) {
  run.initialization.stopRequested = true;
}
bool AnalysisStopRequested(const AnalysisRunState& run) {
  return run.initialization.stopRequested;
}

platform::Event* DataInitializationCompleteEvent(AnalysisRunState& run) {
  return run.initialization.complete.get();
}

bool DataInitializationComplete(const AnalysisRunState& run) {
  return run.initialization.complete && run.initialization.complete->IsSet();
}

void CloseLightSourceAnalysis(AnalysisRunState& analysis) {
  DataInitializationRun& run = analysis.initialization;
  if (run.started && run.complete) {
    platform::WaitForObject(*run.complete, platform::kInfinite);
  }
  if (run.thread) platform::WaitForObject(*run.thread, platform::kInfinite);
  run.thread.reset();
  run.complete.reset();
  run.floodFillMutex.reset();
  run.started = false;
}

AnalysisProgress GetAnalysisProgress(const AnalysisRunState& run) {
  return {run.initialization.progressDone.load(), run.initialization.progressTotal.load()};
}

void SetAnalysisProgress(AnalysisRunState& run, int32_t done, int32_t total) {
  run.initialization.progressTotal = total;
  run.initialization.progressDone = done;
}

}  // namespace lumeray
