#include "effects/effect_types.h"

#include <array>
#include <cstring>

#include "diagnostics/message_report.h"

namespace lumeray {
namespace {

// The seven rows followed by the terminating row.
constexpr std::array<EffectTypeRow, kEffectTypeRows.size() + 1> kEffectTypes = [] {
  std::array<EffectTypeRow, kEffectTypeRows.size() + 1> rows{};
  for (size_t i = 0; i < kEffectTypeRows.size(); ++i) rows[i] = kEffectTypeRows[i];
  return rows;
}();

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
  parameters->NumberOfPoints =
      ClampToSlider(SliderOf(&ParameterSet::NumberOfPoints), row->pointsPreset);
  return true;
}

}  // namespace lumeray
