// The host's basic suite (sSPBasic) and the suites it offers.
//
// Offered: "Photoshop Property Suite for Plug-ins" version 1 (properties the module sets are
// recorded; reading a property never set answers kPropertyUndefinedErr), "Photoshop Error
// Suite for Plug-ins" version 1 (the last message the module sets is kept for the editor's
// report), the descriptor registry suite version 1 and the action descriptor suite versions 3
// and 2 (descriptor_registry.h). Any other name or version, and any suite a test asks to refuse, is
// answered with kSPSuiteNotFoundError and leaves the caller's suite pointer untouched.
//
// Conventions: error-suite Z strings are taken as zero-terminated UTF-16 text. Acquire and
// release are counted per suite and version so that a run can be checked for balance; a release
// with another version than the one acquired counts as unbalanced.
//
// Threading: used on the run thread of its session only.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <utility>

#include "descriptor_registry.h"
#include "filter_interface.h"

namespace lumeray {

constexpr OSErr kPropertyUndefinedErr = -30901;
constexpr int32_t kPropertySuiteVersion = 1;
constexpr int32_t kErrorSuiteVersion = 1;

class SuiteHost {
 public:
  SuiteHost();
  SuiteHost(const SuiteHost&) = delete;
  SuiteHost& operator=(const SuiteHost&) = delete;

  SPBasicSuite* basic() { return &basic_; }
  DescriptorStore& descriptors() { return descriptors_; }
  const DescriptorStore& descriptors() const { return descriptors_; }

  SPErr Acquire(const char* name, int32_t version, const void** suite);
  SPErr Release(const char* name, int32_t version);

  OSErr SetProperty(PIType signature, PIType key, int32_t index, intptr_t value);
  OSErr GetProperty(PIType signature, PIType key, int32_t index, intptr_t* value) const;
  void SetErrorMessage(std::string message) { errorMessage_ = std::move(message); }

  // Test hook: these suites are refused (replaces the previous set).
  void SetRefusedSuites(std::set<std::string> names) { refused_ = std::move(names); }

  bool HasProperty(PIType signature, PIType key, int32_t index) const;
  const std::string& errorMessage() const { return errorMessage_; }
  void ClearErrorMessage() { errorMessage_.clear(); }
  int acquireCount() const { return acquires_; }
  int refusalCount() const { return refusals_; }
  int unbalancedReleases() const { return unbalancedReleases_; }
  // Suites acquired and not yet released.
  int heldCount() const;

 private:
  SPBasicSuite basic_;
  PropertySuite1 propertySuite_;
  ErrorSuite1 errorSuite_;
  DescriptorRegistrySuite1 registrySuite_;
  ActionDescriptorSuite actionDescriptorSuite_;
  DescriptorStore descriptors_;
  std::set<std::string> refused_;
  std::map<std::string, int> held_;
  std::map<std::tuple<PIType, PIType, int32_t>, intptr_t> properties_;
  std::string errorMessage_;
  int acquires_ = 0;
  int refusals_ = 0;
  int unbalancedReleases_ = 0;
};

}  // namespace lumeray
