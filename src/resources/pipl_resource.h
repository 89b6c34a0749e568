// The plug-in property list resource ('PiPL' 16000).
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace lumeray {

inline constexpr std::string_view kPiplMenuName = "Lumeray Pro 2...";
inline constexpr std::string_view kPiplCategory = "Vantrel Software";
inline constexpr std::string_view kPiplEntryName = "PluginMain";
inline constexpr std::string_view kPiplScope = "383056ce-1943-4863-835d-19c2a188df95";
inline constexpr std::string_view kPiplEnableExpression =
    "in (PSHOP_ImageMode, RGBMode, GrayScaleMode, RGB48Mode, Gray16Mode, RGB96Mode, Gray32Mode)";

std::span<const uint8_t> PiplResourceBytes();

}  // namespace lumeray
