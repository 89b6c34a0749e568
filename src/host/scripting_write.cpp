#include "host/scripting_write.h"

#include <cstring>

#include "diagnostics/message_report.h"
#include "effects/parameter_block.h"
#include "host/descriptor_keys.h"
#include "host/host_globals.h"
#include "host/pipeline_steps.h"
#include "host/scripting_read.h"

namespace lumeray {
namespace {

bool HasWriteProcs(const WriteDescriptorProcs* procs) {
  return procs != nullptr && procs->openWriteDescriptorProc != nullptr &&
         procs->closeWriteDescriptorProc != nullptr && procs->putIntegerProc != nullptr &&
         procs->putFloatProc != nullptr && procs->putUnitFloatProc != nullptr &&
         procs->putBooleanProc != nullptr && procs->putEnumeratedProc != nullptr;
}

template <typename T>
T ValueAs(const DescriptorValue& value) {
  T number;
  std::memcpy(&number, value.bytes.data(), sizeof number);
  return number;
}

OSErr PutValue(const WriteDescriptorProcs& procs, PIWriteDescriptor token, const SettingRow& row,
               const DescriptorValue& value) {
  switch (row.type) {
    case kTypeBoolean:
      return procs.putBooleanProc(token, row.key, ValueAs<Boolean>(value));
    case kTypeFloat: {
      const double number = ValueAs<double>(value);
      if (row.unit != kNoUnit) return procs.putUnitFloatProc(token, row.key, row.unit, &number);
      return procs.putFloatProc(token, row.key, &number);
    }
    case kTypeInteger:
      return procs.putIntegerProc(token, row.key, ValueAs<int32_t>(value));
    case kTypeEnumerated:
      return procs.putEnumeratedProc(token, row.key, row.enumType,
                                     ValueAs<DescriptorEnumID>(value));
    default:
      return kNoErr;  // not reached: the conversion refuses other types
  }
}

// Every key of the table in order; the first failure stops and is returned.
int PutAllKeys(const WriteDescriptorProcs& procs, PIWriteDescriptor token,
               const ParameterSet& parameters) {
  for (const SettingRow& row : kSettingTable) {
    DescriptorValue value;
    if (!ConvertParameterToDescriptor(row, parameters, &value)) return kScriptingParameterError;
    const OSErr error = PutValue(procs, token, row, value);
    if (error != kNoErr) return error;
  }
  return kNoErr;
}

void DisposeHostHandle(const FilterRecord& record, Handle handle) {
  if (handle == nullptr || record.handleProcs == nullptr ||
      record.handleProcs->disposeProc == nullptr) {
    return;
  }
  record.handleProcs->disposeProc(handle);
}

// A descriptor that could not be finished is closed and thrown away; the host keeps its old one.
void DiscardWriteDescriptor(const FilterRecord& record, const WriteDescriptorProcs& procs,
                            PIWriteDescriptor token) {
  PIDescriptorHandle unfinished = nullptr;
  procs.closeWriteDescriptorProc(token, &unfinished);
  DisposeHostHandle(record, unfinished);
}

}  // namespace

int WriteScriptingParameters() {
  uint8_t* block = NewCurrentParameterBlock();
  if (block == nullptr) {
    MessageReport report(__LINE__, kMessageUser);
    report.Report(kIconError, kTitleScriptingError, "Could not get current parameter block.");
    return kScriptingNoParameterBlock;
  }
  ParameterSet parameters;
  std::memcpy(&parameters, block, sizeof parameters);
  FreeParameterBlock(block);

  const FilterRecord* record = Host().filterRecord;
  if (record == nullptr || record->descriptorParameters == nullptr) {
    return kErrPlugInHostInsufficient;
  }
  PIDescriptorParameters& recorded = *record->descriptorParameters;
  const WriteDescriptorProcs* procs = recorded.writeDescriptorProcs;
  if (!HasWriteProcs(procs)) return kErrPlugInHostInsufficient;

  PIWriteDescriptor token = procs->openWriteDescriptorProc();
  const int error =
      token == nullptr ? kScriptingParameterError : PutAllKeys(*procs, token, parameters);
  if (error != kNoErr) {
    if (token != nullptr) DiscardWriteDescriptor(*record, *procs, token);
    MessageReport report(__LINE__, kMessageUser);
    report.Report(kIconError, kTitleScriptingError, "%s", kScriptingNotSavedText);
    return error;
  }
  DisposeHostHandle(*record, recorded.descriptor);
  recorded.descriptor = nullptr;
  procs->closeWriteDescriptorProc(token, &recorded.descriptor);
  return kNoErr;
}

}  // namespace lumeray
