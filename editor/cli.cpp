#include "cli.h"

#include <dlfcn.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>

#include "apply_command.h"
#include "host_session.h"
#include "module_loader.h"
#include "module_result.h"
#include "settings.h"

#ifndef LUMERAY_VERSION_STRING
#define LUMERAY_VERSION_STRING "unknown"
#endif

namespace lumeray {
namespace {

constexpr char kProgram[] = "lumeray";

bool ParseTileSize(const std::string& text, int* size, std::string* error) {
  int value = 0;
  const char* end = text.data() + text.size();
  const auto [last, status] = std::from_chars(text.data(), end, value);
  if (status != std::errc() || last != end || value < 1 || value > kMaxTileSize) {
    *error = "--tile needs a whole number from 1 to " + std::to_string(kMaxTileSize) + ", not \"" +
             text + "\"";
    return false;
  }
  *size = value;
  return true;
}

bool ParseMaxPixels(const std::string& text, uint64_t* limit, std::string* error) {
  uint64_t value = 0;
  const char* end = text.data() + text.size();
  const auto [last, status] = std::from_chars(text.data(), end, value);
  if (status != std::errc() || last != end || value < 1) {
    *error = "--max-pixels needs a whole number of pixels, not \"" + text + "\"";
    return false;
  }
  *limit = value;
  return true;
}

bool IsFlag(const std::string& name) {
  if (name == "--dialog" || name == "--quiet" || name == "--repeat") return true;
  const SettingOption* setting = FindSettingOption(name);
  return setting != nullptr && !SettingTakesValue(*setting);
}

bool IsValuedOption(const std::string& name) {
  if (name == "--mask" || name == "--play" || name == "--record" || name == "--tile" ||
      name == "--plugin" || name == "--max-pixels") {
    return true;
  }
  const SettingOption* setting = FindSettingOption(name);
  return setting != nullptr && SettingTakesValue(*setting);
}

bool StoreOption(const std::string& name, const std::string& value, ApplyArguments* apply,
                 std::string* error) {
  if (name == "--dialog") {
    apply->dialog = true;
  } else if (name == "--quiet") {
    apply->quiet = true;
  } else if (name == "--repeat") {
    apply->repeat = true;
  } else if (name == "--tile") {
    return ParseTileSize(value, &apply->tileSize, error);
  } else if (name == "--max-pixels") {
    return ParseMaxPixels(value, &apply->maxPixels, error);
  } else if (name == "--mask" || name == "--play" || name == "--record" || name == "--plugin") {
    if (value.empty()) {
      *error = name + " needs a file name";
      return false;
    }
    std::string* target = name == "--mask"     ? &apply->mask
                          : name == "--play"   ? &apply->play
                          : name == "--record" ? &apply->record
                                               : &apply->plugin;
    *target = value;
  } else {
    return ApplySetting(*FindSettingOption(name), value, &apply->settings, error);
  }
  return true;
}

// sources INPUT [--mask FILE] [--plugin PATH] [--tile N] [--max-pixels N] [--quiet]
bool ParseSources(const std::vector<std::string>& arguments, ApplyArguments* sources,
                  std::string* error) {
  for (size_t i = 1; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    const bool takesValue = argument == "--mask" || argument == "--plugin" ||
                            argument == "--tile" || argument == "--max-pixels";
    if (takesValue) {
      if (i + 1 >= arguments.size()) {
        *error = argument + " needs a value";
        return false;
      }
      const std::string& value = arguments[++i];
      if (argument == "--mask") sources->mask = value;
      if (argument == "--plugin") sources->plugin = value;
      if (argument == "--max-pixels" && !ParseMaxPixels(value, &sources->maxPixels, error)) {
        return false;
      }
      if (argument == "--tile") {
        int tile = 0;
        const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), tile);
        if (ec != std::errc() || end != value.data() + value.size() || tile < 1 ||
            tile > kMaxTileSize) {
          *error = "--tile takes a whole number from 1 to " + std::to_string(kMaxTileSize);
          return false;
        }
        sources->tileSize = tile;
      }
    } else if (argument == "--quiet") {
      sources->quiet = true;
    } else if (!argument.empty() && argument[0] == '-') {
      *error = "sources does not take " + argument;
      return false;
    } else if (sources->input.empty()) {
      sources->input = argument;
    } else {
      *error = "sources takes one image";
      return false;
    }
  }
  if (sources->input.empty()) {
    *error = "sources needs an image";
    return false;
  }
  return true;
}

