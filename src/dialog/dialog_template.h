// The main dialog's template "LUMERAYDIALOG_ADVANCED": every control once, with its id, kind,
// text and rectangle in dialog units, and the layout's anchoring rule of each id.
//
// Conventions
//  * Rectangles are x, y, width, height in dialog units; DialogUnitsToPixels converts them with
//    the dialog font's base units (a quarter of the average character width horizontally, an
//    eighth of the font height vertically).
//  * An anchoring rule is a two-bit mask: bit 0 follows the width change, bit 1 the height
//    change; the top-left rule moves left/top, the bottom-right rule right/bottom.
//  * Labels without an id of their own carry kUnnamedControl.
//
// Threading contract: constant data, any thread.
#pragma once

#include <QFontMetrics>
#include <QRect>

#include <cstdint>
#include <span>

namespace lumeray::dialog {

enum class ControlKind {
  kPushButton,
  kStaticPicture,
  kComboBox,
  kGroupBox,
  kLabel,
  kValueBox,
  kTrackbar,
  kCheckBox,
  kPreview,
  kStaticText,
  kProgressBar,
  kHorizontalScrollBar,
  kVerticalScrollBar,
  kSizeGrip,
};

struct ControlTemplate {
  int id;
  ControlKind kind;
  const char* text;
  int x, y, width, height;
};

inline constexpr int kUnnamedControl = -1;
inline constexpr int kDialogWidthUnits = 497;
inline constexpr int kDialogHeightUnits = 433;
inline constexpr const char* kMainDialogCaption = "Lumeray Pro 2";

// Control ids of the main dialog.
enum ControlId : int {
  kIdOk = 1,
  kIdCancel = 2,
  kIdHelpAndSupport = 1000,
  kIdPreviewCheck = 1002,
  kIdSettingsCombo = 1023,
  kIdPreviewDisplay = 1040,
  kIdPanIcon = 1043,
  kIdZoomIcon = 1044,
  kIdSettingsGroup = 1046,
  kIdSettingsMenuButton = 1050,
  kIdPreviewFrame = 1049,
  kIdProgressBar = 1031,
  kIdHorizontalScroll = 1030,
  kIdVerticalScroll = 1028,
  kIdZoomOut = 1042,
  kIdZoomIn = 1045,
  kIdZoomText = 1085,
  kIdZoomDrop = 1087,
  kIdBanner = 1082,
  kIdSizeGrip = 1083,
  kIdLogo = 1084,
  kIdEffectsOnly = 1122,
  kIdHideIcon = 1123,
  kIdEffectLabel = 1179,
  kIdEffectCombo = 1176,
  kIdPanLabel = 1169,
  kIdZoomLabel = 1170,
  kIdHideLabel = 1171,
  kIdShowIcon = 1184,
  kIdShowLabel = 1185,
  kIdConfigure = 1191,
  kIdHelpIcon = 1192,
};

// The value box and trackbar ids of slider n (in the slider table's order).
struct SliderControlIds {
  int valueBox;
  int trackbar;
};
std::span<const SliderControlIds, 11> SliderControls();

std::span<const ControlTemplate> MainDialogTemplate();

struct AnchorRules {
  uint32_t topLeft;
  uint32_t bottomRight;
};
AnchorRules LayoutRule(int id);

// Dialog units to pixels with the font's base units.
QRect DialogUnitsToPixels(const QRect& units, const QFontMetrics& metrics);

}  // namespace lumeray::dialog
