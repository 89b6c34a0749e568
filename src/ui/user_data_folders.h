// The user's data folders (settings, parameter sets, logs) under the local application data
// folder, and the product's common (installation) data folder. Made once per module load; every
// file routine that needs them does nothing while they are not available.
//
//   <local data>/Vantrel/LumerayPro2/Settings     UISettings.bin, LastSavedParameters.lmx
//   <local data>/Vantrel/LumerayPro2/Parameters   named parameter sets (*.lmx)
//   <local data>/Vantrel/LumerayPro2/Logs         the debug logs
//   <common data>/VantrelSoftware/Lumeray Pro 2   help pages
//
// The folders are process-wide state, set up with the module and not one run's (run/run_state.h).
//
// Threading contract: InitializeUserDataFolders on the UI thread during the module set-up; the
// getters from any thread afterwards.
#pragma once

#include <string>

namespace lumeray {

inline constexpr const char* kProductFolderName = "LumerayPro2";
inline constexpr const char* kProductName = "Lumeray Pro 2";
inline constexpr size_t kMaximumPathLength = 1000;
inline constexpr size_t kMaximumRelativePathLength = 260;

bool InitializeUserDataFolders();
bool UserDataFoldersAvailable();
// Forgets the folders (tests).
void ResetUserDataFolders();

const std::string& UserSettingsFolder();
const std::string& UserParametersFolder();
const std::string& UserLogFolder();
const std::string& CommonDataFolder();
const std::string& ProductCommonDataFolder();

bool GetUserDataFolder(const std::string& relativePath, std::string* folder);
bool MakeUserDataFolder(const std::string& path);
bool GetCommonDataFolder(std::string* folder);

}  // namespace lumeray
