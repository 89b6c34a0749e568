#include "json_value.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <utility>

#include "utf8.h"

namespace lumeray {
namespace {

constexpr uint32_t kHighSurrogateFirst = 0xD800;
constexpr uint32_t kLowSurrogateFirst = 0xDC00;
constexpr uint32_t kSurrogateEnd = 0xE000;
constexpr uint32_t kFirstSupplementary = 0x10000;
constexpr char kHexDigits[] = "0123456789abcdef";

class Parser {
 public:
  explicit Parser(std::string_view text) : text_(text) {}

  bool ParseDocument(JsonValue* value, std::string* error) {
    SkipSpace();
    if (!ParseValue(value, 0)) return Fail(error);
    SkipSpace();
    if (position_ != text_.size()) {
      problem_ = "unexpected text after the JSON value";
      return Fail(error);
    }
    return true;
  }

 private:
  bool Fail(std::string* error) const {
    size_t line = 1;
    size_t column = 1;
    for (size_t i = 0; i < position_ && i < text_.size(); ++i) {
      if (text_[i] == '\n') {
        ++line;
        column = 1;
      } else {
        ++column;
      }
    }
    *error =
        "line " + std::to_string(line) + ", column " + std::to_string(column) + ": " + problem_;
    return false;
  }

  bool Problem(std::string text) {
    problem_ = std::move(text);
    return false;
  }

  bool AtEnd() const { return position_ >= text_.size(); }
  char Peek() const { return AtEnd() ? '\0' : text_[position_]; }

  void SkipSpace() {
    while (!AtEnd() && (Peek() == ' ' || Peek() == '\t' || Peek() == '\n' || Peek() == '\r')) {
      ++position_;
    }
  }

  bool Literal(std::string_view word) {
    if (text_.substr(position_, word.size()) != word) return Problem("unexpected character");
    position_ += word.size();
    return true;
  }

  bool ParseValue(JsonValue* value, int depth) {
    if (AtEnd()) return Problem("unexpected end of the text");
    switch (Peek()) {
      case '{':
        return ParseObject(value, depth + 1);
      case '[':
        return ParseArray(value, depth + 1);
      case '"':
        value->kind = JsonValue::Kind::kString;
        return ParseString(&value->text);
      case 't':
        value->kind = JsonValue::Kind::kBoolean;
        value->boolean = true;
        return Literal("true");
      case 'f':
        value->kind = JsonValue::Kind::kBoolean;
        value->boolean = false;
        return Literal("false");
      case 'n':
        value->kind = JsonValue::Kind::kNull;
        return Literal("null");
      default:
        return ParseNumber(value);
    }
  }

  bool ParseObject(JsonValue* value, int depth) {
    if (depth > kMaxJsonDepth) return Problem("nested too deeply");
    value->kind = JsonValue::Kind::kObject;
    ++position_;  // '{'
    SkipSpace();
    if (Peek() == '}') {
      ++position_;
      return true;
    }
    for (;;) {
      SkipSpace();
      if (Peek() != '"') return Problem("expected a member name in double quotes");
      std::string name;
      if (!ParseString(&name)) return false;
      if (value->Member(name) != nullptr) return Problem("the member \"" + name + "\" is repeated");
      SkipSpace();
      if (Peek() != ':') return Problem("expected ':' after a member name");
      ++position_;
      SkipSpace();
      JsonValue member;
      if (!ParseValue(&member, depth)) return false;
      value->members.push_back(JsonMember{std::move(name), std::move(member)});
      SkipSpace();
      if (Peek() == ',') {
        ++position_;
        continue;
      }
      if (Peek() == '}') {
        ++position_;
        return true;
      }
      return Problem("expected ',' or '}' in an object");
    }
  }

  bool ParseArray(JsonValue* value, int depth) {
    if (depth > kMaxJsonDepth) return Problem("nested too deeply");
    value->kind = JsonValue::Kind::kArray;
    ++position_;  // '['
    SkipSpace();
    if (Peek() == ']') {
      ++position_;
      return true;
    }
    for (;;) {
      SkipSpace();
      JsonValue element;
      if (!ParseValue(&element, depth)) return false;
      value->elements.push_back(std::move(element));
      SkipSpace();
      if (Peek() == ',') {
        ++position_;
        continue;
      }
      if (Peek() == ']') {
        ++position_;
        return true;
      }
      return Problem("expected ',' or ']' in an array");
    }
  }

