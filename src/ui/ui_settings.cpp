#include "ui/ui_settings.h"

#include <cstring>

#include "diagnostics/message_report.h"
#include "ui/settings_files.h"

namespace lumeray {

UiSettings LoadUiSettings() {
  UiSettings read{};
  size_t bytesRead = 0;
  if (!ReadSettingsFile(kUiSettingsFile, &read, sizeof read, &bytesRead)) {
    return kDefaultUiSettings;
  }
  if (read.version != kUiSettingsVersion) {
    MessageReport report(__LINE__, kMessageDebug);
    report.Report(kIconError, kTitleDebugUnexpectedError,
                  "User Setting File version mismatch. File Version = '%d','%d','%d','%d'",
                  read.version[0], read.version[1], read.version[2], read.version[3]);
    return kDefaultUiSettings;
  }
  if (bytesRead < sizeof read) {
    // A cut-off file is treated as missing: its tail cannot be trusted.
    MessageReport report(__LINE__, kMessageDebug);
    report.Report(kIconError, kTitleDebugUnexpectedError,
                  "User Setting File is too short: %zu of %zu bytes.", bytesRead, sizeof read);
    return kDefaultUiSettings;
  }
  return read;
}

bool SaveUiSettings(const UiSettings& settings) {
  return WriteSettingsFile(kUiSettingsFile, &settings, sizeof settings);
}

}  // namespace lumeray
