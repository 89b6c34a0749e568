// The `lumeray` command line: parsing, help and dispatch.
//
//   lumeray apply INPUT OUTPUT [settings] [--mask FILE] [--dialog] [--play FILE | --repeat]
//                 [--record FILE] [--tile N] [--max-pixels N] [--plugin PATH] [--quiet]
//   lumeray sources INPUT [--mask FILE] [--max-pixels N]
//   lumeray preview INPUT OUTPUT [--size WxH] [--zoom Z] [--center X,Y] [settings]
//   lumeray options
//   lumeray install-config
//   lumeray --help | --version
//
// Options take their value as the next argument or after '='; "--" ends the options. Every
// usage error is reported on standard error with exit status 2 before anything is read.
// --repeat (the module's own last settings, nothing played) goes with neither --play nor
// settings. Whatever a command writes on standard output is checked: a failed write (a full
// disk, a closed pipe) is reported on standard error with exit status 1.
//
// Threading: runs on the main thread.
#pragma once

#include <string>
#include <vector>

#include "descriptor.h"
#include "image_io.h"
#include "preview_command.h"

namespace lumeray {

enum class Command { kHelp, kVersion, kApply, kSources, kPreview, kOptions, kInstallConfig };

struct ApplyArguments {
  std::string input;
  std::string output;
  std::string mask;
  std::string play;
  std::string record;
  std::string plugin;
  bool dialog = false;
  bool repeat = false;
  bool quiet = false;
  int tileSize = 0;  // 0: the editor's default
  uint64_t maxPixels = kDefaultMaxPixels;
  Descriptor settings;
};

struct CommandLine {
  Command command = Command::kHelp;
  ApplyArguments apply;
  PreviewArguments preview;
};

// Parses the arguments after the program name.
bool ParseCommandLine(const std::vector<std::string>& arguments, CommandLine* commandLine,
                      std::string* error);

std::string HelpText();
std::string VersionText();

// The whole program: parses, runs the command and returns the exit status.
int RunEditor(int argc, char** argv);

}  // namespace lumeray
