#include "diagnostics/log_text.h"

#include <cstdint>
#include <cstdio>
#include <ctime>

namespace lumeray {
namespace {

constexpr char16_t kReplacementCharacter = 0xFFFD;
constexpr char32_t kLastCodePoint = 0x10FFFF;
constexpr char32_t kFirstSurrogate = 0xD800;
constexpr char32_t kLastSurrogate = 0xDFFF;
constexpr char32_t kFirstSupplementary = 0x10000;
constexpr char16_t kHighSurrogateBase = 0xD800;
constexpr char16_t kLowSurrogateBase = 0xDC00;
constexpr int kSurrogatePayloadBits = 10;
constexpr char32_t kSurrogatePayloadMask = 0x3FF;

constexpr const char* kDayNames[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                     "Thursday", "Friday", "Saturday"};
constexpr const char* kMonthNames[] = {"January",   "February", "March",    "April",
                                       "May",       "June",     "July",     "August",
                                       "September", "October",  "November", "December"};
constexpr int kTmYearBase = 1900;

// The shape of a UTF-8 sequence announced by its lead byte.
struct SequenceShape {
  int continuationBytes;  // -1: not a lead byte
  char32_t leadBits;
  char32_t smallestCodePoint;  // anything smaller is an overlong encoding
};

SequenceShape ShapeOfLead(uint8_t lead) {
  if ((lead & 0xE0) == 0xC0) return {1, char32_t{lead} & 0x1F, 0x80};
  if ((lead & 0xF0) == 0xE0) return {2, char32_t{lead} & 0x0F, 0x800};
  if ((lead & 0xF8) == 0xF0) return {3, char32_t{lead} & 0x07, 0x10000};
  return {-1, 0, 0};
}

bool IsContinuation(uint8_t byte) {
  return (byte & 0xC0) == 0x80;
}

void AppendCodePoint(char32_t codePoint, std::u16string* out) {
  if (codePoint < kFirstSupplementary) {
    out->push_back(static_cast<char16_t>(codePoint));
    return;
  }
  const char32_t payload = codePoint - kFirstSupplementary;
  out->push_back(static_cast<char16_t>(kHighSurrogateBase + (payload >> kSurrogatePayloadBits)));
  out->push_back(static_cast<char16_t>(kLowSurrogateBase + (payload & kSurrogatePayloadMask)));
}

std::tm LocalTimeNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return local;
}

}  // namespace

std::string FormatTextV(const char* format, va_list arguments) {
  va_list measuring;
  va_copy(measuring, arguments);
  const int length = std::vsnprintf(nullptr, 0, format, measuring);
  va_end(measuring);
  if (length <= 0) return {};
  std::string text(static_cast<size_t>(length), '\0');
  std::vsnprintf(text.data(), text.size() + 1, format, arguments);
  return text;
}

std::string FormatText(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  std::string text = FormatTextV(format, arguments);
  va_end(arguments);
  return text;
}

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  size_t position = 0;
  while (position < text.size()) {
    const auto lead = static_cast<uint8_t>(text[position]);
    if (lead < 0x80) {
      out.push_back(lead);
      ++position;
      continue;
    }
    const SequenceShape shape = ShapeOfLead(lead);
    if (shape.continuationBytes < 0) {
      out.push_back(kReplacementCharacter);
      ++position;
      continue;
    }
    char32_t codePoint = shape.leadBits;
    size_t next = position + 1;
    const size_t end = position + 1 + static_cast<size_t>(shape.continuationBytes);
    while (next < end && next < text.size() && IsContinuation(static_cast<uint8_t>(text[next]))) {
      codePoint = (codePoint << 6) | (static_cast<uint8_t>(text[next]) & 0x3F);
      ++next;
    }
    const bool complete = next == end;
    const bool valid = complete && codePoint >= shape.smallestCodePoint &&
                       codePoint <= kLastCodePoint &&
                       (codePoint < kFirstSurrogate || codePoint > kLastSurrogate);
    if (valid) {
      AppendCodePoint(codePoint, &out);
    } else {
      out.push_back(kReplacementCharacter);
    }
    position = next;
  }
  return out;
}

std::string LogClockText() {
  const std::tm local = LocalTimeNow();
  return FormatText("%02d:%02d:%02d", local.tm_hour, local.tm_min, local.tm_sec);
}

std::string LogDateTimeText() {
  const std::tm local = LocalTimeNow();
  return FormatText("on %s, %s %02d, %d at %02d:%02d:%02d", kDayNames[local.tm_wday],
                    kMonthNames[local.tm_mon], local.tm_mday, local.tm_year + kTmYearBase,
                    local.tm_hour, local.tm_min, local.tm_sec);
}

}  // namespace lumeray
