// The installation-time entry: run without a host, it starts the module's installation log,
// decides on a hidden context whether this machine draws with acceleration, stores a drawing
// option valid for it (with the product version) and closes the log again.
//
// Threading contract: called on one thread, with no run of the module in progress.
#pragma once

#include <cstdint>

namespace lumeray {

// Returns the stored drawing option (1 to 4), or 0 when nothing could be stored.
int32_t InstallConfigurationEntry(const char* productVersion);

}  // namespace lumeray
