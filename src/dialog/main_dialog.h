// The main dialog: built from the "LUMERAYDIALOG_ADVANCED" template, it edits the ParameterSet
// with the eleven slider rows, the Effect combo and the Effects Only check box, and keeps the
// dialog's own settings (tool, preview, window rectangle) in a UiSettings record. Its message
// procedure is LumerayProc: Qt's signals and events become the procedure's messages (commands,
// the private MSG_ messages posted as DialogMessageEvents, the initialise and destroy messages).
//
// The dialog ends with 1 (OK: the edited record stays, the window rectangle is remembered and
// "UISettings.bin" written) or 2 (Cancel, Escape, closing the window, or an error result of the
// run: the record is put back as it was, the run result becomes -128 unless already set).
//
// Threading contract: UI thread only, except PostDialogMessage to its handle.
#pragma once

#include <QDialog>

#include <array>
#include <memory>
#include <vector>

#include "dialog/dialog_layout.h"
#include "dialog/dialog_procedures.h"
#include "dialog/parameter_set_menu.h"
#include "dialog/preview_display.h"
#include "dialog/slider_controls.h"
#include "effects/parameter_set.h"
#include "platform/window.h"
#include "ui/ui_settings.h"

class QComboBox;
class QProgressBar;

namespace lumeray::dialog {

inline constexpr int kDialogOk = 1;
inline constexpr int kDialogCancel = 2;

// Accelerator commands.
enum AcceleratorCommand : int {
  kCmdFocusAngle = 40048,
  kCmdFocusColorSaturation = 40049,
  kCmdPanTool = 40050,
  kCmdFocusIntensity = 40051,
  kCmdFocusLength = 40052,
  kCmdZoomTool = 40053,
  kCmdFocusPoints = 40054,
  kCmdTogglePreview = 40055,
  kCmdFocusRainbowFrequency = 40056,
  kCmdFocusRainbowIntensity = 40057,
  kCmdFocusSecondary = 40059,
  kCmdFocusSettings = 40060,
  kCmdFocusSoftFlare = 40061,
  kCmdZoomIn = 40062,
  kCmdZoomOut = 40063,
  kCmdZoomMenu = 40064,
  kCmdFocusPreview = 40066,
  kCmdFitImage = 40070,
  kCmdFitDialog = 40072,
  kCmdFocusSharpness = 40077,
  kCmdToggleEffectsOnly = 40079,
  kCmdHideTool = 40081,
  kCmdSettingsMenu = 40083,
  kCmdHelp = 40085,
  kCmdFocusQuantity = 40088,
  kCmdFocusEffect = 40090,
  kCmdShowTool = 40092,
  kCmdOptions = 40093,
  kCmdContextHelp = 40099,
};

// The command of a key press, 0 when the accelerator table has none.
int AcceleratorFor(int key, Qt::KeyboardModifiers modifiers, const QString& text);

class MainDialog : public QDialog {
 public:
  MainDialog(ParameterSet* parameters, UiSettings* settings, AnalysisQueries watch = {},
             QWidget* parent = nullptr);
  ~MainDialog() override;

  platform::WindowHandle handle() const { return handle_; }
  // The dialog procedure of this dialog (LumerayProc calls it).
  intptr_t Procedure(uint32_t message, uintptr_t wParam, intptr_t lParam);

  QWidget* Control(int id) const;
  SliderPair& SliderAt(size_t index) const { return *sliders_.at(index); }
  const DialogLayout& layout() const { return layout_; }
  QSize initialSize() const { return initialSize_; }
  uint32_t tool() const { return tool_; }
  bool acceleratorsEnabled() const { return acceleratorsEnabled_; }
  bool ending() const { return ending_; }
  void EnableAcceleratorKeys(bool enabled) { acceleratorsEnabled_ = enabled; }
  ParameterSetMenu& parameterSets() { return *parameterSets_; }

  // The dialog of a handle, or null.
  static MainDialog* FromHandle(platform::WindowHandle window);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void reject() override;

 private:
  void BuildControls();
  void OnInitDialog();
  void InitializeDialog();
  void OnDestroy();
  void OnCommand(int id, uint16_t notification);
  void OnAccelerator(int command);
  void OnProgress(int32_t done, int32_t total);
  void OnParametersChanged();
  void OnParametersReloaded();
  void OnEffectSelected(int index);
  void SelectTool(uint32_t tool);
  void SendParametersChanged();
  void RequestPreviewRedraw();
  void AttachLivePreview();
  void OnToolIconDoubleClicked(int id);
  void End(int result);
  void FocusSlider(size_t index);
  void SendCommand(int id, uint16_t notification);
  void InitializeParameterSets();
  void OnPeripheryCommand(int command);  // help, options

  ParameterSet* parameters_;
  const ParameterSet original_;
  UiSettings* settings_;
  AnalysisQueries watch_;
  platform::WindowHandle handle_ = 0;
  platform::WindowHandle previousOwner_ = 0;
  std::vector<std::pair<int, QWidget*>> controls_;  // in template order
  std::vector<std::unique_ptr<SliderPair>> sliders_;
  DialogLayout layout_;
  QSize initialSize_;
  PreviewDisplay* preview_ = nullptr;
  QComboBox* effectCombo_ = nullptr;
  QComboBox* settingsCombo_ = nullptr;
  QProgressBar* progress_ = nullptr;
  std::unique_ptr<ParameterSetMenu> parameterSets_;
  uint32_t tool_ = 0;
  bool previewOn_ = true;
  bool ending_ = false;
  bool endRequested_ = false;
  bool initialised_ = false;
  bool acceleratorsEnabled_ = true;
  bool analysisComplete_ = false;
  int32_t progressTotal_ = -1;
  int32_t progressPosition_ = -1;
};

}  // namespace lumeray::dialog