bool ParseApply(const std::vector<std::string>& arguments, ApplyArguments* apply,
                std::string* error) {
  std::vector<std::string> positionals;
  std::set<std::string> seen;
  bool optionsEnded = false;
  for (size_t i = 1; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
      positionals.push_back(argument);
      continue;
    }
    if (argument == "--") {
      optionsEnded = true;
      continue;
    }
    std::string name = argument;
    std::string value;
    bool inlineValue = false;
    if (const size_t equals = argument.find('=');
        argument.rfind("--", 0) == 0 && equals != std::string::npos) {
      name = argument.substr(0, equals);
      value = argument.substr(equals + 1);
      inlineValue = true;
    }
    if (IsFlag(name)) {
      if (inlineValue) {
        *error = name + " takes no value";
        return false;
      }
    } else if (IsValuedOption(name)) {
      if (!inlineValue) {
        if (i + 1 >= arguments.size()) {
          *error = name + " needs a value";
          return false;
        }
        value = arguments[++i];
      }
    } else {
      *error = "unknown option " + name + " for apply";
      return false;
    }
    if (!seen.insert(name).second) {
      *error = name + " is given more than once";
      return false;
    }
    if (!StoreOption(name, value, apply, error)) return false;
  }
  if (apply->repeat && (!apply->play.empty() || !apply->settings.empty())) {
    *error = "--repeat uses the filter's last settings; it goes with neither --play nor settings";
    return false;
  }
  if (positionals.size() < 2) {
    *error = positionals.empty() ? "apply needs an INPUT and an OUTPUT image"
                                 : "apply needs an OUTPUT image after the INPUT";
    return false;
  }
  if (positionals.size() > 2) {
    *error = "apply takes one INPUT and one OUTPUT; unexpected \"" + positionals[2] + "\"";
    return false;
  }
  apply->input = positionals[0];
  apply->output = positionals[1];
  return true;
}

bool AsksForHelp(const std::vector<std::string>& arguments) {
  for (const std::string& argument : arguments) {
    if (argument == "--") return false;
    if (argument == "--help" || argument == "-h") return true;
  }
  return false;
}

// The module, loaded for one of its entries without a host run: the library stays open while
// the object lives. An empty object (with the reason on standard error) when that cannot be.
class ModuleEntry {
 public:
  explicit ModuleEntry(const char* name) {
    std::string error;
    const std::optional<std::string> path =
        FindModule("", std::getenv(kModuleEnvironmentVariable), ExecutableDirectory(), &error);
    constexpr int16_t kRgbMode = 3;
    if (!path || !InspectModule(*path, kRgbMode, &error)) {
      std::fprintf(stderr, "%s: %s\n", kProgram, error.c_str());
      return;
    }
    library_ = dlopen(path->c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    entry_ = library_ != nullptr ? dlsym(library_, name) : nullptr;
    if (entry_ == nullptr) {
      std::fprintf(
          stderr, "%s: cannot use the filter module %s: %s\n", kProgram, path->c_str(),
          library_ != nullptr ? (std::string("no ") + name + " entry").c_str() : dlerror());
    }
  }
  ~ModuleEntry() {
    if (library_ != nullptr) dlclose(library_);
  }
  ModuleEntry(const ModuleEntry&) = delete;
  ModuleEntry& operator=(const ModuleEntry&) = delete;

  template <typename Proc>
  Proc As() const {
    return reinterpret_cast<Proc>(entry_);
  }

 private:
  void* library_ = nullptr;
  void* entry_ = nullptr;
};

// Loads the module and runs its installation-time configuration of the preview.
int RunInstallConfig() {
  const ModuleEntry module("InstallConfiguration");
  const auto entry = module.As<int (*)(void*, void*, const char*, int)>();
  if (entry == nullptr) return kExitFailure;
  const int option = entry(nullptr, nullptr, LUMERAY_VERSION_STRING, 0);
  if (option == 0) {
    std::fprintf(stderr, "%s: the preview could not be configured (see the module's log)\n",
                 kProgram);
    return kExitFailure;
  }
  std::printf("OpenGL drawing option %d stored\n", option);
  return kExitSuccess;
}

// Loads the module and opens its options dialog (no image, no host run).
int RunOptions() {
  const ModuleEntry module("ConfigureOptions");
  const auto entry = module.As<int (*)(intptr_t)>();
  if (entry == nullptr) return kExitFailure;
  return entry(0) != 0 ? kExitSuccess : kExitFailure;
}

}  // namespace

bool ParseCommandLine(const std::vector<std::string>& arguments, CommandLine* commandLine,
                      std::string* error) {
  if (arguments.empty()) {
    *error = "no command given";
    return false;
  }
  if (AsksForHelp(arguments)) {
    commandLine->command = Command::kHelp;
    return true;
  }
  const std::string& command = arguments[0];
  if (command == "--version") {
    if (arguments.size() > 1) {
      *error = "--version takes no arguments";
      return false;
    }
    commandLine->command = Command::kVersion;
    return true;
  }
  if (command == "apply") {
    commandLine->command = Command::kApply;
    return ParseApply(arguments, &commandLine->apply, error);
  }
  if (command == "sources") {
    commandLine->command = Command::kSources;
    return ParseSources(arguments, &commandLine->apply, error);
  }
  if (command == "preview") {
    commandLine->command = Command::kPreview;
    return ParsePreview(arguments, &commandLine->preview, error);
  }
  if (command == "options") {
    commandLine->command = Command::kOptions;
    return true;
  }
  if (command == "install-config") {
    commandLine->command = Command::kInstallConfig;
    return true;
  }
  *error = (command.rfind('-', 0) == 0 ? "unknown option " : "unknown command ") + command;
  return false;
}

