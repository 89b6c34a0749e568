// The analysis layer's part of one run (run/run_state.h holds the lower layers' part): the
// master light source table, the run data of the data-initialisation thread and the presence
// threshold.
//
// Owned by the run (the host's FilterRun), which hands it to the analysis, the preview and the
// dialog.
//
// Threading contract, per member:
//   master                 filled by the data-initialisation thread; read by the preview and
//                          render threads only after the "data initialization complete" event,
//                          changed by hide/show on the UI thread (data_initialization.h,
//                          master_light_source_table.h).
//   initialization         the objects (mutex, event, thread, arguments, started) on the UI
//                          thread only; stopRequested and the progress counters from any thread.
//   presenceThreshold      set by the analysis before its workers start; read by any thread.
//   run                    the same run's lowest-layer part (its input image, status and
//                          profiles), set by the run's owner before any thread starts; the
//                          analysis threads reach the run's status through it.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "analysis/data_initialization.h"
#include "analysis/master_light_source_table.h"
#include "image/image_record.h"
#include "platform/sync.h"
#include "platform/thread.h"
#include "run/run_state.h"

namespace lumeray {

struct AnalysisRunState;

// What the data-initialisation thread is started with.
struct DataInitializationArguments {
  AnalysisRunState* run = nullptr;
  const ImageRecord* source = nullptr;
  AnalysisOptions options;
  platform::Event* complete = nullptr;
};

// The run data of the data-initialisation thread; created by StartLightSourceAnalysis and
// released by CloseLightSourceAnalysis.
struct DataInitializationRun {
  std::unique_ptr<platform::Mutex> floodFillMutex;
  std::unique_ptr<platform::Event> complete;
  std::unique_ptr<platform::Thread> thread;
  DataInitializationArguments arguments;
  bool started = false;
  std::atomic<bool> stopRequested{false};
  std::atomic<int32_t> progressDone{0};
  std::atomic<int32_t> progressTotal{0};
};

struct AnalysisRunState {
  MasterLightSourceTable master;
  DataInitializationRun initialization;
  std::atomic<uint32_t> presenceThreshold{16384};  // the 8-bit level until an analysis sets it
  RunState* run = nullptr;
};

}  // namespace lumeray
