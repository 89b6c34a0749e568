// `lumeray apply`: read the image (and mask), check and load the module, run the filter, and
// write the output only when the run succeeded.
//
// Messages go to standard error as "lumeray: ...". A failed run is reported as
// "lumeray: the filter <what happened> in <selector> (module result <code>)", followed by what
// the module said, if anything.
//
// Threading: runs on the main thread, which is the module's run thread.
#pragma once

#include "cli.h"

namespace lumeray {

// Returns the exit status.
int RunApply(const ApplyArguments& arguments);

// `lumeray sources`: the module's light source table of the image, one line per source,
// brightest first, on standard output. Uses `input`, `mask`, `plugin`, `tileSize`, `quiet`.
int RunSources(const ApplyArguments& arguments);

}  // namespace lumeray
