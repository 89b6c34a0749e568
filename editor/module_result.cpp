#include "module_result.h"

#include <array>

namespace lumeray {

std::string DescribeModuleResult(OSErr result) {
  switch (result) {
    case kNoErr:
      return "succeeded";
    case kUserCanceledErr:
      return "was cancelled";
    case kMemFullErr:
      return "ran out of memory";
    case kParamErr:
      return "could not read its settings or the image";
    case kFilterBadParameters:
      return "was given bad parameters";
    case kErrAEEventFailed:
      // What the module reports when its threads cannot start or end abnormally, which on a
      // working system means memory ran short.
      return "failed, most likely for lack of memory (its worker threads could not run)";
    case kWritErr:
      return "could not render the image";
    default:
      return "reported an error";
  }
}

std::string SelectorName(int16_t selector) {
  static constexpr std::array<const char*, 6> kNames{"About", "Parameters", "Prepare",
                                                     "Start", "Continue",   "Finish"};
  if (selector >= 0 && static_cast<size_t>(selector) < kNames.size()) {
    return kNames[static_cast<size_t>(selector)];
  }
  return "selector " + std::to_string(selector);
}

int ExitStatusForResult(OSErr result) {
  if (result == kNoErr) return kExitSuccess;
  if (result == kUserCanceledErr) return kExitCancelled;
  return kExitFailure;
}

}  // namespace lumeray
