// Writing the recorded descriptor at Finish: every key of the key table in order, put with the
// host's write procedures, the finished descriptor replacing the host's old one.
// WriteScriptingParameters (declared with the other run steps in host/pipeline_steps.h) returns
// 0, -30900 when the host takes no descriptor, kScriptingNoParameterBlock (scripting_read.h) when
// the current parameters cannot be had, or the code that stopped the writing: a put's error, or
// kScriptingParameterError when a field cannot be converted. Finish treats
// kScriptingNotImplementedError like 0.
//
// Threading contract: UI thread only, within Finish.
#pragma once

#include "interface/filter_interface.h"

namespace lumeray {

inline constexpr int kScriptingParameterError = static_cast<int>(FourCC("Parm"));
inline constexpr int kScriptingNotImplementedError = static_cast<int>(FourCC("!IMP"));
static_assert(kScriptingNotImplementedError == 0x21494D50);

inline constexpr const char* kScriptingNotSavedText =
    "The Photoshop scripting parameters could not be saved.";

}  // namespace lumeray
