// The parameters kept in the host's descriptor registry between runs: one persistent entry whose
// descriptor holds the 255-byte parameter block (the ParameterSet at the front, stamped with the
// current version) as data under 'PBlk'. ReadRegistryParameters and WriteRegistryParameters are
// declared with the other run steps in host/pipeline_steps.h:
//   read:  0, -30900 (no suites, no entry, no usable block) or -30905 (a block of another
//          version that no conversion accepts; the current parameters are left as they were);
//   write: 0 or -30900.
// The registry suite is used in version 1, the action descriptor suite in version 3, else 2;
// each is released with the version it was acquired with, the action descriptor suite first.
//
// Threading contract: UI thread only, within Start and Finish.
#pragma once

#include <cstdint>

#include "interface/filter_interface.h"

namespace lumeray {

// The entry's key; also the scope of the module's scripting terminology.
inline constexpr const char kRegistryParametersKey[] = "383056ce-1943-4863-835d-19c2a188df95";
inline constexpr DescriptorKeyID kRegistryBlockKey = FourCC("PBlk");

inline constexpr int32_t kRegistrySuiteVersion = 1;
inline constexpr int32_t kActionDescriptorSuiteVersion = 3;
inline constexpr int32_t kActionDescriptorSuiteOldVersion = 2;

}  // namespace lumeray
