// The registry stand-in: one INI-style file per hive.
//
// File format (UTF-8 text, one item a line):
//
//   ; comment
//   [Software\Vantrel Software\LumerayPro\2.0\OpenGLSettings]
//   Accelerated=dword:0x00000001
//   Memory=qword:0x0000000100000000
//   LastFolder=sz:/home/ann/Pictures\nsecond line
//
// A section header is the key path verbatim (key paths hold no line breaks). A value line is
// "name=type:data"; in names and text data a backslash, a line break, a carriage return, other
// control characters and (in names) '=' are escaped: "\\", "\n", "\r", "\xHH". Key paths and value
// names compare without regard to ASCII case, as in the system registry. Lines that are not
// understood (corrupt, unknown types, values outside any section) are ignored when reading and
// kept as they are when the file is rewritten.
//
// Every operation reads the file anew; a change rewrites the whole file through
// WriteFileAtomically (a temporary file and a rename). Operations on one hive are serialised in
// this process by a mutex; between processes the last writer wins.

#include "platform/registry.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "platform/folders.h"

namespace lumeray::platform {
namespace {

std::mutex& HiveLock(Hive hive) {
  static std::mutex* locks = new std::mutex[2];
  return locks[hive == Hive::kLocalMachine ? 0 : 1];
}

std::string ConfigFolder() {
  const char* configHome = std::getenv("XDG_CONFIG_HOME");
  if (configHome != nullptr && configHome[0] == '/') return JoinPath(configHome, "lumeray");
  const std::string home = HomeFolder();
  return JoinPath(home.empty() ? "/tmp" : home,
                  ".config/lumeray");  // relative values are invalid (XDG spec)
}

char LowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
  return text.size() >= prefix.size() && EqualNoCase(text.substr(0, prefix.size()), prefix);
}

std::string NormalizeKeyPath(const std::string& path) {
  size_t start = path.find_first_not_of('\\');
  if (start == std::string::npos) return {};
  size_t end = path.find_last_not_of('\\');
  return path.substr(start, end - start + 1);
}

bool UsableKeyPath(const std::string& path) {
  if (path.empty()) return false;
  for (char c : path) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return false;
  }
  return true;
}

// In names: '=' (the separator), a first character that would make the line a section or a
// comment, and spaces at either end (lines are trimmed when read).
bool NeedsNameEscape(const std::string& name, size_t i) {
  char c = name[i];
  if (c == '=') return true;
  if (i == 0 && (c == '[' || c == ';' || c == '#')) return true;
  return c == ' ' && (i == 0 || i + 1 == name.size());
}

std::string Escape(const std::string& text, bool isName) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    auto c = static_cast<unsigned char>(text[i]);
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c < 0x20 || c == 0x7f || (isName && NeedsNameEscape(text, i))) {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = LowerAscii(c);
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::optional<std::string> Unescape(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      out += text[i];
      continue;
    }
    if (++i >= text.size()) return std::nullopt;
    switch (text[i]) {
      case '\\':
        out += '\\';
        break;
      case 'n':
        out += '\n';
        break;
      case 'r':
        out += '\r';
        break;
      case 'x': {
        if (i + 2 >= text.size()) return std::nullopt;
        int high = HexDigit(text[i + 1]);
        int low = HexDigit(text[i + 2]);
        if (high < 0 || low < 0) return std::nullopt;
        out += static_cast<char>(high * 16 + low);
        i += 2;
        break;
      }
      default:
        return std::nullopt;
    }
  }
  return out;
}

std::optional<uint64_t> ParseHex(const std::string& text, size_t maxDigits) {
  size_t start = 0;
  if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) start = 2;
  if (start >= text.size()) return std::nullopt;
  size_t first = text.find_first_not_of('0', start);
  if (first == std::string::npos) return 0;
  if (text.size() - first > maxDigits) return std::nullopt;
  uint64_t value = 0;
  for (size_t i = start; i < text.size(); ++i) {
    int digit = HexDigit(text[i]);
    if (digit < 0) return std::nullopt;
    value = value * 16 + static_cast<uint64_t>(digit);
  }
  return value;
}

std::string Hex(uint64_t value, int digits) {
  std::string out = "0x";
  for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) {
    out += "0123456789abcdef"[(value >> shift) & 15];
  }
  return out;
}

enum class ValueType { kDword, kQword, kText };

struct Value {
  ValueType type;
  uint64_t number = 0;
  std::string text;
};

std::string Encode(const Value& value) {
  switch (value.type) {
    case ValueType::kDword:
      return "dword:" + Hex(value.number, 8);
    case ValueType::kQword:
      return "qword:" + Hex(value.number, 16);
    case ValueType::kText:
      return "sz:" + Escape(value.text, false);
  }
  return {};
}

