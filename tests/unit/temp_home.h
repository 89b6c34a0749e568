// A temporary home for tests: XDG_DATA_HOME, XDG_CONFIG_HOME and XDG_STATE_HOME point into a
// fresh folder for the lifetime of the object, which is removed afterwards.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace lumeray::testing {

class TempHome {
 public:
  TempHome() {
    std::string pattern = (std::filesystem::temp_directory_path() / "lumeray-test-XXXXXX").string();
    root_ = mkdtemp(pattern.data());
    Set("XDG_DATA_HOME", root_ / "data");
    Set("XDG_CONFIG_HOME", root_ / "config");
    Set("XDG_STATE_HOME", root_ / "state");
  }
  ~TempHome() {
    for (auto& [name, value] : saved_) {
      if (value) {
        setenv(name.c_str(), value->c_str(), 1);
      } else {
        unsetenv(name.c_str());
      }
    }
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }
  TempHome(const TempHome&) = delete;
  TempHome& operator=(const TempHome&) = delete;

  const std::filesystem::path& root() const { return root_; }
  std::filesystem::path data() const { return root_ / "data"; }
  std::filesystem::path logFolder() const { return data() / "Vantrel/LumerayPro2/Logs"; }
  std::filesystem::path settingsFolder() const { return data() / "Vantrel/LumerayPro2/Settings"; }

 private:
  void Set(const std::string& name, const std::filesystem::path& value) {
    const char* old = std::getenv(name.c_str());
    saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
    setenv(name.c_str(), value.c_str(), 1);
  }

  std::filesystem::path root_;
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

}  // namespace lumeray::testing
