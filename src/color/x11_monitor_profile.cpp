#include "color/x11_monitor_profile.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace lumeray {
namespace {

constexpr const char* kProfileAtomBaseName = "_ICC_PROFILE";
constexpr int kByteFormat = 8;

}  // namespace

std::string MonitorProfileAtomName(int monitorNumber) {
  std::string name = kProfileAtomBaseName;
  if (monitorNumber > 0) name += "_" + std::to_string(monitorNumber);
  return name;
}

MonitorProfileStatus ReadMonitorProfileBytes(int monitorNumber, std::vector<uint8_t>* bytes) {
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) return MonitorProfileStatus::kNoDisplay;

  MonitorProfileStatus status = MonitorProfileStatus::kNoProfile;
  const std::string name = MonitorProfileAtomName(monitorNumber);
  // An atom that does not exist yet names no property on any window.
  const Atom atom = XInternAtom(display, name.c_str(), True);
  if (atom != None) {
    Atom actualType = None;
    int actualFormat = 0;
    unsigned long itemCount = 0;
    unsigned long bytesAfter = 0;
    unsigned char* data = nullptr;
    const long lengthInWords = static_cast<long>(kMaximumMonitorProfileBytes / 4);
    const int result = XGetWindowProperty(display, DefaultRootWindow(display), atom, 0,
                                          lengthInWords, False, AnyPropertyType, &actualType,
                                          &actualFormat, &itemCount, &bytesAfter, &data);
    if (result == Success && data != nullptr && actualFormat == kByteFormat && itemCount > 0 &&
        bytesAfter == 0) {
      bytes->assign(data, data + itemCount);
      status = MonitorProfileStatus::kFound;
    }
    if (data != nullptr) XFree(data);
  }
  XCloseDisplay(display);
  return status;
}

}  // namespace lumeray
