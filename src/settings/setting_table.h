// The effect settings, each declared once: the 40-byte ParameterSet record and one table row per
// setting that carries everything the module and the editor need of it — its field, its
// scripting key, type and unit, the dialog's slider (range, steps, decimals, key letter, tool
// tips), the scripting terminology and the editor's command-line option. Adding a setting is one
// field of the record and one row here; the descriptor keys, the slider rows, the command line
// and the played settings all follow from the table.
//
// The module and the `lumeray` editor both include this header; it holds no code of either side
// and needs nothing but the plug-in interface.
//
// Conventions
//  * The record is little-endian with its layout checked at compile time; its first four u16 are
//    the format version, 0.0.0.5 for every block this module writes or accepts.
//  * Angle is kept in tenths of a degree (150 = 15.0 degrees), positive turning clockwise; a
//    row's `decimals` say by which power of ten the kept value exceeds the shown and exchanged
//    one.
//  * EffectType is a four-character code ('efT0' .. 'efT6').
//  * The table lists the rows in the order in which keys are read from a played-back descriptor,
//    written into a recorded one and listed in the terminology resource; the sliders follow one
//    another in the order the dialog binds them.
//
// Threading contract: everything here is constant.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "../interface/filter_interface.h"

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
  return FourCC(code);
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

// The seven effect types, in the order the Effect combo box shows them, with the Number of
// Points preset each brings when chosen.
struct EffectTypeRow {
  uint32_t code;
  const char* name;
  int16_t pointsPreset;
};

inline constexpr std::array<EffectTypeRow, 7> kEffectTypeRows = {{
    {EffectCode("efT0"), "Standard Star", 6},
    {EffectCode("efT6"), "Star Burst", 14},
    {EffectCode("efT3"), "Hyper Star", 14},
    {EffectCode("efT1"), "Hollywood Star", 4},
    {EffectCode("efT4"), "North Star", 4},
    {EffectCode("efT5"), "Vector Star", 8},
    {EffectCode("efT2"), "Religious Cross", 4},
}};

inline constexpr DescriptorUnitID kUnitPercent = FourCC("#Prc");
inline constexpr DescriptorUnitID kUnitAngle = FourCC("#Ang");
inline constexpr DescriptorUnitID kNoUnit = 0;
inline constexpr DescriptorEnumTypeID kEffectTypeEnumeration = FourCC("efTy");

// A slider holds an i16 number, a switch the u16 0/1 of a check box, a choice a u32 code. The
// command line lists the choice first, then the sliders, then the switches.
enum class SettingKind : uint8_t { kChoice, kSlider, kSwitch };

struct SettingRow {
  SettingKind kind;
  DescriptorKeyID key;
  DescriptorTypeID type;              // kTypeBoolean, kTypeFloat, kTypeInteger or kTypeEnumerated
  DescriptorUnitID unit = kNoUnit;    // a 'doub' read and written as a unit float
  DescriptorEnumTypeID enumType = 0;  // the enumeration of an 'enum' row
  int16_t ParameterSet::*field = nullptr;  // a slider's value
  uint16_t ParameterSet::*flag = nullptr;  // a switch's value
  uint32_t ParameterSet::*code = nullptr;  // a choice's value
  // The dialog's slider: label, shortcut letter, range and steps of the kept value.
  std::string_view label = {};
  char keyLetter = 0;
  int16_t minimum = 0;
  int16_t maximum = 0;
  int16_t lineSize = 1;
  int16_t pageSize = 10;
  int16_t controlStep = 10;   // Up and Down with Ctrl held
  int decimals = 0;           // 1 for Angle (shown divided by 10)
  int maximumCharacters = 4;  // of the value box
  std::string_view valueBoxTip = {};
  std::string_view trackbarTip = {};
  // The terminology a host shows in scripts.
  std::string_view scriptName = {};
  std::string_view scriptDescription = {};
  // The editor's command-line option and its help.
  std::string_view option = {};
  std::string_view help = {};
};