  bool ParseHex4(uint32_t* code) {
    if (text_.size() - position_ < 4) return Problem("a \\u escape needs four hex digits");
    *code = 0;
    for (int i = 0; i < 4; ++i) {
      const char c = text_[position_++];
      uint32_t digit;
      if (c >= '0' && c <= '9') {
        digit = static_cast<uint32_t>(c - '0');
      } else if (c >= 'a' && c <= 'f') {
        digit = static_cast<uint32_t>(c - 'a' + 10);
      } else if (c >= 'A' && c <= 'F') {
        digit = static_cast<uint32_t>(c - 'A' + 10);
      } else {
        return Problem("a \\u escape needs four hex digits");
      }
      *code = *code << 4 | digit;
    }
    return true;
  }

  bool ParseEscape(std::string* out) {
    if (AtEnd()) return Problem("unfinished string");
    const char c = text_[position_++];
    switch (c) {
      case '"':
      case '\\':
      case '/':
        out->push_back(c);
        return true;
      case 'b':
        out->push_back('\b');
        return true;
      case 'f':
        out->push_back('\f');
        return true;
      case 'n':
        out->push_back('\n');
        return true;
      case 'r':
        out->push_back('\r');
        return true;
      case 't':
        out->push_back('\t');
        return true;
      case 'u':
        break;
      default:
        return Problem("unknown escape in a string");
    }
    uint32_t code = 0;
    if (!ParseHex4(&code)) return false;
    if (code >= kLowSurrogateFirst && code < kSurrogateEnd) return Problem("a lone surrogate");
    if (code >= kHighSurrogateFirst && code < kLowSurrogateFirst) {
      uint32_t low = 0;
      if (text_.substr(position_, 2) != "\\u") return Problem("a lone surrogate");
      position_ += 2;
      if (!ParseHex4(&low)) return false;
      if (low < kLowSurrogateFirst || low >= kSurrogateEnd) return Problem("a lone surrogate");
      code =
          kFirstSupplementary + ((code - kHighSurrogateFirst) << 10) + (low - kLowSurrogateFirst);
    }
    AppendUtf8(code, out);
    return true;
  }

  bool ParseString(std::string* out) {
    ++position_;  // '"'
    out->clear();
    for (;;) {
      if (AtEnd()) return Problem("unfinished string");
      const char c = text_[position_];
      if (c == '"') {
        ++position_;
        return true;
      }
      if (static_cast<unsigned char>(c) < 0x20) return Problem("a control character in a string");
      ++position_;
      if (c == '\\') {
        if (!ParseEscape(out)) return false;
      } else {
        out->push_back(c);
      }
    }
  }

  static bool IsDigit(char c) { return c >= '0' && c <= '9'; }

  bool ParseNumber(JsonValue* value) {
    const size_t start = position_;
    if (Peek() == '-') ++position_;
    if (Peek() == '0') {
      ++position_;
    } else if (IsDigit(Peek())) {
      while (IsDigit(Peek())) ++position_;
    } else {
      return Problem("unexpected character");
    }
    if (Peek() == '.') {
      ++position_;
      if (!IsDigit(Peek())) return Problem("a digit must follow the decimal point");
      while (IsDigit(Peek())) ++position_;
    }
    if (Peek() == 'e' || Peek() == 'E') {
      ++position_;
      if (Peek() == '+' || Peek() == '-') ++position_;
      if (!IsDigit(Peek())) return Problem("a digit must follow the exponent");
      while (IsDigit(Peek())) ++position_;
    }
    const char* first = text_.data() + start;
    const char* last = text_.data() + position_;
    double number = 0;
    const auto [end, status] = std::from_chars(first, last, number);
    if (status != std::errc() || end != last || !std::isfinite(number)) {
      position_ = start;
      return Problem("a number out of range");
    }
    value->kind = JsonValue::Kind::kNumber;
    value->number = number;
    return true;
  }

  std::string_view text_;
  size_t position_ = 0;
  std::string problem_;
};

}  // namespace

const JsonValue* JsonValue::Member(std::string_view name) const {
  for (const auto& [memberName, member] : members) {
    if (memberName == name) return &member;
  }
  return nullptr;
}

bool ParseJson(std::string_view text, JsonValue* value, std::string* error) {
  JsonValue parsed;
  Parser parser(text);
  if (!parser.ParseDocument(&parsed, error)) return false;
  *value = std::move(parsed);
  return true;
}

std::string JsonQuote(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out.push_back('\\');
      out.push_back(c);
    } else if (byte < 0x20) {
      out += "\\u00";
      out.push_back(kHexDigits[byte >> 4]);
      out.push_back(kHexDigits[byte & 0xF]);
    } else {
      out.push_back(c);
    }
  }
  out.push_back('"');
  return out;
}

std::string JsonNumber(double value) {
  char buffer[64];
  const auto [end, status] = std::to_chars(buffer, buffer + sizeof buffer, value);
  if (status != std::errc() || !std::isfinite(value)) return "0";
  return std::string(buffer, end);
}

}  // namespace lumeray
