// One editor session with a loaded filter module: the host's side of a whole filter run.
//
// A run drives the selectors in the interface's order: Parameters (when asked for, the editor's
// --dialog), Prepare, Start, Continue for as long as the module leaves a request in the record,
// and Finish. It stops at the first selector that returns a non-zero result; Finish is only
// called after a successful Start. The image is changed only by a run that succeeds: every
// commit of a failed or cancelled run is undone.
//
// The session keeps what a host keeps between runs of the same filter: the module's data cell,
// the parameter handle, the handle table, the properties the module set and the descriptor
// registry (persisted in a file when UseRegistryFile names one).
//
// Scripting: every run offers the module descriptorParameters with read and write procedures.
// RunOptions::played, when set, is the descriptor played back (with RunOptions::playInfo);
// without it the module finds no descriptor and uses its own stored settings. What the module
// writes at Finish comes back in RunOutcome::recorded. The host disposes of whatever descriptor
// handle the record holds when the run ends.
//
// The same class is the integration tests' host: RunOptions carries the test hooks (injected
// faults) and RunOutcome the counters of what the module did.
//
// Threading: a session belongs to the thread that runs it; every selector and every host
// procedure of a run happens on that thread.
#pragma once

#include <array>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "descriptor.h"
#include "filter_interface.h"
#include "handles.h"
#include "host_image.h"
#include "progress.h"
#include "suites.h"
#include "tile_exchange.h"

namespace lumeray {

constexpr int kDefaultTileSize = 1024;
constexpr int kMaxTileSize = 32767;  // the record's tile fields are 16-bit
constexpr size_t kErrorStringBytes = 256;
constexpr int16_t kDescriptorParametersVersion = 0;
constexpr int16_t kRecordDialogOptional = 0;

struct HostFaults {
  AbortFaults abort;           // when abortProc answers "cancel"
  int failAdvanceStateAt = 0;  // the Nth advanceState call fails; 0 never
  OSErr advanceStateError = kParamErr;
  std::set<std::string> refusedSuites;
};

struct RunOptions {
  // A listing of the light sources instead of a filter run: after Prepare the module's listing
  // entry runs in place of Start and Finish, handing its lines to `lightSourceSink`. The image
  // is never changed.
  TraceLightSourcesProc traceEntry = nullptr;
  LightSourceSinkProc lightSourceSink = nullptr;
  void* sinkContext = nullptr;

  int tileSize = kDefaultTileSize;
  // Offer bigDocumentData (32-bit rectangles); false plays a host with 16-bit rectangles only,
  // which takes images of at most 32767 x 32767 pixels.
  bool bigDocument = true;
  bool parametersSelector = false;
  const GreyMask* mask = nullptr;
  // Blend the result into the original by the mask when the run is accepted. A host that
  // applies the selection itself when it takes the result (GIMP's shadow merge) clears it.
  bool confineToMask = true;
  // Keep every write-back undoable until the run is accepted. A caller that throws the image
  // away when the run fails clears it and saves a copy of the image (a selection still keeps
  // what confining to it needs).
  bool undoable = true;
  ProgressSink* progressBar = nullptr;
  // Told of every change to the image (the output file streamed during the run); null: none.
  ImageChangeListener* changeListener = nullptr;
  const Descriptor* played = nullptr;  // null: nothing is played back
  int16_t playInfo = kPlayDialogSilent;
  HostFaults faults;
};

struct RunCounters {
  std::array<int, kFilterSelectorFinish + 1> selectorCalls{};
  std::vector<int16_t> selectors;  // in call order
  ExchangeCounters exchange;
  int abortCalls = 0;
  int progressCalls = 0;
  int32_t lastProgressDone = 0;
  int32_t lastProgressTotal = 0;
  int suiteAcquires = 0;
  int suiteRefusals = 0;
  int suitesHeld = 0;  // acquired and not released when the run ended
  int unbalancedSuiteReleases = 0;
  int badHandleCalls = 0;
  size_t liveHandles = 0;            // after the run
  size_t liveActionDescriptors = 0;  // made or got and not freed, after the run
};

struct RunOutcome {
  OSErr result = kNoErr;
  int16_t failedSelector = -1;  // the selector that returned the error; -1 for none or the host
  std::string moduleMessage;    // what the module said through the error suite or errorString
  std::string hostMessage;      // why the host refused to run
  std::string errorString;      // the Pascal text the module left in errorString, if any
  bool hasRecorded = false;     // a successful run ended with a descriptor in the record
  Descriptor recorded;
  RunCounters counters;

  bool ok() const { return result == kNoErr; }
};

class HostSession {
 public:
  explicit HostSession(PluginMainProc entry);
  HostSession(const HostSession&) = delete;
  HostSession& operator=(const HostSession&) = delete;

  RunOutcome Run(HostImage& image, const RunOptions& options);

  // Loads the persistent registry from `path` and keeps it there ("" keeps it in memory only).
  bool UseRegistryFile(const std::string& path, std::string* error) {
    return suites_.descriptors().UseRegistryFile(path, error);
  }

  HandleTable& handles() { return handles_; }
  const SuiteHost& suites() const { return suites_; }
  SuiteHost& suites() { return suites_; }
  Handle parameters() const { return parameters_; }
  intptr_t dataCell() const { return data_; }

 private:
  // The steps of Run: the selectors (or the light source listing), then the image accepted or
  // rolled back with the recorded descriptor taken, then the messages and counters.
  struct ActiveRun;
  OSErr CallSelector(ActiveRun& run, int16_t selector);
  OSErr DriveSelectors(ActiveRun& run);
  void SettleRun(ActiveRun& run, OSErr& result);
  void ReportRun(ActiveRun& run, OSErr result);

  PluginMainProc entry_;
  HandleTable handles_;
  SuiteHost suites_;
  Handle parameters_ = nullptr;
  intptr_t data_ = 0;
};

// The memory the host offers the module (maxSpace): half the physical memory, at most what the
// 32-bit field holds.
int32_t HostMemoryBudget();

}  // namespace lumeray
