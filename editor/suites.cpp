#include "suites.h"

#include <cstdlib>
#include <cstring>

#include "host_context.h"
#include "utf8.h"

namespace lumeray {
namespace {

SuiteHost* CurrentSuites() {
  HostContext* context = CurrentHostContext();
  return context != nullptr ? context->suites : nullptr;
}

SPErr AcquireSuiteProc(const char* name, int32_t version, const void** suite) {
  SuiteHost* host = CurrentSuites();
  return host != nullptr ? host->Acquire(name, version, suite) : kSPSuiteNotFoundError;
}

SPErr ReleaseSuiteProc(const char* name, int32_t version) {
  SuiteHost* host = CurrentSuites();
  return host != nullptr ? host->Release(name, version) : kSPSuiteNotFoundError;
}

int32_t IsEqualProc(const char* token1, const char* token2) {
  if (token1 == nullptr || token2 == nullptr) return token1 == token2;
  return std::strcmp(token1, token2) == 0;
}

SPErr AllocateBlockProc(size_t size, void** block) {
  if (block == nullptr) return kSPSuiteNotFoundError;
  *block = std::malloc(size > 0 ? size : 1);
  return *block != nullptr ? kSPNoError : kMemFullErr;
}

SPErr FreeBlockProc(void* block) {
  std::free(block);
  return kSPNoError;
}

SPErr ReallocateBlockProc(void* block, size_t newSize, void** newBlock) {
  if (newBlock == nullptr) return kSPSuiteNotFoundError;
  void* moved = std::realloc(block, newSize > 0 ? newSize : 1);
  if (moved == nullptr) return kMemFullErr;
  *newBlock = moved;
  return kSPNoError;
}

SPErr UndefinedProc() {
  return kSPSuiteNotFoundError;
}

OSErr GetPropertyProc(PIType signature, PIType key, int32_t index, intptr_t* simpleProperty,
                      Handle* complexProperty) {
  SuiteHost* host = CurrentSuites();
  if (host == nullptr) return kParamErr;
  if (complexProperty != nullptr) *complexProperty = nullptr;
  return host->GetProperty(signature, key, index, simpleProperty);
}

OSErr SetPropertyProc(PIType signature, PIType key, int32_t index, intptr_t simpleProperty,
                      Handle /*complexProperty*/) {
  SuiteHost* host = CurrentSuites();
  return host != nullptr ? host->SetProperty(signature, key, index, simpleProperty) : kParamErr;
}

SPErr SetErrorFromPString(const unsigned char* text) {
  SuiteHost* host = CurrentSuites();
  if (host == nullptr || text == nullptr) return kSPSuiteNotFoundError;
  host->SetErrorMessage(std::string(reinterpret_cast<const char*>(text) + 1, text[0]));
  return kSPNoError;
}

SPErr SetErrorFromCString(const char* text) {
  SuiteHost* host = CurrentSuites();
  if (host == nullptr || text == nullptr) return kSPSuiteNotFoundError;
  host->SetErrorMessage(text);
  return kSPNoError;
}

SPErr SetErrorFromZString(const void* zstring) {
  SuiteHost* host = CurrentSuites();
  if (host == nullptr || zstring == nullptr) return kSPSuiteNotFoundError;
  constexpr char32_t kReplacement = 0xFFFD;
  const auto* units = static_cast<const char16_t*>(zstring);
  std::string text;
  for (size_t i = 0; units[i] != 0; ++i) {
    char32_t c = units[i];
    if (c >= 0xD800 && c < 0xDC00 && units[i + 1] >= 0xDC00 && units[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (units[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c < 0xE000) {
      c = kReplacement;
    }
    AppendUtf8(c, &text);
  }
  host->SetErrorMessage(std::move(text));
  return kSPNoError;
}

// Suites are held per name and version: a release must name the version acquired.
std::string HeldName(const std::string& name, int32_t version) {
  return name + "#" + std::to_string(version);
}

}  // namespace

SuiteHost::SuiteHost()
    : basic_{&AcquireSuiteProc, &ReleaseSuiteProc,    &IsEqualProc,  &AllocateBlockProc,
             &FreeBlockProc,    &ReallocateBlockProc, &UndefinedProc},
      propertySuite_{&GetPropertyProc, &SetPropertyProc},
      errorSuite_{&SetErrorFromPString, &SetErrorFromCString, &SetErrorFromZString},
      registrySuite_(MakeRegistrySuite()),
      actionDescriptorSuite_(MakeActionDescriptorSuite()) {}

SPErr SuiteHost::Acquire(const char* name, int32_t version, const void** suite) {
  if (name == nullptr || suite == nullptr) return kSPSuiteNotFoundError;
  const std::string key(name);
  const void* offered = nullptr;
  if (key == kPropertySuiteName && version == kPropertySuiteVersion) {
    offered = &propertySuite_;
  } else if (key == kErrorSuiteName && version == kErrorSuiteVersion) {
    offered = &errorSuite_;
  } else if (key == kDescriptorRegistrySuiteName && version == kRegistrySuiteVersion) {
    offered = &registrySuite_;
  } else if (key == kActionDescriptorSuiteName && (version == kActionDescriptorSuiteVersion ||
                                                   version == kActionDescriptorSuiteOldVersion)) {
    offered = &actionDescriptorSuite_;
  }
  if (offered == nullptr || refused_.count(key) != 0) {
    ++refusals_;
    return kSPSuiteNotFoundError;
  }
  *suite = offered;
  ++acquires_;
  ++held_[HeldName(key, version)];
  return kSPNoError;
}

SPErr SuiteHost::Release(const char* name, int32_t version) {
  if (name == nullptr) return kSPSuiteNotFoundError;
  const auto it = held_.find(HeldName(name, version));
  if (it == held_.end() || it->second == 0) {
    ++unbalancedReleases_;
    return kSPSuiteNotFoundError;
  }
  --it->second;
  return kSPNoError;
}

OSErr SuiteHost::SetProperty(PIType signature, PIType key, int32_t index, intptr_t value) {
  properties_[{signature, key, index}] = value;
  return kNoErr;
}

OSErr SuiteHost::GetProperty(PIType signature, PIType key, int32_t index, intptr_t* value) const {
  const auto it = properties_.find({signature, key, index});
  if (it == properties_.end()) return kPropertyUndefinedErr;
  if (value != nullptr) *value = it->second;
  return kNoErr;
}

bool SuiteHost::HasProperty(PIType signature, PIType key, int32_t index) const {
  return properties_.count({signature, key, index}) != 0;
}

int SuiteHost::heldCount() const {
  int count = 0;
  for (const auto& [name, held] : held_) count += held;
  return count;
}

}  // namespace lumeray
