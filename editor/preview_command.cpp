#include "preview_command.h"

#include <dlfcn.h>

#include <charconv>
#include <cstdio>
#include <cstdlib>

#include "host_session.h"
#include "icc_profile.h"
#include "image_io.h"
#include "interrupt.h"
#include "module_loader.h"
#include "module_result.h"
#include "played_settings.h"
#include "progress.h"
#include "settings.h"

namespace lumeray {
namespace {

constexpr int kLargestFrameEdge = 16384;

// The module's preview entry and its request (the layout LumerayRenderPreview takes).
struct FrameRequest {
  int32_t width;
  int32_t height;
  double zoom;
  double centerX;
  double centerY;
};
using FrameSink = void (*)(void* context, int32_t width, int32_t height, const uint8_t* bgra);
using RenderPreviewProc = void (*)(void* record, intptr_t* data, int16_t* result,
                                   const FrameRequest* request, FrameSink sink, void* context);
constexpr char kRenderPreviewEntry[] = "LumerayRenderPreview";

void Report(const std::string& message) {
  std::fprintf(stderr, "lumeray: %s\n", message.c_str());
}

bool ParseNumber(std::string_view text, double* value) {
  const char* end = text.data() + text.size();
  const auto [last, status] = std::from_chars(text.data(), end, *value);
  return status == std::errc() && last == end;
}

bool ParsePair(const std::string& text, char separator, double* a, double* b) {
  const size_t at = text.find(separator);
  return at != std::string::npos && ParseNumber(std::string_view(text).substr(0, at), a) &&
         ParseNumber(std::string_view(text).substr(at + 1), b);
}

// What one run hands to the module's listing slot: the preview entry, the request, the frame.
struct PreviewJob {
  RenderPreviewProc entry;
  FrameRequest request;
  HostImage frame;
};

void KeepFrame(void* context, int32_t width, int32_t height, const uint8_t* bgra) {
  auto* job = static_cast<PreviewJob*>(context);
  job->frame = HostImage::Create(width, height, 3, false, SampleType::kUInt8);
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* row = bgra + static_cast<size_t>(height - 1 - y) * width * 4;
    uint8_t* out = job->frame.Pixel(0, y);
    for (int32_t x = 0; x < width; ++x) {
      out[3 * x] = row[4 * x + 2];
      out[3 * x + 1] = row[4 * x + 1];
      out[3 * x + 2] = row[4 * x];
    }
  }
}

// Takes the listing entry's place: the session calls it after Prepare.
void CallPreviewEntry(void* record, intptr_t* data, int16_t* result, LightSourceSinkProc,
                      void* context) {
  auto* job = static_cast<PreviewJob*>(context);
  job->entry(record, data, result, &job->request, &KeepFrame, job);
}

void IgnoreLine(void*, const char*) {}

}  // namespace

bool ParsePreview(const std::vector<std::string>& arguments, PreviewArguments* preview,
                  std::string* error) {
  std::vector<std::string> positionals;
  for (size_t i = 1; i < arguments.size(); ++i) {
    std::string name = arguments[i], value;
    if (name.rfind("--", 0) != 0) {
      positionals.push_back(name);
      continue;
    }
    if (const size_t eq = name.find('='); eq != std::string::npos) {
      value = name.substr(eq + 1);
      name.resize(eq);
    }
    const SettingOption* setting = FindSettingOption(name);
    const bool valued = name == "--size" || name == "--zoom" || name == "--center" ||
                        name == "--plugin" || (setting != nullptr && SettingTakesValue(*setting));
    if (valued && value.empty() && arguments[i].find('=') == std::string::npos) {
      if (i + 1 >= arguments.size()) {
        *error = name + " needs a value";
        return false;
      }
      value = arguments[++i];
    }
    if (name == "--quiet") {
      preview->quiet = true;
    } else if (name == "--plugin") {
      preview->plugin = value;
    } else if (name == "--size") {
      double w = 0, h = 0;
      if (!ParsePair(value, 'x', &w, &h) || w != int(w) || h != int(h) || w < 3 || h < 3 ||
          w > kLargestFrameEdge || h > kLargestFrameEdge) {
        *error = "--size needs WIDTHxHEIGHT, each from 3 to " + std::to_string(kLargestFrameEdge) +
                 ", not \"" + value + "\"";
        return false;
      }
      preview->width = int(w), preview->height = int(h);
    } else if (name == "--zoom") {
      if (!ParseNumber(value, &preview->zoom) || preview->zoom < 1 || preview->zoom > 1600) {
        *error = "--zoom needs a percentage from 1 to 1600, not \"" + value + "\"";
        return false;
      }
    } else if (name == "--center") {
      if (!ParsePair(value, ',', &preview->centerX, &preview->centerY) || preview->centerX < 0 ||
          preview->centerY < 0) {
        *error = "--center needs X,Y in image pixels, not \"" + value + "\"";
        return false;
      }
    } else if (setting != nullptr) {
      if (!ApplySetting(*setting, value, &preview->settings, error)) return false;
    } else {
      *error = "unknown option " + name + " for preview";
      return false;
    }
  }
  if (positionals.size() != 2) {
    *error = "preview needs one INPUT and one OUTPUT image";
    return false;
  }
  preview->input = positionals[0];
  preview->output = positionals[1];
  return true;
}

