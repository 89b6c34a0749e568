#include "host/options_entry.h"

#include <QApplication>
#include <QDir>
#include <QLockFile>
#include <QStandardPaths>

#include "diagnostics/debug_log.h"
#include "diagnostics/message_report.h"
#include "dialog/dialog_procedures.h"
#include "host/module_state.h"
#include "periphery/options_dialog.h"
#include "platform/application_scope.h"
#include "platform/window.h"

namespace lumeray {

bool ConfigureOptionsEntry(intptr_t owner) {
  InitializeModuleState(owner);
  bool shown = false;
  if (!dialog::DialogDisplayAvailable()) {
    MessageReport(__LINE__, kMessageUser)
        .Report(kIconError, kTitleErrorExiting,
                "ConfigureOptions() - The dialog cannot be shown: no display is available.");
  } else {
    platform::ApplicationScope application;
    // One options dialog per user at a time.
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    QLockFile lock(QDir(runtime.isEmpty() ? QDir::tempPath() : runtime)
                       .filePath(QStringLiteral("lumeray-options.lock")));
    lock.setStaleLockTime(0);
    if (!lock.tryLock(0)) {
      QWidget* open = nullptr;
      for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->windowTitle() == QString::fromUtf8(kOptionsDialogTitle)) open = widget;
      }
      if (open != nullptr) {
        shown = true;
        open->raise();
        open->activateWindow();
      } else {
        MessageReport(__LINE__, kMessageDebug)
            .Report(kIconError, kTitleDebugUnexpectedError,
                    "ConfigureOptions() - Could not find existing window.");
      }
    } else {
      LogEntry(kLogLevelNormal, "Opening Options dialog from start menu.");
      RunOptionsDialog(static_cast<QWidget*>(platform::NativeWidget(owner)));
      shown = true;
    }
  }
  TerminateModuleState();
  return shown;
}

}  // namespace lumeray
