// The effect parameters: the 40-byte ParameterSet record kept in the host's parameter handle,
// stored in every settings file and exchanged with scripting, and the one table that declares
// each setting (field, range, default, steps) for the dialog, validation and scripting.
//
// Conventions
//  * The record is little-endian with the layout checked at compile time; its first four u16
//    are the format version, 0.0.0.5 for every block this module writes or accepts.
//  * Angle is in tenths of a degree (150 = 15.0 degrees), positive turning clockwise.
//  * EffectType is a four-character code ('efT0' .. 'efT6').
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace lumeray {

struct ParameterVersion {
  uint16_t major, minor, revision, build;
  friend bool operator==(const ParameterVersion&, const ParameterVersion&) = default;
};

inline constexpr ParameterVersion kCurrentParameterVersion{0, 0, 0, 5};

struct ParameterSet {
  ParameterVersion version;
  int16_t Intensity;
  int16_t Length;
  int16_t Angle;
  int16_t NumberOfPoints;
  int16_t SpikeSharpness;
  int16_t ColorSaturation;
  int16_t RainbowIntensity;
  int16_t RainbowFrequency;
  int16_t SecondarySpikeIntensity;
  int16_t SoftFlareIntensity;
  uint16_t EffectsOnly;
  uint16_t padding0;
  uint32_t EffectType;
  int16_t Quantity;
  uint16_t padding1;
};

static_assert(sizeof(ParameterSet) == 40);
static_assert(offsetof(ParameterSet, Intensity) == 8);
static_assert(offsetof(ParameterSet, Angle) == 12);
static_assert(offsetof(ParameterSet, SoftFlareIntensity) == 26);
static_assert(offsetof(ParameterSet, EffectsOnly) == 28);
static_assert(offsetof(ParameterSet, EffectType) == 32);
static_assert(offsetof(ParameterSet, Quantity) == 36);

constexpr uint32_t EffectCode(const char (&code)[5]) {
  return (static_cast<uint32_t>(code[0]) << 24) | (static_cast<uint32_t>(code[1]) << 16) |
         (static_cast<uint32_t>(code[2]) << 8) | static_cast<uint32_t>(code[3]);
}

inline constexpr ParameterSet kFactoryParameters = {
    kCurrentParameterVersion,
    /*Intensity=*/50,
    /*Length=*/50,
    /*Angle=*/150,
    /*NumberOfPoints=*/6,
    /*SpikeSharpness=*/50,
    /*ColorSaturation=*/30,
    /*RainbowIntensity=*/50,
    /*RainbowFrequency=*/50,
    /*SecondarySpikeIntensity=*/15,
    /*SoftFlareIntensity=*/30,
    /*EffectsOnly=*/0,
    0,
    EffectCode("efT0"),
    /*Quantity=*/50,
    0,
};

// Settings files and registry blocks hold the record at the front of a 255-byte block.
inline constexpr size_t kParameterBlockSize = 255;

// The eleven sliders, in the order the dialog binds them.
enum class SliderId {
  kQuantity,
  kIntensity,
  kLength,
  kAngle,
  kNumberOfPoints,
  kSpikeSharpness,
  kColorSaturation,
  kRainbowIntensity,
  kRainbowFrequency,
  kSecondarySpikeIntensity,
  kSoftFlareIntensity,
};

struct SliderDescriptor {
  SliderId id;
  const char* name;  // as the dialog labels it
  char keyLetter;    // the dialog's shortcut letter
  int16_t ParameterSet::*field;
  int16_t minimum;
  int16_t maximum;
  int16_t defaultValue;
  int16_t lineSize;
  int16_t pageSize;
  int decimals;           // 1 for Angle (shown divided by 10)
  int maximumCharacters;  // of the value box
};

std::span<const SliderDescriptor> SliderTable();
const SliderDescriptor& Slider(SliderId id);

int16_t ClampToSlider(const SliderDescriptor& slider, int value);

// Reads the version words of a stored block (at least 8 bytes).
ParameterVersion BlockVersion(const uint8_t* block);

}  // namespace lumeray
