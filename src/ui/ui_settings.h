// The dialog's own small settings file, "UISettings.bin": where the dialog window was, which
// preview tool was selected and whether the preview was on. 52 bytes, little-endian.
//
// Conventions
//  * The file is accepted only with the version 0.0.0.11 and at its full length; anything else
//    gives the defaults (a version mismatch is reported to the debug log).
//  * The window rectangle is in screen coordinates (left, top, right, bottom); all zero means
//    "none remembered". Tools: 1 Pan, 2 Zoom, 3 Hide, 4 Show.
//  * Written whole through a temporary file and a rename (settings_files).
//
// Threading contract: UI thread only.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace lumeray {

enum PreviewTool : uint32_t {
  kToolPan = 1,
  kToolZoom = 2,
  kToolHide = 3,
  kToolShow = 4,
};

struct UiSettings {
  std::array<uint16_t, 4> version;
  std::array<int32_t, 4> windowRect;  // left, top, right, bottom
  uint32_t tool;
  uint32_t preview;
  std::array<uint8_t, 20> reserved;  // kept as read
};

static_assert(sizeof(UiSettings) == 52);
static_assert(offsetof(UiSettings, windowRect) == 8);
static_assert(offsetof(UiSettings, tool) == 24);
static_assert(offsetof(UiSettings, preview) == 28);
static_assert(offsetof(UiSettings, reserved) == 32);

inline constexpr std::array<uint16_t, 4> kUiSettingsVersion{0, 0, 0, 11};
inline constexpr UiSettings kDefaultUiSettings{kUiSettingsVersion, {0, 0, 0, 0}, kToolZoom, 1, {}};

// The settings of the file, or the defaults when it is missing, short or of another version.
UiSettings LoadUiSettings();
// Writes all 52 bytes; false when the file could not be written.
bool SaveUiSettings(const UiSettings& settings);

}  // namespace lumeray
