// Words for the module's result codes and selectors, and the editor's exit statuses.
//
// Exit statuses: 0 success, 1 failure, 2 usage error, 130 cancelled by the user (the shells'
// value for an interrupted command).
//
// Threading: pure functions.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "filter_interface.h"

namespace lumeray {

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr int kExitCancelled = 130;

// A plain sentence fragment for a result code: "ran out of memory", "was cancelled", ...
std::string DescribeModuleResult(OSErr result);

// "About", "Parameters", "Prepare", "Start", "Continue", "Finish", or "selector N".
std::string SelectorName(int16_t selector);

int ExitStatusForResult(OSErr result);

}  // namespace lumeray
