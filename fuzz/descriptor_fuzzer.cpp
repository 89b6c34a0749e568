// Played-back descriptors of any shape must only ever change the addressed fields of the
// parameters, never the version or the padding, and never crash.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>

#include "effects/parameter_set.h"
#include "host/scripting_read.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  lumeray::ParameterSet parameters = lumeray::kFactoryParameters;
  lumeray::ReadDescriptorBytes(std::span<const uint8_t>(data, size), &parameters);
  if (!(parameters.version == lumeray::kCurrentParameterVersion) || parameters.padding0 != 0 ||
      parameters.padding1 != 0) {
    std::abort();
  }
  return 0;
}
