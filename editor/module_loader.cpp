#include "module_loader.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <filesystem>
#include <utility>

#include "elf_sections.h"

namespace lumeray {
namespace {

bool IsRegularFile(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

std::vector<std::string> ModuleCandidates(const std::string& explicitPath, const char* environment,
                                          const std::string& editorDirectory) {
  if (!explicitPath.empty()) return {explicitPath};
  if (environment != nullptr && environment[0] != '\0') return {environment};
  std::vector<std::string> candidates;
  if (!editorDirectory.empty()) {
    candidates.push_back(editorDirectory + "/plug-ins/" + kModuleFileName);
    candidates.push_back(editorDirectory + "/../lib/lumeray/plug-ins/" + kModuleFileName);
  }
#ifdef LUMERAY_INSTALLED_PLUGIN_DIR
  candidates.push_back(std::string(LUMERAY_INSTALLED_PLUGIN_DIR) + "/" + kModuleFileName);
#endif
  return candidates;
}

std::optional<std::string> FindModule(const std::string& explicitPath, const char* environment,
                                      const std::string& editorDirectory, std::string* error) {
  const std::vector<std::string> candidates =
      ModuleCandidates(explicitPath, environment, editorDirectory);
  const bool chosenByUser =
      !explicitPath.empty() || (environment != nullptr && environment[0] != '\0');
  if (chosenByUser) return candidates.front();
  for (const std::string& candidate : candidates) {
    if (IsRegularFile(candidate)) return candidate;
  }
  *error = "the filter module " + std::string(kModuleFileName) + " was not found (looked in";
  for (size_t i = 0; i < candidates.size(); ++i) {
    *error += (i == 0 ? " " : ", ") + candidates[i];
  }
  *error += "; set " + std::string(kModuleEnvironmentVariable) + " or use --plugin)";
  return std::nullopt;
}

std::string ExecutableDirectory() {
  std::error_code failure;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", failure);
  if (failure) return {};
  return self.parent_path().string();
}

std::optional<PluginProperties> InspectModule(const std::string& path, int16_t imageMode,
                                              std::string* error) {
  ElfSection section;
  std::string reason;
  const ElfReadStatus status = ReadElfSection(
      path, ResourceSectionName(kPiplResourceType, kPiplResourceId), &section, &reason);
  switch (status) {
    case ElfReadStatus::kOk:
      break;
    case ElfReadStatus::kCannotOpen:
      *error = "cannot open the file: " + reason;
      return std::nullopt;
    case ElfReadStatus::kNotElf:
      *error = "not a filter module (" + reason + ")";
      return std::nullopt;
    case ElfReadStatus::kUnsupported:
      *error = "not a filter module for this system (" + reason + ")";
      return std::nullopt;
    case ElfReadStatus::kMalformed:
      *error = "damaged module file (" + reason + ")";
      return std::nullopt;
    case ElfReadStatus::kSectionMissing:
      *error = "not a filter module: it has no plug-in property list (" + reason + ")";
      return std::nullopt;
  }
  std::optional<PluginProperties> properties = ParsePipl(section.bytes, &reason);
  if (!properties) {
    *error = "malformed plug-in property list: " + reason;
    return std::nullopt;
  }
  if (!IsUsableFilterModule(*properties, &reason) ||
      !ModuleEnablesMode(*properties, imageMode, &reason)) {
    *error = reason;
    return std::nullopt;
  }
  return properties;
}

std::unique_ptr<LoadedModule> LoadedModule::Load(const std::string& path, int16_t imageMode,
                                                 std::string* error) {
  std::optional<PluginProperties> properties = InspectModule(path, imageMode, error);
  if (!properties) return nullptr;
  dlerror();
  // RTLD_NODELETE: the module's libraries (Qt among them) and any thread it leaves behind must
  // not lose their code when the editor lets go of the module.
  void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
  if (library == nullptr) {
    const char* reason = dlerror();
    *error = "the module cannot be loaded: " + std::string(reason != nullptr ? reason : "unknown");
    return nullptr;
  }
  void* symbol = dlsym(library, properties->entryPoint.c_str());
  if (symbol == nullptr) {
    *error = "the module has no entry point '" + properties->entryPoint + "'";
    dlclose(library);
    return nullptr;
  }
  auto entry = reinterpret_cast<PluginMainProc>(symbol);
  std::unique_ptr<LoadedModule> module(
      new LoadedModule(path, std::move(*properties), library, entry));
  module->traceEntry_ =
      reinterpret_cast<TraceLightSourcesProc>(dlsym(library, kTraceLightSourcesEntryName));
  return module;
}

LoadedModule::LoadedModule(std::string path, PluginProperties properties, void* library,
                           PluginMainProc entry)
    : path_(std::move(path)),
      properties_(std::move(properties)),
      library_(library),
      entry_(entry) {}

LoadedModule::~LoadedModule() {
  dlclose(library_);
}

}  // namespace lumeray
