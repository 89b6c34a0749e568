// The update-check settings: whether and how often the module looks online for a newer version,
// and where it looks. They live in the registry stand-in (current-user hive) under
// kProductUpdatesKey. No feed address is built in: until the user gives one, nothing is fetched.
// Checking is off until the user turns it on.
//
// Threading contract: any thread (the registry stand-in serialises its files).
#pragma once

#include <cstdint>
#include <string>

namespace lumeray {

inline constexpr const char* kProductUpdatesKey =
    "Software\\Vantrel Software\\LumerayPro\\2.0\\Product Updates";

struct UpdateCheckSettings {
  bool enabled = false;
  uint32_t intervalDays = 7;
  uint64_t lastCheckTime = 0;  // seconds since 1970, 0: never
  std::string messageVersion;
  std::string softwareVersion;
  std::string feedAddress;  // a URL; empty: no check
};

// Reads the settings; a key that does not exist yet is made with the defaults. A value that
// cannot be read is reported and takes its fallback (off, 1 day, never).
UpdateCheckSettings ReadUpdateCheckSettings();
// Writes the enabled flag, the interval, the last check time and the feed address; false
// (reported) when one could not be written.
bool WriteUpdateCheckSettings(const UpdateCheckSettings& settings);

}  // namespace lumeray
