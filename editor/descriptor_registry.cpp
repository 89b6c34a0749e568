#include "descriptor_registry.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>
#include <sstream>

#include "atomic_file.h"
#include "host_context.h"
#include "suites.h"

namespace lumeray {
namespace {

constexpr char kRegistryFileHeader[] = "lumeray registry 1";
constexpr char kFieldSeparator = '\t';
constexpr size_t kMaxRegistryFileBytes = size_t{16} << 20;
constexpr size_t kKeyHexDigits = 8;
constexpr char kHexDigits[] = "0123456789abcdef";

DescriptorStore* CurrentStore() {
  HostContext* context = CurrentHostContext();
  return context != nullptr && context->suites != nullptr ? &context->suites->descriptors()
                                                          : nullptr;
}

bool IsUsableName(const std::string& name) {
  return !name.empty() && name.find_first_of("\t\r\n") == std::string::npos;
}

void AppendHex(std::string* text, const uint8_t* bytes, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    text->push_back(kHexDigits[bytes[i] >> 4]);
    text->push_back(kHexDigits[bytes[i] & 0xF]);
  }
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool ParseHex(std::string_view text, std::vector<uint8_t>* bytes) {
  if (text.size() % 2 != 0) return false;
  bytes->clear();
  for (size_t i = 0; i < text.size(); i += 2) {
    const int high = HexValue(text[i]);
    const int low = HexValue(text[i + 1]);
    if (high < 0 || low < 0) return false;
    bytes->push_back(static_cast<uint8_t>(high << 4 | low));
  }
  return true;
}

// ---- Suite procedures ----------------------------------------------------------------------

SPErr RegisterProc(const char* key, PIActionDescriptor descriptor, Boolean isPersistent) {
  DescriptorStore* store = CurrentStore();
  if (store == nullptr || key == nullptr || !store->IsLive(descriptor)) {
    return kDescriptorBadParameterErr;
  }
  return store->Register(key, *descriptor, isPersistent != 0);
}

SPErr EraseProc(const char* key) {
  DescriptorStore* store = CurrentStore();
  if (store == nullptr || key == nullptr) return kDescriptorBadParameterErr;
  return store->Erase(key);
}

SPErr GetProc(const char* key, PIActionDescriptor* descriptor) {
  DescriptorStore* store = CurrentStore();
  if (store == nullptr || key == nullptr || descriptor == nullptr) {
    return kDescriptorBadParameterErr;
  }
  *descriptor = nullptr;
  const RegistryEntry* entry = store->Find(key);
  if (entry == nullptr) return kRegistryEntryMissingErr;
  *descriptor = store->MakeCopy(entry->values);
  return *descriptor != nullptr ? kSPNoError : SPErr{kMemFullErr};
}

SPErr MakeProc(PIActionDescriptor* descriptor) {
  DescriptorStore* store = CurrentStore();
  if (store == nullptr || descriptor == nullptr) return kDescriptorBadParameterErr;
  *descriptor = store->Make();
  return *descriptor != nullptr ? kSPNoError : SPErr{kMemFullErr};
}

SPErr FreeProc(PIActionDescriptor descriptor) {
  DescriptorStore* store = CurrentStore();
  if (store == nullptr || !store->Free(descriptor)) return kDescriptorBadParameterErr;
  return kSPNoError;
}

SPErr PutDataProc(PIActionDescriptor descriptor, DescriptorKeyID key, int32_t length, void* value) {
  DescriptorStore* store = CurrentStore();
  if (store == nullptr || !store->IsLive(descriptor) || length < 0 ||
      (length > 0 && value == nullptr)) {
    return kDescriptorBadParameterErr;
  }
  const auto* bytes = static_cast<const uint8_t*>(value);
  descriptor->data[key].assign(bytes, bytes + length);
  return kSPNoError;
}

SPErr GetDataLengthProc(PIActionDescriptor descriptor, DescriptorKeyID key, int32_t* value) {
  DescriptorStore* store = CurrentStore();
  if (store == nullptr || !store->IsLive(descriptor) || value == nullptr) {
    return kDescriptorBadParameterErr;
  }
  const auto it = descriptor->data.find(key);
  if (it == descriptor->data.end()) return kDescriptorKeyMissingErr;
  *value = static_cast<int32_t>(it->second.size());
  return kSPNoError;
}

SPErr GetDataProc(PIActionDescriptor descriptor, DescriptorKeyID key, void* value) {
  DescriptorStore* store = CurrentStore();
  if (store == nullptr || !store->IsLive(descriptor) || value == nullptr) {
    return kDescriptorBadParameterErr;
  }
  const auto it = descriptor->data.find(key);
  if (it == descriptor->data.end()) return kDescriptorKeyMissingErr;
  if (!it->second.empty()) std::memcpy(value, it->second.data(), it->second.size());
  return kSPNoError;
}

}  // namespace

bool DescriptorStore::UseRegistryFile(const std::string& path, std::string* error) {
  file_ = path;
  registry_.clear();
  if (path.empty()) return true;
  std::error_code missing;
  if (!std::filesystem::exists(path, missing)) return true;
  std::string text;
  if (!ReadWholeFile(path, kMaxRegistryFileBytes, &text, error)) return false;
  std::map<std::string, RegistryEntry> entries;
  if (ParseRegistry(text, &entries)) registry_ = std::move(entries);
  return true;
}

PIActionDescriptor DescriptorStore::Make() {
  return MakeCopy(ActionDescriptorRecord{});
}

PIActionDescriptor DescriptorStore::MakeCopy(const ActionDescriptorRecord& values) {
  auto record =
      std::unique_ptr<ActionDescriptorRecord>(new (std::nothrow) ActionDescriptorRecord(values));
  if (record == nullptr) return nullptr;
  PIActionDescriptor descriptor = record.get();
  live_.emplace(descriptor, std::move(record));
  return descriptor;
}

bool DescriptorStore::Free(PIActionDescriptor descriptor) {
  return live_.erase(descriptor) != 0;
}

SPErr DescriptorStore::Register(const std::string& name, const ActionDescriptorRecord& values,
                                bool persistent) {
  if (!IsUsableName(name)) return kDescriptorBadParameterErr;
  const bool wasPersistent = registry_.count(name) != 0 && registry_[name].persistent;
  registry_[name] = RegistryEntry{values, persistent};
  return persistent || wasPersistent ? SavePersistent() : kSPNoError;
}

SPErr DescriptorStore::Erase(const std::string& name) {
  const auto it = registry_.find(name);
  if (it == registry_.end()) return kRegistryEntryMissingErr;
  const bool persistent = it->second.persistent;
  registry_.erase(it);
  return persistent ? SavePersistent() : kSPNoError;
}

const RegistryEntry* DescriptorStore::Find(const std::string& name) const {
  const auto it = registry_.find(name);
  return it != registry_.end() ? &it->second : nullptr;
}

SPErr DescriptorStore::SavePersistent() {
  if (file_.empty()) return kSPNoError;
  std::map<std::string, RegistryEntry> persistent;
  for (const auto& [name, entry] : registry_) {
    if (entry.persistent) persistent.emplace(name, entry);
  }
  if (!WriteFileAtomically(file_, FormatRegistry(persistent), true, &lastWriteError_)) {
    return kRegistryWriteErr;
  }
  lastWriteError_.clear();
  return kSPNoError;
}

std::string DefaultRegistryFile() {
  namespace fs = std::filesystem;
  const char* state = std::getenv("XDG_STATE_HOME");
  fs::path folder;
  if (state != nullptr && state[0] == '/') {
    folder = fs::path(state);
  } else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0') {
    folder = fs::path(home) / ".local" / "state";
  } else {
    return {};
  }
  return (folder / "lumeray" / "registry").string();
}

