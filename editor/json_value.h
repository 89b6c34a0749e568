// A small strict JSON reader for the editor's action files: objects, arrays, strings, numbers,
// true, false and null, as RFC 8259 has them, nothing more (no comments, no trailing commas, no
// leading zeros, no control characters inside strings, no lone surrogates).
//
// Conventions: objects keep their members in file order; a name given twice is refused. Nesting
// deeper than kMaxJsonDepth is refused, so no input can exhaust the stack. Errors name the line
// and column.
//
// Threading: pure functions on their arguments.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace lumeray {

constexpr int kMaxJsonDepth = 32;

struct JsonMember;

struct JsonValue {
  enum class Kind { kNull, kBoolean, kNumber, kString, kArray, kObject };
  Kind kind = Kind::kNull;
  bool boolean = false;
  double number = 0.0;
  std::string text;                 // kString
  std::vector<JsonValue> elements;  // kArray
  std::vector<JsonMember> members;  // kObject

  // The member of that name, or null.
  const JsonValue* Member(std::string_view name) const;
};

struct JsonMember {
  std::string name;
  JsonValue value;
};

bool ParseJson(std::string_view text, JsonValue* value, std::string* error);

// The text as a JSON string literal, quotes included.
std::string JsonQuote(std::string_view text);

// The shortest text that reads back as the same double.
std::string JsonNumber(double value);

}  // namespace lumeray
