// Windows as the module sees them: a table of handles, posted messages and message boxes.
//
// The table maps a handle to the window's procedure and its optional native widget (a QWidget*);
// it is guarded by one mutex, and procedures always run with it released. Posted messages wait
// in one process-wide queue. When a Qt application object exists, each post also queues a call
// of DispatchPostedMessages() to the application object (QMetaObject::invokeMethod with a queued
// connection, safe from any thread), so the UI thread's event loop delivers the message; without
// one, the messages wait for the next DispatchPostedMessages() on the UI thread. A message to a
// window that is unregistered before delivery is dropped.

#include "platform/window.h"

#include <QApplication>
#include <QCoreApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QPointer>
#include <QThread>
#include <QWidget>

#include <cstdio>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace lumeray::platform {
namespace {

struct WindowEntry {
  std::shared_ptr<const WindowProcedure> procedure;
  void* nativeWidget;
};

struct PostedMessage {
  WindowHandle window;
  uint32_t message;
  uintptr_t wParam;
  intptr_t lParam;
};

struct WindowTable {
  std::mutex lock;
  std::map<WindowHandle, WindowEntry> windows;  // guarded by lock
  WindowHandle nextHandle = 0x10010;            // guarded by lock
  std::deque<PostedMessage> posted;             // guarded by lock
  MessageBoxHandler messageBoxHandler;          // guarded by lock
};

WindowTable& Table() {
  static WindowTable* table = new WindowTable;  // never destroyed: posts may come late
  return *table;
}

QApplication* WidgetApplication() {
  return qobject_cast<QApplication*>(QCoreApplication::instance());
}

}  // namespace

WindowHandle RegisterWindow(WindowProcedure procedure, void* nativeWidget) {
  WindowTable& table = Table();
  std::lock_guard<std::mutex> lock(table.lock);
  WindowHandle handle = table.nextHandle;
  table.nextHandle += 4;
  table.windows[handle] = {std::make_shared<const WindowProcedure>(std::move(procedure)),
                           nativeWidget};
  return handle;
}

void UnregisterWindow(WindowHandle window) {
  std::shared_ptr<const WindowProcedure> procedure;  // released outside the lock
  WindowTable& table = Table();
  std::lock_guard<std::mutex> lock(table.lock);
  auto it = table.windows.find(window);
  if (it == table.windows.end()) return;
  procedure = std::move(it->second.procedure);
  table.windows.erase(it);
}

bool IsWindow(WindowHandle window) {
  if (window == 0) return false;
  WindowTable& table = Table();
  std::lock_guard<std::mutex> lock(table.lock);
  return table.windows.count(window) != 0;
}

void* NativeWidget(WindowHandle window) {
  WindowTable& table = Table();
  std::lock_guard<std::mutex> lock(table.lock);
  auto it = table.windows.find(window);
  return it == table.windows.end() ? nullptr : it->second.nativeWidget;
}

WindowHandle ActiveWindow() {
  if (WidgetApplication() == nullptr) return 0;
  QWidget* active = QApplication::activeWindow();
  if (active == nullptr) return 0;

  std::vector<std::pair<WindowHandle, void*>> candidates;
  {
    WindowTable& table = Table();
    std::lock_guard<std::mutex> lock(table.lock);
    for (const auto& [handle, entry] : table.windows) {
      if (entry.nativeWidget != nullptr) candidates.emplace_back(handle, entry.nativeWidget);
    }
  }
  // The registered widget that is the active window, else one inside it. Registered pointers are
  // only compared, never followed (a widget may be gone without being unregistered).
  for (const auto& [handle, widget] : candidates) {
    if (widget == static_cast<void*>(active)) return handle;
  }
  const QList<QWidget*> descendants = active->findChildren<QWidget*>();
  for (const auto& [handle, widget] : candidates) {
    for (QWidget* descendant : descendants) {
      if (widget == static_cast<void*>(descendant)) return handle;
    }
  }
  return 0;
}

bool PostWindowMessage(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  WindowTable& table = Table();
  {
    std::lock_guard<std::mutex> lock(table.lock);
    if (table.windows.count(window) == 0) return false;
    table.posted.push_back({window, message, wParam, lParam});
  }
  if (QCoreApplication* application = QCoreApplication::instance()) {
    QMetaObject::invokeMethod(
        application, [] { DispatchPostedMessages(); }, Qt::QueuedConnection);
  }
  return true;
}

size_t DispatchPostedMessages() {
  WindowTable& table = Table();
  std::deque<PostedMessage> messages;
  {
    std::lock_guard<std::mutex> lock(table.lock);
    messages.swap(table.posted);  // messages posted meanwhile wait for the next dispatch
  }
  size_t delivered = 0;
  for (const PostedMessage& message : messages) {
    std::shared_ptr<const WindowProcedure> procedure;
    {
      std::lock_guard<std::mutex> lock(table.lock);
      auto it = table.windows.find(message.window);
      if (it != table.windows.end()) procedure = it->second.procedure;
    }
    if (!procedure || !*procedure) continue;
    (*procedure)(message.message, message.wParam, message.lParam);
    ++delivered;
  }
  return delivered;
}

int ShowMessageBox(WindowHandle owner, const std::string& text, const std::string& title,
                   uint32_t flags) {
  MessageBoxHandler handler;
  {
    WindowTable& table = Table();
    std::lock_guard<std::mutex> lock(table.lock);
    handler = table.messageBoxHandler;
  }
  if (handler) return handler(owner, text, title, flags);

  const bool okCancel = (flags & 0xF) == kMbOkCancel;
  QApplication* application = WidgetApplication();
  // Widgets live on the application's thread only; elsewhere the box falls back to stderr.
  if (application != nullptr && QThread::currentThread() == application->thread()) {
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (flags & kMbIconMask) {
      case kMbIconError:
        icon = QMessageBox::Critical;
        break;
      case kMbIconWarning:
        icon = QMessageBox::Warning;
        break;
      case kMbIconInformation:
        icon = QMessageBox::Information;
        break;
      default:
        break;
    }
    auto* parent = static_cast<QWidget*>(NativeWidget(owner));
    QMessageBox box(icon, QString::fromStdString(title), QString::fromStdString(text),
                    okCancel ? (QMessageBox::Ok | QMessageBox::Cancel) : QMessageBox::Ok, parent);
    box.setEscapeButton(okCancel ? QMessageBox::Cancel : QMessageBox::Ok);
    if (flags & kMbSetForeground) box.setWindowFlag(Qt::WindowStaysOnTopHint);
    int answer = box.exec();
    return answer == QMessageBox::Cancel ? kIdCancel : kIdOk;
  }

  std::fprintf(stderr, "%s: %s\n", title.c_str(), text.c_str());
  std::fflush(stderr);
  return kIdOk;
}

void SetMessageBoxHandler(MessageBoxHandler handler) {
  WindowTable& table = Table();
  std::lock_guard<std::mutex> lock(table.lock);
  table.messageBoxHandler = std::move(handler);
}

}  // namespace lumeray::platform
