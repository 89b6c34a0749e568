#include "host_session.h"

#include <unistd.h>

#include <algorithm>
#include <limits>
#include <new>
#include <utility>

#include "descriptor_procs.h"
#include "host_context.h"
#include "interrupt.h"

namespace lumeray {
namespace {

constexpr int16_t kMax16BitCoordinate = std::numeric_limits<int16_t>::max();

OSErr OnAdvanceState() {
  HostContext* context = CurrentHostContext();
  if (context == nullptr || context->tiles == nullptr) return kParamErr;
  try {
    return context->tiles->AdvanceState();
  } catch (const std::bad_alloc&) {
    return kMemFullErr;
  }
}

int16_t To16BitCoordinate(int32_t value) {
  return static_cast<int16_t>(std::min<int32_t>(value, kMax16BitCoordinate));
}

std::string PascalText(const unsigned char* text) {
  return std::string(reinterpret_cast<const char*>(text) + 1, text[0]);
}

// Why the host cannot run the module on these inputs, or "".
std::string CheckRunInputs(PluginMainProc entry, const HostImage& image,
                           const RunOptions& options) {
  if (entry == nullptr) return "no module entry point";
  if (image.width <= 0 || image.height <= 0) return "the image is empty";
  if (image.colourPlanes != 1 && image.colourPlanes != 3) {
    return "the image has neither 1 nor 3 colour planes";
  }
  if (image.pixels.size() != ImageBytes(image.width, image.height, image.PixelBytes())) {
    return "the image's pixel buffer does not match its size";
  }
  if (options.tileSize < 1 || options.tileSize > kMaxTileSize) {
    return "the tile size must be 1 to " + std::to_string(kMaxTileSize);
  }
  if (!options.bigDocument &&
      (image.width > kMax16BitCoordinate || image.height > kMax16BitCoordinate)) {
    return "the image is too large for a host without big-document support";
  }
  if (options.mask != nullptr) {
    const GreyMask& mask = *options.mask;
    if (mask.width != image.width || mask.height != image.height ||
        mask.values.size() != ImageBytes(mask.width, mask.height, 1)) {
      return "the mask is not the size of the image";
    }
  }
  return {};
}

// The record of one run and what it points to.
struct RunFrame {
  FilterRecord record{};
  BigDocumentStruct bigDocument{};
  PlatformData platform{0};
  HandleProcs handleProcs = MakeHandleProcs();
  unsigned char errorString[kErrorStringBytes] = {};
  ReadDescriptorProcs readDescriptorProcs = MakeReadDescriptorProcs();
  WriteDescriptorProcs writeDescriptorProcs = MakeWriteDescriptorProcs();
  PIDescriptorParameters descriptorParameters{};
};

// The played-back descriptor as a handle; null when nothing is played or there is no memory.
Handle PlayedHandle(HandleTable& handles, const Descriptor* played) {
  if (played == nullptr) return nullptr;
  const std::vector<uint8_t> bytes = EncodeDescriptor(*played);
  return bytes.empty() ? handles.New(0) : handles.NewCopy(bytes);
}

// Whether the run lists the light sources instead of filtering.
bool Listing(const RunOptions& options) {
  return options.traceEntry != nullptr && options.lightSourceSink != nullptr;
}

// Counter values of the session's services when a run starts, so the run reports its own.
struct ServiceMarks {
  int acquires;
  int refusals;
  int unbalancedReleases;
  int badHandleCalls;
};

void FillRecord(RunFrame& frame, const HostImage& image, const RunOptions& options,
                Handle parameters, Handle profile, SPBasicSuite* basic) {
  FilterRecord& record = frame.record;
  record.abortProc = AbortProcedure();
  record.progressProc = ProgressProcedure();
  record.parameters = parameters;
  record.imageSize = VPoint{image.height, image.width};
  record.planes = static_cast<int16_t>(image.Channels());
  record.filterRect =
      PIRect16{0, 0, To16BitCoordinate(image.height), To16BitCoordinate(image.width)};
  record.maxSpace = HostMemoryBudget();
  record.haveMask = options.mask != nullptr ? 1 : 0;
  record.imageMode = HostImageMode(image);
  record.depth = HostImageDepth(image);
  record.inputRate = kUnitRate;
  record.maskRate = kUnitRate;
  record.inputPadding = kPaddingNone;
  record.outputPadding = kPaddingNone;
  record.maskPadding = kPaddingNone;
  record.platformData = &frame.platform;
  record.handleProcs = &frame.handleProcs;
  record.advanceState = &OnAdvanceState;
  record.inLayerPlanes = static_cast<int16_t>(image.colourPlanes);
  record.inTransparencyMask = image.hasAlpha ? 1 : 0;
  record.inTileHeight = static_cast<int16_t>(options.tileSize);
  record.inTileWidth = static_cast<int16_t>(options.tileSize);
  record.errorString = frame.errorString;
  record.sSPBasic = basic;
  record.iCCprofileSize = static_cast<int32_t>(image.iccProfile.size());
  record.iCCprofileData = profile;
  frame.descriptorParameters.descriptorParametersVersion = kDescriptorParametersVersion;
  frame.descriptorParameters.playInfo = options.playInfo;
  frame.descriptorParameters.recordInfo = kRecordDialogOptional;
  frame.descriptorParameters.readDescriptorProcs = &frame.readDescriptorProcs;
  frame.descriptorParameters.writeDescriptorProcs = &frame.writeDescriptorProcs;
  record.descriptorParameters = &frame.descriptorParameters;
  frame.bigDocument.imageSize32 = VPoint{image.height, image.width};
  frame.bigDocument.filterRect32 = VRect{0, 0, image.height, image.width};
  frame.bigDocument.wholeSize32 = VPoint{image.height, image.width};
  record.bigDocumentData = options.bigDocument ? &frame.bigDocument : nullptr;
}

}  // namespace

int32_t HostMemoryBudget() {
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long pageSize = sysconf(_SC_PAGESIZE);
  constexpr int64_t kFallback = int64_t{1} << 30;
  const int64_t half = pages > 0 && pageSize > 0 ? int64_t{pages} * pageSize / 2 : kFallback;
  return static_cast<int32_t>(std::min<int64_t>(half, std::numeric_limits<int32_t>::max()));
}

HostSession::HostSession(PluginMainProc entry) : entry_(entry) {}

// What one run holds between its steps.
struct HostSession::ActiveRun {
  ActiveRun(HostImage& image, const RunOptions& options, HandleTable* handles, SuiteHost* suites)
      : options(options),
        marks{suites->acquireCount(), suites->refusalCount(), suites->unbalancedReleases(),
              handles->BadCalls()},
        frame(std::make_unique<RunFrame>()),
        tiles(&frame->record, &image, options.mask,
              ExchangeFaults{options.faults.failAdvanceStateAt, options.faults.advanceStateError}),
        control(options.progressBar, options.faults.abort, &tiles.counters().outputRequests),
        context{handles, suites, &tiles, &control} {}

