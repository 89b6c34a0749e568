// The run's modal main dialog, with a Qt application of its own when the host has none
// (platform/application_scope.h).

#include <QApplication>
#include <QByteArray>

#include <memory>
#include <mutex>
#include <string>

#include "diagnostics/message_report.h"
#include "dialog/dialog_messages.h"
#include "dialog/dialog_procedures.h"
#include "dialog/dialog_template.h"
#include "dialog/main_dialog.h"
#include "interface/filter_interface.h"
#include "platform/application_scope.h"
#include "run/run_status.h"
#include "ui/ui_settings.h"

// Last: its macros clash with Qt's names.
#include <X11/Xlib.h>

namespace lumeray::dialog {
namespace {

struct AnswerSlot {
  std::mutex lock;
  ModalDialogAnswer answer;  // guarded by lock
};
AnswerSlot& Answer() {
  static AnswerSlot slot;
  return slot;
}

bool X11DisplayReachable() {
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) return false;
  XCloseDisplay(display);
  return true;
}

}  // namespace

bool DialogDisplayAvailable() {
  if (QCoreApplication::instance() != nullptr) {
    return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
  }
  const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
  if (!platform.isEmpty() && !platform.startsWith("xcb")) return true;
  if (!qgetenv("DISPLAY").isEmpty()) return X11DisplayReachable();
  return platform.isEmpty() && !qgetenv("WAYLAND_DISPLAY").isEmpty();
}

void SetModalDialogAnswer(ModalDialogAnswer answer) {
  std::lock_guard<std::mutex> lock(Answer().lock);
  Answer().answer = std::move(answer);
}

bool RunModalMainDialog(ParameterSet* parameters, const AnalysisQueries& analysis) {
  if (!DialogDisplayAvailable()) {
    MessageReport report(__LINE__, kMessageUser);
    report.Report(kIconError, kTitleErrorExiting,
                  "RunMainDialog() - The dialog cannot be shown: no display is available "
                  "(set DISPLAY, or QT_QPA_PLATFORM=offscreen).");
    SetRunResult(kErrAEEventFailed);
    return false;
  }
  platform::ApplicationScope application;
  UiSettings settings = LoadUiSettings();
  int result = 0;
  {
    ModalDialogAnswer answer;
    {
      std::lock_guard<std::mutex> lock(Answer().lock);
      answer = Answer().answer;
    }
    MainDialog dialog(parameters, &settings, analysis);
    if (!dialog.ending() && answer) {
      const int button = answer() == kDialogOk ? kIdOk : kIdCancel;
      LumerayProcedure(dialog.handle(), kWmCommand, CommandParam(button, kNotifyClicked), 0);
    }
    // An error set while the dialog was being set up has closed it already.
    result = dialog.ending() ? dialog.result() : dialog.exec();
  }
  if (result == kDialogCancel) SetRunResult(kUserCanceledErr);
  return result == kDialogOk && RunResult() == 0;
}

}  // namespace lumeray::dialog
