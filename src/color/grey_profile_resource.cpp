#include "color/grey_profile_resource.h"

#include <array>
#include <string_view>

#include "platform/module_file.h"

namespace lumeray {
namespace {

// ---- Compile-time arithmetic for the curve ---------------------------------------------------

constexpr double kLn2 = 0.693147180559945309417232121458;

// ln x for x > 0: x = m 2^e with m in [1, 2), and ln m = 2 atanh((m - 1) / (m + 1)), whose
// series converges quickly since (m - 1) / (m + 1) < 1/3.
constexpr double NaturalLog(double x) {
  int exponent = 0;
  while (x >= 2.0) {
    x /= 2.0;
    ++exponent;
  }
  while (x < 1.0) {
    x *= 2.0;
    --exponent;
  }
  const double t = (x - 1.0) / (x + 1.0);
  const double tSquared = t * t;
  double power = t;
  double sum = 0.0;
  for (int k = 1; k < 64; k += 2) {
    sum += power / k;
    power *= tSquared;
  }
  return exponent * kLn2 + 2.0 * sum;
}

// e^y: y = n ln 2 + r with |r| <= ln 2 / 2, and e^r by its Taylor series.
constexpr double Exponential(double y) {
  const double scaled = y / kLn2;
  const int n = static_cast<int>(scaled < 0.0 ? scaled - 0.5 : scaled + 0.5);
  const double r = y - n * kLn2;
  double term = 1.0;
  double sum = 1.0;
  for (int k = 1; k < 30; ++k) {
    term *= r / k;
    sum += term;
  }
  for (int i = 0; i < n; ++i) sum *= 2.0;
  for (int i = 0; i > n; --i) sum /= 2.0;
  return sum;
}

constexpr double kCurveMaximum = 65535.0;
constexpr double kCurveLastIndex = kGrayCurveEntries - 1;

constexpr uint16_t CurveEntry(int index) {
  const double toe = kGrayCurveToeSlope * index;
  const double power =
      index == 0
          ? 0.0
          : kCurveMaximum * Exponential(kGrayCurveExponent * NaturalLog(index / kCurveLastIndex));
  const double value = toe > power ? toe : power;
  return static_cast<uint16_t>(value + 0.5);
}

static_assert(CurveEntry(0) == 0 && CurveEntry(6) == 97 && CurveEntry(255) == 65535);

// ---- The profile's bytes -----------------------------------------------------------------------

template <size_t N>
struct BigEndianWriter {
  std::array<uint8_t, N> bytes{};
  size_t position = 0;

