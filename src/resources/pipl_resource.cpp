// The plug-in property list ('PiPL' 16000) that a host reads from the module file before it
// loads the module: what kind of module this is, its menu name and category, the entry point,
// the image modes it enables, its scripting terminology and its filter cases.
#include "resources/pipl_resource.h"

#include "host/registry_parameters.h"
#include "resources/embedded_resources.h"
#include "resources/resource_writer.h"

namespace lumeray {

// Settings stored by the host are kept under the scope the property list declares.
static_assert(std::string_view(kRegistryParametersKey) == kPiplScope);

namespace {

constexpr size_t kPiplSize = 438;
constexpr uint32_t kPropertyCount = 11;
constexpr uint32_t kInterfaceVersion = 0x00040000;  // 4.0
constexpr uint32_t kMaximumDimension = 32767;
constexpr uint32_t kFilterFlags = 0x80;
constexpr size_t kHostTerminologySize = 56;
constexpr size_t kEnableExpressionSize = 92;
constexpr int kFilterCaseCount = 7;

template <size_t N>
constexpr void Property(ResourceWriter<N>& w, std::string_view key, uint32_t length) {
  w.Code("8BIM");
  w.Code(key);
  w.U32(0);
  w.U32(length);
}

constexpr std::array<uint8_t, kPiplSize> BuildPipl() {
  ResourceWriter<kPiplSize> w;
  w.U16(1);
  w.U32(0);
  w.U32(kPropertyCount);

  Property(w, "kind", 4);
  w.Code("8BFM");

  size_t start;
  Property(w, "name", 20);
  start = w.position;
  w.PascalString(kPiplMenuName);
  w.PadTo(start, 20);

  Property(w, "catg", 20);
  start = w.position;
  w.PascalString(kPiplCategory);
  w.PadTo(start, 20);

  Property(w, "vers", 4);
  w.U32(kInterfaceVersion);

  Property(w, "8664", 12);
  start = w.position;
  w.Chars(kPiplEntryName);
  w.PadTo(start, 12);

  Property(w, "mode", 4);
  w.U8(0x50);  // greyscale (0x40) and RGB (0x10)
  w.U8(0);
  w.U8(0);
  w.U8(0);

  Property(w, "hstm", kHostTerminologySize);
  start = w.position;
  w.U32(0);
  w.Code("VTX1");  // class
  w.Code("VTX1");  // event
  w.U16(16000);    // terminology resource
  w.Chars(kPiplScope);
  w.PadTo(start, kHostTerminologySize);

  Property(w, "enbl", kEnableExpressionSize);
  start = w.position;
  w.Chars(kPiplEnableExpression);
  w.PadTo(start, kEnableExpressionSize);

  Property(w, "ms32", 8);
  w.U32(kMaximumDimension);
  w.U32(kMaximumDimension);

  Property(w, "flly", 4);
  w.U32(kFilterFlags);

  Property(w, "fici", 4 * kFilterCaseCount);
  for (int i = 0; i < kFilterCaseCount; ++i) {
    w.U8(1);     // input handling
    w.U8(1);     // output handling
    w.U8(0x0D);  // flags 1
    w.U8(0x00);  // flags 2
  }
  if (w.position != kPiplSize) throw "PiPL size mismatch";  // a compile-time error
  return w.bytes;
}

}  // namespace

LUMERAY_RESOURCE_SECTION("PiPL", 16000)
extern const std::array<uint8_t, kPiplSize> kPiplResource = BuildPipl();

std::span<const uint8_t> PiplResourceBytes() {
  return kPiplResource;
}

}  // namespace lumeray