inline constexpr std::array<SettingRow, 13> kSettingTable = {{
    // clang-format off
    {.kind = SettingKind::kSwitch, .key = FourCC("opsO"), .type = kTypeBoolean,
     .flag = &ParameterSet::EffectsOnly, .scriptName = "output spikes only",
     .scriptDescription = "Lumeray output spikes only", .option = "--effects-only",
     .help = "output the effects alone"},
    {.kind = SettingKind::kChoice, .key = FourCC("stEf"), .type = kTypeEnumerated,
     .enumType = kEffectTypeEnumeration, .code = &ParameterSet::EffectType, .scriptName = "effect",
     .scriptDescription = "Lumeray star effect type", .option = "--effect",
     .help = "the effect type (see below)"},
    {.kind = SettingKind::kSlider, .key = FourCC("qntY"), .type = kTypeFloat, .unit = kUnitPercent,
     .field = &ParameterSet::Quantity, .label = "Quantity", .keyLetter = 'Q', .maximum = 100,
     .valueBoxTip = "Quantity (Q) - Set how many image highlights, ranked by brightness, will be "
                    "given effects",
     .trackbarTip = "Quantity (Q) - Move right to increase the number of dimmer image highlights "
                    "given effects",
     .scriptName = "quantity", .scriptDescription = "Lumeray quantity", .option = "--quantity",
     .help = "share of the light sources that get a star, brightest first (0..100)"},
    {.kind = SettingKind::kSlider, .key = FourCC("Intn"), .type = kTypeFloat, .unit = kUnitPercent,
     .field = &ParameterSet::Intensity, .label = "Intensity", .keyLetter = 'I', .maximum = 100,
     .valueBoxTip = "Intensity (I) - Set the brightness of the primary spike effects",
     .trackbarTip = "Intensity (I) - Move right to increase the brightness of primary spikes",
     .scriptName = "intensity", .scriptDescription = "Lumeray intensity", .option = "--intensity",
     .help = "star intensity (0..100)"},
    {.kind = SettingKind::kSlider, .key = FourCC("Lngt"), .type = kTypeFloat, .unit = kUnitPercent,
     .field = &ParameterSet::Length, .label = "Length", .keyLetter = 'L', .maximum = 100,
     .valueBoxTip = "Length (L) - Set the length of the spikes and the size of the flare effects",
     .trackbarTip = "Length (L) - Move right to increase the length of the spikes and the size of "
                    "the flare effects",
     .scriptName = "length", .scriptDescription = "Lumeray length", .option = "--length",
     .help = "spike length (0..100)"},
    {.kind = SettingKind::kSlider, .key = FourCC("Angl"), .type = kTypeFloat, .unit = kUnitAngle,
     .field = &ParameterSet::Angle, .label = "Angle", .keyLetter = 'A', .minimum = -900,
     .maximum = 900, .pageSize = 100, .decimals = 1,
     .valueBoxTip = "Angle (A) - Set the rotation angle of the spikes",
     .trackbarTip = "Angle (A) - Move right to rotate the spikes clockwise", .scriptName = "angle",
     .scriptDescription = "Lumeray angle", .option = "--angle",
     .help = "spike angle in degrees, clockwise (-90..90)"},
    {.kind = SettingKind::kSlider, .key = FourCC("numP"), .type = kTypeInteger,
     .field = &ParameterSet::NumberOfPoints, .label = "Number of Points", .keyLetter = 'N',
     .minimum = 1, .maximum = 32, .pageSize = 8, .controlStep = 2,
     .valueBoxTip = "Number of Points (N) - Set the number of primary spikes around a highlight",
     .trackbarTip = "Number of Points (N) - Move right to increase the number of primary spikes "
                    "around a highlight",
     .scriptName = "number of points", .scriptDescription = "Lumeray number of points",
     .option = "--points", .help = "number of points (1..32)"},
    {.kind = SettingKind::kSlider, .key = FourCC("spsH"), .type = kTypeFloat, .unit = kUnitPercent,
     .field = &ParameterSet::SpikeSharpness, .label = "Spike Sharpness", .keyLetter = 'S',
     .maximum = 100,
     .valueBoxTip = "Spike Sharpness (S) - Set the fuzziness or sharpness of the spikes",
     .trackbarTip = "Spike Sharpness (S) - Move right to increase the sharpness of the spikes",
     .scriptName = "spike sharpness", .scriptDescription = "Lumeray spike sharpness",
     .option = "--sharpness", .help = "spike sharpness (0..100)"},
    {.kind = SettingKind::kSlider, .key = FourCC("Strt"), .type = kTypeFloat, .unit = kUnitPercent,
     .field = &ParameterSet::ColorSaturation, .label = "Color Saturation", .keyLetter = 'C',
     .minimum = -100, .maximum = 100,
     .valueBoxTip = "Color Saturation (C) - Set the intensity of the highlight color used in the "
                    "effects",
     .trackbarTip = "Color Saturation (C) - Move right to increase the intensity of the highlight "
                    "color in the effects",
     .scriptName = "saturation", .scriptDescription = "Lumeray color saturation",
     .option = "--saturation", .help = "colour saturation (-100..100)"},
    {.kind = SettingKind::kSlider, .key = FourCC("rbwI"), .type = kTypeFloat, .unit = kUnitPercent,
     .field = &ParameterSet::RainbowIntensity, .label = "Rainbow Intensity", .keyLetter = 'R',
     .maximum = 100,
     .valueBoxTip = "Rainbow Intensity (R) - Set the brightness of the multicolored 'rainbow' "
                    "pattern in the spikes",
     .trackbarTip = "Rainbow Intensity (R) - Move right to increase the brightness of the "
                    "multicolored 'rainbow' pattern in the spikes",
     .scriptName = "rainbow intensity", .scriptDescription = "Lumeray rainbow intensity",
     .option = "--rainbow-intensity", .help = "rainbow intensity (0..100)"},
    {.kind = SettingKind::kSlider, .key = FourCC("rbwF"), .type = kTypeFloat, .unit = kUnitPercent,
     .field = &ParameterSet::RainbowFrequency, .label = "Rainbow Frequency", .keyLetter = 'F',
     .maximum = 100,
     .valueBoxTip = "Rainbow Frequency (F) - Set how quickly the multicolored 'rainbow' pattern "
                    "changes color in the spikes",
     .trackbarTip = "Rainbow Frequency (F) - Move right to make the multicolored 'rainbow' "
                    "pattern change color more rapidly in the spikes",
     .scriptName = "rainbow frequency", .scriptDescription = "Lumeray rainbow frequency",
     .option = "--rainbow-frequency", .help = "rainbow frequency (0..100)"},
    {.kind = SettingKind::kSlider, .key = FourCC("sspI"), .type = kTypeFloat, .unit = kUnitPercent,
     .field = &ParameterSet::SecondarySpikeIntensity, .label = "Secondary Spike Intensity",
     .keyLetter = 'E', .maximum = 100,
     .valueBoxTip = "Secondary Spike Intensity (E) - Set the brightness of secondary central "
                    "'mini-spikes' around a highlight",
     .trackbarTip = "Secondary Spike Intensity (E) - Move right to increase the brightness of "
                    "secondary central 'mini-spikes' around a highlight",
     .scriptName = "secondary spike intensity",
     .scriptDescription = "Lumeray secondary spike intensity", .option = "--secondary",
     .help = "secondary spike intensity (0..100)"},
    {.kind = SettingKind::kSlider, .key = FourCC("sflB"), .type = kTypeFloat, .unit = kUnitPercent,
     .field = &ParameterSet::SoftFlareIntensity, .label = "Soft Flare Intensity", .keyLetter = 'Y',
     .maximum = 100,
     .valueBoxTip = "Soft Flare Intensity (Y) - Set the brightness of the soft flare around "
                    "highlights",
     .trackbarTip = "Soft Flare Intensity (Y) - Move right to increase the brightness of the soft "
                    "flare around highlights",
     .scriptName = "soft flare brightness", .scriptDescription = "Lumeray soft flare brightness",
     .option = "--flare", .help = "soft flare intensity (0..100)"},
    // clang-format on
}};

