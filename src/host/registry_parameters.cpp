#include "host/registry_parameters.h"

#include <cstdlib>
#include <initializer_list>
#include <memory>
#include <new>
#include <string_view>

#include "diagnostics/message_report.h"
#include "effects/parameter_block.h"
#include "effects/parameter_set.h"
#include "host/host_globals.h"
#include "host/pipeline_steps.h"

namespace lumeray {
namespace {

constexpr Boolean kPersistent = 1;

SPBasicSuite* BasicSuite() {
  const FilterRecord* record = Host().filterRecord;
  return record != nullptr ? record->sSPBasic : nullptr;
}

// A host suite held for the length of one routine: the first of the versions the host offers,
// released with that version when the routine ends.
template <typename Suite>
class HeldSuite {
 public:
  HeldSuite(SPBasicSuite* basic, const char* name, std::initializer_list<int32_t> versions)
      : basic_(basic), name_(name) {
    if (basic_ == nullptr || basic_->AcquireSuite == nullptr) return;
    for (const int32_t version : versions) {
      const void* suite = nullptr;
      if (basic_->AcquireSuite(name_, version, &suite) != kSPNoError) continue;
      version_ = version;
      if (suite != nullptr) {
        suite_ = static_cast<const Suite*>(suite);
        return;
      }
      Release();  // acquired, but nothing came with it
    }
  }
  ~HeldSuite() {
    if (suite_ != nullptr) Release();
  }
  HeldSuite(const HeldSuite&) = delete;
  HeldSuite& operator=(const HeldSuite&) = delete;

  const Suite* get() const { return suite_; }
  const Suite* operator->() const { return suite_; }

 private:
  void Release() {
    if (basic_->ReleaseSuite != nullptr) basic_->ReleaseSuite(name_, version_);
  }

