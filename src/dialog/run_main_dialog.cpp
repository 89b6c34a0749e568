// The run's modal main dialog, with a Qt application of its own when the host has none.
//
// Qt's application object sets the process's locale from the environment on Unix; the host's
// locale is put back at once, so that number formatting elsewhere in the module and the host
// (logs, listings, files) does not change while the dialog is open.

#include <QApplication>
#include <QByteArray>

#include <clocale>
#include <memory>
#include <mutex>
#include <string>

#include "diagnostics/message_report.h"
#include "dialog/dialog_messages.h"
#include "dialog/dialog_procedures.h"
#include "dialog/dialog_template.h"
#include "dialog/main_dialog.h"
#include "host/host_globals.h"
#include "ui/ui_settings.h"

// Last: its macros clash with Qt's names.
#include <X11/Xlib.h>

namespace lumeray::dialog {
namespace {

// A widget application for the time the dialog is open; argc and argv outlive it.
class ApplicationScope {
 public:
  ApplicationScope() {
    if (QCoreApplication::instance() != nullptr) return;
    const char* locale = std::setlocale(LC_ALL, nullptr);
    const std::string saved = locale != nullptr ? locale : "C";
    application_ = std::make_unique<QApplication>(argc_, argv_);
    std::setlocale(LC_ALL, saved.c_str());
  }
  ApplicationScope(const ApplicationScope&) = delete;
  ApplicationScope& operator=(const ApplicationScope&) = delete;

 private:
  int argc_ = 1;
  char name_[8] = "lumeray";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> application_;
};

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
  ApplicationScope application;
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