// The power of ten by which a row's kept value exceeds its shown and exchanged value.
constexpr int SettingScale(const SettingRow& row) {
  int scale = 1;
  for (int i = 0; i < row.decimals; ++i) scale *= 10;
  return scale;
}

// The field of every row matches its kind and descriptor type; the sliders follow one another.
constexpr bool SettingTableIsConsistent() {
  size_t sliders = 0;
  bool sliderRunEnded = false;
  for (const SettingRow& row : kSettingTable) {
    const int fields = (row.field != nullptr) + (row.flag != nullptr) + (row.code != nullptr);
    if (fields != 1) return false;
    switch (row.kind) {
      case SettingKind::kSwitch:
        if (row.flag == nullptr || row.type != kTypeBoolean) return false;
        break;
      case SettingKind::kChoice:
        if (row.code == nullptr || row.type != kTypeEnumerated || row.enumType == 0) return false;
        break;
      case SettingKind::kSlider:
        if (row.field == nullptr || (row.type != kTypeFloat && row.type != kTypeInteger)) {
          return false;
        }
        if (row.minimum > row.maximum) return false;
        if (row.type == kTypeInteger && row.decimals != 0) return false;
        break;
    }
    if ((row.type == kTypeEnumerated) != (row.enumType != 0)) return false;
    if (row.unit != kNoUnit && row.type != kTypeFloat) return false;
    if (row.kind == SettingKind::kSlider) {
      if (sliderRunEnded) return false;
      ++sliders;
    } else if (sliders > 0) {
      sliderRunEnded = true;
    }
  }
  return true;
}
static_assert(SettingTableIsConsistent());

}  // namespace lumeray
