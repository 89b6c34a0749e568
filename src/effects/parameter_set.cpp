#include "effects/parameter_set.h"

#include <algorithm>
#include <cstring>

namespace lumeray {
namespace {

constexpr int16_t kLine = 1;
constexpr int16_t kPage = 10;
constexpr int16_t kAnglePage = 100;
constexpr int16_t kPointsPage = 8;
constexpr int kValueBoxCharacters = 4;

constexpr std::array<SliderDescriptor, 11> kSliders = {{
    {SliderId::kQuantity, "Quantity", 'Q', &ParameterSet::Quantity, 0, 100,
     kFactoryParameters.Quantity, kLine, kPage, 0, kValueBoxCharacters},
    {SliderId::kIntensity, "Intensity", 'I', &ParameterSet::Intensity, 0, 100,
     kFactoryParameters.Intensity, kLine, kPage, 0, kValueBoxCharacters},
    {SliderId::kLength, "Length", 'L', &ParameterSet::Length, 0, 100, kFactoryParameters.Length,
     kLine, kPage, 0, kValueBoxCharacters},
    {SliderId::kAngle, "Angle", 'A', &ParameterSet::Angle, -900, 900, kFactoryParameters.Angle,
     kLine, kAnglePage, 1, kValueBoxCharacters},
    {SliderId::kNumberOfPoints, "Number of Points", 'N', &ParameterSet::NumberOfPoints, 1, 32,
     kFactoryParameters.NumberOfPoints, kLine, kPointsPage, 0, kValueBoxCharacters},
    {SliderId::kSpikeSharpness, "Spike Sharpness", 'S', &ParameterSet::SpikeSharpness, 0, 100,
     kFactoryParameters.SpikeSharpness, kLine, kPage, 0, kValueBoxCharacters},
    {SliderId::kColorSaturation, "Color Saturation", 'C', &ParameterSet::ColorSaturation, -100, 100,
     kFactoryParameters.ColorSaturation, kLine, kPage, 0, kValueBoxCharacters},
    {SliderId::kRainbowIntensity, "Rainbow Intensity", 'R', &ParameterSet::RainbowIntensity, 0, 100,
     kFactoryParameters.RainbowIntensity, kLine, kPage, 0, kValueBoxCharacters},
    {SliderId::kRainbowFrequency, "Rainbow Frequency", 'F', &ParameterSet::RainbowFrequency, 0, 100,
     kFactoryParameters.RainbowFrequency, kLine, kPage, 0, kValueBoxCharacters},
    {SliderId::kSecondarySpikeIntensity, "Secondary Spike Intensity", 'E',
     &ParameterSet::SecondarySpikeIntensity, 0, 100, kFactoryParameters.SecondarySpikeIntensity,
     kLine, kPage, 0, kValueBoxCharacters},
    {SliderId::kSoftFlareIntensity, "Soft Flare Intensity", 'Y', &ParameterSet::SoftFlareIntensity,
     0, 100, kFactoryParameters.SoftFlareIntensity, kLine, kPage, 0, kValueBoxCharacters},
}};

}  // namespace

std::span<const SliderDescriptor> SliderTable() {
  return kSliders;
}

const SliderDescriptor& Slider(SliderId id) {
  return kSliders[static_cast<size_t>(id)];
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
