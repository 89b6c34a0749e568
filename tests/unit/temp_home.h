// A temporary home for tests: XDG_DATA_HOME, XDG_CONFIG_HOME and XDG_STATE_HOME point into a
// fresh folder for the lifetime of the object, which is removed afterwards.
#pragma once

#include <filesystem>

#include "support/temp_dir.h"

namespace lumeray::testing {

class TempHome {
 public:
  const std::filesystem::path& root() const { return root_.path(); }
  std::filesystem::path data() const { return root() / "data"; }
  std::filesystem::path logFolder() const { return data() / "Vantrel/LumerayPro2/Logs"; }
  std::filesystem::path settingsFolder() const { return data() / "Vantrel/LumerayPro2/Settings"; }

 private:
  TempDir root_;
  ScopedEnvironment data_{"XDG_DATA_HOME", root_ / "data"};
  ScopedEnvironment config_{"XDG_CONFIG_HOME", root_ / "config"};
  ScopedEnvironment state_{"XDG_STATE_HOME", root_ / "state"};
};

}  // namespace lumeray::testing
