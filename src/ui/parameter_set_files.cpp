#include "ui/parameter_set_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "diagnostics/message_report.h"
#include "platform/error_text.h"
#include "platform/folders.h"
#include "ui/user_data_folders.h"

namespace lumeray {
namespace {

namespace fs = std::filesystem;

constexpr const char* kTitleInvalidParameterSet = "Invalid Parameter Set";
constexpr const char* kTitleParameterSetConversion = "Parameter Set Conversion";

ParameterSetAppliedHook gAppliedHook = nullptr;

// Where a file is loaded from decides whether a bad one is deleted.
enum class ParameterFileOrigin { kParametersFolder, kElsewhere };

// Reads up to kParameterBlockSize bytes. False after a system error with nothing read (logged);
// an empty file is read as 0 bytes. Opened without blocking, so that a named pipe cannot hold
// the caller up.
bool ReadFileBytes(const std::string& path, uint8_t* buffer, size_t* count) {
  *count = 0;
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    const int error = errno;
    MessageReport report(__LINE__, kMessageDebug);
    report.Report(kIconError, kTitleDebugUnexpectedError,
                  "_tfopen() failed with FilePath = '%s'  and  error = '%s'", path.c_str(),
                  platform::SystemErrorText(error).c_str());
    return false;
  }
  struct stat status {};
  if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    close(fd);
    MessageReport report(__LINE__, kMessageDebug);
    report.Report(kIconError, kTitleDebugUnexpectedError,
                  "'%s' is not a regular file and is not read.", path.c_str());
    return false;
  }
  int error = 0;
  while (*count < kParameterBlockSize) {
    const ssize_t got = read(fd, buffer + *count, kParameterBlockSize - *count);
    if (got < 0) {
      if (errno == EINTR) continue;
      error = errno;
      break;
    }
    if (got == 0) break;
    *count += static_cast<size_t>(got);
  }
  close(fd);
  if (error != 0 && *count == 0) {
    MessageReport report(__LINE__, kMessageDebug);
    report.Report(kIconError, kTitleDebugUnexpectedError, "fread() failed with errno = '%s'",
                  platform::SystemErrorText(error).c_str());
    return false;
  }
  return true;
}

OwnedParameterBlock NewBlock() {
  return OwnedParameterBlock(static_cast<uint8_t*>(std::calloc(1, kParameterBlockSize)));
}

void ShowInvalid(const std::string& path, ParameterFileOrigin origin) {
  MessageReport report(__LINE__, kMessageUser);
  if (origin == ParameterFileOrigin::kParametersFolder) {
    report.Report(kIconError, kTitleInvalidParameterSet,
                  "Your Parameter Set file '%s' is invalid and cannot be used. The file is being "
                  "deleted.\r\n",
                  path.c_str());
  } else {
    report.Report(kIconError, kTitleInvalidParameterSet,
                  "Your Parameter Set file '%s' is invalid and cannot be used.", path.c_str());
  }
}

void ShowObsolete(const std::string& path, const ParameterVersion& version,
                  ParameterFileOrigin origin) {
  MessageReport report(__LINE__, kMessageUser);
  if (origin == ParameterFileOrigin::kParametersFolder) {
    report.Report(kIconError, kTitleParameterSetConversion,
                  "Your Parameter Set file '%s' (Major Version = '%d', Minor Version = '%d', "
                  "Revision = '%d', Build = '%d')was saved in an obsolete format and cannot be "
                  "converted. The file will be deleted.",
                  path.c_str(), version.major, version.minor, version.revision, version.build);
  } else {
    report.Report(kIconError, kTitleParameterSetConversion,
                  "Your Parameter Set file '%s' (Major Version = '%d', Minor Version = '%d', "
                  "Revision = '%d', Build = '%d')was saved in an obsolete format and cannot be "
                  "converted.  Your current settings have not been changed.",
                  path.c_str(), version.major, version.minor, version.revision, version.build);
  }
}

OwnedParameterBlock LoadParameterStructure(const std::string& path, ParameterFileOrigin origin) {
  if (!UserDataFoldersAvailable()) return nullptr;
  std::array<uint8_t, kParameterBlockSize> bytes{};
  size_t count = 0;
  if (!ReadFileBytes(path, bytes.data(), &count)) {
    // Not a verdict on the file's content (it may be locked away or the system short of
    // handles): the user is told, the file stays.
    ShowInvalid(path, ParameterFileOrigin::kElsewhere);
    return nullptr;
  }
  OwnedParameterBlock block = NewBlock();
  if (block == nullptr) {
    MessageReport report(__LINE__, kMessageDebug);
    report.Report(kIconError, kTitleDebugUnexpectedError,
                  "LoadParameterStructure() couldn't allocate a block for '%s'", path.c_str());
    return nullptr;
  }
  switch (DecodeParameterFile({bytes.data(), count}, block.get())) {
    case ParameterFileContent::kValid:
      return block;
    case ParameterFileContent::kInvalid:
      ShowInvalid(path, origin);
      break;
    case ParameterFileContent::kObsolete:
      ShowObsolete(path, BlockVersion(block.get()), origin);
      break;
  }
  if (origin == ParameterFileOrigin::kParametersFolder) DeleteParameterFile(path);
  return nullptr;
}

}  // namespace

