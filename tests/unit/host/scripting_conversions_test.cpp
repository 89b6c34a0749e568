// The key table's two conversions, and key reading over raw bytes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "host/descriptor_keys.h"
#include "host/scripting_read.h"

namespace lumeray {
namespace {

template <typename T>
std::vector<uint8_t> Bytes(T value) {
  std::vector<uint8_t> bytes(sizeof value);
  std::memcpy(bytes.data(), &value, sizeof value);
  return bytes;
}

ParameterSet Read(const char (&key)[5], const std::vector<uint8_t>& value,
                  ParameterSet parameters = kFactoryParameters) {
  EXPECT_TRUE(ConvertDescriptorToParameter(*FindDescriptorKey(FourCC(key)), value, &parameters));
  return parameters;
}

template <typename T>
T Written(const char (&key)[5], const ParameterSet& parameters) {
  DescriptorValue value;
  EXPECT_TRUE(ConvertParameterToDescriptor(*FindDescriptorKey(FourCC(key)), parameters, &value));
  EXPECT_EQ(value.size, sizeof(T)) << key;
  T number{};
  std::memcpy(&number, value.bytes.data(), sizeof number);
  return number;
}

TEST(DescriptorConversions, ReadingTruncatesTowardZeroAndKeepsTheLow16Bits) {
  EXPECT_EQ(Read("Intn", Bytes(99.99)).Intensity, 99);
  EXPECT_EQ(Read("Strt", Bytes(-99.99)).ColorSaturation, -99);
  EXPECT_EQ(Read("Angl", Bytes(15.75)).Angle, 157);
  EXPECT_EQ(Read("numP", Bytes(int32_t{65542})).NumberOfPoints, 6);
  EXPECT_EQ(Read("Lngt", Bytes(70000.0)).Length, static_cast<int16_t>(70000 - 65536));
  // Values no integer holds do not make the conversion undefined.
  EXPECT_EQ(Read("Lngt", Bytes(std::nan(""))).Length, 0);
  Read("Lngt", Bytes(-std::numeric_limits<double>::infinity()));
  EXPECT_EQ(Read("opsO", Bytes(uint8_t{7})).EffectsOnly, 1);
  EXPECT_EQ(Read("stEf", Bytes(FourCC("efT6"))).EffectType, FourCC("efT6"));
}

TEST(DescriptorConversions, AValueOfTheWrongSizeStoresZeroButLeavesTheEnum) {
  ParameterSet start = kFactoryParameters;
  start.EffectsOnly = 1;
  start.EffectType = FourCC("efT3");
  EXPECT_EQ(Read("numP", Bytes(9.0), start).NumberOfPoints, 0);
  EXPECT_EQ(Read("Intn", Bytes(int32_t{9}), start).Intensity, 0);
  EXPECT_EQ(Read("opsO", Bytes(int32_t{1}), start).EffectsOnly, 0);
  EXPECT_EQ(Read("stEf", Bytes(uint16_t{1}), start).EffectType, FourCC("efT3"));
  ParameterSet expected = start;  // nothing beside the addressed field changes
  expected.Quantity = 0;
  const ParameterSet after = Read("qntY", {}, start);
  EXPECT_EQ(std::memcmp(&after, &expected, sizeof after), 0);
}

TEST(DescriptorConversions, WritingGivesTheDescriptorForms) {
  ParameterSet p = kFactoryParameters;
  p.Angle = 157;
  p.ColorSaturation = -100;
  p.NumberOfPoints = -1;
  p.EffectsOnly = 0x0101;
  p.EffectType = FourCC("efT2");
  EXPECT_EQ(Written<double>("Angl", p), 15.7);
  EXPECT_EQ(Written<double>("Strt", p), -100.0);
  EXPECT_EQ(Written<int32_t>("numP", p), -1);
  EXPECT_EQ(Written<uint8_t>("opsO", p), 1) << "the field's low byte";
  EXPECT_EQ(Written<uint32_t>("stEf", p), FourCC("efT2"));

  for (int angle = -32768; angle <= 32767; ++angle) {
    p.Angle = static_cast<int16_t>(angle);
    ASSERT_EQ(Read("Angl", Bytes(Written<double>("Angl", p))).Angle, angle);
  }
}

void AddKey(std::vector<uint8_t>& bytes, DescriptorKeyID key, size_t size) {
  for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(static_cast<uint8_t>(key >> shift));
  bytes.push_back(static_cast<uint8_t>(size));
  bytes.resize(bytes.size() + size, 0);
}

TEST(DescriptorBytes, KeysAreCountedAndAnyValueSizeReachesTheConversion) {
  std::vector<uint8_t> bytes;
  for (const SettingRow& row : kSettingTable) {
    AddKey(bytes, row.key, DescriptorValueSize(row.type));
  }
  ParameterSet p = kFactoryParameters;
  EXPECT_TRUE(ReadDescriptorBytes(bytes, &p).complete());
  EXPECT_EQ(p.Intensity, 0);

  bytes.resize(bytes.size() - 1);  // the last item cut short ends the descriptor
  EXPECT_EQ(ReadDescriptorBytes(bytes, &p).keysReturned, 12);

  std::mt19937 random(7);
  for (int round = 0; round < 2000; ++round) {
    bytes.clear();
    const size_t length = random() % 300;
    while (bytes.size() < length) {
      const size_t size = random() % 12;
      AddKey(bytes, kSettingTable[random() % kSettingTable.size()].key, size);
      for (size_t i = bytes.size() - size; i < bytes.size(); ++i) {
        bytes[i] = static_cast<uint8_t>(random());
      }
    }
    p = kFactoryParameters;
    ReadDescriptorBytes(bytes, &p);
    ASSERT_EQ(p.version, kCurrentParameterVersion);
    ASSERT_EQ(p.padding0 | p.padding1, 0);
    ASSERT_LE(p.EffectsOnly, 1);
  }
}

}  // namespace
}  // namespace lumeray
