#include "resources/pipl_resource.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/module_file.h"

namespace lumeray {
namespace {

uint32_t U32(const uint8_t* p) {
  return p[0] | p[1] << 8 | p[2] << 16 | uint32_t{p[3]} << 24;
}
std::string Code(const uint8_t* p) {
  return {char(p[3]), char(p[2]), char(p[1]), char(p[0])};
}

TEST(Pipl, HeaderAndPropertiesInOrderWithPaddedLengths) {
  const auto bytes = PiplResourceBytes();
  ASSERT_EQ(bytes.size(), 438u);
  EXPECT_EQ(bytes[0], 1);
  EXPECT_EQ(bytes[1], 0);
  EXPECT_EQ(U32(&bytes[2]), 0u);
  EXPECT_EQ(U32(&bytes[6]), 11u);

  const char* keys[] = {"kind", "name", "catg", "vers", "8664", "mode",
                        "hstm", "enbl", "ms32", "flly", "fici"};
  const uint32_t lengths[] = {4, 20, 20, 4, 12, 4, 56, 92, 8, 4, 28};
  size_t at = 10;
  for (int i = 0; i < 11; ++i) {
    ASSERT_LE(at + 16, bytes.size());
    EXPECT_EQ(Code(&bytes[at]), "8BIM");
    EXPECT_EQ(Code(&bytes[at + 4]), keys[i]);
    EXPECT_EQ(U32(&bytes[at + 8]), 0u);
    EXPECT_EQ(U32(&bytes[at + 12]), lengths[i]) << keys[i];
    EXPECT_EQ(lengths[i] % 4, 0u);
    at += 16 + lengths[i];
  }
  EXPECT_EQ(at, bytes.size());
}

// The data of a property by key.
const uint8_t* Data(const char* key) {
  const auto bytes = PiplResourceBytes();
  size_t at = 10;
  while (at + 16 <= bytes.size()) {
    if (Code(&bytes[at + 4]) == key) return &bytes[at + 16];
    at += 16 + U32(&bytes[at + 12]);
  }
  return nullptr;
}

TEST(Pipl, PropertyData) {
  EXPECT_EQ(Code(Data("kind")), "8BFM");
  EXPECT_EQ(Data("name")[0], 16);
  EXPECT_EQ(std::memcmp(Data("name") + 1, "Lumeray Pro 2...\0\0\0", 19), 0);
  EXPECT_EQ(Data("catg")[0], 16);
  EXPECT_EQ(std::memcmp(Data("catg") + 1, "Vantrel Software\0\0\0", 19), 0);
  EXPECT_EQ(U32(Data("vers")), 0x00040000u);
  EXPECT_EQ(std::memcmp(Data("8664"), "PluginMain\0\0", 12), 0);
  const uint8_t mode[4] = {0x50, 0, 0, 0};
  EXPECT_EQ(std::memcmp(Data("mode"), mode, 4), 0);

  const uint8_t* hstm = Data("hstm");
  EXPECT_EQ(U32(hstm), 0u);
  EXPECT_EQ(Code(hstm + 4), "VTX1");
  EXPECT_EQ(Code(hstm + 8), "VTX1");
  EXPECT_EQ(hstm[12] | hstm[13] << 8, 16000);
  EXPECT_STREQ(reinterpret_cast<const char*>(hstm + 14), "383056ce-1943-4863-835d-19c2a188df95");
  for (int i = 14 + 36; i < 56; ++i) EXPECT_EQ(hstm[i], 0);

  const uint8_t* enbl = Data("enbl");
  EXPECT_STREQ(reinterpret_cast<const char*>(enbl),
               "in (PSHOP_ImageMode, RGBMode, GrayScaleMode, RGB48Mode, Gray16Mode, RGB96Mode, "
               "Gray32Mode)");
  EXPECT_EQ(enbl[90], 0);
  EXPECT_EQ(enbl[91], 0);

  EXPECT_EQ(U32(Data("ms32")), 32767u);
  EXPECT_EQ(U32(Data("ms32") + 4), 32767u);
  EXPECT_EQ(U32(Data("flly")), 0x80u);
  for (int i = 0; i < 7; ++i) EXPECT_EQ(U32(Data("fici") + 4 * i), 0x000D0101u);
}

TEST(Pipl, IsFoundAmongTheModuleResources) {
  const auto resource = platform::FindResource("PiPL", 16000);
  ASSERT_TRUE(resource.has_value());
  EXPECT_EQ(resource->size, 438u);
  EXPECT_EQ(resource->data, PiplResourceBytes().data());
  EXPECT_FALSE(platform::FindResource("PiPL", 16001).has_value());
}

}  // namespace
}  // namespace lumeray
