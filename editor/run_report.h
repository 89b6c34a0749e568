// Words for how a filter run ended, shared by every program that hosts the module (the editor's
// standard error, the GIMP bridge's message).
//
// Threading: pure function.
#pragma once

#include <string>
#include <vector>

#include "host_session.h"

namespace lumeray {

// For a failed run: "cannot run the filter: <why>" when the host refused, else
// "the filter <what happened> in <selector> (module result <code>)" followed by
// "the module says: <text>" when the module said something. Empty for a successful run.
std::vector<std::string> DescribeRunFailure(const RunOutcome& outcome);

}  // namespace lumeray
