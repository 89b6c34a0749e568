#include "played_settings.h"

#include <array>

#include "settings.h"

namespace lumeray {
namespace {

constexpr DescriptorKeyID kEffectKey = FourCC("stEf");
constexpr DescriptorKeyID kPointsKey = FourCC("numP");

constexpr std::array<ScriptingKey, 13> kScriptingKeys{{
    {FourCC("opsO"), kTypeBoolean, 0, "output spikes only", 0},
    {kEffectKey, kTypeEnumerated, 0, "effect", static_cast<double>(FourCC("efT0"))},
    {FourCC("qntY"), kTypeUnitFloat, kUnitPercent, "quantity", 50},
    {FourCC("Intn"), kTypeUnitFloat, kUnitPercent, "intensity", 50},
    {FourCC("Lngt"), kTypeUnitFloat, kUnitPercent, "length", 50},
    {FourCC("Angl"), kTypeUnitFloat, kUnitAngle, "angle", 15.0},
    {kPointsKey, kTypeInteger, 0, "number of points", 6},
    {FourCC("spsH"), kTypeUnitFloat, kUnitPercent, "spike sharpness", 50},
    {FourCC("Strt"), kTypeUnitFloat, kUnitPercent, "saturation", 30},
    {FourCC("rbwI"), kTypeUnitFloat, kUnitPercent, "rainbow intensity", 50},
    {FourCC("rbwF"), kTypeUnitFloat, kUnitPercent, "rainbow frequency", 50},
    {FourCC("sspI"), kTypeUnitFloat, kUnitPercent, "secondary spike intensity", 15},
    {FourCC("sflB"), kTypeUnitFloat, kUnitPercent, "soft flare brightness", 30},
}};

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
      settings.PutInteger(kPointsKey, type->presetPoints);
    }
  }
  for (const DescriptorItem& item : given.items()) PutItem(item, &settings);
  return settings;
}

}  // namespace lumeray
