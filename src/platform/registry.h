// The registry stand-in: small INI-style files, one per hive, under
// $XDG_CONFIG_HOME/lumeray/ (default ~/.config/lumeray/): "local-machine.ini" and
// "current-user.ini". A section is a key path as the module names it
// ("Software\Vantrel Software\LumerayPro\2.0\OpenGLSettings"); a value is a name with a typed
// value: 32-bit, 64-bit or text.
//
// Writes replace the file through a temporary name and a rename, so a crash never leaves a
// truncated file. Every operation reads or writes the file anew: values set by another process
// are seen (between processes the last writer wins). Key paths and value names ignore ASCII case,
// as in the system registry; a value is read only with the getter of its own type. The file
// format is described in registry.cpp.
//
// Threading contract: safe from any thread; operations on the same hive are serialised.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace lumeray::platform {

enum class Hive { kLocalMachine, kCurrentUser };

// The file that holds a hive.
std::string HiveFilePath(Hive hive);

class RegistryKey {
 public:
  // Opens a key; with create = false a key that holds no values yet does not exist (a key exists
  // when it or one of its sub-keys holds a value). Nothing is written until a value is set.
  // Leading and trailing backslashes are ignored; an empty path or one with control characters
  // gives nullopt.
  static std::optional<RegistryKey> Open(Hive hive, const std::string& path, bool create);

  std::optional<uint32_t> GetDword(const std::string& name) const;
  std::optional<uint64_t> GetQword(const std::string& name) const;
  std::optional<std::string> GetString(const std::string& name) const;

  // Return 0 or an errno value (DeleteValue: ENOENT when there is no such value).
  int SetDword(const std::string& name, uint32_t value);
  int SetQword(const std::string& name, uint64_t value);
  int SetString(const std::string& name, const std::string& value);
  int DeleteValue(const std::string& name);

  const std::string& path() const { return path_; }

 private:
  RegistryKey(Hive hive, std::string path) : hive_(hive), path_(std::move(path)) {}
  Hive hive_;
  std::string path_;
};

}  // namespace lumeray::platform
