#include "effects/parameter_set.h"

#include <algorithm>
#include <cstring>

namespace lumeray {
namespace {

constexpr size_t kFirstSlider = [] {
  size_t i = 0;
  while (kSettingTable[i].kind != SettingKind::kSlider) ++i;
  return i;
}();
constexpr size_t kSliderCount = [] {
  size_t n = 0;
  for (const SettingRow& row : kSettingTable) n += row.kind == SettingKind::kSlider;
  return n;
}();

}  // namespace

std::span<const SliderDescriptor> SliderTable() {
  return std::span(kSettingTable).subspan(kFirstSlider, kSliderCount);
}

size_t SliderIndex(int16_t ParameterSet::*field) {
  const auto sliders = SliderTable();
  size_t i = 0;
  while (i + 1 < sliders.size() && sliders[i].field != field) ++i;
  return i;
}

const SliderDescriptor& SliderOf(int16_t ParameterSet::*field) {
  return SliderTable()[SliderIndex(field)];
}

int16_t ClampToSlider(const SliderDescriptor& slider, int value) {
  return static_cast<int16_t>(std::clamp<int>(value, slider.minimum, slider.maximum));
}

ParameterVersion BlockVersion(const uint8_t* block) {
  ParameterVersion version;
  std::memcpy(&version, block, sizeof version);
  return version;
}

}  // namespace lumeray
