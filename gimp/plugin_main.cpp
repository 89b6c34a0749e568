// lumeray-gimp: the GIMP 2.10 plug-in that hosts the Lumeray Pro 2 module.
//
// GIMP starts this program to register the procedure plug-in-lumeray-pro-2 (query) and once per
// run (run). A run reads the drawable and the selection (drawable_exchange.h), loads the module,
// and drives it with the editor's host session (host_session.h), exactly as `lumeray apply`
// does; the result goes back through GIMP's shadow buffer as one undo step.
//
// Run modes
//  * non-interactive: the settings arguments (pdb_settings.h) are played to the module silently;
//  * with-last-values: the settings of the last successful run in this GIMP session, played
//    silently (the factory settings when there was none);
//  * interactive: the module's dialog, opened on the last settings (or on the module's own
//    stored settings when GIMP holds none).
// What the module records at the end of a successful run is kept with gimp_set_data as the
// last values.
//
// Threading: libgimp is single-threaded; the plug-in's main thread runs everything here and is
// the module's run thread.
#include <libgimp/gimp.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "descriptor_registry.h"
#include "drawable_exchange.h"
#include "gimp_progress.h"
#include "host_session.h"
#include "module_loader.h"
#include "pdb_settings.h"
#include "played_settings.h"
#include "run_report.h"

