#include "dialog/dialog_template.h"

#include <array>
#include <vector>

namespace lumeray::dialog {
namespace {

constexpr std::array<SliderControlIds, 11> kSliderControls{{
    {1025, 1026},
    {1005, 1004},
    {1007, 1006},
    {1009, 1008},
    {1011, 1010},
    {1022, 1024},
    {1013, 1012},
    {1015, 1014},
    {1017, 1016},
    {1019, 1018},
    {1021, 1020},
}};

// The label of each slider row, with its mnemonic.
constexpr std::array<const char*, 11> kSliderLabels{"&Quantity",
                                                    "&Intensity",
                                                    "&Length",
                                                    "&Angle",
                                                    "&Number of Points",
                                                    "Spike &Sharpness",
                                                    "&Color Saturation",
                                                    "&Rainbow Intensity",
                                                    "Rainbow &Frequency",
                                                    "S&econdary Spike Intensity",
                                                    "Soft Flare Intensit&y"};

// The three slider groups: id, caption, top, height, first slider, row count.
struct SliderGroup {
  int id;
  const char* caption;
  int top, height, first, rows;
};
constexpr std::array<SliderGroup, 3> kSliderGroups{{
    {1079, "Main Diffraction Spikes", 107, 146, 0, 6},
    {1080, "Effects Color", 260, 81, 6, 3},
    {1081, "Secondary Effects", 348, 58, 9, 2},
}};
constexpr int kRowHeight = 22;

std::vector<ControlTemplate> BuildTemplate() {
  using K = ControlKind;
  std::vector<ControlTemplate> controls = {
      {kIdOk, K::kPushButton, "OK", 393, 6, 69, 14},
      {kIdCancel, K::kPushButton, "Cancel", 393, 27, 69, 14},
      {kIdLogo, K::kStaticPicture, "", 291, 6, 98, 40},
      {kIdHelpIcon, K::kStaticPicture, "?", 470, 8, 16, 16},
      {kIdSettingsGroup, K::kGroupBox, "Se&ttings:", 289, 52, 203, 358},
      {kIdSettingsCombo, K::kComboBox, "", 329, 49, 125, 13},
      {kIdSettingsMenuButton, K::kStaticPicture, "", 460, 50, 12, 12},
      {kIdEffectLabel, K::kLabel, "Effect&:", 323, 82, 28, 9},
      {kIdEffectCombo, K::kComboBox, "", 353, 80, 89, 13},
  };
  for (const SliderGroup& group : kSliderGroups) {
    controls.push_back({group.id, K::kGroupBox, group.caption, 294, group.top, 193, group.height});
    for (int row = 0; row < group.rows; ++row) {
      const int slider = group.first + row;
      const int y = group.top + 11 + kRowHeight * row;
      controls.push_back({kUnnamedControl, K::kLabel, kSliderLabels[slider], 323, y, 108, 9});
      controls.push_back({kSliderControls[slider].valueBox, K::kValueBox, "", 435, y - 1, 24, 10});
      controls.push_back(
          {kSliderControls[slider].trackbar, K::kTrackbar, "", 317, y + 10, 147, 11});
    }
  }
  const std::vector<ControlTemplate> rest = {
      {kIdEffectsOnly, K::kCheckBox, "Effects &Only", 184, 417, 62, 10},
      {kIdPreviewCheck, K::kCheckBox, "&Preview", 249, 417, 48, 10},
      {kIdConfigure, K::kPushButton, "Configure", 303, 415, 60, 14},
      {kIdHelpAndSupport, K::kPushButton, "Help and Support", 368, 415, 107, 14},
      {kIdPanIcon, K::kStaticPicture, "", 5, 19, 21, 21},
      {kIdPanLabel, K::kLabel, "Pan", 2, 42, 27, 9},
      {kIdZoomIcon, K::kStaticPicture, "", 5, 69, 21, 21},
      {kIdZoomLabel, K::kLabel, "Zoom", 2, 92, 27, 9},
      {kIdHideIcon, K::kStaticPicture, "", 5, 119, 21, 21},
      {kIdHideLabel, K::kLabel, "Hide", 2, 142, 27, 9},
      {kIdShowIcon, K::kStaticPicture, "", 5, 170, 21, 21},
      {kIdShowLabel, K::kLabel, "Show", 2, 193, 27, 9},
      {kIdPreviewFrame, K::kGroupBox, "", 28, 1, 257, 409},
      {kIdPreviewDisplay, K::kPreview, "", 29, 6, 242, 392},
      {kIdVerticalScroll, K::kVerticalScrollBar, "", 272, 6, 11, 392},
      {kIdZoomOut, K::kStaticPicture, "-", 31, 400, 7, 7},
      {kIdZoomIn, K::kStaticPicture, "+", 41, 400, 7, 7},
      {kIdZoomText, K::kStaticText, "100%", 52, 399, 39, 9},
      {kIdZoomDrop, K::kStaticPicture, "", 93, 399, 11, 9},
      {kIdProgressBar, K::kProgressBar, "", 106, 399, 56, 9},
      {kIdHorizontalScroll, K::kHorizontalScrollBar, "", 163, 399, 108, 10},
      {kIdBanner, K::kStaticPicture, "Vantrel Software", 28, 415, 150, 14},
      {kIdSizeGrip, K::kSizeGrip, "", 478, 415, 19, 18},
  };
  controls.insert(controls.end(), rest.begin(), rest.end());
  return controls;
}

}  // namespace

std::span<const SliderControlIds, 11> SliderControls() {
  return kSliderControls;
}

std::span<const ControlTemplate> MainDialogTemplate() {
  static const std::vector<ControlTemplate> controls = BuildTemplate();
  return controls;
}

AnchorRules LayoutRule(int id) {
  switch (id) {
    case kIdHelpAndSupport:
    case kIdPreviewCheck:
    case kIdSizeGrip:
    case kIdEffectsOnly:
    case kIdConfigure:
      return {3, 3};
    case kIdVerticalScroll:
      return {1, 3};
    case kIdHorizontalScroll:
      return {2, 3};
    case kIdProgressBar:
    case kIdZoomOut:
    case kIdZoomIn:
    case kIdBanner:
    case kIdZoomText:
    case kIdZoomDrop:
      return {2, 2};
    case kIdPreviewDisplay:
    case kIdPreviewFrame:
      return {0, 3};
    case kIdPanIcon:
    case kIdZoomIcon:
    case kIdHideIcon:
    case kIdShowIcon:
    case kIdPanLabel:
    case kIdZoomLabel:
    case kIdHideLabel:
    case kIdShowLabel:
      return {0, 0};
    default:
      return {1, 1};
  }
}

QRect DialogUnitsToPixels(const QRect& units, const QFontMetrics& metrics) {
  // The base units of a dialog font: the average width of the Latin letters and the height.
  const int letters = metrics.horizontalAdvance(
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  const int baseX = (letters / 26 + 1) / 2;
  const int baseY = metrics.height();
  const auto x = [&](int v) { return v * baseX / 4; };
  const auto y = [&](int v) { return v * baseY / 8; };
  const int left = x(units.x());
  const int top = y(units.y());
  return QRect(left, top, x(units.x() + units.width()) - left, y(units.y() + units.height()) - top);
}

}  // namespace lumeray::dialog
