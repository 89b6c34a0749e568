// Action files and the settings the editor plays: the strict reader, the writer, and the
// complete factory-based descriptor.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "action_file.h"
#include "json_value.h"
#include "played_settings.h"
#include "settings.h"

namespace lumeray {
namespace {

constexpr size_t kScriptingKeyCount = 13;

std::string ValidFile() {
  Descriptor given;
  given.PutEnumerated(FourCC("stEf"), kEffectEnumType, FourCC("efT6"));
  given.PutInteger(FourCC("numP"), 10);
  given.PutUnitFloat(FourCC("Angl"), kUnitAngle, -12.3);
  given.PutBoolean(FourCC("opsO"), true);
  return FormatActionFile(CompleteSettings(given));
}

// Every key, in the module's reading order; an effect brings its points unless they are given.
TEST(PlayedSettings, TheFactorySettingsHoldAllKeysAndAnEffectBringsItsPoints) {
  const Descriptor factory = CompleteSettings({});
  ASSERT_EQ(factory.size(), kScriptingKeyCount);
  EXPECT_EQ(factory.items().front().key, FourCC("opsO"));
  EXPECT_EQ(factory.items().back().key, FourCC("sflB"));
  EXPECT_EQ(factory.Find(FourCC("Angl"))->unit, kUnitAngle);
  EXPECT_EQ(factory.Find(FourCC("numP"))->integer, 6);
  for (const auto& [name, points] : {std::pair{"Star Burst", 14}, {"Vector Star", 8}}) {
    std::string error;
    Descriptor given;
    ASSERT_TRUE(ApplySetting(*FindSettingOption("--effect"), name, &given, &error)) << error;
    EXPECT_EQ(CompleteSettings(given).Find(FourCC("numP"))->integer, points) << name;
    ASSERT_TRUE(ApplySetting(*FindSettingOption("--points"), "10", &given, &error)) << error;
    EXPECT_EQ(CompleteSettings(given).Find(FourCC("numP"))->integer, 10) << name;
  }
}

TEST(ActionFile, WhatIsWrittenReadsBackAsTheSameSettings) {
  const std::string text = ValidFile();
  EXPECT_NE(text.find(R"({"key": "Intn", "name": "intensity", "type": "UntF", "unit": "#Prc", )"
                      R"("value": 50})"),
            std::string::npos)
      << text;
  Descriptor read;
  std::string error;
  ASSERT_TRUE(ParseActionFile(text, &read, &error)) << error;
  ASSERT_EQ(read.size(), kScriptingKeyCount);
  EXPECT_EQ(read.Find(FourCC("Angl"))->number, -12.3);
  EXPECT_EQ(read.Find(FourCC("numP"))->integer, 10);
  EXPECT_TRUE(read.Find(FourCC("opsO"))->boolean);
  EXPECT_EQ(read.Find(FourCC("stEf"))->enumValue, FourCC("efT6"));
  EXPECT_EQ(FormatActionFile(read), text);
}

TEST(ActionFile, FaultyFilesAreRefusedWithAMessageAndLeaveTheSettingsAlone) {
  const std::string valid = ValidFile();
  const auto replaced = [&](const std::string& from, const std::string& to) {
    std::string text = valid;
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return text.replace(at, from.size(), to);
  };
  const struct {
    std::string text;
    const char* message;
  } cases[] = {
      {"", "not valid JSON"},
      {"{", "not valid JSON"},
      {valid.substr(0, valid.size() / 2), "not valid JSON"},
      {valid + "x", "unexpected text after"},
      {"[]", "not a JSON object"},
      {R"({"format": "lumeray action", "version": 2, "keys": []})", "version"},
      {R"({"format": "other", "version": 1, "keys": []})", "\"format\""},
      {R"({"format": "lumeray action", "version": 1})", "\"keys\""},
      {R"({"format": "lumeray action", "version": 1, "keys": [], "extra": 1})", "unknown member"},
      {R"({"format": "lumeray action", "format": "lumeray action", "version": 1, "keys": []})",
       "repeated"},
      {replaced("\"Intn\"", "\"Ixxx\""), "unknown key \"Ixxx\""},
      {replaced("\"Intn\"", "\"Intensity\""), "four characters"},
      {replaced("\"type\": \"long\"", "\"type\": \"text\""), "unknown type \"text\""},
      {replaced("\"type\": \"long\"", "\"type\": \"doub\""), "must be of type \"long\""},
      {replaced("\"value\": 10", "\"value\": 10.5"), "whole number"},
      {replaced("\"value\": 10", "\"value\": 1e10"), "whole number"},
      {replaced("\"value\": \"efT6\"", "\"value\": \"efT9\""), "unknown effect"},
      {replaced("\"enumType\": \"efTy\"", "\"enumType\": \"abcd\""), "enumeration type"},
      {replaced("\"value\": true", "\"value\": 1"), "true or false"},
      {replaced("\"unit\": \"#Ang\"", "\"unit\": \"#Prc\""), "unit"},
      {replaced("\"value\": 15}", "\"value\": \"15\"}"), "a number"},
      {replaced("\"name\": \"intensity\"", "\"nmae\": \"intensity\""), "unknown member"},
      {replaced("{\"key\": \"numP\"", "{\"key\": \"Intn\""), "more than once"},
      {replaced("\"value\": 10", "\"value\": 010"), "not valid JSON"},
      {replaced("\"value\": 10", "\"value\": 1e999"), "out of range"},
      {replaced("\"value\": 10", "\"value\": -"), "not valid JSON"},
      {replaced("\"value\": 10", "\"value\": 10,"), "not valid JSON"},
      {replaced("\"Intn\"", "\"In\ttn\""), "control character"},
      {replaced("\"Intn\"", "\"\\ud800tn\""), "surrogate"},
      {std::string(100, '[') + std::string(100, ']'), "nested too deeply"},
  };
  for (const auto& [text, message] : cases) {
    Descriptor settings;
    settings.PutInteger(FourCC("numP"), 3);
    std::string error;
    EXPECT_FALSE(ParseActionFile(text, &settings, &error)) << text;
    EXPECT_NE(error.find(message), std::string::npos) << "for " << text << "\n got: " << error;
    ASSERT_EQ(settings.size(), 1u);
    EXPECT_EQ(settings.Find(FourCC("numP"))->integer, 3);
  }
}

TEST(ActionFile, EveryPrefixOfAFileIsRefusedWithoutHarm) {
  const std::string valid = ValidFile();
  for (size_t length = 0; length < valid.size(); ++length) {
    Descriptor settings;
    std::string error;
    const std::string_view prefix(valid.data(), length);
    // Only the last newline may go.
    EXPECT_EQ(ParseActionFile(prefix, &settings, &error), length + 1 == valid.size()) << length;
  }
}

TEST(Json, StringsEscapesAndNumbersFollowTheGrammar) {
  JsonValue value;
  std::string error;
  ASSERT_TRUE(
      ParseJson(R"(["a\"b\\c\/\n\u00e9\ud83d\ude00", -0.5e+2, 0, true, null, {}])", &value, &error))
      << error;
  ASSERT_EQ(value.elements.size(), 6u);
  EXPECT_EQ(value.elements[0].text, "a\"b\\c/\n\xC3\xA9\xF0\x9F\x98\x80");
  EXPECT_EQ(value.elements[1].number, -50);
  EXPECT_EQ(value.elements[4].kind, JsonValue::Kind::kNull);
  for (const char* bad : {"01", "1.", ".5", "+1", "1e", "\"\\x\"", "\"\\u12\"", "tru", "nul",
                          "[1,]", "{\"a\":1,}", "{\"a\" 1}", "{1:2}", "\"\\udc00\""}) {
    EXPECT_FALSE(ParseJson(bad, &value, &error)) << bad;
  }
  EXPECT_EQ(JsonQuote("a\"\\\x01"), "\"a\\\"\\\\\\u0001\"");
  EXPECT_EQ(JsonNumber(15.7), "15.7");
  EXPECT_EQ(JsonNumber(50), "50");
}

}  // namespace
}  // namespace lumeray
