// The host's action descriptors of the suites (PIActionDescriptor) and its descriptor registry.
//
// The module keeps its whole parameter block in the registry between runs: it makes an action
// descriptor, puts data under a key, and registers it by name as persistent; at the next Start it
// gets a copy back and frees it. This file holds
//  * DescriptorStore: the live action descriptors of a session (made, copied out of the
//    registry, freed) and the registry itself;
//  * the two suites' procedure tables: the registry suite version 1 (Register, Erase, Get) and
//    the action descriptor suite (Make, Free, PutData, GetDataLength, GetData), the same table
//    for versions 3 and 2.
//
// Conventions
//  * Persistent entries are written to the registry file (when one is set) at every Register or
//    Erase that changes them: a small text file, one line per data value,
//    "<entry name> TAB <key as 8 hex digits> TAB <bytes as hex>", written atomically. A file
//    that cannot be read as such is ignored (the registry starts empty) and left in place until
//    the next write replaces it.
//  * Entry names holding a tab or a line break are refused.
//  * Get hands out a new descriptor the caller frees; Free of a descriptor the store did not make
//    is refused.
//
// Threading: a store belongs to one session and is used on its run thread. The suite procedures
// find it through the calling thread's host context (host_context.h).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "filter_interface.h"

// Defined by the host only: a descriptor of raw data values.
struct ActionDescriptorRecord {
  std::map<DescriptorKeyID, std::vector<uint8_t>> data;
};

namespace lumeray {

constexpr int32_t kRegistrySuiteVersion = 1;
constexpr int32_t kActionDescriptorSuiteVersion = 3;
constexpr int32_t kActionDescriptorSuiteOldVersion = 2;
constexpr SPErr kRegistryEntryMissingErr = FourCC("!Fnd");
constexpr SPErr kRegistryWriteErr = FourCC("!Sav");
constexpr SPErr kDescriptorKeyMissingErr = FourCC("!Key");
constexpr SPErr kDescriptorBadParameterErr = FourCC("Parm");

struct RegistryEntry {
  ActionDescriptorRecord values;
  bool persistent = false;
};

class DescriptorStore {
 public:
  DescriptorStore() = default;
  DescriptorStore(const DescriptorStore&) = delete;
  DescriptorStore& operator=(const DescriptorStore&) = delete;

  // Loads the persistent entries of `path` (replacing the registry) and writes there from now
  // on. A missing file is an empty registry. False (with a message) when the file is unreadable.
  bool UseRegistryFile(const std::string& path, std::string* error);

  PIActionDescriptor Make();
  PIActionDescriptor MakeCopy(const ActionDescriptorRecord& values);
  bool Free(PIActionDescriptor descriptor);
  bool IsLive(PIActionDescriptor descriptor) const { return live_.count(descriptor) != 0; }
  size_t liveCount() const { return live_.size(); }

  SPErr Register(const std::string& name, const ActionDescriptorRecord& values, bool persistent);
  SPErr Erase(const std::string& name);
  const RegistryEntry* Find(const std::string& name) const;

  const std::string& registryFile() const { return file_; }
  const std::string& lastWriteError() const { return lastWriteError_; }

 private:
  SPErr SavePersistent();

  std::unordered_map<PIActionDescriptor, std::unique_ptr<ActionDescriptorRecord>> live_;
  std::map<std::string, RegistryEntry> registry_;
  std::string file_;
  std::string lastWriteError_;
};

// The registry file of the editor: $XDG_STATE_HOME/lumeray/registry, or
// ~/.local/state/lumeray/registry; "" when neither variable is set.
std::string DefaultRegistryFile();

// Reads and writes the registry file's text; exposed for the tests.
std::string FormatRegistry(const std::map<std::string, RegistryEntry>& entries);
bool ParseRegistry(const std::string& text, std::map<std::string, RegistryEntry>* entries);

DescriptorRegistrySuite1 MakeRegistrySuite();
ActionDescriptorSuite MakeActionDescriptorSuite();

}  // namespace lumeray
