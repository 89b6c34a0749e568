// The host's side of the module globals in one include for the entry's own files: the host
// record (run/host_record.h), the run's status (run/run_status.h) and the current parameters
// (effects/parameter_block.h). Lower layers include those headers themselves.
#pragma once

#include "effects/parameter_block.h"
#include "run/host_record.h"
#include "run/run_status.h"