std::optional<Value> Decode(const std::string& data) {
  size_t colon = data.find(':');
  if (colon == std::string::npos) return std::nullopt;
  std::string type = data.substr(0, colon);
  std::string rest = data.substr(colon + 1);
  Value value{};
  if (EqualNoCase(type, "dword")) {
    auto number = ParseHex(rest, 8);
    if (!number) return std::nullopt;
    value.type = ValueType::kDword;
    value.number = *number;
  } else if (EqualNoCase(type, "qword")) {
    auto number = ParseHex(rest, 16);
    if (!number) return std::nullopt;
    value.type = ValueType::kQword;
    value.number = *number;
  } else if (EqualNoCase(type, "sz")) {
    auto text = Unescape(rest);
    if (!text) return std::nullopt;
    value.type = ValueType::kText;
    value.text = std::move(*text);
  } else {
    return std::nullopt;
  }
  return value;
}

// The file as lines, with what each line means.
struct HiveFile {
  enum class Kind { kOther, kSection, kValue };
  struct Line {
    std::string text;
    Kind kind = Kind::kOther;
    std::string section;  // kSection: its path; kValue: the section it is in
    std::string name;     // kValue
    std::string data;     // kValue: "type:data"
  };
  std::vector<Line> lines;
};

std::string TrimSpaces(const std::string& text) {
  size_t start = text.find_first_not_of(" \t");
  if (start == std::string::npos) return {};
  size_t end = text.find_last_not_of(" \t");
  return text.substr(start, end - start + 1);
}

// Reads the hive; 0, or an errno value when the file exists but cannot be read. Only a regular
// file is read: a pipe or a device at the path is never waited on (EINVAL).
int ReadHive(const std::string& path, HiveFile* file) {
  file->lines.clear();
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return errno == ENOENT ? 0 : errno;
  struct stat status {};
  if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    close(fd);
    return EINVAL;
  }
  std::string content;
  char chunk[16384];
  for (;;) {
    ssize_t count = read(fd, chunk, sizeof chunk);
    if (count < 0) {
      if (errno == EINTR) continue;
      int error = errno;
      close(fd);
      return error;
    }
    if (count == 0) break;
    content.append(chunk, static_cast<size_t>(count));
  }
  close(fd);

  std::string section;
  bool inSection = false;
  size_t position = 0;
  while (position < content.size()) {
    size_t end = content.find('\n', position);
    if (end == std::string::npos) end = content.size();
    HiveFile::Line line;
    line.text = content.substr(position, end - position);
    position = end + 1;
    std::string text = line.text;
    if (!text.empty() && text.back() == '\r') text.pop_back();
    std::string trimmed = TrimSpaces(text);
    if (trimmed.size() >= 2 && trimmed.front() == '[' && trimmed.back() == ']') {
      std::string path = NormalizeKeyPath(trimmed.substr(1, trimmed.size() - 2));
      inSection = UsableKeyPath(path);
      if (inSection) {
        section = path;
        line.kind = HiveFile::Kind::kSection;
        line.section = section;
      }
    } else if (inSection && !trimmed.empty() && trimmed[0] != ';' && trimmed[0] != '#') {
      size_t equals = text.find('=');
      if (equals != std::string::npos) {
        auto name = Unescape(TrimSpaces(text.substr(0, equals)));
        if (name) {
          line.kind = HiveFile::Kind::kValue;
          line.section = section;
          line.name = std::move(*name);
          line.data = text.substr(equals + 1);
        }
      }
    }
    file->lines.push_back(std::move(line));
  }
  return 0;
}

int WriteHive(Hive hive, const HiveFile& file) {
  std::string content;
  for (const auto& line : file.lines) {
    content += line.text;
    content += '\n';
  }
  std::string path = HiveFilePath(hive);
  size_t slash = path.find_last_of('/');
  int error = CreateDirectories(path.substr(0, slash));
  if (error != 0) return error;
  return WriteFileAtomically(path, content.data(), content.size());
}

std::optional<Value> FindValue(const HiveFile& file, const std::string& section,
                               const std::string& name) {
  std::optional<Value> found;
  for (const auto& line : file.lines) {
    if (line.kind != HiveFile::Kind::kValue || !EqualNoCase(line.section, section) ||
        !EqualNoCase(line.name, name)) {
      continue;
    }
    if (auto value = Decode(line.data)) found = std::move(value);  // the last valid one wins
  }
  return found;
}

bool KeyExists(const HiveFile& file, const std::string& path) {
  for (const auto& line : file.lines) {
    if (line.kind != HiveFile::Kind::kValue) continue;
    if (EqualNoCase(line.section, path) ||
        (StartsWithNoCase(line.section, path) && line.section[path.size()] == '\\')) {
      return true;
    }
  }
  return false;
}

