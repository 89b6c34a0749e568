// The module state that lives from the first selector of a run to its tear-down: the UI thread,
// message reporting and the debug log, the user data folders, buffer accounting, the run in
// progress (filter_run.h), and the machinery the later selectors rely on. Set up by the first call
// after the module is loaded (and again after each tear-down); torn down after Finish, after About,
// and after any selector that ends with a non-zero result.
//
// Threading contract: UI thread only.
#pragma once

#include "platform/window.h"

namespace lumeray {

void InitializeModuleState(platform::WindowHandle owner);
void TerminateModuleState();
bool ModuleStateInitialized();

}  // namespace lumeray
