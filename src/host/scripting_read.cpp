#include "host/scripting_read.h"

#include <algorithm>
#include <array>
#include <bitset>
#include <cstring>
#include <string>

#include "diagnostics/message_report.h"
#include "effects/effect_types.h"
#include "effects/parameter_block.h"
#include "host/host_globals.h"
#include "host/pipeline_steps.h"
#include "platform/module_file.h"

namespace lumeray {
namespace {

// The host accepts at most this many keys in the array it is opened with.
constexpr size_t kMaximumKeyArrayLength = 127;
static_assert(kSettingTable.size() <= kMaximumKeyArrayLength);

// A Pascal string holds at most this many characters after its length byte.
constexpr size_t kPascalStringCapacity = 255;

// A descriptor given as bytes: per key its four characters and a count byte before the value.
constexpr size_t kByteKeyLength = sizeof(DescriptorKeyID);
constexpr size_t kByteKeyHeaderSize = kByteKeyLength + 1;

// The keys of the table in order, ended by 0.
std::array<DescriptorKeyID, kSettingTable.size() + 1> KeyArray() {
  std::array<DescriptorKeyID, kSettingTable.size() + 1> keys{};
  for (size_t i = 0; i < kSettingTable.size(); ++i) keys[i] = kSettingTable[i].key;
  return keys;
}

bool HasReadProcs(const ReadDescriptorProcs* procs) {
  return procs != nullptr && procs->openReadDescriptorProc != nullptr &&
         procs->closeReadDescriptorProc != nullptr && procs->getKeyProc != nullptr &&
         procs->getIntegerProc != nullptr && procs->getFloatProc != nullptr &&
         procs->getUnitFloatProc != nullptr && procs->getBooleanProc != nullptr &&
         procs->getEnumeratedProc != nullptr;
}

// The keys of a played-back descriptor through the host's read procedures.
class HostDescriptorSource final : public DescriptorKeySource {
 public:
  HostDescriptorSource(const ReadDescriptorProcs& procs, PIReadDescriptor token)
      : procs_(procs), token_(token) {}

  bool NextKey(DescriptorKeyID* key) override {
    DescriptorTypeID type = 0;
    int32_t flags = 0;
    return procs_.getKeyProc(token_, key, &type, &flags) != 0;
  }

  OSErr GetValue(const SettingRow& row, std::span<const uint8_t>* value) override {
    OSErr error = kParamErr;
    switch (row.type) {
      case kTypeBoolean: {
        Boolean flag = 0;
        error = procs_.getBooleanProc(token_, &flag);
        Hold(flag);
        break;
      }
      case kTypeFloat: {
        double number = 0.0;
        if (row.unit != kNoUnit) {
          DescriptorUnitID unit = 0;  // not used: the table fixes each key's unit
          error = procs_.getUnitFloatProc(token_, &unit, &number);
        } else {
          error = procs_.getFloatProc(token_, &number);
        }
        Hold(number);
        break;
      }
      case kTypeInteger: {
        int32_t number = 0;
        error = procs_.getIntegerProc(token_, &number);
        Hold(number);
        break;
      }
      case kTypeEnumerated: {
        DescriptorEnumID code = 0;
        error = procs_.getEnumeratedProc(token_, &code);
        Hold(code);
        break;
      }
      default:
        break;
    }
    if (error == kNoErr) *value = value_.view();
    return error;
  }

 private:
  template <typename T>
  void Hold(T number) {
    std::memcpy(value_.bytes.data(), &number, sizeof number);
    value_.size = sizeof number;
  }

  const ReadDescriptorProcs& procs_;
  PIReadDescriptor token_;
  DescriptorValue value_;
};

class ByteDescriptorSource final : public DescriptorKeySource {
 public:
  explicit ByteDescriptorSource(std::span<const uint8_t> bytes) : rest_(bytes) {}

  bool NextKey(DescriptorKeyID* key) override {
    if (rest_.size() < kByteKeyHeaderSize) return false;
    const size_t count = rest_[kByteKeyLength];
    if (rest_.size() < kByteKeyHeaderSize + count) return false;
    *key = static_cast<DescriptorKeyID>(rest_[0]) << 24 |
           static_cast<DescriptorKeyID>(rest_[1]) << 16 |
           static_cast<DescriptorKeyID>(rest_[2]) << 8 | static_cast<DescriptorKeyID>(rest_[3]);
    current_ = rest_.subspan(kByteKeyHeaderSize, count);
    rest_ = rest_.subspan(kByteKeyHeaderSize + count);
    return true;
  }

  OSErr GetValue(const SettingRow&, std::span<const uint8_t>* value) override {
    *value = current_;
    return kNoErr;
  }

