// Texts for system and C run-time error numbers (errno values on this platform).
#pragma once

#include <string>

namespace lumeray::platform {

// The system's text for an error number, cut at its first line break; empty when it has none.
std::string SystemErrorText(int errorNumber);

// The calling thread's last error number, and setting it (0 clears it).
int LastError();
void SetLastError(int errorNumber);

}  // namespace lumeray::platform
