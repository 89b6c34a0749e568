// Points XDG_DATA_HOME, XDG_CONFIG_HOME and XDG_STATE_HOME at one temporary folder for the whole
// test program, so that neither the module nor the editor touches the user's own files.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>

#include "temp_dir.h"

namespace lumeray::testing {

class XdgEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    root_ = std::make_unique<TempDir>();
    for (const char* name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_STATE_HOME"}) {
      const std::filesystem::path folder = root_->path() / name;
      std::filesystem::create_directories(folder);
      setenv(name, folder.c_str(), 1);
    }
  }
  void TearDown() override { root_.reset(); }

 private:
  std::unique_ptr<TempDir> root_;
};

}  // namespace lumeray::testing
