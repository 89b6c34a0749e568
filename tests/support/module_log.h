// Reads the module's debug log (UTF-16LE with a byte-order mark) as UTF-8 text or lines.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "temp_dir.h"

namespace lumeray::testing {

struct LogFileContents {
  bool exists = false;
  bool byteOrderMark = false;  // the file starts with FF FE
  std::string text;            // the rest, as UTF-8
};

inline LogFileContents ReadLogFile(const std::string& path) {
  LogFileContents contents;
  std::ifstream file(path, std::ios::binary);
  if (!file) return contents;
  contents.exists = true;
  const std::vector<uint8_t> bytes = ReadFileBytes(path);
  size_t at = 0;
  if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
    contents.byteOrderMark = true;
    at = 2;
  }
  const auto unit = [&](size_t i) { return char32_t(bytes[i] | (bytes[i + 1] << 8)); };
  for (; at + 1 < bytes.size(); at += 2) {
    char32_t c = unit(at);
    if (c >= 0xD800 && c <= 0xDBFF && at + 3 < bytes.size()) {
      at += 2;
      c = 0x10000 + ((c - 0xD800) << 10) + (unit(at) - 0xDC00);
    }
    std::string& out = contents.text;
    if (c < 0x80) {
      out += char(c);
    } else if (c < 0x800) {
      out += {char(0xC0 | (c >> 6)), char(0x80 | (c & 0x3F))};
    } else if (c < 0x10000) {
      out += {char(0xE0 | (c >> 12)), char(0x80 | ((c >> 6) & 0x3F)), char(0x80 | (c & 0x3F))};
    } else {
      out += {char(0xF0 | (c >> 18)), char(0x80 | ((c >> 12) & 0x3F)),
              char(0x80 | ((c >> 6) & 0x3F)), char(0x80 | (c & 0x3F))};
    }
  }
  return contents;
}

// The lines of the log, without line ends; empty when the file is missing or has no BOM.
inline std::vector<std::string> ReadModuleLog(const std::string& path) {
  const LogFileContents log = ReadLogFile(path);
  std::vector<std::string> lines;
  if (!log.byteOrderMark) return lines;
  const std::string& text = log.text;
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
