// The exported ConfigureOptions: the options dialog (periphery/options_dialog.h) without a host,
// once per user at a time (a second call while it is open brings the open one forward, or
// reports that it could not be found when it belongs to another process).
//
// Threading contract: UI thread only.
#pragma once

#include <cstdint>

namespace lumeray {

// owner: a window handle of the caller, 0 for none. False when no dialog could be shown (no
// display: reported).
bool ConfigureOptionsEntry(intptr_t owner);

}  // namespace lumeray
