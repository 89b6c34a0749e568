#include "periphery/update_settings.h"

#include <optional>

#include "diagnostics/message_report.h"
#include "platform/registry.h"

namespace lumeray {
namespace {

constexpr const char* kEnabled = "UpdateCheckEnabled";
constexpr const char* kInterval = "UpdateIntervalInDays";
constexpr const char* kLastCheck = "LastUpdateCheckTime";
constexpr const char* kMessageVersion = "UpdateMessageVersion";
constexpr const char* kSoftwareVersion = "UpdateSoftwareVersion";
constexpr const char* kFeedAddress = "UpdateFeedAddress";

void Report(int line, const char* text) {
  MessageReport(static_cast<uint32_t>(line), kMessageDebug)
      .Report(kIconError, kTitleDebugUnexpectedError, "%s", text);
}

}  // namespace

UpdateCheckSettings ReadUpdateCheckSettings() {
  UpdateCheckSettings settings;
  const bool existed =
      platform::RegistryKey::Open(platform::Hive::kCurrentUser, kProductUpdatesKey, false)
          .has_value();
  std::optional<platform::RegistryKey> key =
      platform::RegistryKey::Open(platform::Hive::kCurrentUser, kProductUpdatesKey, true);
  if (!key) {
    Report(__LINE__, "Could not open the product family updates registry key");
    return settings;
  }
  if (!existed) {
    const UpdateCheckSettings defaults;
    key->SetDword(kEnabled, defaults.enabled ? 1 : 0);
    key->SetDword(kInterval, defaults.intervalDays);
    key->SetQword(kLastCheck, defaults.lastCheckTime);
    key->SetString(kMessageVersion, "");
    key->SetString(kSoftwareVersion, "");
  }
  if (const auto value = key->GetDword(kEnabled)) {
    settings.enabled = *value != 0;
  } else {
    settings.enabled = false;
    Report(__LINE__, "Could not read the UpdateCheckEnabled flag.");
  }
  if (const auto value = key->GetDword(kInterval)) {
    settings.intervalDays = *value;
  } else {
    settings.intervalDays = 1;
    Report(__LINE__, "Could not read the UpdateIntervalInDays value.");
  }
  if (const auto value = key->GetQword(kLastCheck)) {
    settings.lastCheckTime = *value;
  } else {
    settings.lastCheckTime = 0;
    Report(__LINE__, "Could not read the LastUpdateCheckTime value.");
  }
  settings.messageVersion = key->GetString(kMessageVersion).value_or("");
  settings.softwareVersion = key->GetString(kSoftwareVersion).value_or("");
  settings.feedAddress = key->GetString(kFeedAddress).value_or("");
  return settings;
}

bool WriteUpdateCheckSettings(const UpdateCheckSettings& settings) {
  std::optional<platform::RegistryKey> key =
      platform::RegistryKey::Open(platform::Hive::kCurrentUser, kProductUpdatesKey, true);
  if (!key) {
    Report(__LINE__, "Could not open the product family updates registry key");
    return false;
  }
  bool ok = true;
  if (key->SetDword(kEnabled, settings.enabled ? 1 : 0) != 0) {
    Report(__LINE__, "Could not write the UpdateCheckEnabled flag.");
    ok = false;
  }
  if (key->SetDword(kInterval, settings.intervalDays) != 0) {
    Report(__LINE__, "Could not write the UpdateIntervalInDays.");
    ok = false;
  }
  if (key->SetQword(kLastCheck, settings.lastCheckTime) != 0) {
    Report(__LINE__, "Could not write the LastUpdateCheckTime.");
    ok = false;
  }
  if (key->SetString(kFeedAddress, settings.feedAddress) != 0) ok = false;
  return ok;
}

}  // namespace lumeray
