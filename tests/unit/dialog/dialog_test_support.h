// Support for the dialog tests: one widget application for the test program (offscreen), a
// temporary home, and a main dialog on a parameter record.
#pragma once

#include <QApplication>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

#include "dialog/main_dialog.h"
#include "effects/parameter_set.h"
#include "host/host_globals.h"
#include "platform/window.h"
#include "ui/ui_settings.h"
#include "ui/user_data_folders.h"
#include "unit/temp_home.h"

namespace lumeray::testing {

// No host: the run result is the module's own cell (a host of an earlier test is gone).
inline void ForgetHost() {
  Host() = HostGlobals{};
  ForceRunResult(0);
}

inline QApplication& TestApplication() {
  static int argc = 1;
  static char name[] = "dialog-tests";
  static char* argv[] = {name, nullptr};
  static QApplication* application = new QApplication(argc, argv);
  return *application;
}

class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TestApplication();
    ForgetHost();
    ResetUserDataFolders();
    ASSERT_TRUE(InitializeUserDataFolders());
    platform::SetMessageBoxHandler([](platform::WindowHandle, const std::string&,
                                      const std::string&, uint32_t) { return platform::kIdOk; });
    Open();
  }
  void TearDown() override {
    dialog.reset();
    platform::SetMessageBoxHandler({});
    ResetUserDataFolders();
    ForceRunResult(0);
  }
  void Open() {
    dialog = std::make_unique<dialog::MainDialog>(&parameters, &settings);
    dialog->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
  }
  template <typename T>
  T* Control(int id) {
    return qobject_cast<T*>(dialog->Control(id));
  }

  TempHome home;
  ParameterSet parameters = kFactoryParameters;
  UiSettings settings = kDefaultUiSettings;
  std::unique_ptr<dialog::MainDialog> dialog;
};

}  // namespace lumeray::testing