std::string FormatRegistry(const std::map<std::string, RegistryEntry>& entries) {
  std::string text = std::string(kRegistryFileHeader) + "\n";
  for (const auto& [name, entry] : entries) {
    for (const auto& [key, bytes] : entry.values.data) {
      text += name;
      text += kFieldSeparator;
      const uint8_t keyBytes[4] = {static_cast<uint8_t>(key >> 24), static_cast<uint8_t>(key >> 16),
                                   static_cast<uint8_t>(key >> 8), static_cast<uint8_t>(key)};
      AppendHex(&text, keyBytes, sizeof keyBytes);
      text += kFieldSeparator;
      AppendHex(&text, bytes.data(), bytes.size());
      text += '\n';
    }
  }
  return text;
}

bool ParseRegistry(const std::string& text, std::map<std::string, RegistryEntry>* entries) {
  std::istringstream lines(text);
  std::string line;
  if (!std::getline(lines, line) || line != kRegistryFileHeader) return false;
  std::map<std::string, RegistryEntry> parsed;
  while (std::getline(lines, line)) {
    const size_t first = line.find(kFieldSeparator);
    const size_t second =
        first == std::string::npos ? std::string::npos : line.find(kFieldSeparator, first + 1);
    if (second == std::string::npos || first == 0 || second - first - 1 != kKeyHexDigits) {
      return false;
    }
    std::vector<uint8_t> keyBytes;
    std::vector<uint8_t> value;
    if (!ParseHex(std::string_view(line).substr(first + 1, kKeyHexDigits), &keyBytes) ||
        !ParseHex(std::string_view(line).substr(second + 1), &value)) {
      return false;
    }
    const DescriptorKeyID key = static_cast<DescriptorKeyID>(keyBytes[0]) << 24 |
                                static_cast<DescriptorKeyID>(keyBytes[1]) << 16 |
                                static_cast<DescriptorKeyID>(keyBytes[2]) << 8 | keyBytes[3];
    RegistryEntry& entry = parsed[line.substr(0, first)];
    entry.persistent = true;
    entry.values.data[key] = std::move(value);
  }
  *entries = std::move(parsed);
  return true;
}

DescriptorRegistrySuite1 MakeRegistrySuite() {
  return DescriptorRegistrySuite1{&RegisterProc, &EraseProc, &GetProc};
}

ActionDescriptorSuite MakeActionDescriptorSuite() {
  return ActionDescriptorSuite{&MakeProc, &FreeProc, &PutDataProc, &GetDataLengthProc,
                               &GetDataProc};
}

}  // namespace lumeray
