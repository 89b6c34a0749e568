// Reading a played-back descriptor into the parameters, with the decision whether the dialog is
// shown. ReadScriptingParameters (declared with the other run steps in host/pipeline_steps.h)
// is the step of Start; the pieces below are what it is made of, so that the key reading can be
// driven by the host's read procedures or by raw bytes alike.
//
// The read is complete when every key the host returned is in the key table and came once,
// every value could be got, and exactly as many keys came as the table has rows (so an empty
// descriptor is incomplete). A complete read opens the dialog only when the host asks for it
// (playInfo 1). An incomplete one tells the user that defaults stand in for missing settings, opens
// the dialog unless the replay is silent, and still applies what was read over the factory
// defaults.
//
// Whatever a descriptor holds, every field it sets ends inside its slider's range (after the
// key's conversion, so a 'numP' of 65 542 keeps its low 16 bits, 6), and an effect code that is
// not one of the effects leaves the effect as it was: no played value reaches the renderer or a
// stored block out of range. When the descriptor is incomplete and its last get failed, that
// failure is the read's status, and nothing read is applied.
//
// Threading contract: UI thread only, within Start.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "effects/parameter_set.h"
#include "host/descriptor_keys.h"
#include "interface/filter_interface.h"

namespace lumeray {

// ReadScriptingParameters' result when its working block cannot be allocated (Start fails the
// run with a parameter error).
inline constexpr int kScriptingNoParameterBlock = -148;

inline constexpr const char* kIncompleteSettingsText =
    "The settings provided by the editor are incomplete.  Some settings have been set to "
    "defaults.";

// The keys of one descriptor, in the order the host returns them.
class DescriptorKeySource {
 public:
  virtual ~DescriptorKeySource() = default;
  // The next key; false when there are no more.
  virtual bool NextKey(DescriptorKeyID* key) = 0;
  // The current key's value, got as `row`'s type asks. On success `*value` views its bytes,
  // valid until the next call.
  virtual OSErr GetValue(const SettingRow& row, std::span<const uint8_t>* value) = 0;
};

struct DescriptorReadOutcome {
  int keysReturned = 0;
  bool marked = false;  // an unknown or repeated key, a row of an unknown type, a value not got
  OSErr lastGetStatus = kNoErr;  // of the last value got
  bool complete() const {
    return !marked && keysReturned == static_cast<int>(kSettingTable.size());
  }
};

// Reads every key of `source` into `parameters`, each known value through its row's conversion.
DescriptorReadOutcome ReadDescriptorKeys(DescriptorKeySource& source, ParameterSet* parameters);

// The same over a descriptor given as bytes: a sequence of keys, each the key's four characters
// in reading order, a count byte n and n value bytes in host order. A value of any count is
// handed to the conversion as it is; an item cut short ends the descriptor. The entry point for
// fuzzing the descriptor reading.
DescriptorReadOutcome ReadDescriptorBytes(std::span<const uint8_t> bytes, ParameterSet* parameters);

// A host that replays descriptors lacking keys as a matter of course: for it an incomplete
// descriptor opens the dialog without a message and leaves the parameters as they were.
inline constexpr std::string_view kHostWithIncompleteDescriptors =
    "\\CorelDRAW Graphics Suite X6\\Programs\\CorelPP.exe";
bool IsHostWithIncompleteDescriptors(std::string_view programPath);

}  // namespace lumeray
