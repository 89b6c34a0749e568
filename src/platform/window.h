// Windows as the module sees them: opaque handles of windows that the module's user interface
// registers, with a procedure that receives posted messages, and message boxes.
//
// A message box is a Qt message box when a QApplication exists and the call is made on its
// thread; otherwise "<title>: <text>" goes to standard error and the answer is kIdOk. Tests may
// divert message boxes (SetMessageBoxHandler).
//
// Threading contract: RegisterWindow/UnregisterWindow and message boxes on the UI thread;
// IsWindow and PostWindowMessage from any thread. A posted message runs the window's procedure
// on the UI thread (through the Qt event loop when one runs, else at the next
// DispatchPostedMessages() on that thread).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace lumeray::platform {

using WindowHandle = intptr_t;  // 0 is no window
using WindowProcedure = std::function<void(uint32_t message, uintptr_t wParam, intptr_t lParam)>;

constexpr uint32_t kWmApp = 0x8000;

// Message box style flags.
constexpr uint32_t kMbOk = 0x0;
constexpr uint32_t kMbOkCancel = 0x1;
constexpr uint32_t kMbIconError = 0x10;
constexpr uint32_t kMbIconWarning = 0x30;
constexpr uint32_t kMbIconInformation = 0x40;
constexpr uint32_t kMbIconMask = 0xF0;
constexpr uint32_t kMbSetForeground = 0x10000;

constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;

WindowHandle RegisterWindow(WindowProcedure procedure, void* nativeWidget = nullptr);
void UnregisterWindow(WindowHandle window);
bool IsWindow(WindowHandle window);
void* NativeWidget(WindowHandle window);

// The active window of the calling thread's application, 0 when none: the registered window
// whose native widget is QApplication::activeWindow(), else one whose widget lies inside it.
WindowHandle ActiveWindow();

bool PostWindowMessage(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam);
size_t DispatchPostedMessages();

// Shows a modal message box; returns kIdOk or kIdCancel.
int ShowMessageBox(WindowHandle owner, const std::string& text, const std::string& title,
                   uint32_t flags);

using MessageBoxHandler = std::function<int(WindowHandle owner, const std::string& text,
                                            const std::string& title, uint32_t flags)>;
// Replaces how boxes are shown (tests); an empty handler restores the default.
void SetMessageBoxHandler(MessageBoxHandler handler);

}  // namespace lumeray::platform