ParameterFileContent DecodeParameterFile(std::span<const uint8_t> bytes, uint8_t* block) {
  std::memset(block, 0, kParameterBlockSize);
  const size_t count = std::min(bytes.size(), kParameterBlockSize);
  if (count > 0) std::memcpy(block, bytes.data(), count);
  if (count < sizeof(ParameterSet)) return ParameterFileContent::kInvalid;
  if (BlockVersion(block) == kCurrentParameterVersion) return ParameterFileContent::kValid;
  if (uint8_t* converted = ConvertParameterBlock(block)) {
    std::memcpy(block, converted, kParameterBlockSize);
    FreeParameterBlock(converted);
    return ParameterFileContent::kValid;
  }
  return ParameterFileContent::kObsolete;
}

bool ReadParameterFile(const std::string& path, uint8_t* block) {
  if (!UserDataFoldersAvailable()) return false;
  std::memset(block, 0, kParameterBlockSize);
  size_t count = 0;
  if (!ReadFileBytes(path, block, &count)) return false;
  // A file too short to hold the record is never read field by field.
  if (count < sizeof(ParameterSet)) {
    MessageReport report(__LINE__, kMessageDebug);
    report.Report(kIconError, kTitleDebugUnexpectedError,
                  "ReadParameterFile() read %zu bytes of '%s', fewer than a parameter record.",
                  count, path.c_str());
    return false;
  }
  return true;
}

bool WriteParameterFile(const uint8_t* block, const std::string& path) {
  if (!UserDataFoldersAvailable() || block == nullptr) return false;
  const int error = platform::WriteFileAtomically(path, block, kParameterBlockSize);
  if (error != 0) {
    MessageReport report(__LINE__, kMessageDebug);
    report.Report(kIconError, kTitleDebugUnexpectedError,
                  "_tfopen() failed with FilePath = '%s'  and  error = '%s'", path.c_str(),
                  platform::SystemErrorText(error).c_str());
    return false;
  }
  return true;
}

bool IsInParametersFolder(const std::string& path) {
  const std::string& folder = UserParametersFolder();
  if (folder.empty() || path.empty()) return false;
  const fs::path target(path);
  const fs::path name = target.filename();
  if (name.empty() || name == "." || name == "..") return false;
  std::error_code error;
  const fs::path parent = target.has_parent_path() ? target.parent_path() : fs::path(".");
  const fs::path realParent = fs::canonical(parent, error);
  if (error) return false;
  const fs::path realFolder = fs::canonical(folder, error);
  if (error) return false;
  const auto [inFolder, inParent] =
      std::mismatch(realFolder.begin(), realFolder.end(), realParent.begin(), realParent.end());
  return inFolder == realFolder.end();
}

bool DeleteParameterFile(const std::string& path) {
  if (!UserDataFoldersAvailable()) return false;
  if (!IsInParametersFolder(path)) {
    MessageReport report(__LINE__, kMessageDebug);
    report.Report(kIconError, kTitleDebugUnexpectedError,
                  "DeleteParameterFile() refused to delete '%s', which is not in the parameters "
                  "folder.",
                  path.c_str());
    return false;
  }
  // Removes the entry itself: a symbolic link goes, not what it points to.
  if (unlink(path.c_str()) != 0) {
    const int error = errno;
    MessageReport report(__LINE__, kMessageDebug);
    report.Report(kIconError, kTitleDebugUnexpectedError,
                  "_tremove() failed with error = '%d'. File to be deleted was '%s'", error,
                  path.c_str());
    return false;
  }
  return true;
}

OwnedParameterBlock LoadSavedSet(const std::string& path) {
  // Only a file that is in the parameters folder is deleted when bad, and only such a file is
  // told so; any other is left as it is, and the message says that the settings stay.
  return LoadParameterStructure(path, IsInParametersFolder(path)
                                          ? ParameterFileOrigin::kParametersFolder
                                          : ParameterFileOrigin::kElsewhere);
}

OwnedParameterBlock ImportParameterFile(const std::string& path) {
  return LoadParameterStructure(path, ParameterFileOrigin::kElsewhere);
}

void SetParameterSetAppliedHook(ParameterSetAppliedHook hook) {
  gAppliedHook = hook;
}

bool ApplyParameterSet(const uint8_t* block) {
  if (block == nullptr) return false;
  const ParameterVersion version = BlockVersion(block);
  const auto* current = reinterpret_cast<const ParameterVersion*>(
      ParameterBlockCallback(kBlockCurrentVersion, nullptr));
  if (version != *current) {
    MessageReport report(__LINE__, kMessageDebug);
    report.Report(kIconError, kTitleDebugUnexpectedError,
                  "Parameter Set version mismatch: Major Version = '%d', Minor Version = '%d', "
                  "Revision = '%d', Build = '%d'",
                  version.major, version.minor, version.revision, version.build);
    return false;
  }
  ApplyParameterBlock(block);
  if (gAppliedHook != nullptr) gAppliedHook();
  return true;
}

}  // namespace lumeray
