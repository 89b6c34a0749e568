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

RunOutcome HostSession::Run(HostImage& image, const RunOptions& options) {
  RunOutcome outcome;
  outcome.hostMessage = CheckRunInputs(entry_, image, options);
  if (!outcome.hostMessage.empty()) {
    outcome.result = kParamErr;
    return outcome;
  }
  suites_.SetRefusedSuites(options.faults.refusedSuites);
  suites_.ClearErrorMessage();
  const ServiceMarks marks{suites_.acquireCount(), suites_.refusalCount(),
                           suites_.unbalancedReleases(), handles_.BadCalls()};
  Handle profile = image.iccProfile.empty() ? nullptr : handles_.NewCopy(image.iccProfile);
  if (!image.iccProfile.empty() && profile == nullptr) {
    outcome.result = kMemFullErr;
    outcome.hostMessage = "no memory for the colour profile";
    return outcome;
  }

  auto frame = std::make_unique<RunFrame>();
  TileExchange tiles(
      &frame->record, &image, options.mask,
      ExchangeFaults{options.faults.failAdvanceStateAt, options.faults.advanceStateError});
  if (!options.undoable) tiles.DropUndo();
  RunControl control(options.progressBar, options.faults.abort, &tiles.counters().outputRequests);
  HostContext context{&handles_, &suites_, &tiles, &control};
  FillRecord(*frame, image, options, parameters_, profile, suites_.basic());
  frame->descriptorParameters.descriptor = PlayedHandle(handles_, options.played);
  if (options.played != nullptr && frame->descriptorParameters.descriptor == nullptr) {
    handles_.Dispose(profile);
    outcome.result = kMemFullErr;
    outcome.hostMessage = "no memory for the played-back settings";
    return outcome;
  }

  const auto callSelector = [&](int16_t selector) {
    int16_t result = kNoErr;
    ++outcome.counters.selectorCalls[static_cast<size_t>(selector)];
    outcome.counters.selectors.push_back(selector);
    {
      HostContextScope scope(&context);
      entry_(selector, &frame->record, &data_, &result);
    }
    parameters_ = frame->record.parameters;
    if (result == kNoErr) result = tiles.CommitOutput();
    if (result != kNoErr) outcome.failedSelector = selector;
    return static_cast<OSErr>(result);
  };

  OSErr result = kNoErr;
  if (options.parametersSelector) result = callSelector(kFilterSelectorParameters);
  if (result == kNoErr) result = callSelector(kFilterSelectorPrepare);
  const bool listing = options.traceEntry != nullptr && options.lightSourceSink != nullptr;
  if (listing) {
    if (result == kNoErr) {
      int16_t listed = kNoErr;
      {
        HostContextScope scope(&context);
        options.traceEntry(&frame->record, &data_, &listed, options.lightSourceSink,
                           options.sinkContext);
      }
      parameters_ = frame->record.parameters;
      result = listed;
      if (result != kNoErr) outcome.failedSelector = kFilterSelectorStart;
    }
  } else {
    if (result == kNoErr) result = callSelector(kFilterSelectorStart);
    while (result == kNoErr && tiles.HasRequest()) {
      if (InterruptRequested()) {
        result = kUserCanceledErr;
        break;
      }
      result = tiles.ServeRequest();
      if (result == kNoErr) result = callSelector(kFilterSelectorContinue);
    }
    if (result == kNoErr) result = callSelector(kFilterSelectorFinish);
  }

  if (result == kNoErr && !listing) result = tiles.Accept(options.confineToMask);
  if (result != kNoErr || listing) {
    tiles.Rollback();
  }
  tiles.ReleaseBuffers();
  handles_.Dispose(profile);
  if (Handle descriptor = frame->descriptorParameters.descriptor;
      descriptor != nullptr && handles_.Contains(descriptor)) {
    if (result == kNoErr) {
      const int32_t size = handles_.Size(descriptor);
      const char* bytes = handles_.Lock(descriptor);
      outcome.hasRecorded = DecodeDescriptor(
          {reinterpret_cast<const uint8_t*>(bytes), static_cast<size_t>(size)}, &outcome.recorded);
      handles_.Unlock(descriptor);
    }
    handles_.Dispose(descriptor);
  }

  outcome.result = result;
  outcome.moduleMessage = suites_.errorMessage();
  if (frame->errorString[0] != 0) {
    const std::string text = PascalText(frame->errorString);
    outcome.errorString = text;
    if (text != outcome.moduleMessage) {
      outcome.moduleMessage += (outcome.moduleMessage.empty() ? "" : "; ") + text;
    }
  }
  RunCounters& counters = outcome.counters;
  counters.exchange = tiles.counters();
  counters.abortCalls = control.abortCalls();
  counters.progressCalls = control.progressCalls();
  counters.lastProgressDone = control.lastDone();
  counters.lastProgressTotal = control.lastTotal();
  counters.suiteAcquires = suites_.acquireCount() - marks.acquires;
  counters.suiteRefusals = suites_.refusalCount() - marks.refusals;
  counters.suitesHeld = suites_.heldCount();
  counters.unbalancedSuiteReleases = suites_.unbalancedReleases() - marks.unbalancedReleases;
  counters.badHandleCalls = handles_.BadCalls() - marks.badHandleCalls;
  counters.liveHandles = handles_.LiveCount();
  counters.liveActionDescriptors = suites_.descriptors().liveCount();
  return outcome;
}

}  // namespace lumeray
