#include "host/last_saved_parameters.h"

#include <array>

#include "diagnostics/message_report.h"
#include "effects/parameter_block.h"
#include "ui/settings_files.h"

namespace lumeray {

bool LoadLastSavedParameters() {
  std::array<uint8_t, kParameterBlockSize> block{};
  size_t bytesRead = 0;
  if (!ReadSettingsFile(kLastSavedParametersFile, block.data(), block.size(), &bytesRead)) {
    return false;
  }
  // A block too short to hold the record is never read field by field.
  if (bytesRead < sizeof(ParameterSet)) {
    MessageReport report(__LINE__, kMessageDebug);
    report.Report(kIconWarning, kTitleDebugWarning,
                  "The last saved parameter file holds %zu bytes, fewer than a parameter record; "
                  "it is not used.",
                  bytesRead);
    return false;
  }
  if (TakeParameterBlock(block.data())) return true;
  const ParameterVersion stored = BlockVersion(block.data());
  const ParameterVersion& current = kCurrentParameterVersion;
  MessageReport report(__LINE__, kMessageDebug);
  report.Report(kIconWarning, kTitleDebugWarning,
                "No parameter file conversion could be done, using defaults.  Stored version = "
                "%d.%d.%d.%d, current version = %d.%d.%d.%d\n",
                stored.major, stored.minor, stored.revision, stored.build, current.major,
                current.minor, current.revision, current.build);
  return false;
}

bool SaveLastSavedParameters() {
  uint8_t* block = NewCurrentParameterBlock();
  if (block == nullptr) return false;
  const bool written = WriteSettingsFile(kLastSavedParametersFile, block, kParameterBlockSize);
  FreeParameterBlock(block);
  return written;
}

}  // namespace lumeray
