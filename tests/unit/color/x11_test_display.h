// A private X server for the display profile tests: Xvfb started on a free display number
// (it reports the number through -displayfd), named by $DISPLAY while it runs, and root-window
// properties set on it. Kept apart from Xlib's headers, whose macros clash with the tests'.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace lumeray::testing {

class X11TestDisplay {
 public:
  // Starts Xvfb; check running() (false when Xvfb is not installed or does not start).
  X11TestDisplay();
  ~X11TestDisplay();
  X11TestDisplay(const X11TestDisplay&) = delete;
  X11TestDisplay& operator=(const X11TestDisplay&) = delete;

  bool running() const { return pid_ > 0 && !name_.empty(); }
  const std::string& name() const { return name_; }

  // Sets (or with nullopt deletes) the 8-bit property `property` of the root window.
  bool SetRootProperty(const std::string& property,
                       const std::optional<std::vector<uint8_t>>& bytes);

 private:
  pid_t pid_ = -1;
  std::string name_;
  std::optional<std::string> savedDisplay_;
};

}  // namespace lumeray::testing
