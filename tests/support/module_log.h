// Reads the module's debug log (UTF-16LE with a byte-order mark) as lines of UTF-8 text.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "temp_dir.h"

namespace lumeray::testing {

// The lines of the log, without line ends; empty when the file is missing or has no BOM.
inline std::vector<std::string> ReadModuleLog(const std::string& path) {
  const std::vector<uint8_t> bytes = ReadFileBytes(path);
  std::vector<std::string> lines;
  if (bytes.size() < 2 || bytes[0] != 0xFF || bytes[1] != 0xFE) return lines;
  std::string text;
  for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
    const auto unit = static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
    if (unit < 0x80) {
      text.push_back(static_cast<char>(unit));
    } else {
      text.push_back('?');  // the tests only look at ASCII text
    }
  }
  size_t start = 0;
  while (start <= text.size()) {
    const size_t end = text.find('\n', start);
    std::string line =
        text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return lines;
}

}  // namespace lumeray::testing
