// Text helpers of message reporting and the debug log: printf-style formatting into a string of
// exactly the needed size, UTF-8 to UTF-16 conversion, and the local clock and date texts that
// log lines, the header and the closing line carry.
//
// Day and month names are English whatever the process locale, so that logs read the same on
// every machine.
//
// Threading contract: every function may be called from any thread.
#pragma once

#include <cstdarg>
#include <string>
#include <string_view>

namespace lumeray {

std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string FormatTextV(const char* format, va_list arguments)
    __attribute__((format(printf, 1, 0)));

// Invalid or truncated sequences become U+FFFD; code points above U+FFFF become surrogate
// pairs.
std::u16string Utf8ToUtf16(std::string_view text);

// The local time now as "%H:%M:%S".
std::string LogClockText();
// The local date and time now as "on %A, %B %d, %Y at %H:%M:%S".
std::string LogDateTimeText();

}  // namespace lumeray
