#include "periphery/about_box.h"

#include <QtGlobal>

#include <lcms2.h>

#include <cstdio>

namespace lumeray {

std::string AboutText() {
  char version[96];
  std::snprintf(version, sizeof version, "Lumeray Pro 2\nVersion %d.%d.%d.%d\nVantrel Software\n\n",
                LUMERAY_VERSION_MAJOR, LUMERAY_VERSION_MINOR, LUMERAY_VERSION_PATCH,
                LUMERAY_VERSION_TWEAK);
  char lcms[48];
  std::snprintf(lcms, sizeof lcms, "%d.%d", cmsGetEncodedCMMversion() / 1000,
                cmsGetEncodedCMMversion() % 1000 / 10);
  return std::string(version) + "Built with:\n" + "  Qt " + qVersion() + " - GNU LGPL version 3\n" +
         "  Little CMS " + lcms + " - MIT licence\n" +
         "  GLEW - modified BSD licence and MIT licence\n" +
         "  EGL and OpenGL (Mesa or the system's driver) - MIT licence\n";
}

void ShowAboutBox(platform::WindowHandle owner) {
  platform::ShowMessageBox(owner, AboutText(), "About Lumeray Pro 2", platform::kMbIconInformation);
}

}  // namespace lumeray
