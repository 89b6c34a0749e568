// Files of the user's settings folder ("UISettings.bin", "LastSavedParameters.lmx") and
// parameter-set files. Nothing is read or written while the user data folders are not
// available. Writes go through a temporary file and a rename: a file is either the old one or
// the whole new one, never truncated.
//
// Threading contract: called on the UI thread (the run pipeline and the dialog).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace lumeray {

inline constexpr const char* kLastSavedParametersFile = "LastSavedParameters.lmx";
inline constexpr const char* kUiSettingsFile = "UISettings.bin";

// Reads up to `size` bytes of a settings file; *bytesRead (optional) tells how many. True when
// at least one byte was read.
bool ReadSettingsFile(const char* name, void* buffer, size_t size, size_t* bytesRead = nullptr);
bool WriteSettingsFile(const char* name, const void* buffer, size_t size);

// The path of a settings file, empty when the folders are not available.
std::string SettingsFilePath(const char* name);

}  // namespace lumeray
