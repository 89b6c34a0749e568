#include "color/color_reports.h"

#include <cstdarg>
#include <string>
#include <vector>

#include "diagnostics/message_report.h"

namespace lumeray {

void ReportColorFailure(uint32_t line, const char* text) {
  MessageReport report(line, kMessageDebug);
  report.Report(kIconError, kTitleDebugUnexpectedError, "%s", text);
}

void ReportColorSystemFailure(uint32_t line, const char* text, int errorNumber) {
  MessageReport report(line, kMessageSystemError, static_cast<uint32_t>(errorNumber));
  report.Report(kIconError, kTitleDebugUnexpectedError, "%s", text);
}

void ReportColorConversionFailure(uint32_t line, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  va_list measuring;
  va_copy(measuring, arguments);
  const int length = std::vsnprintf(nullptr, 0, format, measuring);
  va_end(measuring);
  std::vector<char> text(length > 0 ? static_cast<size_t>(length) + 1 : 1, '\0');
  if (length > 0) std::vsnprintf(text.data(), text.size(), format, arguments);
  va_end(arguments);

  MessageReport report(line, kMessageDebug);
  report.Report(kIconError, kTitleColorConversionError, "%s", text.data());
}

}  // namespace lumeray