std::string HelpText() {
  std::string text =
      "Usage:\n"
      "  lumeray apply INPUT OUTPUT [settings] [--mask FILE] [--dialog] [--play FILE | --repeat]\n"
      "                [--record FILE] [--tile N] [--max-pixels N] [--plugin PATH] [--quiet]\n"
      "  lumeray sources INPUT [--mask FILE] [--max-pixels N]\n"
      "  lumeray preview INPUT OUTPUT [--size WxH] [--zoom Z] [--center X,Y] [settings]\n"
      "  lumeray options\n"
      "  lumeray install-config\n"
      "  lumeray --help | --version\n"
      "\n"
      "Runs the Lumeray Pro 2 filter on an image file (PNG, JPEG, TIFF, OpenEXR; 8-bit, 16-bit\n"
      "and floating point; grey or RGB, with or without alpha). The output keeps the input's\n"
      "format, bit depth, alpha and colour profile unless its name asks for another format.\n"
      "\n"
      "Commands:\n"
      "  apply           filter INPUT and write the result to OUTPUT\n"
      "  sources         list the light sources of INPUT\n"
      "  preview         write one frame of the live preview of INPUT to OUTPUT\n"
      "  options         open the module's options dialog\n"
      "  install-config  configure the preview at installation time\n"
      "\n"
      "Options of apply:\n"
      "  --mask FILE     a greyscale image of the same size; white is selected\n"
      "  --dialog        open the module's dialog before filtering\n"
      "  --play FILE     replay the settings recorded in FILE (settings given replace theirs)\n"
      "  --repeat        use the filter's last settings instead of the factory ones\n"
      "  --record FILE   record the settings used into FILE (JSON)\n"
      "  --tile N        the tile size offered to the module (default " +
      std::to_string(kDefaultTileSize) +
      ")\n"
      "  --max-pixels N  refuse images of more pixels (default " +
      std::to_string(kDefaultMaxPixels) +
      ")\n"
      "  --plugin PATH   the filter module to use\n"
      "  --quiet         no progress bar and no notes\n"
      "\n"
      "Settings (those not given keep their factory values):\n";
  for (const SettingOption& option : SettingOptions()) {
    std::string left = "  " + std::string(option.option);
    if (SettingTakesValue(option)) left += option.type == kTypeEnumerated ? " NAME" : " N";
    constexpr size_t kHelpColumn = 26;
    if (left.size() < kHelpColumn) left.resize(kHelpColumn, ' ');
    text += left + std::string(option.help) + "\n";
  }
  text += "  Effects: " + EffectNameList() +
          "\n"
          "\n"
          "The module is looked for at --plugin, then $" +
          std::string(kModuleEnvironmentVariable) +
          ", then next to the editor.\n"
          "Exit status: 0 success, 1 failure, 2 usage error, 130 cancelled (Ctrl-C; 143 and 129\n"
          "when ended by SIGTERM or SIGHUP). A cancelled run leaves no output.\n";
  return text;
}

std::string VersionText() {
  return std::string(kProgram) + " " + LUMERAY_VERSION_STRING + "\n";
}

namespace {

int RunCommand(const CommandLine& commandLine) {
  switch (commandLine.command) {
    case Command::kHelp:
      std::fputs(HelpText().c_str(), stdout);
      return kExitSuccess;
    case Command::kVersion:
      std::fputs(VersionText().c_str(), stdout);
      return kExitSuccess;
    case Command::kApply:
      return RunApply(commandLine.apply);
    case Command::kSources:
      return RunSources(commandLine.apply);
    case Command::kPreview:
      return RunPreview(commandLine.preview);
    case Command::kOptions:
      return RunOptions();
    case Command::kInstallConfig:
      return RunInstallConfig();
  }
  return kExitFailure;
}

}  // namespace

int RunEditor(int argc, char** argv) {
  std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  CommandLine commandLine;
  std::string error;
  if (!ParseCommandLine(arguments, &commandLine, &error)) {
    std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", kProgram, error.c_str(),
                 kProgram);
    return kExitUsage;
  }
  const int status = RunCommand(commandLine);
  // What was written to standard output must have arrived (a full disk, a closed pipe).
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::fprintf(stderr, "%s: cannot write to standard output: %s\n", kProgram,
                 std::strerror(errno != 0 ? errno : EIO));
    return status == kExitSuccess ? kExitFailure : status;
  }
  return status;
}

}  // namespace lumeray
