#include "played_settings.h"

#include <array>

#include "settings.h"

namespace lumeray {
namespace {

constexpr DescriptorKeyID kEffectKey = FourCC("stEf");
constexpr DescriptorKeyID kPointsKey = FourCC("numP");

// A row's key as the editor plays it, with the factory value in the exchanged unit.
constexpr ScriptingKey KeyOf(const SettingRow& row) {
  const ParameterSet& factory = kFactoryParameters;
  double value = 0;
  if (row.field != nullptr) value = static_cast<double>(factory.*row.field) / SettingScale(row);
  if (row.flag != nullptr) value = factory.*row.flag;
  if (row.code != nullptr) value = factory.*row.code;
  const DescriptorTypeID type = row.unit != kNoUnit ? kTypeUnitFloat : row.type;
  return {row.key, type, row.unit, row.scriptName, value};
}

constexpr std::array<ScriptingKey, kSettingTable.size()> kScriptingKeys = [] {
  std::array<ScriptingKey, kSettingTable.size()> keys{};
  for (size_t i = 0; i < kSettingTable.size(); ++i) keys[i] = KeyOf(kSettingTable[i]);
  return keys;
}();

void PutFactoryValue(const ScriptingKey& key, Descriptor* descriptor) {
  switch (key.type) {
    case kTypeBoolean:
      descriptor->PutBoolean(key.key, key.factory != 0);
      break;
    case kTypeEnumerated:
      descriptor->PutEnumerated(key.key, kEffectEnumType, static_cast<FourCode>(key.factory));
      break;
    case kTypeInteger:
      descriptor->PutInteger(key.key, static_cast<int32_t>(key.factory));
      break;
    default:
      descriptor->PutUnitFloat(key.key, key.unit, key.factory);
      break;
  }
}

void PutItem(const DescriptorItem& item, Descriptor* descriptor) {
  switch (item.type) {
    case kTypeBoolean:
      descriptor->PutBoolean(item.key, item.boolean);
      break;
    case kTypeFloat:
      descriptor->PutFloat(item.key, item.number);
      break;
    case kTypeUnitFloat:
      descriptor->PutUnitFloat(item.key, item.unit, item.number);
      break;
    case kTypeInteger:
      descriptor->PutInteger(item.key, item.integer);
      break;
    case kTypeEnumerated:
      descriptor->PutEnumerated(item.key, item.enumType, item.enumValue);
      break;
    default:
      break;
  }
}

}  // namespace

std::span<const ScriptingKey> ScriptingKeys() {
  return kScriptingKeys;
}

const ScriptingKey* FindScriptingKey(DescriptorKeyID key) {
  for (const ScriptingKey& candidate : kScriptingKeys) {
    if (candidate.key == key) return &candidate;
  }
  return nullptr;
}

Descriptor FactorySettings() {
  Descriptor settings;
  for (const ScriptingKey& key : kScriptingKeys) PutFactoryValue(key, &settings);
  return settings;
}

Descriptor CompleteSettings(const Descriptor& given) {
  return OverlaySettings(FactorySettings(), given);
}

Descriptor OverlaySettings(Descriptor base, const Descriptor& given) {
  Descriptor& settings = base;
  const DescriptorItem* effect = given.Find(kEffectKey);
  if (effect != nullptr && effect->type == kTypeEnumerated && given.Find(kPointsKey) == nullptr) {
    if (const EffectType* type = FindEffectByCode(effect->enumValue)) {
      settings.PutInteger(kPointsKey, type->pointsPreset);
    }
  }
  for (const DescriptorItem& item : given.items()) PutItem(item, &settings);
  return settings;
}

}  // namespace lumeray
