// A Qt widget application for the time a module window is open, when the host has none (the
// `lumeray` editor, the GIMP bridge). UI thread only.
//
// Qt's application object sets the process's locale from the environment on Unix; the host's
// locale is put back at once, so that number formatting elsewhere in the module and the host
// (logs, listings, files) does not change while the window is open.
#pragma once

#include <QApplication>
#include <QCoreApplication>

#include <clocale>
#include <memory>
#include <string>

namespace lumeray::platform {

class ApplicationScope {
 public:
  ApplicationScope() {
    if (QCoreApplication::instance() != nullptr) return;
    const char* locale = std::setlocale(LC_ALL, nullptr);
    const std::string saved = locale != nullptr ? locale : "C";
    application_ = std::make_unique<QApplication>(argc_, argv_);
    std::setlocale(LC_ALL, saved.c_str());
  }
  ApplicationScope(const ApplicationScope&) = delete;
  ApplicationScope& operator=(const ApplicationScope&) = delete;

 private:
  int argc_ = 1;  // argc and argv outlive the application, as Qt requires
  char name_[8] = "lumeray";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> application_;
};

}  // namespace lumeray::platform
