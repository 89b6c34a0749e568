// The dialog entries the rest of the module uses, without Qt in the interface: the two exported
// dialog procedures and the run's modal main dialog.
//
// Threading contract: UI thread (the host's thread) only.
#pragma once

#include <cstdint>
#include <functional>

#include "gl/gl_context.h"
#include "platform/window.h"

namespace lumeray {

struct AnalysisRunState;

struct ParameterSet;
struct ImageRecord;
struct ProxyScale;

namespace dialog {

// The main dialog's procedure (exported as LumerayProc); 0 for a window that is not one.
intptr_t LumerayProcedure(platform::WindowHandle window, uint32_t message, uintptr_t wParam,
                          intptr_t lParam);
// The light source listing's procedure (exported as DisplayLightSourceTableProc).
intptr_t LightSourceTableProcedure(platform::WindowHandle window, uint32_t message,
                                   uintptr_t wParam, intptr_t lParam);

// What the dialog shows of the analysis while it runs.
struct AnalysisQueries {
  std::function<bool(int32_t* done, int32_t* total)> progress;  // false: no analysis
  std::function<bool()> complete;  // also called on the preview task's thread
  // The host image the live preview shows (left, top, right, bottom); empty: no live preview.
  int32_t imageBounds[4] = {0, 0, 0, 0};
  // Where the preview reads the host image (null: it shows none).
  bool (*imageSource)(void* context, ImageRecord* image, ProxyScale* scale) = nullptr;
  void* imageSourceContext = nullptr;
  // The run's analysis: the light sources the preview draws and the tools hide and show, and
  // the diagnostic listing (null: none).
  AnalysisRunState* analysis = nullptr;
  // The pixel formats the preview may use (tests force the accelerated or the failing paths).
  PixelFormatRules previewRules;
};

// True when a dialog can be shown: a widget application exists, or a platform is chosen
// (QT_QPA_PLATFORM) or an X display (DISPLAY, reachable) or Wayland display is there.
bool DialogDisplayAvailable();

// Runs the modal main dialog on `parameters` with the settings of "UISettings.bin", making a Qt
// application for the time the dialog is open when the host has none. True when it ended with
// OK; Cancel sets the run result to -128 and leaves `parameters` as they were; without a display
// the run result becomes -1715 with a message.
bool RunModalMainDialog(ParameterSet* parameters, const AnalysisQueries& analysis);

// Answers the modal main dialog at once instead of waiting for the user (tests and in-process
// test hosts): the answer, 1 (OK) or 2 (Cancel), is pressed as soon as the dialog is set up. An
// empty function restores the user's answer.
using ModalDialogAnswer = std::function<int()>;
void SetModalDialogAnswer(ModalDialogAnswer answer);

}  // namespace dialog
}  // namespace lumeray
