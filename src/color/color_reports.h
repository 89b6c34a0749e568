// Reports of the colour management code. Every failure here is a debug report (logged, never
// shown) and never stops the run by itself: the failing step returns none, false or a fallback,
// and only the caller decides what the failure means for the run.
//
// Titles: "Debug:  Unexpected Error" (two blanks) for every report except the conversions'
// and the Little CMS handler's, which carry "Debug: Unexpected error".
//
// Threading contract: any thread.
#pragma once

#include <cstdint>

namespace lumeray {

inline constexpr const char* kTitleColorConversionError = "Debug: Unexpected error";

// Logs `text` titled "Debug:  Unexpected Error".
void ReportColorFailure(uint32_t line, const char* text);
// The same, with the system error code of the failure.
void ReportColorSystemFailure(uint32_t line, const char* text, int errorNumber);
// Formats and logs a text titled "Debug: Unexpected error".
void ReportColorConversionFailure(uint32_t line, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

}  // namespace lumeray
