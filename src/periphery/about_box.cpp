#include "periphery/about_box.h"

#include <cstdio>

namespace lumeray {

void ShowAboutBox(platform::WindowHandle owner) {
  char text[160];
  std::snprintf(text, sizeof text, "Lumeray Pro 2\nVersion %d.%d.%d.%d\nVantrel Software",
                LUMERAY_VERSION_MAJOR, LUMERAY_VERSION_MINOR, LUMERAY_VERSION_PATCH,
                LUMERAY_VERSION_TWEAK);
  platform::ShowMessageBox(owner, text, "About Lumeray Pro 2", platform::kMbIconInformation);
}

}  // namespace lumeray
