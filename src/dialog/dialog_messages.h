// The messages of the module's dialogs: the platform messages a dialog procedure handles and
// the private MSG_ messages, and the custom QEvent that carries a posted message.
//
// A posted message is a DialogMessageEvent given to QCoreApplication::postEvent with the
// application object as receiver (safe from any thread, and safe when the dialog is gone: the
// dialog's application event filter picks out the events of its own window handle). A message
// sent on the UI thread is a direct call of the dialog procedure.
//
// Threading contract: PostDialogMessage from any thread while the application object exists;
// everything else on the UI thread.
#pragma once

#include <QEvent>

#include <cstdint>

#include "platform/window.h"

namespace lumeray::dialog {

using platform::kWmApp;

constexpr uint32_t kWmDestroy = 0x0002;
constexpr uint32_t kWmClose = 0x0010;
constexpr uint32_t kWmInitDialog = 0x0110;
constexpr uint32_t kWmCommand = 0x0111;

constexpr uint32_t MSG_TOOL_CHANGED = kWmApp + 1;
constexpr uint32_t MSG_PARAMETERS_CHANGED = kWmApp + 2;
constexpr uint32_t MSG_PARAMETERS_RELOADED = kWmApp + 3;
constexpr uint32_t MSG_PROGRESS = kWmApp + 4;
constexpr uint32_t MSG_INITIALIZATION_COMPLETE = kWmApp + 5;
constexpr uint32_t MSG_INVALIDATE_PREVIEW = kWmApp + 6;
constexpr uint32_t MSG_REDRAW_PREVIEW_FRAME = kWmApp + 7;
constexpr uint32_t MSG_BUSY_NOTICE = kWmApp + 8;
constexpr uint32_t MSG_SHOW_MESSAGE = kWmApp + 9;

// Command notifications (the high word of a command's wParam).
constexpr uint16_t kNotifyClicked = 0;
constexpr uint16_t kNotifyAccelerator = 1;
constexpr uint16_t kNotifyDoubleClicked = 5;

constexpr uintptr_t CommandParam(int id, uint16_t notification) {
  return (static_cast<uintptr_t>(notification) << 16) | (static_cast<uint16_t>(id));
}
constexpr int CommandId(uintptr_t wParam) {
  return static_cast<int>(wParam & 0xFFFF);
}
constexpr uint16_t CommandNotification(uintptr_t wParam) {
  return static_cast<uint16_t>((wParam >> 16) & 0xFFFF);
}

class DialogMessageEvent : public QEvent {
 public:
  DialogMessageEvent(platform::WindowHandle window, uint32_t message, uintptr_t wParam,
                     intptr_t lParam)
      : QEvent(EventType()), window(window), message(message), wParam(wParam), lParam(lParam) {}

  static QEvent::Type EventType();

  const platform::WindowHandle window;
  const uint32_t message;
  const uintptr_t wParam;
  const intptr_t lParam;
};

// Posts a message to a dialog window; false without an application object.
bool PostDialogMessage(platform::WindowHandle window, uint32_t message, uintptr_t wParam = 0,
                       intptr_t lParam = 0);

}  // namespace lumeray::dialog
