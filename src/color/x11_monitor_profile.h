// A monitor's ICC profile under X11, by the X colour management convention: the profile of
// monitor n is the 8-bit property "_ICC_PROFILE" (n = 0) or "_ICC_PROFILE_n" (n > 0) of the
// root window of the display's default screen. The display is the one $DISPLAY names.
//
// Threading contract: any thread, but calls must not overlap (Xlib is used without its thread
// support); the display profile cache calls it under its lock. Each call opens and closes its
// own display connection.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace lumeray {

// Larger properties are not taken for profiles.
constexpr uint64_t kMaximumMonitorProfileBytes = 64u << 20;

enum class MonitorProfileStatus { kFound, kNoDisplay, kNoProfile };

std::string MonitorProfileAtomName(int monitorNumber);

// The bytes of monitor `monitorNumber`'s profile in *bytes when kFound.
MonitorProfileStatus ReadMonitorProfileBytes(int monitorNumber, std::vector<uint8_t>* bytes);

}  // namespace lumeray
