#include "host/host_suites.h"

#include "host/host_globals.h"

namespace lumeray {
namespace {

constexpr int32_t kSuiteVersion = 1;

SPBasicSuite* BasicSuite() {
  HostGlobals& host = Host();
  if (host.filterRecord != nullptr) return host.filterRecord->sSPBasic;
  return nullptr;
}

template <typename Suite>
void AcquireOnce(const char* name, const Suite** slot) {
  SPBasicSuite* basic = BasicSuite();
  if (basic == nullptr || basic->AcquireSuite == nullptr || *slot != nullptr) return;
  const void* suite = nullptr;
  if (basic->AcquireSuite(name, kSuiteVersion, &suite) == kSPNoError && suite != nullptr) {
    *slot = static_cast<const Suite*>(suite);
  }
}

template <typename Suite>
void ReleaseHeld(const char* name, const Suite** slot) {
  if (*slot == nullptr) return;
  SPBasicSuite* basic = BasicSuite();
  if (basic != nullptr && basic->ReleaseSuite != nullptr) basic->ReleaseSuite(name, kSuiteVersion);
  *slot = nullptr;
}

}  // namespace

void AcquireHostSuites() {
  AcquireOnce(kPropertySuiteName, &Host().propertySuite);
  AcquireOnce(kErrorSuiteName, &Host().errorSuite);
}

void ReleaseHostSuites() {
  ReleaseHeld(kErrorSuiteName, &Host().errorSuite);
  ReleaseHeld(kPropertySuiteName, &Host().propertySuite);
}

void SetWatchSuspensionProperty() {
  const PropertySuite1* suite = Host().propertySuite;
  if (suite == nullptr || suite->setPropertyProc == nullptr) return;
  suite->setPropertyProc(FourCC("8BIM"), FourCC("wtch"), 0, 1, nullptr);
}

}  // namespace lumeray
