// Parameter-set files of any length and content are decoded without reading past the file and
// without crashing; an accepted file always carries the current version.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "effects/parameter_set.h"
#include "ui/parameter_set_files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  uint8_t block[lumeray::kParameterBlockSize];
  lumeray::DecodeParameterFile(std::span<const uint8_t>(data, size), block);
  return 0;
}
