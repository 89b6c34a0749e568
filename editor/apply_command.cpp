#include "apply_command.h"

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
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
#include "run_report.h"
#include "settings.h"
#include "streamed_output.h"

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

// The exit status of a run that failed or was cancelled.
int FailureStatus(const RunOutcome& outcome) {
  if (InterruptRequested()) return InterruptExitStatus();
  return outcome.hostMessage.empty() ? ExitStatusForResult(outcome.result) : kExitFailure;
}

void ReportRunFailure(const RunOutcome& outcome) {
  // The module has shown its own message already; the first line says what failed.
  const std::vector<std::string> lines = DescribeRunFailure(outcome);
  if (!lines.empty()) Report(lines.front());
}

// While it exists, what the module writes on standard error itself (its messages, shown there
// because the editor has no window) is held back; Release() hands it on or drops it. With
// --quiet only a failed run's messages are handed on.
class ModuleMessageHold {
 public:
  explicit ModuleMessageHold(bool hold) {
    if (!hold) return;
    std::fflush(stderr);
    const int held = memfd_create("lumeray-module-messages", MFD_CLOEXEC);
    if (held < 0) return;
    const int saved = dup(STDERR_FILENO);
    if (saved < 0 || dup2(held, STDERR_FILENO) < 0) {
      if (saved >= 0) close(saved);
      close(held);
      return;
    }
    held_ = held;
    saved_ = saved;
  }
  ~ModuleMessageHold() { Release(false); }
  ModuleMessageHold(const ModuleMessageHold&) = delete;
  ModuleMessageHold& operator=(const ModuleMessageHold&) = delete;

  void Release(bool handOn) {
    if (held_ < 0) return;
    std::fflush(stderr);
    dup2(saved_, STDERR_FILENO);
    close(saved_);
    if (handOn) {
      char buffer[4096];
      off_t offset = 0;
      for (ssize_t got; (got = pread(held_, buffer, sizeof buffer, offset)) > 0; offset += got) {
        std::fwrite(buffer, 1, static_cast<size_t>(got), stderr);
      }
      std::fflush(stderr);
    }
    close(held_);
    held_ = saved_ = -1;
  }

 private:
  int held_ = -1;
  int saved_ = -1;
};

// Why the descriptor to play cannot be had, and the exit status that goes with it.
struct PlayFailure {
  std::string message;
  int status = kExitFailure;
};

// The descriptor to play: the action file's or the factory settings, with the given settings in
// place of theirs. An action file's values are held to the same ranges as the command line's.
bool PlayedSettings(const ApplyArguments& arguments, Descriptor* played, PlayFailure* failure) {
  if (arguments.play.empty()) {
    *played = CompleteSettings(arguments.settings);
    return true;
  }
  std::string text;
  Descriptor recorded;
  std::string error;
  if (!ReadWholeFile(arguments.play, kMaxActionFileBytes, &text, &error) ||
      !ParseActionFile(text, &recorded, &error)) {
    failure->message = arguments.play + ": " + error;
    return false;
  }
  if (!CheckSettingRanges(recorded, &error)) {
    failure->message = arguments.play + ": " + error;
    failure->status = kExitUsage;
    return false;
  }
  *played = OverlaySettings(std::move(recorded), arguments.settings);
  return true;
}

// The module's dialog needs a display: an X or Wayland one, or a Qt platform chosen by name
// (QT_QPA_PLATFORM=offscreen draws nowhere, for tests).
bool DialogCanBeShown() {
  for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return true;
  }
  return false;
}

bool RecordSettings(const std::string& path, const RunOutcome& outcome, std::string* error) {
  if (!outcome.hasRecorded) {
    *error = "the filter recorded no settings";
    return false;
  }
  return WriteFileAtomically(path, FormatActionFile(outcome.recorded), false, error);
}

// Whether two paths name the same file: the same device and inode when both exist, else the
// same absolute path.
bool SameFile(const std::string& first, const std::string& second) {
  struct stat a {};
  struct stat b {};
  const bool firstExists = stat(first.c_str(), &a) == 0;
  const bool secondExists = stat(second.c_str(), &b) == 0;
  if (firstExists && secondExists) return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
  if (firstExists != secondExists) return false;
  std::error_code ignored;
  return std::filesystem::weakly_canonical(first, ignored) ==
         std::filesystem::weakly_canonical(second, ignored);
}

// The files a run writes must be neither each other nor a file it reads.
bool CheckDistinctFiles(const ApplyArguments& arguments, std::string* error) {
  struct Named {
    const std::string& path;
    const char* role;
  };
  const Named written[] = {{arguments.output, "the output"}, {arguments.record, "--record"}};
  const Named all[] = {{arguments.input, "the input"},
                       {arguments.mask, "--mask"},
                       {arguments.output, "the output"},
                       {arguments.record, "--record"}};
  for (const Named& target : written) {
    if (target.path.empty()) continue;
    for (const Named& other : all) {
      if (&other.path == &target.path || other.path.empty()) continue;
      if (SameFile(target.path, other.path)) {
        *error = std::string(target.role) + " and " + other.role + " are the same file (" +
                 target.path + "); writing it would destroy the other";
        return false;
      }
    }
  }
  return true;
}

// What a run needs before the module is called: the image, the mask and the loaded module.
struct RunInputs {
  ImageFile input;
  GreyMask mask;
  bool masked = false;
  std::unique_ptr<LoadedModule> module;
};

