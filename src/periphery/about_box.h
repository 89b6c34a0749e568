// The About box: the product's name, version and maker, and the libraries the module is built
// with together with their licences, owned by the host's window.
//
// Threading contract: UI thread only.
#pragma once

#include <string>

#include "platform/window.h"

namespace lumeray {

// The box's text.
std::string AboutText();
void ShowAboutBox(platform::WindowHandle owner);

}  // namespace lumeray
