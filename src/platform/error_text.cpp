// Texts for error numbers (strerror_r) and the last error of the calling thread (errno).

#include "platform/error_text.h"

#include <cerrno>
#include <cstring>

namespace lumeray::platform {
namespace {

// strerror_r comes in two variants; these overloads take the result of either.
[[maybe_unused]] const char* PickText(const char* gnuResult, const char* /*buffer*/) {
  return gnuResult;  // GNU: the text, in the buffer or a static string
}
[[maybe_unused]] const char* PickText(int xsiResult, const char* buffer) {
  return xsiResult == 0 ? buffer : nullptr;  // XSI: 0 and the text in the buffer
}

}  // namespace

std::string SystemErrorText(int errorNumber) {
  char buffer[256] = {};
  int saved = errno;
  const char* text = PickText(strerror_r(errorNumber, buffer, sizeof buffer), buffer);
  errno = saved;
  if (text == nullptr) return {};
  std::string result(text);
  size_t lineBreak = result.find_first_of("\r\n");
  if (lineBreak != std::string::npos) result.resize(lineBreak);
  return result;
}

int LastError() {
  return errno;
}

void SetLastError(int errorNumber) {
  errno = errorNumber;
}

}  // namespace lumeray::platform
