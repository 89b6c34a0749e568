#include "effects/effect_types.h"

#include <array>
#include <cstring>

#include "diagnostics/message_report.h"

namespace lumeray {
namespace {

constexpr std::array<EffectTypeRow, 8> kEffectTypes = {{
    {EffectCode("efT0"), "Standard Star", 6},
    {EffectCode("efT6"), "Star Burst", 14},
    {EffectCode("efT3"), "Hyper Star", 14},
    {EffectCode("efT1"), "Hollywood Star", 4},
    {EffectCode("efT4"), "North Star", 4},
    {EffectCode("efT5"), "Vector Star", 8},
    {EffectCode("efT2"), "Religious Cross", 4},
    {0, nullptr, 0},
}};

}  // namespace

std::span<const EffectTypeRow> EffectTypeTable() {
  return kEffectTypes;
}

const EffectTypeRow* FindEffectType(uint32_t code) {
  for (const EffectTypeRow& row : kEffectTypes) {
    if (row.code == 0) break;
    if (row.code == code) return &row;
  }
  return nullptr;
}

const EffectTypeRow* FindEffectTypeByName(const char* name) {
  for (const EffectTypeRow& row : kEffectTypes) {
    if (row.code == 0) break;
    if (std::strcmp(row.name, name) == 0) return &row;
  }
  return nullptr;
}

int EffectComboIndex(uint32_t code) {
  const EffectTypeRow* row = FindEffectType(code);
  return row == nullptr ? 0 : static_cast<int>(row - kEffectTypes.data());
}

bool ApplyEffectPreset(const EffectTypeRow* row, ParameterSet* parameters) {
  if (row == nullptr || FindEffectType(row->code) != row) {
    MessageReport report(__LINE__, kMessageDebug);
    report.Report(kIconError, kTitleDebugUnexpectedError,
                  "An invalid Effects Selection Index was specified.");
    return false;
  }
  parameters->NumberOfPoints = ClampToSlider(Slider(SliderId::kNumberOfPoints), row->pointsPreset);
  return true;
}

}  // namespace lumeray
