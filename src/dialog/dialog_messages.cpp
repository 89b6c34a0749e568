#include "dialog/dialog_messages.h"

#include <QCoreApplication>

namespace lumeray::dialog {

QEvent::Type DialogMessageEvent::EventType() {
  static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

bool PostDialogMessage(platform::WindowHandle window, uint32_t message, uintptr_t wParam,
                       intptr_t lParam) {
  QCoreApplication* application = QCoreApplication::instance();
  if (application == nullptr) return false;
  QCoreApplication::postEvent(application, new DialogMessageEvent(window, message, wParam, lParam));
  return true;
}

}  // namespace lumeray::dialog