 private:
  std::span<const uint8_t> rest_;
  std::span<const uint8_t> current_;
};

void PutPascalString(unsigned char* buffer, std::string_view text) {
  const size_t length = std::min(text.size(), kPascalStringCapacity);
  buffer[0] = static_cast<unsigned char>(length);
  std::memcpy(buffer + 1, text.data(), length);
}

// An incomplete descriptor: the user is told, and the dialog opens unless the replay is silent,
// in which case the host also gets the text as its error string.
void HandleIncompleteDescriptor(const FilterRecord& record, int16_t playInfo, bool* showDialog) {
  MessageReport report(__LINE__, kMessageUser);
  report.Report(kIconWarning, kTitleIncompleteSettings, "%s", kIncompleteSettingsText);
  if (playInfo == kPlayDialogDontDisplay || playInfo == kPlayDialogDisplay) {
    *showDialog = true;
    return;
  }
  if (record.errorString != nullptr) PutPascalString(record.errorString, kIncompleteSettingsText);
  *showDialog = false;
}

// Reads the host's played-back descriptor into `parameters`. 0 when they are to be applied.
int ReadPlayedDescriptor(const FilterRecord& record, ParameterSet* parameters, bool* showDialog) {
  const PIDescriptorParameters& played = *record.descriptorParameters;
  const ReadDescriptorProcs* procs = played.readDescriptorProcs;
  if (!HasReadProcs(procs) || played.descriptor == nullptr) return kErrPlugInHostInsufficient;

  const auto keys = KeyArray();
  PIReadDescriptor token = procs->openReadDescriptorProc(played.descriptor, keys.data());
  if (token == nullptr) {
    MessageReport report(__LINE__, kMessageDebug);
    report.Report(kIconError, kTitleDebugUnexpectedError,
                  "ReadScriptingParameters() could not open the played-back descriptor.");
    return kErrPlugInHostInsufficient;
  }
  HostDescriptorSource source(*procs, token);
  const DescriptorReadOutcome outcome = ReadDescriptorKeys(source, parameters);

  int status = kNoErr;
  if (outcome.complete()) {
    *showDialog = played.playInfo == kPlayDialogDisplay;
  } else if (IsHostWithIncompleteDescriptors(platform::HostProgramPath())) {
    *showDialog = true;
    status = kErrPlugInHostInsufficient;
  } else {
    // What was read stands, over the factory defaults for the rest, unless the last get failed.
    HandleIncompleteDescriptor(record, played.playInfo, showDialog);
    status = outcome.lastGetStatus;
  }
  procs->closeReadDescriptorProc(token);
  return status;
}

}  // namespace

namespace {

// Every scripted field inside its slider's range; an unknown effect code gives way to `before`'s.
void KeepInRange(const ParameterSet& before, ParameterSet* parameters) {
  for (const SliderDescriptor& slider : SliderTable()) {
    parameters->*slider.field = ClampToSlider(slider, parameters->*slider.field);
  }
  if (FindEffectType(parameters->EffectType) == nullptr) {
    parameters->EffectType = before.EffectType;
  }
}

}  // namespace

DescriptorReadOutcome ReadDescriptorKeys(DescriptorKeySource& source, ParameterSet* parameters) {
  DescriptorReadOutcome outcome;
  const ParameterSet before = *parameters;
  std::bitset<kSettingTable.size()> seen;
  DescriptorKeyID key = 0;
  while (source.NextKey(&key)) {
    ++outcome.keysReturned;
    const SettingRow* row = FindDescriptorKey(key);
    if (row == nullptr || DescriptorValueSize(row->type) == 0) {
      outcome.marked = true;
      continue;
    }
    // A repeated key would stand in for a missing one in the count.
    const size_t rowNumber = static_cast<size_t>(row - kSettingTable.data());
    if (seen.test(rowNumber)) outcome.marked = true;
    seen.set(rowNumber);

    std::span<const uint8_t> value;
    outcome.lastGetStatus = source.GetValue(*row, &value);
    if (outcome.lastGetStatus != kNoErr || !ConvertDescriptorToParameter(*row, value, parameters)) {
      outcome.marked = true;
    }
  }
  KeepInRange(before, parameters);
  return outcome;
}

DescriptorReadOutcome ReadDescriptorBytes(std::span<const uint8_t> bytes,
                                          ParameterSet* parameters) {
  ByteDescriptorSource source(bytes);
  return ReadDescriptorKeys(source, parameters);
}

bool IsHostWithIncompleteDescriptors(std::string_view programPath) {
  return programPath.find(kHostWithIncompleteDescriptors) != std::string_view::npos;
}

int ReadScriptingParameters(bool* showDialog) {
  uint8_t* working = NewFactoryParameterBlock();
  if (working == nullptr) {
    MessageReport report(__LINE__, kMessageUser);
    report.Report(kIconError, kTitleScriptingError, "Could not get factory parameter block.");
    return kScriptingNoParameterBlock;
  }
  const uint8_t* flag = Host().showDialogFlag;
  *showDialog = flag != nullptr && *flag != 0;

  const FilterRecord* record = Host().filterRecord;
  if (record != nullptr && record->descriptorParameters != nullptr) {
    ParameterSet parameters;
    std::memcpy(&parameters, working, sizeof parameters);
    if (ReadPlayedDescriptor(*record, &parameters, showDialog) == kNoErr) {
      std::memcpy(working, &parameters, sizeof parameters);
      ApplyParameterBlock(working);
    }
  }
  FreeParameterBlock(working);
  return kNoErr;
}

}  // namespace lumeray
