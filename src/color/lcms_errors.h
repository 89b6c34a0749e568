// Little CMS reports its own failures (a profile it cannot parse, a transform it cannot build)
// through a log handler. The module's handler turns each into a debug report, "Little CMS
// returned error code %d: '%s'" titled "Debug: Unexpected error"; it never stops the run, the
// failing Little CMS call still returns its failure value to its caller.
//
// Threading contract: Little CMS may call the handler on any thread at any time. The handler is
// installed by colour management set-up, on the UI thread.
#pragma once

#include <lcms2.h>

namespace lumeray {

void LittleCmsErrorHandler(cmsContext context, cmsUInt32Number code, const char* text);

void InstallLittleCmsErrorHandler();

}  // namespace lumeray
