#include "diagnostics/message_report.h"

#include <cstdarg>
#include <cstring>

#include "diagnostics/debug_log.h"
#include "diagnostics/log_text.h"
#include "diagnostics/user_message_display.h"
#include "platform/error_text.h"
#include "platform/thread.h"

namespace lumeray {
namespace {

// The C run-time library's error texts are taken at most this long.
constexpr size_t kCrtErrorTextLength = 255;

// What a second initialisation returns: the first one's result.
struct ReportingSetUp {
  bool initialized = false;
  bool result = false;
  std::string applicationName;
};
ReportingSetUp setUp;  // UI thread only

std::string CutAtLineBreak(std::string text) {
  const size_t lineBreak = text.find_first_of("\r\n");
  if (lineBreak != std::string::npos) text.resize(lineBreak);
  return text;
}

std::string SystemText(uint32_t errorCode) {
  std::string text = CutAtLineBreak(platform::SystemErrorText(static_cast<int>(errorCode)));
  return text.empty() ? "Unidentified System Error" : text;
}

std::string CrtText(uint32_t errorCode) {
  const int errorNumber = static_cast<int>(errorCode);
  char buffer[kCrtErrorTextLength + 1] = {};
  // The GNU variant: returns the text, which need not be in the buffer.
  const char* text = strerror_r(errorNumber, buffer, sizeof buffer);
  std::string result = CutAtLineBreak(text != nullptr ? std::string(text) : std::string());
  if (result.size() > kCrtErrorTextLength) result.resize(kCrtErrorTextLength);
  if (result.empty()) return FormatText("Unidentified C Run-Time Library Error %d", errorNumber);
  return result;
}

}  // namespace

void MessageReport::Report(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  const std::string text = FormatTextV(format, arguments);
  va_end(arguments);
  Dispatch(text);
}

void MessageReport::Report(uint32_t flags, const char* reportTitle, const char* format, ...) {
  boxFlags = flags;
  title = reportTitle != nullptr ? reportTitle : "";
  va_list arguments;
  va_start(arguments, format);
  const std::string text = FormatTextV(format, arguments);
  va_end(arguments);
  Dispatch(text);
}

void MessageReport::Dispatch(const std::string& text) {
  const std::string clock = LogClockText();
  const unsigned thread = platform::CurrentThreadId();
  const char* const reportTitle = title != nullptr ? title : "";
  switch (kind) {
    case kMessageDebug:
      LogEntry(kLogLevelNormal, "%s Thread 0x%04X: Line %u: Debug Message: '%s' - '%s'",
               clock.c_str(), thread, lineNumber, reportTitle, text.c_str());
      break;
    case kMessageUser:
      LogEntry(kLogLevelNormal, "%s Thread 0x%04X: Line %u: User Message: '%s' - '%s'",
               clock.c_str(), thread, lineNumber, reportTitle, text.c_str());
      ShowUserMessage(static_cast<uint32_t>(kind), boxFlags, reportTitle, text);
      break;
    case kMessageSystemError:
      LogEntry(kLogLevelNormal, "%s Thread 0x%04X: Line %u: System Error: '%s' : '%s' - '%s'",
               clock.c_str(), thread, lineNumber, SystemText(errorCode).c_str(), reportTitle,
               text.c_str());
      break;
    case kMessageEventMonitor:
      LogEntry(kLogLevelEventMonitor, "%s Thread 0x%04X: Line %u: Event Monitor: %s", clock.c_str(),
               thread, lineNumber, text.c_str());
      break;
    case kMessageCrtError:
      LogEntry(kLogLevelNormal,
               "%s Thread 0x%04X: Line %u: C Run-Time Library Error: '%s' : '%s' - '%s'",
               clock.c_str(), thread, lineNumber, CrtText(errorCode).c_str(), reportTitle,
               text.c_str());
      break;
    case kMessageTrace:
      LogEntry(kLogLevelNormal, "%s Thread 0x%04X: Line %u: Trace Message: %s", clock.c_str(),
               thread, lineNumber, text.c_str());
      break;
    default:
      // OpenGL errors are logged by OpenGLMessageReport; other kinds are not reported.
      break;
  }
}

void OpenGLMessageReport::Dispatch(const std::string& text) {
  if (kind != kMessageOpenGLError) {
    MessageReport::Dispatch(text);
    return;
  }
  LogEntry(kLogLevelNormal, "%s : Line %u: OpenGL Error: '%s' : '%s' - '%s'\n",
           LogClockText().c_str(), lineNumber, OpenGLErrorText(errorCode).c_str(),
           title != nullptr ? title : "", text.c_str());
}

std::string OpenGLErrorText(uint32_t code) {
  switch (code) {
    case 0:
      return "Success";
    case 0x500:
      return "An invalid enumeration was specified";
    case 0x501:
      return "An invalid value was specified";
    case 0x502:
      return "An invalid operation was attempted";
    case 0x503:
      return "A stack overflow has occurred";
    case 0x504:
      return "A stack underflow has occurred";
    case 0x505:
      return "OpenGL memory is exhausted";
    default:
      return FormatText("Unrecognized OpenGL Error %X", code);
  }
}

bool InitializeMessageReporting(const char* applicationName, platform::WindowHandle owner) {
  if (setUp.initialized) return setUp.result;
  setUp.initialized = true;
  setUp.applicationName = applicationName != nullptr ? applicationName : "";
  RecordMessageOwnerWindows(owner);
  setUp.result = OpenDebugLogQueue(setUp.applicationName.c_str());
  if (!setUp.result) {
    MessageReport report(__LINE__, kMessageDebug);
    report.Report(kIconError, kTitleDebugUnexpectedError,
                  "Can't open the debug logging queue for debug event messages.");
  }
  return setUp.result;
}

void TerminateMessageReporting() {
  CloseDebugLog();
  RecordMessageOwnerWindows(0);
  setUp = ReportingSetUp{};
}

}  // namespace lumeray