// The largest image the module declares it takes ('ms32': height, then width), if it does.
bool WithinModuleLimits(const LoadedModule& module, const HostImage& image, std::string* error) {
  const PiplProperty* size = module.properties().Find(FourCC("ms32"));
  constexpr size_t kValueBytes = 4;
  if (size == nullptr || size->data.size() < 2 * kValueBytes) return true;
  const auto value = [&](size_t index) {
    uint32_t number = 0;
    for (size_t i = kValueBytes; i-- > 0;)
      number = number << 8 | size->data[index * kValueBytes + i];
    return static_cast<int64_t>(number);
  };
  const int64_t maxHeight = value(0);
  const int64_t maxWidth = value(1);
  if (image.width > maxWidth || image.height > maxHeight) {
    *error = "the image is " + std::to_string(image.width) + " x " + std::to_string(image.height) +
             " pixels; the filter module takes at most " + std::to_string(maxWidth) + " x " +
             std::to_string(maxHeight);
    return false;
  }
  return true;
}

// Reads the image (and mask) and loads the module; reports and returns false on failure.
bool LoadRunInputs(const ApplyArguments& arguments, RunInputs* inputs) {
  std::string error;
  std::vector<std::string> notes;
  if (!ReadImageFile(arguments.input, &inputs->input, &notes, &error, arguments.maxPixels)) {
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
  if (!WithinModuleLimits(*inputs->module, image, &error)) {
    Report(arguments.input + ": " + error);
    return false;
  }
  return true;
}

// Runs the module over the inputs with the options, its messages held back under --quiet.
RunOutcome RunModule(const ApplyArguments& arguments, RunInputs& inputs, RunOptions options,
                     bool useRegistry) {
  ProgressBar bar(!arguments.quiet && StandardErrorIsTerminal(), stderr);
  options.tileSize = arguments.tileSize > 0 ? arguments.tileSize : kDefaultTileSize;
  options.bigDocument = OfferBigDocument();
  options.mask = inputs.masked ? &inputs.mask : nullptr;
  options.progressBar = &bar;
  HostSession session(inputs.module->entry());
  std::string error;
  if (useRegistry && !session.UseRegistryFile(DefaultRegistryFile(), &error) && !arguments.quiet) {
    Report("note: the filter's stored settings are not available: " + error);
  }
  ModuleMessageHold hold(arguments.quiet);
  RunOutcome outcome = session.Run(inputs.input.image, options);
  hold.Release(!outcome.ok());
  return outcome;
}

int Cancelled() {
  Report("cancelled; nothing was written");
  return InterruptExitStatus();
}

}  // namespace

int RunApply(const ApplyArguments& arguments) {
  InterruptGuard interrupt;
  if (arguments.quiet) QuietImageLibrary();
  std::string error;
  Descriptor played;
  PlayFailure playFailure;
  if (!PlayedSettings(arguments, &played, &playFailure)) {
    Report(playFailure.message);
    return playFailure.status;
  }
  if (arguments.dialog && !DialogCanBeShown()) {
    Report(
        "--dialog needs a display: set DISPLAY, or QT_QPA_PLATFORM=offscreen to run without one");
    return kExitFailure;
  }
  if (!CheckOutputPath(arguments.output, &error)) {
    Report(arguments.output + ": " + error);
    return kExitFailure;
  }
  if (!CheckDistinctFiles(arguments, &error)) {
    Report(error);
    return kExitFailure;
  }

  RunInputs inputs;
  if (!LoadRunInputs(arguments, &inputs)) return InterruptRequested() ? Cancelled() : kExitFailure;
  if (InterruptRequested()) return Cancelled();

  RunOptions options;
  options.parametersSelector = arguments.dialog;
  options.played = arguments.repeat ? nullptr : &played;
  options.playInfo = arguments.dialog ? kPlayDialogDisplay : kPlayDialogSilent;
  options.undoable = false;  // a failed run writes nothing, so its image needs no undo
  // The output is written while the module writes its result back, where it can be.
  std::optional<StreamedOutput> stream;
  if (StreamedOutput::Suits(arguments.output, inputs.input, inputs.masked)) {
    stream.emplace(arguments.output, inputs.input);
    options.changeListener = &*stream;
  }
  const RunOutcome outcome = RunModule(arguments, inputs, options, true);
  if (!outcome.ok()) {
    if (stream) stream->Abandon();
    ReportRunFailure(outcome);
    return FailureStatus(outcome);
  }
  // The module shows its own messages (on standard error, the editor having no window).
  if (!arguments.record.empty() && !RecordSettings(arguments.record, outcome, &error)) {
    if (InterruptRequested()) return Cancelled();
    Report(arguments.record + ": " + error);
    return kExitFailure;
  }

  std::vector<std::string> notes;
  const bool written =
      stream ? stream->Finish(&notes, &error)
             : WriteImageFile(arguments.output, inputs.input.image, inputs.input, &notes, &error);
  if (!written) {
    if (InterruptRequested()) return Cancelled();
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
  InterruptGuard interrupt;
  if (arguments.quiet) QuietImageLibrary();
  RunInputs inputs;
  if (!LoadRunInputs(arguments, &inputs)) return InterruptRequested() ? Cancelled() : kExitFailure;
  if (inputs.module->traceEntry() == nullptr) {
    Report("the filter module " + inputs.module->path() + " cannot list light sources");
    return kExitFailure;
  }
  RunOptions options;
  options.traceEntry = inputs.module->traceEntry();
  options.lightSourceSink = PrintLightSourceLine;
  const RunOutcome outcome = RunModule(arguments, inputs, options, false);
  if (!outcome.ok()) {
    ReportRunFailure(outcome);
    return FailureStatus(outcome);
  }
  return kExitSuccess;
}

}  // namespace lumeray
