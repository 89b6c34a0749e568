#include "gl/install_configuration.h"

#include "diagnostics/debug_log.h"
#include "diagnostics/message_report.h"
#include "gl/drawing_settings.h"
#include "platform/thread.h"
#include "ui/user_data_folders.h"

namespace lumeray {

int32_t InstallConfigurationEntry(const char* productVersion) {
  SetUiThread(platform::CurrentThreadId());
  SetInstallationLogging(true);
  InitializeMessageReporting(kProductName, 0);
  InitializeUserDataFolders();
  SetDebugLogDirectory(UserLogFolder());
  OpenDebugLog(kLoggingThreaded);
  int32_t stored = 0;
  if (RunInstallConfiguration(productVersion, PixelFormatRules{})) {
    OpenGLSettings settings;
    if (ReadOpenGLRegistryData(&settings)) stored = settings.option;
  }
  CloseDebugLog();
  TerminateMessageReporting();
  SetInstallationLogging(false);
  return stored;
}

}  // namespace lumeray