// Removes every line of the value; returns where the first one was (or npos).
size_t RemoveValue(HiveFile* file, const std::string& section, const std::string& name) {
  size_t first = std::string::npos;
  std::vector<HiveFile::Line> kept;
  kept.reserve(file->lines.size());
  for (auto& line : file->lines) {
    if (line.kind == HiveFile::Kind::kValue && EqualNoCase(line.section, section) &&
        EqualNoCase(line.name, name)) {
      if (first == std::string::npos) first = kept.size();
      continue;
    }
    kept.push_back(std::move(line));
  }
  file->lines = std::move(kept);
  return first;
}

void PutValue(HiveFile* file, const std::string& section, const std::string& name,
              const Value& value) {
  HiveFile::Line line;
  line.kind = HiveFile::Kind::kValue;
  line.section = section;
  line.name = name;
  line.data = Encode(value);
  line.text = Escape(name, true) + "=" + line.data;

  size_t at = RemoveValue(file, section, name);
  if (at == std::string::npos) {
    // After the last value (or the header) of the first section of that path.
    for (size_t i = 0; i < file->lines.size(); ++i) {
      const auto& candidate = file->lines[i];
      if (candidate.kind == HiveFile::Kind::kSection && EqualNoCase(candidate.section, section)) {
        at = i + 1;
        for (size_t j = i + 1; j < file->lines.size(); ++j) {
          if (file->lines[j].kind == HiveFile::Kind::kSection) break;
          if (file->lines[j].kind == HiveFile::Kind::kValue) at = j + 1;
        }
        break;
      }
    }
  }
  if (at == std::string::npos) {
    if (!file->lines.empty() && !TrimSpaces(file->lines.back().text).empty()) {
      file->lines.push_back({});
    }
    HiveFile::Line header;
    header.kind = HiveFile::Kind::kSection;
    header.section = section;
    header.text = "[" + section + "]";
    file->lines.push_back(std::move(header));
    at = file->lines.size();
  }
  file->lines.insert(file->lines.begin() + static_cast<std::ptrdiff_t>(at), std::move(line));
}

int SetValue(Hive hive, const std::string& section, const std::string& name, const Value& value) {
  std::lock_guard<std::mutex> lock(HiveLock(hive));
  HiveFile file;
  int error = ReadHive(HiveFilePath(hive), &file);
  if (error != 0) return error;
  PutValue(&file, section, name, value);
  return WriteHive(hive, file);
}

std::optional<Value> GetValue(Hive hive, const std::string& section, const std::string& name) {
  std::lock_guard<std::mutex> lock(HiveLock(hive));
  HiveFile file;
  if (ReadHive(HiveFilePath(hive), &file) != 0) return std::nullopt;
  return FindValue(file, section, name);
}

}  // namespace

std::string HiveFilePath(Hive hive) {
  return JoinPath(ConfigFolder(),
                  hive == Hive::kLocalMachine ? "local-machine.ini" : "current-user.ini");
}

std::optional<RegistryKey> RegistryKey::Open(Hive hive, const std::string& path, bool create) {
  std::string normalized = NormalizeKeyPath(path);
  if (!UsableKeyPath(normalized)) return std::nullopt;
  if (!create) {
    std::lock_guard<std::mutex> lock(HiveLock(hive));
    HiveFile file;
    if (ReadHive(HiveFilePath(hive), &file) != 0 || !KeyExists(file, normalized)) {
      return std::nullopt;
    }
  }
  return RegistryKey(hive, normalized);
}

std::optional<uint32_t> RegistryKey::GetDword(const std::string& name) const {
  auto value = GetValue(hive_, path_, name);
  if (!value || value->type != ValueType::kDword) return std::nullopt;
  return static_cast<uint32_t>(value->number);
}

std::optional<uint64_t> RegistryKey::GetQword(const std::string& name) const {
  auto value = GetValue(hive_, path_, name);
  if (!value || value->type != ValueType::kQword) return std::nullopt;
  return value->number;
}

std::optional<std::string> RegistryKey::GetString(const std::string& name) const {
  auto value = GetValue(hive_, path_, name);
  if (!value || value->type != ValueType::kText) return std::nullopt;
  return std::move(value->text);
}

int RegistryKey::SetDword(const std::string& name, uint32_t value) {
  return SetValue(hive_, path_, name, Value{ValueType::kDword, value, {}});
}

int RegistryKey::SetQword(const std::string& name, uint64_t value) {
  return SetValue(hive_, path_, name, Value{ValueType::kQword, value, {}});
}

int RegistryKey::SetString(const std::string& name, const std::string& value) {
  return SetValue(hive_, path_, name, Value{ValueType::kText, 0, value});
}

int RegistryKey::DeleteValue(const std::string& name) {
  std::lock_guard<std::mutex> lock(HiveLock(hive_));
  HiveFile file;
  int error = ReadHive(HiveFilePath(hive_), &file);
  if (error != 0) return error;
  if (RemoveValue(&file, path_, name) == std::string::npos) return ENOENT;
  return WriteHive(hive_, file);
}

}  // namespace lumeray::platform