namespace lumeray::gimp_bridge {
namespace {

constexpr char kProcedureName[] = "plug-in-lumeray-pro-2";
constexpr char kMenuLabel[] = "Lumeray Pro 2\u2026";
constexpr char kMenuPath[] = "<Image>/Filters/Light and Shadow";
constexpr char kProgressTitle[] = "Lumeray Pro 2";
constexpr int kFixedArguments = 3;  // run-mode, image, drawable

GimpParamDef ParamDef(GimpPDBArgType type, const std::string& name,
                      const std::string& description) {
  return GimpParamDef{type, const_cast<gchar*>(name.c_str()),
                      const_cast<gchar*>(description.c_str())};
}

void Query() {
  const std::vector<SettingArgument> settings = SettingArguments();
  const std::string runMode = "run-mode";
  const std::string runModeText =
      "The run mode { RUN-INTERACTIVE (0), RUN-NONINTERACTIVE (1), RUN-WITH-LAST-VALS (2) }";
  const std::string image = "image";
  const std::string imageText = "Input image";
  const std::string drawable = "drawable";
  const std::string drawableText = "Input drawable";
  std::vector<GimpParamDef> params{ParamDef(GIMP_PDB_INT32, runMode, runModeText),
                                   ParamDef(GIMP_PDB_IMAGE, image, imageText),
                                   ParamDef(GIMP_PDB_DRAWABLE, drawable, drawableText)};
  for (const SettingArgument& setting : settings) {
    params.push_back(ParamDef(setting.integer ? GIMP_PDB_INT32 : GIMP_PDB_FLOAT, setting.name,
                              setting.description));
  }
  gimp_install_procedure(
      kProcedureName, "Photo-realistic diffraction stars on the light sources of the image",
      "Finds the light sources of the drawable (within the selection) and draws a star of "
      "diffraction spikes, secondary spikes and a soft flare at each, with the Lumeray Pro 2 "
      "filter module.",
      "Vantrel Software", "Vantrel Software", "2026", kMenuLabel, "RGB*, GRAY*", GIMP_PLUGIN,
      static_cast<gint>(params.size()), 0, params.data(), nullptr);
  gimp_plugin_menu_register(kProcedureName, kMenuPath);
}

// The settings GIMP keeps from the last successful run of this session.
bool LastValues(Descriptor* settings) {
  const gint size = gimp_get_data_size(kProcedureName);
  if (size <= 0) return false;
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  if (!gimp_get_data(kProcedureName, bytes.data())) return false;
  return DecodeDescriptor(bytes, settings);
}

void KeepLastValues(const Descriptor& settings) {
  const std::vector<uint8_t> bytes = EncodeDescriptor(settings);
  if (!bytes.empty())
    gimp_set_data(kProcedureName, bytes.data(), static_cast<guint32>(bytes.size()));
}

// The module beside the plug-in (its installed layout), else where the editor looks for it.
std::optional<std::string> FindBridgedModule(std::string* error) {
  const char* environment = std::getenv(kModuleEnvironmentVariable);
  const std::string directory = ExecutableDirectory();
  if ((environment == nullptr || environment[0] == '\0') && !directory.empty()) {
    const std::string beside = directory + "/" + kModuleFileName;
    if (access(beside.c_str(), F_OK) == 0) return beside;
  }
  return FindModule("", environment, directory, error);
}

struct RunRequest {
  GimpRunMode mode = GIMP_RUN_NONINTERACTIVE;
  gint32 image = -1;
  gint32 drawable = -1;
  Descriptor played;
  bool hasPlayed = false;
};

struct RunResult {
  GimpPDBStatusType status = GIMP_PDB_SUCCESS;
  std::string message;
};

RunResult Failure(GimpPDBStatusType status, std::string message) {
  return RunResult{status, std::move(message)};
}

// The settings a run plays, from its mode and arguments.
RunResult PrepareRequest(gint nparams, const GimpParam* param, RunRequest* request) {
  if (nparams < kFixedArguments) return Failure(GIMP_PDB_CALLING_ERROR, "too few arguments");
  request->mode = static_cast<GimpRunMode>(param[0].data.d_int32);
  request->image = param[1].data.d_image;
  request->drawable = param[2].data.d_drawable;
  switch (request->mode) {
    case GIMP_RUN_NONINTERACTIVE: {
      std::vector<double> values;
      const std::vector<SettingArgument> arguments = SettingArguments();
      if (nparams != kFixedArguments + static_cast<gint>(arguments.size())) {
        return Failure(GIMP_PDB_CALLING_ERROR, "the procedure takes " +
                                                   std::to_string(arguments.size()) +
                                                   " settings after the drawable");
      }
      for (size_t i = 0; i < arguments.size(); ++i) {
        const GimpParam& value = param[kFixedArguments + i];
        values.push_back(arguments[i].integer ? value.data.d_int32 : value.data.d_float);
      }
      std::string error;
      if (!SettingsFromArguments(values, &request->played, &error)) {
        return Failure(GIMP_PDB_CALLING_ERROR, error);
      }
      request->hasPlayed = true;
      break;
    }
    case GIMP_RUN_WITH_LAST_VALS:
      if (!LastValues(&request->played)) request->played = CompleteSettings({});
      request->hasPlayed = true;
      break;
    case GIMP_RUN_INTERACTIVE:
      request->hasPlayed = LastValues(&request->played);
      break;
    default:
      return Failure(GIMP_PDB_CALLING_ERROR, "unknown run mode");
  }
  return {};
}

RunResult RunFilter(const RunRequest& request) {
  std::string error;
  DrawableRegion region;
  HostImage pixels;
  GreyMask mask;
  bool masked = false;
  if (!ReadDrawable(request.image, request.drawable, &region, &pixels, &mask, &masked, &error)) {
    return Failure(GIMP_PDB_EXECUTION_ERROR, error);
  }
  if (region.width == 0) return {};  // the selection does not touch the drawable

  const std::optional<std::string> modulePath = FindBridgedModule(&error);
  if (!modulePath) return Failure(GIMP_PDB_EXECUTION_ERROR, error);
  const std::unique_ptr<LoadedModule> module =
      LoadedModule::Load(*modulePath, HostImageMode(pixels), &error);
  if (!module) {
    return Failure(GIMP_PDB_EXECUTION_ERROR,
                   "cannot use the filter module " + *modulePath + ": " + error);
  }

  const bool interactive = request.mode == GIMP_RUN_INTERACTIVE;
  RunOutcome outcome;
  {
    GimpProgress progress(kProgressTitle, GimpCommandFd());
    RunOptions options;
    options.parametersSelector = interactive;
    options.mask = masked ? &mask : nullptr;
    options.confineToMask = false;  // gimp_drawable_merge_shadow applies the selection
    options.progressBar = &progress;
    options.played = request.hasPlayed ? &request.played : nullptr;
    options.playInfo = interactive ? kPlayDialogDisplay : kPlayDialogSilent;
    HostSession session(module->entry());
    if (!session.UseRegistryFile(DefaultRegistryFile(), &error)) {
      std::fprintf(stderr, "lumeray-gimp: the filter's stored settings are not available: %s\n",
                   error.c_str());
    }
    outcome = session.Run(pixels, options);
  }
  if (!outcome.ok()) {
    std::string message;
    for (const std::string& line : DescribeRunFailure(outcome)) {
      message += (message.empty() ? "" : "\n") + line;
    }
    return Failure(outcome.result == kUserCanceledErr ? GIMP_PDB_CANCEL : GIMP_PDB_EXECUTION_ERROR,
                   message);
  }
  if (!outcome.moduleMessage.empty()) {
    std::fprintf(stderr, "lumeray-gimp: the module says: %s\n", outcome.moduleMessage.c_str());
  }
  if (!WriteDrawable(region, pixels, &error)) return Failure(GIMP_PDB_EXECUTION_ERROR, error);
  if (outcome.hasRecorded) {
    KeepLastValues(outcome.recorded);
  } else if (request.hasPlayed) {
    KeepLastValues(request.played);
  }
  if (request.mode != GIMP_RUN_NONINTERACTIVE) gimp_displays_flush();
  return {};
}

void Run(const gchar*, gint nparams, const GimpParam* param, gint* nreturnVals,
         GimpParam** returnVals) {
  // libgimp reads the return values after this function returns, so they outlive the call.
  // GIMP shows the message of a failed run itself.
  static GimpParam values[2];
  static std::string message;
  gegl_init(nullptr, nullptr);

  RunRequest request;
  RunResult result = PrepareRequest(nparams, param, &request);
  if (result.status == GIMP_PDB_SUCCESS) {
    try {
      result = RunFilter(request);
    } catch (const std::bad_alloc&) {
      result = Failure(GIMP_PDB_EXECUTION_ERROR, "not enough memory");
    }
  }
  message = result.message;
  values[0].type = GIMP_PDB_STATUS;
  values[0].data.d_status = result.status;
  *nreturnVals = 1;
  if (!message.empty()) {
    values[1].type = GIMP_PDB_STRING;
    values[1].data.d_string = const_cast<gchar*>(message.c_str());
    *nreturnVals = 2;
  }
  *returnVals = values;
}

}  // namespace
}  // namespace lumeray::gimp_bridge

namespace {

void QueryProcedures() {
  lumeray::gimp_bridge::Query();
}

void RunProcedure(const gchar* name, gint nparams, const GimpParam* param, gint* nreturnVals,
                  GimpParam** returnVals) {
  lumeray::gimp_bridge::Run(name, nparams, param, nreturnVals, returnVals);
}

}  // namespace

// libgimp's plug-in table, found by name by gimp_main.
const GimpPlugInInfo PLUG_IN_INFO = {nullptr, nullptr, QueryProcedures, RunProcedure};

int main(int argc, char** argv) {
  return gimp_main(&PLUG_IN_INFO, argc, argv);
}