  SPBasicSuite* basic_;
  const char* name_;
  int32_t version_ = 0;
  const Suite* suite_ = nullptr;
};

bool Usable(const DescriptorRegistrySuite1* registry) {
  return registry != nullptr && registry->Register != nullptr && registry->Get != nullptr;
}

bool Usable(const ActionDescriptorSuite* descriptors) {
  return descriptors != nullptr && descriptors->Make != nullptr && descriptors->Free != nullptr &&
         descriptors->PutData != nullptr && descriptors->GetDataLength != nullptr &&
         descriptors->GetData != nullptr;
}

void ReportDebug(uint32_t line, const char* text) {
  MessageReport report(line, kMessageDebug);
  report.Report(kIconError, kTitleDebugUnexpectedError, "%s", text);
}

// Takes a stored block of at least a record's length into the current parameters.
int TakeStoredBlock(const uint8_t* block) {
  const ParameterVersion stored = BlockVersion(block);
  if (!(stored == kCurrentParameterVersion)) {
    MessageReport report(__LINE__, kMessageDebug);
    report.Report(kIconWarning, kTitleDebugWarning,
                  "User Setting File version mismatch. File Version = '%d','%d','%d','%d'",
                  stored.major, stored.minor, stored.revision, stored.build);
  }
  if (TakeParameterBlock(block)) return kNoErr;
  const ParameterVersion& current = kCurrentParameterVersion;
  MessageReport report(__LINE__, kMessageDebug);
  report.Report(kIconWarning, kTitleDebugWarning,
                "No parameter conversion could be done, using defaults.  Stored version = "
                "%d.%d.%d.%d, current version = %d.%d.%d.%d\n",
                stored.major, stored.minor, stored.revision, stored.build, current.major,
                current.minor, current.revision, current.build);
  return kErrStoredVersionMismatch;
}

int ReadStoredBlock(const ActionDescriptorSuite& descriptors, PIActionDescriptor descriptor) {
  int32_t length = 0;
  if (descriptors.GetDataLength(descriptor, kRegistryBlockKey, &length) != kSPNoError ||
      length <= 0) {
    ReportDebug(__LINE__,
                "ReadRegistryParameters() couldn't get the parameter block length or it was zero.");
    return kErrPlugInHostInsufficient;
  }
  // A block too short to hold the record is never read field by field.
  if (static_cast<size_t>(length) < sizeof(ParameterSet)) {
    MessageReport report(__LINE__, kMessageDebug);
    report.Report(kIconError, kTitleDebugUnexpectedError,
                  "ReadRegistryParameters() found a parameter block of %d bytes, fewer than a "
                  "parameter record.",
                  static_cast<int>(length));
    return kErrPlugInHostInsufficient;
  }
  // The host gives the length: an allocation it makes impossible is reported, not thrown.
  const std::unique_ptr<uint8_t[]> buffer(new (std::nothrow)
                                              uint8_t[static_cast<size_t>(length)]());
  if (buffer == nullptr) {
    MessageReport report(__LINE__, kMessageDebug);
    report.Report(kIconError, kTitleDebugUnexpectedError,
                  "ReadRegistryParameters() couldn't allocate %d bytes for the parameter block.",
                  static_cast<int>(length));
    return kErrPlugInHostInsufficient;
  }
  int result;
  if (descriptors.GetData(descriptor, kRegistryBlockKey, buffer.get()) != kSPNoError) {
    ReportDebug(__LINE__,
                "ReadRegistryParameters() couldn't read parameter data from the registry.");
    result = kErrPlugInHostInsufficient;
  } else {
    result = TakeStoredBlock(buffer.get());
  }
  return result;
}

}  // namespace

int ReadRegistryParameters() {
  SPBasicSuite* basic = BasicSuite();
  HeldSuite<DescriptorRegistrySuite1> registry(basic, kDescriptorRegistrySuiteName,
                                               {kRegistrySuiteVersion});
  if (!Usable(registry.get())) return kErrPlugInHostInsufficient;
  HeldSuite<ActionDescriptorSuite> descriptors(
      basic, kActionDescriptorSuiteName,
      {kActionDescriptorSuiteVersion, kActionDescriptorSuiteOldVersion});
  if (!Usable(descriptors.get())) return kErrPlugInHostInsufficient;

  PIActionDescriptor descriptor = nullptr;
  const SPErr error = registry->Get(kRegistryParametersKey, &descriptor);
  int result = kErrPlugInHostInsufficient;
  if (error == kSPNoError && descriptor != nullptr)
    result = ReadStoredBlock(*descriptors.get(), descriptor);
  if (descriptor != nullptr) descriptors->Free(descriptor);
  return result;
}

int WriteRegistryParameters() {
  SPBasicSuite* basic = BasicSuite();
  HeldSuite<DescriptorRegistrySuite1> registry(basic, kDescriptorRegistrySuiteName,
                                               {kRegistrySuiteVersion});
  if (!Usable(registry.get())) return kErrPlugInHostInsufficient;
  HeldSuite<ActionDescriptorSuite> descriptors(
      basic, kActionDescriptorSuiteName,
      {kActionDescriptorSuiteVersion, kActionDescriptorSuiteOldVersion});
  if (!Usable(descriptors.get())) return kErrPlugInHostInsufficient;

  PIActionDescriptor descriptor = nullptr;
  if (descriptors->Make(&descriptor) != kSPNoError || descriptor == nullptr) {
    ReportDebug(__LINE__, "WriteRegistryParameters() couldn't make a descriptor.");
    return kErrPlugInHostInsufficient;
  }
  int result = kErrPlugInHostInsufficient;
  if (uint8_t* block = NewCurrentParameterBlock()) {
    if (descriptors->PutData(descriptor, kRegistryBlockKey,
                             static_cast<int32_t>(kParameterBlockSize), block) == kSPNoError) {
      if (registry->Register(kRegistryParametersKey, descriptor, kPersistent) == kSPNoError) {
        result = kNoErr;
      } else {
        ReportDebug(__LINE__, "WriteRegistryParameters() failed to register the data.");
      }
    }
    FreeParameterBlock(block);
  }
  descriptors->Free(descriptor);
  return result;
}

}  // namespace lumeray
