// The About box: the product's name, version and maker, owned by the host's window.
#pragma once

#include "platform/window.h"

namespace lumeray {

void ShowAboutBox(platform::WindowHandle owner);

}  // namespace lumeray
