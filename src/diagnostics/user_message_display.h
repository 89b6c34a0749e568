// Showing user messages: on the UI thread directly, from other threads by handing a
// MessageBlock to the owner window (see message_report.h for the rules). The record of the UI
// thread and of the owner windows lives with it.
//
// Threading contract: ShowUserMessage from any thread; the UI thread and the owner windows are
// read atomically and recorded or changed only on the UI thread.
#pragma once

#include <cstdint>
#include <string>

#include "platform/window.h"

namespace lumeray {

void ShowUserMessage(uint32_t kind, uint32_t boxFlags, const char* title, const std::string& text);

// The owner recorded at initialisation (the host's window, 0 when it has none).
platform::WindowHandle InitialMessageOwnerWindow();

// Records both owners (initialisation) or forgets them (0, tear-down).
void RecordMessageOwnerWindows(platform::WindowHandle owner);

}  // namespace lumeray
