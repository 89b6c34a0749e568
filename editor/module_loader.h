// Finding, checking and loading the filter module.
//
// A module is checked before it is loaded: its plug-in property list is read from the file
// (section ".rsrc.PiPL.16000"), must describe a filter with a 64-bit entry point, and must enable
// the mode of the image to be filtered. Only then is the file opened with dlopen (RTLD_NOW |
// RTLD_LOCAL) and the entry named by the list looked up. A refused module is never loaded.
//
// Where the module is looked for, first match wins: the path given on the command line, the
// LUMERAY_PLUGIN environment variable, <editor dir>/plug-ins (build tree),
// <editor dir>/../lib/lumeray/plug-ins and the configured installation folder.
//
// Threading: Load and the lookup run on the caller's thread; a LoadedModule may be shared
// read-only, and its entry is called only on the editor's run thread.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "filter_interface.h"
#include "pipl.h"

namespace lumeray {

inline constexpr char kModuleFileName[] = "LumerayPro2.8bf";
inline constexpr char kModuleEnvironmentVariable[] = "LUMERAY_PLUGIN";
inline constexpr char kPiplResourceType[] = "PiPL";
inline constexpr int kPiplResourceId = 16000;

// The places the module is looked for, in order, given the command-line path (may be empty),
// the environment value (may be null) and the editor's own folder.
std::vector<std::string> ModuleCandidates(const std::string& explicitPath, const char* environment,
                                          const std::string& editorDirectory);

// The first candidate that exists. An explicit path or environment value is taken as it
// stands (a missing file is then reported by the loader, never silently passed over).
std::optional<std::string> FindModule(const std::string& explicitPath, const char* environment,
                                      const std::string& editorDirectory, std::string* error);

// The folder of the running executable ("" when it cannot be found).
std::string ExecutableDirectory();

// Reads and checks the module's property list for an image of `imageMode` without loading it.
std::optional<PluginProperties> InspectModule(const std::string& path, int16_t imageMode,
                                              std::string* error);

class LoadedModule {
 public:
  // Inspects, then loads the module and resolves its entry; nothing stays loaded on failure.
  static std::unique_ptr<LoadedModule> Load(const std::string& path, int16_t imageMode,
                                            std::string* error);
  ~LoadedModule();
  LoadedModule(const LoadedModule&) = delete;
  LoadedModule& operator=(const LoadedModule&) = delete;

  PluginMainProc entry() const { return entry_; }
  // The module's light source listing entry, or null when the module has none.
  TraceLightSourcesProc traceEntry() const { return traceEntry_; }
  const PluginProperties& properties() const { return properties_; }
  const std::string& path() const { return path_; }

 private:
  LoadedModule(std::string path, PluginProperties properties, void* library, PluginMainProc entry);

  std::string path_;
  PluginProperties properties_;
  void* library_;
  PluginMainProc entry_;
  TraceLightSourcesProc traceEntry_ = nullptr;
};

}  // namespace lumeray
