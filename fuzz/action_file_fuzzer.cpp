// Action files of any bytes must be read or refused with a message, never crash, and what is
// read must write out as a file that reads back to the same settings.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "action_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  lumeray::Descriptor settings;
  std::string error;
  if (!lumeray::ParseActionFile(text, &settings, &error)) {
    if (error.empty()) std::abort();
    return 0;
  }
  const std::string written = lumeray::FormatActionFile(settings);
  lumeray::Descriptor again;
  if (!lumeray::ParseActionFile(written, &again, &error)) std::abort();
  if (lumeray::FormatActionFile(again) != written) std::abort();
  return 0;
}