  const RunOptions& options;
  RunOutcome outcome;
  ServiceMarks marks;
  Handle profile = nullptr;
  std::unique_ptr<RunFrame> frame;
  TileExchange tiles;
  RunControl control;
  HostContext context;
};

RunOutcome HostSession::Run(HostImage& image, const RunOptions& options) {
  RunOutcome refused;
  refused.hostMessage = CheckRunInputs(entry_, image, options);
  if (!refused.hostMessage.empty()) {
    refused.result = kParamErr;
    return refused;
  }
  suites_.SetRefusedSuites(options.faults.refusedSuites);
  suites_.ClearErrorMessage();
  Handle profile = image.iccProfile.empty() ? nullptr : handles_.NewCopy(image.iccProfile);
  if (!image.iccProfile.empty() && profile == nullptr) {
    refused.result = kMemFullErr;
    refused.hostMessage = "no memory for the colour profile";
    return refused;
  }
  ActiveRun run(image, options, &handles_, &suites_);
  if (!options.undoable) run.tiles.DropUndo();
  run.tiles.SetChangeListener(options.changeListener);
  run.profile = profile;
  FillRecord(*run.frame, image, options, parameters_, run.profile, suites_.basic());
  run.frame->descriptorParameters.descriptor = PlayedHandle(handles_, options.played);
  if (options.played != nullptr && run.frame->descriptorParameters.descriptor == nullptr) {
    handles_.Dispose(run.profile);
    refused.result = kMemFullErr;
    refused.hostMessage = "no memory for the played-back settings";
    return refused;
  }

  OSErr result = DriveSelectors(run);
  SettleRun(run, result);
  ReportRun(run, result);
  return std::move(run.outcome);
}

OSErr HostSession::CallSelector(ActiveRun& run, int16_t selector) {
  int16_t result = kNoErr;
  ++run.outcome.counters.selectorCalls[static_cast<size_t>(selector)];
  run.outcome.counters.selectors.push_back(selector);
  {
    HostContextScope scope(&run.context);
    entry_(selector, &run.frame->record, &data_, &result);
  }
  parameters_ = run.frame->record.parameters;
  if (result == kNoErr) result = run.tiles.CommitOutput();
  if (result != kNoErr) run.outcome.failedSelector = selector;
  return static_cast<OSErr>(result);
}

OSErr HostSession::DriveSelectors(ActiveRun& run) {
  const RunOptions& options = run.options;
  OSErr result = kNoErr;
  if (options.parametersSelector) result = CallSelector(run, kFilterSelectorParameters);
  if (result == kNoErr) result = CallSelector(run, kFilterSelectorPrepare);
  if (Listing(options)) {
    if (result == kNoErr) {
      int16_t listed = kNoErr;
      {
        HostContextScope scope(&run.context);
        options.traceEntry(&run.frame->record, &data_, &listed, options.lightSourceSink,
                           options.sinkContext);
      }
      parameters_ = run.frame->record.parameters;
      result = listed;
      if (result != kNoErr) run.outcome.failedSelector = kFilterSelectorStart;
    }
    return result;
  }
  if (result == kNoErr) result = CallSelector(run, kFilterSelectorStart);
  while (result == kNoErr && run.tiles.HasRequest()) {
    if (InterruptRequested()) return kUserCanceledErr;
    result = run.tiles.ServeRequest();
    if (result == kNoErr) result = CallSelector(run, kFilterSelectorContinue);
  }
  if (result == kNoErr) result = CallSelector(run, kFilterSelectorFinish);
  return result;
}

void HostSession::SettleRun(ActiveRun& run, OSErr& result) {
  const bool listing = Listing(run.options);
  if (result == kNoErr && !listing) result = run.tiles.Accept(run.options.confineToMask);
  if (result != kNoErr || listing) run.tiles.Rollback();
  run.tiles.ReleaseBuffers();
  handles_.Dispose(run.profile);
  Handle descriptor = run.frame->descriptorParameters.descriptor;
  if (descriptor == nullptr || !handles_.Contains(descriptor)) return;
  if (result == kNoErr) {
    const int32_t size = handles_.Size(descriptor);
    const char* bytes = handles_.Lock(descriptor);
    run.outcome.hasRecorded =
        DecodeDescriptor({reinterpret_cast<const uint8_t*>(bytes), static_cast<size_t>(size)},
                         &run.outcome.recorded);
    handles_.Unlock(descriptor);
  }
  handles_.Dispose(descriptor);
}

void HostSession::ReportRun(ActiveRun& run, OSErr result) {
  RunOutcome& outcome = run.outcome;
  outcome.result = result;
  outcome.moduleMessage = suites_.errorMessage();
  if (run.frame->errorString[0] != 0) {
    const std::string text = PascalText(run.frame->errorString);
    outcome.errorString = text;
    if (text != outcome.moduleMessage) {
      outcome.moduleMessage += (outcome.moduleMessage.empty() ? "" : "; ") + text;
    }
  }
  const ServiceMarks& marks = run.marks;
  RunCounters& counters = outcome.counters;
  counters.exchange = run.tiles.counters();
  counters.abortCalls = run.control.abortCalls();
  counters.progressCalls = run.control.progressCalls();
  counters.lastProgressDone = run.control.lastDone();
  counters.lastProgressTotal = run.control.lastTotal();
  counters.suiteAcquires = suites_.acquireCount() - marks.acquires;
  counters.suiteRefusals = suites_.refusalCount() - marks.refusals;
  counters.suitesHeld = suites_.heldCount();
  counters.unbalancedSuiteReleases = suites_.unbalancedReleases() - marks.unbalancedReleases;
  counters.badHandleCalls = handles_.BadCalls() - marks.badHandleCalls;
  counters.liveHandles = handles_.LiveCount();
  counters.liveActionDescriptors = suites_.descriptors().liveCount();
}

}  // namespace lumeray
