#include "apply_command.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "action_file.h"
#include "atomic_file.h"
#include "descriptor_registry.h"
#include "host_session.h"
#include "icc_profile.h"
#include "image_io.h"
#include "interrupt.h"
#include "module_loader.h"
#include "module_result.h"
#include "played_settings.h"
#include "progress.h"

namespace lumeray {
namespace {

// Test switch: LUMERAY_16BIT_RECTANGLES=1 plays a host without big-document support, which
// exchanges tiles in 16-bit rectangles.
bool OfferBigDocument() {
  const char* value = std::getenv("LUMERAY_16BIT_RECTANGLES");
  return value == nullptr || std::strcmp(value, "1") != 0;
}

void Report(const std::string& message) {
  std::fprintf(stderr, "lumeray: %s\n", message.c_str());
}

void ReportNotes(const std::vector<std::string>& notes, const std::string& subject, bool quiet) {
  if (quiet) return;
  for (const std::string& note : notes) Report("note: " + subject + ": " + note);
}

void ReportRunFailure(const RunOutcome& outcome) {
  if (!outcome.hostMessage.empty()) {
    Report("cannot run the filter: " + outcome.hostMessage);
    return;
  }
  std::string message = "the filter " + DescribeModuleResult(outcome.result);
  if (outcome.failedSelector >= 0) message += " in " + SelectorName(outcome.failedSelector);
  message += " (module result " + std::to_string(outcome.result) + ")";
  Report(message);
  if (!outcome.moduleMessage.empty()) Report("the module says: " + outcome.moduleMessage);
}

// The descriptor to play: the action file's or the factory settings, with the given settings in
// place of theirs.
bool PlayedSettings(const ApplyArguments& arguments, Descriptor* played, std::string* error) {
  if (arguments.play.empty()) {
    *played = CompleteSettings(arguments.settings);
    return true;
  }
  std::string text;
  Descriptor recorded;
  if (!ReadWholeFile(arguments.play, kMaxActionFileBytes, &text, error) ||
      !ParseActionFile(text, &recorded, error)) {
    *error = arguments.play + ": " + *error;
    return false;
  }
  *played = OverlaySettings(std::move(recorded), arguments.settings);
  return true;
}

bool RecordSettings(const std::string& path, const RunOutcome& outcome, std::string* error) {
  if (!outcome.hasRecorded) {
    *error = "the filter recorded no settings";
    return false;
  }
  return WriteFileAtomically(path, FormatActionFile(outcome.recorded), false, error);
}

// What a run needs before the module is called: the image, the mask and the loaded module.
struct RunInputs {
  ImageFile input;
  GreyMask mask;
  bool masked = false;
  std::unique_ptr<LoadedModule> module;
};

// Reads the image (and mask) and loads the module; reports and returns false on failure.
bool LoadRunInputs(const ApplyArguments& arguments, RunInputs* inputs) {
  std::string error;
  std::vector<std::string> notes;
  if (!ReadImageFile(arguments.input, &inputs->input, &notes, &error)) {
    Report(arguments.input + ": " + error);
    return false;
  }
  ReportNotes(notes, arguments.input, arguments.quiet);
  const HostImage& image = inputs->input.image;
  if (!image.iccProfile.empty() && !CheckIccProfile(image.iccProfile, image.colourPlanes, &error)) {
    Report(arguments.input + ": " + error);
    return false;
  }
  inputs->masked = !arguments.mask.empty();
  if (inputs->masked &&
      !ReadMaskFile(arguments.mask, image.width, image.height, &inputs->mask, &error)) {
    Report(arguments.mask + ": " + error);
    return false;
  }
  const std::optional<std::string> modulePath = FindModule(
      arguments.plugin, std::getenv(kModuleEnvironmentVariable), ExecutableDirectory(), &error);
  if (!modulePath) {
    Report(error);
    return false;
  }
  inputs->module = LoadedModule::Load(*modulePath, HostImageMode(image), &error);
  if (!inputs->module) {
    Report("cannot use the filter module " + *modulePath + ": " + error);
    return false;
  }
  return true;
}

}  // namespace

int RunApply(const ApplyArguments& arguments) {
  std::string error;
  Descriptor played;
  if (!PlayedSettings(arguments, &played, &error)) {
    Report(error);
    return kExitFailure;
  }
  if (!CheckOutputPath(arguments.output, &error)) {
    Report(arguments.output + ": " + error);
    return kExitFailure;
  }

  RunInputs inputs;
  if (!LoadRunInputs(arguments, &inputs)) return kExitFailure;
  ImageFile& input = inputs.input;
  GreyMask& mask = inputs.mask;
  const bool masked = inputs.masked;
  const std::unique_ptr<LoadedModule>& module = inputs.module;

  RunOutcome outcome;
  {
    InterruptGuard interrupt;
    ProgressBar bar(!arguments.quiet && StandardErrorIsTerminal(), stderr);
    RunOptions options;
    options.tileSize = arguments.tileSize > 0 ? arguments.tileSize : kDefaultTileSize;
    options.bigDocument = OfferBigDocument();
    options.parametersSelector = arguments.dialog;
    options.mask = masked ? &mask : nullptr;
    options.progressBar = &bar;
    options.played = arguments.repeat ? nullptr : &played;
    options.playInfo = arguments.dialog ? kPlayDialogDisplay : kPlayDialogSilent;
    HostSession session(module->entry());
    if (!session.UseRegistryFile(DefaultRegistryFile(), &error) && !arguments.quiet) {
      Report("note: the filter's stored settings are not available: " + error);
    }
    outcome = session.Run(input.image, options);
  }
  if (!outcome.ok()) {
    ReportRunFailure(outcome);
    return outcome.hostMessage.empty() ? ExitStatusForResult(outcome.result) : kExitFailure;
  }
  if (!outcome.moduleMessage.empty() && !arguments.quiet) {
    Report("note: the module says: " + outcome.moduleMessage);
  } else if (!outcome.errorString.empty()) {
    Report("the module says: " + outcome.errorString);
  }
  if (!arguments.record.empty() && !RecordSettings(arguments.record, outcome, &error)) {
    Report(arguments.record + ": " + error);
    return kExitFailure;
  }

  std::vector<std::string> notes;
  if (!WriteImageFile(arguments.output, input.image, input, &notes, &error)) {
    Report(arguments.output + ": " + error);
    return kExitFailure;
  }
  ReportNotes(notes, arguments.output, arguments.quiet);
  return kExitSuccess;
}

namespace {

void PrintLightSourceLine(void*, const char* line) {
  const size_t length = std::strlen(line);
  std::fputs(line, stdout);
  if (length == 0 || line[length - 1] != '\n') std::fputc('\n', stdout);
}

}  // namespace

int RunSources(const ApplyArguments& arguments) {
  RunInputs inputs;
  if (!LoadRunInputs(arguments, &inputs)) return kExitFailure;
  const GreyMask& mask = inputs.mask;
  const bool masked = inputs.masked;
  const std::unique_ptr<LoadedModule>& module = inputs.module;
  const std::string& modulePath = module->path();
  if (module->traceEntry() == nullptr) {
    Report("the filter module " + modulePath + " cannot list light sources");
    return kExitFailure;
  }

  RunOutcome outcome;
  {
    InterruptGuard interrupt;
    ProgressBar bar(!arguments.quiet && StandardErrorIsTerminal(), stderr);
    RunOptions options;
    options.tileSize = arguments.tileSize > 0 ? arguments.tileSize : kDefaultTileSize;
    options.bigDocument = OfferBigDocument();
    options.mask = masked ? &mask : nullptr;
    options.progressBar = &bar;
    options.traceEntry = module->traceEntry();
    options.lightSourceSink = PrintLightSourceLine;
    HostSession session(module->entry());
    outcome = session.Run(inputs.input.image, options);
  }
  std::fflush(stdout);
  if (!outcome.ok()) {
    ReportRunFailure(outcome);
    return outcome.hostMessage.empty() ? ExitStatusForResult(outcome.result) : kExitFailure;
  }
  return kExitSuccess;
}

}  // namespace lumeray
