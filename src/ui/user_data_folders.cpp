#include "ui/user_data_folders.h"

#include <cerrno>

#include "diagnostics/message_report.h"
#include "platform/folders.h"

namespace lumeray {
namespace {

struct UserDataFolders {
  bool available = false;
  bool initialized = false;
  std::string settings, parameters, logs, common, productCommon;
};

UserDataFolders gFolders;

void ReportDebug(uint32_t line, const char* format, const std::string& argument = {}) {
  MessageReport report(line, kMessageDebug);
  report.Report(kIconError, kTitleDebugUnexpectedError, format, argument.c_str());
}

std::string RelativeFolder(const char* leaf) {
  return std::string("Vantrel/") + kProductFolderName + "/" + leaf;
}

bool MakeOne(const char* leaf, const char* failureFormat, std::string* out) {
  const std::string relative = RelativeFolder(leaf);
  std::string folder;
  if (!GetUserDataFolder(relative, &folder)) {
    ReportDebug(__LINE__, "GetUserDataFolder() failed.");
    return false;
  }
  if (!MakeUserDataFolder(folder)) {
    ReportDebug(__LINE__, failureFormat, relative);
    return false;
  }
  *out = folder;
  return true;
}

}  // namespace

bool GetUserDataFolder(const std::string& relativePath, std::string* folder) {
  std::string root;
  const int error = platform::GetLocalAppDataFolder(/*create=*/true, &root);
  if (error != 0) {
    MessageReport report(__LINE__, kMessageDebug);
    report.Report(kIconError, kTitleDebugUnexpectedError,
                  "SHGetFolderPath failed with GetFolderResult = '%X' and  Last Error = '%X'",
                  static_cast<unsigned>(error), static_cast<unsigned>(errno));
    return false;
  }
  std::string joined = platform::JoinPath(root, relativePath);
  if (relativePath.size() >= kMaximumRelativePathLength || joined.size() >= kMaximumPathLength) {
    MessageReport report(__LINE__, kMessageDebug);
    report.Report(kIconError, kTitleDebugUnexpectedError,
                  "_stprintf_s() failed with RootDirPath = '%s' and  errno = '%d'", root.c_str(),
                  ERANGE);
    return false;
  }
  *folder = std::move(joined);
  return true;
}

bool MakeUserDataFolder(const std::string& path) {
  const int error = platform::CreateDirectories(path);
  if (error == 0) return true;
  MessageReport report(__LINE__, kMessageDebug);
  if (error == ENAMETOOLONG || error == ENOENT || error == EINVAL || error == ECANCELED) {
    report.Report(kIconError, kTitleDebugUnexpectedError,
                  "SHCreateDirectoryEx failed.  Result = '%X' and Last Error = '%X'",
                  static_cast<unsigned>(error), static_cast<unsigned>(error));
  } else {
    report.Report(kIconError, kTitleDebugUnexpectedError,
                  "SHCreateDirectoryEx failed with unexpected Result = '%X' and Last Error = '%X'",
                  static_cast<unsigned>(error), static_cast<unsigned>(error));
  }
  return false;
}

bool GetCommonDataFolder(std::string* folder) {
  std::string root;
  if (platform::GetCommonAppDataFolder(&root) != 0) return false;
  *folder = platform::JoinPath(root, "VantrelSoftware");
  return true;
}

bool InitializeUserDataFolders() {
  // Located anew at every module set-up, so a changed environment is followed between runs.
  UserDataFolders folders;
  bool ok = MakeOne("Settings", "MakeUserDataFolder() failed with Settings Subdirectory = '%s'",
                    &folders.settings);
  ok &= MakeOne("Parameters", "MakeUserDataFolder() failed with Parameters Subdirectory = '%s'",
                &folders.parameters);
  ok &= MakeOne("Logs", "MakeUserDataFolder() failed with DebugLog Subdirectory = '%s'",
                &folders.logs);
  // The installation's data folder is read-only at run time: it is located, never created.
  if (GetCommonDataFolder(&folders.common)) {
    folders.productCommon = platform::JoinPath(folders.common, kProductName);
  } else {
    ReportDebug(__LINE__, "GetCommonDataFolder() failed to initialize the common data directory.");
    ok = false;
  }
  folders.available = ok;
  folders.initialized = true;
  gFolders = std::move(folders);
  return ok;
}

bool UserDataFoldersAvailable() {
  return gFolders.available;
}

void ResetUserDataFolders() {
  gFolders = UserDataFolders{};
}

const std::string& UserSettingsFolder() {
  return gFolders.settings;
}
const std::string& UserParametersFolder() {
  return gFolders.parameters;
}
const std::string& UserLogFolder() {
  return gFolders.logs;
}
const std::string& CommonDataFolder() {
  return gFolders.common;
}
const std::string& ProductCommonDataFolder() {
  return gFolders.productCommon;
}

}  // namespace lumeray