int RunPreview(const PreviewArguments& arguments) {
  std::string error;
  if (!CheckOutputPath(arguments.output, &error)) {
    Report(arguments.output + ": " + error);
    return kExitFailure;
  }
  ImageFile input;
  std::vector<std::string> notes;
  if (!ReadImageFile(arguments.input, &input, &notes, &error)) {
    Report(arguments.input + ": " + error);
    return kExitFailure;
  }
  HostImage& image = input.image;  // a listing run never changes it
  if (!image.iccProfile.empty() && !CheckIccProfile(image.iccProfile, image.colourPlanes, &error)) {
    Report(arguments.input + ": " + error);
    return kExitFailure;
  }
  const std::optional<std::string> modulePath = FindModule(
      arguments.plugin, std::getenv(kModuleEnvironmentVariable), ExecutableDirectory(), &error);
  if (!modulePath) {
    Report(error);
    return kExitFailure;
  }
  std::unique_ptr<LoadedModule> module =
      LoadedModule::Load(*modulePath, HostImageMode(image), &error);
  if (!module) {
    Report("cannot use the filter module " + *modulePath + ": " + error);
    return kExitFailure;
  }
  // The module is loaded already: this only finds its handle.
  void* library = dlopen(modulePath->c_str(), RTLD_NOW | RTLD_NOLOAD);
  auto entry = library != nullptr
                   ? reinterpret_cast<RenderPreviewProc>(dlsym(library, kRenderPreviewEntry))
                   : nullptr;
  if (library != nullptr) dlclose(library);
  if (entry == nullptr) {
    Report("the filter module " + *modulePath + " cannot draw a preview");
    return kExitFailure;
  }

  PreviewJob job{
      entry,
      {arguments.width, arguments.height, arguments.zoom, arguments.centerX, arguments.centerY},
      {}};
  const Descriptor played = CompleteSettings(arguments.settings);
  RunOutcome outcome;
  {
    InterruptGuard interrupt;
    ProgressBar bar(!arguments.quiet && StandardErrorIsTerminal(), stderr);
    RunOptions options;
    options.progressBar = &bar;
    options.played = &played;
    options.traceEntry = &CallPreviewEntry;
    options.lightSourceSink = &IgnoreLine;
    options.sinkContext = &job;
    HostSession session(module->entry());
    outcome = session.Run(image, options);
  }
  if (!outcome.ok() || job.frame.pixels.empty()) {
    Report("the filter could not draw the preview (module result " +
           std::to_string(outcome.result) + ")" +
           (outcome.moduleMessage.empty() ? "" : ": " + outcome.moduleMessage));
    return outcome.ok() ? kExitFailure : ExitStatusForResult(outcome.result);
  }
  ImageFile shape;
  shape.image = job.frame;
  shape.formatName = "png";
  shape.description = OIIO::ImageSpec(job.frame.width, job.frame.height, 3, OIIO::TypeDesc::UINT8);
  if (!WriteImageFile(arguments.output, job.frame, shape, &notes, &error)) {
    Report(arguments.output + ": " + error);
    return kExitFailure;
  }
  return kExitSuccess;
}

}  // namespace lumeray
