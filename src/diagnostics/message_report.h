// Message reporting: every failure, warning and notice of the module goes through a
// MessageReport built at the spot, filled in, and asked to report a formatted text once.
//
//   MessageReport report(__LINE__, kMessageDebug);
//   report.Report(kMbIconError, kTitleDebugUnexpectedError, "ReadHostImage() failed: %d", code);
//
// By kind the text is logged (every kind but kMessageOpenGLError, which only OpenGLMessageReport
// logs), and for kUserMessage also shown:
//  * on the UI thread, as a message box owned by the current owner window when that is a window;
//  * on the UI thread when the module has no owner window at all (the command-line editor has
//    no windows), as an unowned box, which without a display goes to standard error;
//  * otherwise handed to the owner window (posted as WM_APP + 9 with a MessageBlock) when the
//    owner is a window of the module other than the initial (host's) one; else logged only.
//
// Log line formats (time "%H:%M:%S", thread identifier as at least four upper-case hex digits):
//   0 "%s Thread 0x%04X: Line %u: Debug Message: '%s' - '%s'"            time, tid, line, title,
//   text 1 "%s Thread 0x%04X: Line %u: User Message: '%s' - '%s'" 2 "%s Thread 0x%04X: Line %u:
//   System Error: '%s' : '%s' - '%s'"     + system text 4 "%s Thread 0x%04X: Line %u: Event
//   Monitor: %s"                    level 0 5 "%s Thread 0x%04X: Line %u: C Run-Time Library Error:
//   '%s' : '%s' - '%s'" 6 "%s Thread 0x%04X: Line %u: Trace Message: %s" 3 "%s : Line %u: OpenGL
//   Error: '%s' : '%s' - '%s'\n"  (OpenGLMessageReport only)
//
// Threading contract: any thread may report. Message boxes appear only on the UI thread
// (SetUiThread). The owner window is only changed on the UI thread.
#pragma once

#include <cstdint>
#include <string>

#include "platform/window.h"

namespace lumeray {

enum MessageKind : int32_t {
  kMessageDebug = 0,
  kMessageUser = 1,
  kMessageSystemError = 2,
  kMessageOpenGLError = 3,
  kMessageEventMonitor = 4,
  kMessageCrtError = 5,
  kMessageTrace = 6,
};

// Message box flags used across the module.
constexpr uint32_t kIconError = 16;
constexpr uint32_t kIconWarning = 48;

// Common titles.
inline constexpr const char* kTitleDebugUnexpectedError = "Debug:  Unexpected Error";
inline constexpr const char* kTitleDebugUnexpectedError1 = "Debug: Unexpected Error";
inline constexpr const char* kTitleDebugUnexpectedErrorDash = "Debug - Unexpected Error";
inline constexpr const char* kTitleDebugWarning = "Debug:  Warning";
inline constexpr const char* kTitleWarning = "Warning";
inline constexpr const char* kTitleErrorExiting = "Error - Exiting Plug-in";
inline constexpr const char* kTitleScriptingError = "Scripting Error";
inline constexpr const char* kTitleIncompleteSettings = "Incomplete Settings";

// The message posted to an owner window for a user message from another thread.
constexpr uint32_t kMsgShowMessage = platform::kWmApp + 9;

class MessageReport {
 public:
  MessageReport(uint32_t lineNumber, int32_t kind, uint32_t errorCode = 0)
      : lineNumber(lineNumber), kind(kind), errorCode(errorCode) {}
  MessageReport(const MessageReport&) = delete;
  MessageReport& operator=(const MessageReport&) = delete;
  virtual ~MessageReport() = default;

  // Formats and dispatches with the flags and title already stored.
  virtual void Report(const char* format, ...) __attribute__((format(printf, 2, 3)));
  // Stores flags and title, then formats and dispatches.
  virtual void Report(uint32_t flags, const char* reportTitle, const char* format, ...)
      __attribute__((format(printf, 4, 5)));

  uint32_t lineNumber;
  int32_t kind;
  uint32_t errorCode;
  uint32_t boxFlags = 0;
  const char* title = "";

 protected:
  // Logs and, for user messages, shows the formatted text.
  virtual void Dispatch(const std::string& text);
};

// Logs kind 3 with the OpenGL error text of errorCode; other kinds as its base.
class OpenGLMessageReport : public MessageReport {
 public:
  using MessageReport::MessageReport;

 protected:
  void Dispatch(const std::string& text) override;
};

// The text for an OpenGL error code ("Success", ..., "Unrecognized OpenGL Error %X").
std::string OpenGLErrorText(uint32_t code);

// The block posted with kMsgShowMessage: header, then title and text, each zero-terminated.
struct MessageBlock {
  uint32_t kind;
  uint32_t iconFlags;  // boxFlags & 0xF0
  const MessageBlock* self;
  // char title[]; char text[];
};
static_assert(sizeof(MessageBlock) == 16);
const char* MessageBlockTitle(const MessageBlock* block);
const char* MessageBlockText(const MessageBlock* block);
// Shows the block's box and frees it (the owner window's handler of kMsgShowMessage, on the UI
// thread). A block whose self address does not match is left alone.
void ShowAndFreeMessageBlock(MessageBlock* block, platform::WindowHandle owner);

// ---- Set-up ---------------------------------------------------------------------------------

// Records the UI thread (the only thread that shows message boxes).
void SetUiThread(uint32_t threadId);
uint32_t UiThread();
bool OnUiThread();

// Copies the application name, records the owner as initial and current owner, opens the log
// queue (byte order mark and header first). A second call does nothing and returns the first
// call's result.
bool InitializeMessageReporting(const char* applicationName, platform::WindowHandle owner);
// Closes the debug log (and its queue) if still open and forgets the set-up, so that the next
// initialisation starts afresh (module tear-down).
void TerminateMessageReporting();

// Accepted only on the UI thread, with a registered window or the initial owner (so that a
// dialog can hand the messages back even when the host has no window); returns the previous
// owner, or 0 when refused.
platform::WindowHandle SetMessageOwnerWindow(platform::WindowHandle window);
platform::WindowHandle MessageOwnerWindow();

}  // namespace lumeray