  constexpr void U8(uint8_t value) { bytes[position++] = value; }
  constexpr void U16(uint16_t value) {
    U8(static_cast<uint8_t>(value >> 8));
    U8(static_cast<uint8_t>(value));
  }
  constexpr void U32(uint32_t value) {
    U16(static_cast<uint16_t>(value >> 16));
    U16(static_cast<uint16_t>(value));
  }
  // A four-character signature, first character first.
  constexpr void Signature(std::string_view code) {
    for (char c : code) U8(static_cast<uint8_t>(c));
  }
  // The characters and a terminating zero.
  constexpr void Text(std::string_view text) {
    for (char c : text) U8(static_cast<uint8_t>(c));
    U8(0);
  }
  constexpr void Zeros(size_t count) {
    for (size_t i = 0; i < count; ++i) U8(0);
  }
  // s15Fixed16Number of a non-negative value, rounded to the nearest 1/65536.
  constexpr void S15Fixed16(double value) { U32(static_cast<uint32_t>(value * 65536.0 + 0.5)); }
};

constexpr uint32_t kIccVersion = 0x02100000;  // 2.1
constexpr uint16_t kCreationDate[6] = {2014, 1, 1, 0, 0, 0};
constexpr double kD50[3] = {0.9642, 1.0, 0.8249};
constexpr std::string_view kDescription = "Default Grayscale Profile";
constexpr std::string_view kCopyright = "Copyright (c) Vantrel Software.";

constexpr size_t kHeaderSize = 128;
constexpr size_t kReservedHeaderBytes = 44;  // profile ID and reserved bytes, 84..127
constexpr uint32_t kTagCount = 5;
constexpr size_t kTagTableEnd = kHeaderSize + 4 + kTagCount * 12;
constexpr size_t kMacDescriptionSize = 67;

constexpr size_t kDescriptionSize = 12 + (kDescription.size() + 1) + 8 + 3 + kMacDescriptionSize;
constexpr size_t kXyzSize = 20;
constexpr size_t kCurveSize = 12 + 2 * kGrayCurveEntries;
constexpr size_t kCopyrightSize = 8 + kCopyright.size() + 1;

constexpr size_t kDescriptionOffset = kTagTableEnd;
constexpr size_t kWhitePointOffset = kDescriptionOffset + kDescriptionSize;
constexpr size_t kBlackPointOffset = kWhitePointOffset + kXyzSize;
constexpr size_t kCurveOffset = kBlackPointOffset + kXyzSize;
constexpr size_t kCopyrightOffset = kCurveOffset + kCurveSize;
static_assert(kDescriptionSize % 4 == 0 && kCurveSize % 4 == 0, "tags start on 4-byte bounds");
static_assert(kCopyrightOffset + kCopyrightSize == kLinearColorProfileSize);

constexpr std::array<uint8_t, kLinearColorProfileSize> BuildLinearColorProfile() {
  BigEndianWriter<kLinearColorProfileSize> w;

  // Header.
  w.U32(kLinearColorProfileSize);
  w.Signature("lcms");
  w.U32(kIccVersion);
  w.Signature("prtr");
  w.Signature("GRAY");
  w.Signature("XYZ ");
  for (uint16_t part : kCreationDate) w.U16(part);
  w.Signature("acsp");
  w.U32(0);    // primary platform
  w.U32(0);    // flags
  w.U32(0);    // device manufacturer
  w.U32(0);    // device model
  w.Zeros(8);  // device attributes
  w.U32(0);    // rendering intent: perceptual
  for (double component : kD50) w.S15Fixed16(component);
  w.Signature("VTSE");
  w.Zeros(kReservedHeaderBytes);

  // Tag table.
  w.U32(kTagCount);
  const auto tag = [&w](std::string_view signature, size_t offset, size_t size) {
    w.Signature(signature);
    w.U32(static_cast<uint32_t>(offset));
    w.U32(static_cast<uint32_t>(size));
  };
  tag("desc", kDescriptionOffset, kDescriptionSize);
  tag("wtpt", kWhitePointOffset, kXyzSize);
  tag("bkpt", kBlackPointOffset, kXyzSize);
  tag("kTRC", kCurveOffset, kCurveSize);
  tag("cprt", kCopyrightOffset, kCopyrightSize);

  // 'desc': ASCII description, no Unicode or Macintosh description.
  w.Signature("desc");
  w.U32(0);
  w.U32(static_cast<uint32_t>(kDescription.size() + 1));
  w.Text(kDescription);
  w.U32(0);  // Unicode language
  w.U32(0);  // Unicode count
  w.U16(0);  // ScriptCode code
  w.U8(0);   // ScriptCode count
  w.Zeros(kMacDescriptionSize);

  w.Signature("XYZ ");
  w.U32(0);
  for (double component : kD50) w.S15Fixed16(component);

  w.Signature("XYZ ");
  w.U32(0);
  w.Zeros(12);

  w.Signature("curv");
  w.U32(0);
  w.U32(kGrayCurveEntries);
  for (int i = 0; i < kGrayCurveEntries; ++i) w.U16(CurveEntry(i));

  w.Signature("text");
  w.U32(0);
  w.Text(kCopyright);

  if (w.position != kLinearColorProfileSize) throw "profile size mismatch";  // compile-time error
  return w.bytes;
}

}  // namespace

LUMERAY_RESOURCE_SECTION("RCDATA", 243)
extern const std::array<uint8_t, kLinearColorProfileSize> kLinearColorProfileResource =
    BuildLinearColorProfile();

std::span<const uint8_t> LinearColorProfileResourceBytes() {
  return kLinearColorProfileResource;
}

}  // namespace lumeray
