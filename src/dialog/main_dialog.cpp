#include "dialog/main_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSizeGrip>
#include <QSlider>

#include <algorithm>

#include "analysis/analysis_run_state.h"
#include "analysis/master_light_source_table.h"
#include "diagnostics/message_report.h"
#include "dialog/dialog_messages.h"
#include "dialog/dialog_template.h"
#include "dialog/light_source_dialog.h"
#include "dialog/tool_icons.h"
#include "effects/effect_types.h"
#include "interface/filter_interface.h"
#include "periphery/about_box.h"
#include "periphery/help_viewer.h"
#include "periphery/options_dialog.h"
#include "periphery/update_check.h"
#include "run/run_status.h"

namespace lumeray::dialog {
namespace {

// A row of the accelerator table: a character (matched by its text, without Ctrl or Alt) or a
// key with exactly the given modifiers.
struct Accelerator {
  QChar character;
  int key;
  Qt::KeyboardModifiers modifiers;
  int command;
};

const std::array<Accelerator, 31> kAccelerators{{
    {u'+', 0, {}, kCmdShowTool},
    {{}, Qt::Key_0, Qt::ControlModifier, kCmdFitDialog},
    {u'?', 0, {}, kCmdContextHelp},
    {u':', 0, {}, kCmdFocusEffect},
    {{}, Qt::Key_A, {}, kCmdFocusAngle},
    {{}, Qt::Key_C, {}, kCmdFocusColorSaturation},
    {{}, Qt::Key_D, {}, kCmdFocusPreview},
    {{}, Qt::Key_E, {}, kCmdFocusSecondary},
    {{}, Qt::Key_F, {}, kCmdFocusRainbowFrequency},
    {{}, Qt::Key_H, {}, kCmdPanTool},
    {{}, Qt::Key_I, {}, kCmdFocusIntensity},
    {{}, Qt::Key_L, {}, kCmdFocusLength},
    {{}, Qt::Key_M, {}, kCmdSettingsMenu},
    {{}, Qt::Key_N, {}, kCmdFocusPoints},
    {{}, Qt::Key_O, {}, kCmdToggleEffectsOnly},
    {{}, Qt::Key_O, Qt::ControlModifier, kCmdFitImage},
    {{}, Qt::Key_P, {}, kCmdTogglePreview},
    {{}, Qt::Key_Q, {}, kCmdFocusQuantity},
    {{}, Qt::Key_R, {}, kCmdFocusRainbowIntensity},
    {{}, Qt::Key_S, {}, kCmdFocusSharpness},
    {{}, Qt::Key_T, {}, kCmdFocusSettings},
    {{}, Qt::Key_V, {}, kCmdZoomMenu},
    {{}, Qt::Key_X, {}, kCmdHideTool},
    {{}, Qt::Key_Y, {}, kCmdFocusSoftFlare},
    {{}, Qt::Key_Z, {}, kCmdZoomTool},
    {{}, Qt::Key_Plus, Qt::ControlModifier | Qt::KeypadModifier, kCmdZoomIn},
    {{}, Qt::Key_F10, {}, kCmdOptions},
    {{}, Qt::Key_Help, {}, kCmdHelp},
    {{}, Qt::Key_Minus, Qt::ControlModifier, kCmdZoomOut},
    {{}, Qt::Key_Plus, Qt::ControlModifier, kCmdZoomIn},
    {{}, Qt::Key_Minus, Qt::ControlModifier | Qt::KeypadModifier, kCmdZoomOut},
}};

// Slider focus commands, by slider index.
constexpr std::array<int, 11> kSliderFocusCommands{
    kCmdFocusQuantity,        kCmdFocusIntensity,        kCmdFocusLength,
    kCmdFocusAngle,           kCmdFocusPoints,           kCmdFocusSharpness,
    kCmdFocusColorSaturation, kCmdFocusRainbowIntensity, kCmdFocusRainbowFrequency,
    kCmdFocusSecondary,       kCmdFocusSoftFlare};

// The check box table: control, tool-tip, bound field.
struct CheckBoxRow {
  int id;
  const char* toolTip;
  uint16_t ParameterSet::*field;
};
constexpr std::array<CheckBoxRow, 1> kCheckBoxes{{
    {kIdEffectsOnly,
     "Effects Only (O) - Check to output the effects only, excluding the original image",
     &ParameterSet::EffectsOnly},
}};

struct ToolTipRow {
  int id;
  const char* text;
};
constexpr std::array<ToolTipRow, 8> kToolTips{{
    {kIdPreviewCheck,
     "Preview (P) - Check to see a preview of the modified image, uncheck to see the original "
     "image"},
    {kIdOk, "OK - Commit changes and return to the editor"},
    {kIdCancel, "Cancel (Esc) - Close the dialog without making any changes"},
    {kIdConfigure, "(F10) - Configure plug-in options"},
    {kIdHelpAndSupport, "Click here for links to help and support resources"},
    {kIdBanner, "Visit the Vantrel Software web site"},
    {kIdLogo, "Click to see Lumeray Pro 2 version information, help, and online resources"},
    {kIdHelpIcon, "Help (?) - Click to see help for this Dialog."},
}};
constexpr const char* kEffectToolTip =
    "Effect (:) - Select the type of Star Effect to apply to the image.";
constexpr int kToolTipMilliseconds = 30000;

struct ToolControl {
  uint32_t tool;
  int icon;
};
constexpr std::array<ToolControl, 4> kTools{{
    {kToolPan, kIdPanIcon},
    {kToolZoom, kIdZoomIcon},
    {kToolHide, kIdHideIcon},
    {kToolShow, kIdShowIcon},
}};

// The static pictures that answer clicks as commands.
constexpr std::array<int, 8> kClickablePictures{
    kIdPanIcon, kIdZoomIcon, kIdHideIcon, kIdShowIcon,
    kIdLogo,    kIdHelpIcon, kIdBanner,   kIdSettingsMenuButton};

QWidget* MakeControl(const ControlTemplate& control, QWidget* parent) {
  const QString text = QString::fromUtf8(control.text);
  switch (control.kind) {
    case ControlKind::kPushButton:
      return new QPushButton(text, parent);
    case ControlKind::kComboBox:
      return new QComboBox(parent);
    case ControlKind::kGroupBox:
      return new QGroupBox(text, parent);
    case ControlKind::kLabel:
    case ControlKind::kStaticText: {
      auto* label = new QLabel(text, parent);
      if (control.id == kIdPanLabel || control.id == kIdZoomLabel || control.id == kIdHideLabel ||
          control.id == kIdShowLabel || control.id == kIdZoomText) {
        label->setAlignment(Qt::AlignCenter);
      }
      return label;
    }
    case ControlKind::kStaticPicture: {
      auto* label = new QLabel(text, parent);
      label->setAlignment(Qt::AlignCenter);
      return label;
    }
    case ControlKind::kValueBox:
      return new QLineEdit(parent);
    case ControlKind::kTrackbar:
      return new QSlider(Qt::Horizontal, parent);
    case ControlKind::kCheckBox:
      return new QCheckBox(text, parent);
    case ControlKind::kProgressBar: {
      auto* bar = new QProgressBar(parent);
      bar->setTextVisible(false);
      return bar;
    }
    case ControlKind::kHorizontalScrollBar:
      return new QScrollBar(Qt::Horizontal, parent);
    case ControlKind::kVerticalScrollBar:
      return new QScrollBar(Qt::Vertical, parent);
    case ControlKind::kSizeGrip:
      return new QSizeGrip(parent);
    case ControlKind::kPreview:
      return nullptr;  // made by the dialog, which knows its handle
  }
  return nullptr;
}

QRect ScreenRect(const std::array<int32_t, 4>& r) {
  return QRect(QPoint(r[0], r[1]), QPoint(r[2] - 1, r[3] - 1));
}

}  // namespace

int AcceleratorFor(int key, Qt::KeyboardModifiers modifiers, const QString& text) {
  const Qt::KeyboardModifiers relevant =
      modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier | Qt::MetaModifier |
                   Qt::KeypadModifier);
  const bool plain = !(modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
  for (const Accelerator& row : kAccelerators) {
    if (!row.character.isNull()) {
      if (plain && text.size() == 1 && text.at(0) == row.character) return row.command;
      continue;
    }
    if (row.key != key) continue;
    // The numeric pad's flag only counts where the row asks for the pad.
    Qt::KeyboardModifiers wanted = relevant;
    if (!(row.modifiers & Qt::KeypadModifier)) wanted &= ~Qt::KeypadModifier;
    if (wanted == row.modifiers) return row.command;
  }
  return 0;
}

MainDialog::MainDialog(ParameterSet* parameters, UiSettings* settings, AnalysisQueries watch,
                       QWidget* parent)
    : QDialog(parent),
      parameters_(parameters),
      original_(*parameters),
      settings_(settings),
      watch_(std::move(watch)) {
  setWindowTitle(QString::fromUtf8(kMainDialogCaption));
  setObjectName(QStringLiteral("LUMERAYDIALOG_ADVANCED"));
  setSizeGripEnabled(false);  // the template's own grip (1083)
  QFont dialogFont = font();
  dialogFont.setPointSize(8);
  setFont(dialogFont);
  handle_ = platform::RegisterWindow(
      [this](uint32_t message, uintptr_t wParam, intptr_t lParam) {
        LumerayProcedure(handle_, message, wParam, lParam);
      },
      static_cast<QWidget*>(this));
  BuildControls();
  qApp->installEventFilter(this);
  LumerayProcedure(handle_, kWmInitDialog, 0, 0);
}

MainDialog::~MainDialog() {
  qApp->removeEventFilter(this);
  Procedure(kWmDestroy, 0, 0);
}

MainDialog* MainDialog::FromHandle(platform::WindowHandle window) {
  // The module registers only QWidget pointers as native widgets.
  auto* widget = static_cast<QWidget*>(platform::NativeWidget(window));
  return widget == nullptr ? nullptr : dynamic_cast<MainDialog*>(widget);
}

QWidget* MainDialog::Control(int id) const {
  for (const auto& [controlId, widget] : controls_) {
    if (controlId == id) return widget;
  }
  return nullptr;
}

void MainDialog::BuildControls() {
  const QFontMetrics metrics(font());
  const QRect client =
      DialogUnitsToPixels(QRect(0, 0, kDialogWidthUnits, kDialogHeightUnits), metrics);
  resize(client.size());
  initialSize_ = client.size();
  for (const ControlTemplate& control : MainDialogTemplate()) {
    QWidget* widget = control.kind == ControlKind::kPreview
                          ? (preview_ = new PreviewDisplay(this, handle_, watch_))
                          : MakeControl(control, this);
    widget->setProperty("controlId", control.id);
    widget->setGeometry(
        DialogUnitsToPixels(QRect(control.x, control.y, control.width, control.height), metrics));
    controls_.emplace_back(control.id, widget);
  }
  // Each slider label names its value box, so that its mnemonic reaches the box.
  for (size_t i = 1; i < controls_.size(); ++i) {
    auto* box = qobject_cast<QLineEdit*>(controls_[i].second);
    auto* label = qobject_cast<QLabel*>(controls_[i - 1].second);
    if (box != nullptr && label != nullptr) label->setBuddy(box);
  }
  effectCombo_ = qobject_cast<QComboBox*>(Control(kIdEffectCombo));
  settingsCombo_ = qobject_cast<QComboBox*>(Control(kIdSettingsCombo));
  progress_ = qobject_cast<QProgressBar*>(Control(kIdProgressBar));
  qobject_cast<QLabel*>(Control(kIdEffectLabel))->setBuddy(effectCombo_);
}

void MainDialog::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  if (initialised_) layout_.Reposition(this);
}

void MainDialog::reject() {
  // Escape and the window's close button are Cancel.
  SendCommand(kIdCancel, kNotifyClicked);
}

void MainDialog::SendCommand(int id, uint16_t notification) {
  LumerayProcedure(handle_, kWmCommand, CommandParam(id, notification), 0);
}

void MainDialog::SendParametersChanged() {
  LumerayProcedure(handle_, MSG_PARAMETERS_CHANGED, 0, 0);
}

intptr_t MainDialog::Procedure(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  switch (message) {
    case kWmInitDialog:
      OnInitDialog();
      return 0;
    case kWmDestroy:
      OnDestroy();
      return 0;
    case kWmClose:
      SendCommand(kIdCancel, kNotifyClicked);
      return 0;
    case kWmCommand:
      OnCommand(CommandId(wParam), CommandNotification(wParam));
      return 0;
    case MSG_PARAMETERS_CHANGED:
      OnParametersChanged();
      return 0;
    case MSG_PARAMETERS_RELOADED:
      OnParametersReloaded();
      return 0;
    case MSG_PROGRESS:
      OnProgress(static_cast<int32_t>(wParam), static_cast<int32_t>(lParam));
      return 0;
    case MSG_INITIALIZATION_COMPLETE:
      analysisComplete_ = true;
      Control(kIdHideIcon)->setEnabled(true);
      Control(kIdShowIcon)->setEnabled(true);
      SelectTool(tool_);
      return 0;
    case MSG_REDRAW_PREVIEW_FRAME:
      preview_->FrameReady();
      return 0;
    case MSG_INVALIDATE_PREVIEW:
      RequestPreviewRedraw();
      return 0;
    case MSG_SHOW_MESSAGE:
      ShowAndFreeMessageBlock(reinterpret_cast<MessageBlock*>(wParam), handle_);
      return 0;
    default:
      return 0;  // the busy notice and anything else: nothing to do
  }
}

void MainDialog::OnInitDialog() {
  previousOwner_ = SetMessageOwnerWindow(handle_);
  std::vector<QWidget*> widgets;
  for (const auto& control : controls_) widgets.push_back(control.second);
  layout_.Record(this, widgets);
  setMinimumSize(initialSize_);

  // The remembered rectangle, or the dialog centred over its parent (else the primary screen).
  if (settings_->windowRect == std::array<int32_t, 4>{0, 0, 0, 0}) {
    QRect area;
    if (parentWidget() != nullptr) {
      area = parentWidget()->window()->geometry();
    } else if (QScreen* screen = QGuiApplication::primaryScreen()) {
      area = screen->availableGeometry();
    }
    QRect centred(QPoint(0, 0), initialSize_);
    centred.moveCenter(area.center());
    settings_->windowRect = {centred.left(), centred.top(), centred.right() + 1,
                             centred.bottom() + 1};
  }
  std::vector<QRect> monitors;
  for (QScreen* screen : QGuiApplication::screens()) monitors.push_back(screen->geometry());
  QRect placed = FitRectToMonitors(ScreenRect(settings_->windowRect), initialSize_, monitors);
  placed.setSize(placed.size().expandedTo(initialSize_));
  setGeometry(placed);
  initialised_ = true;
  layout_.Reposition(this);

  InitializeDialog();
  if (RunResult() == 0) sliders_.front()->Focus();
}

void MainDialog::InitializeDialog() {
  // The dialog always opens with Effects Only off and the preview on; a stored Hide or Show
  // tool becomes Zoom (those tools wait for the analysis).
  parameters_->EffectsOnly = 0;
  previewOn_ = true;
  settings_->preview = 1;
  qobject_cast<QCheckBox*>(Control(kIdPreviewCheck))->setChecked(true);
  if (settings_->tool == kToolHide || settings_->tool == kToolShow || settings_->tool < kToolPan ||
      settings_->tool > kToolShow) {
    settings_->tool = kToolZoom;
  }
  qobject_cast<QPushButton*>(Control(kIdOk))->setDefault(true);
  for (int id : {kIdConfigure, kIdHelpAndSupport}) {
    qobject_cast<QPushButton*>(Control(id))->setAutoDefault(false);
  }
  Control(kIdBanner)->setCursor(Qt::PointingHandCursor);
  Control(kIdLogo)->setCursor(Qt::PointingHandCursor);
  static_cast<QLabel*>(Control(kIdLogo))->setPixmap(LogoPicture(Control(kIdLogo)->size()));

  for (const ToolTipRow& row : kToolTips) Control(row.id)->setToolTip(QString::fromUtf8(row.text));
  for (const auto& control : controls_) control.second->setToolTipDuration(kToolTipMilliseconds);

  // The Effect combo.
  effectCombo_->setToolTip(QString::fromUtf8(kEffectToolTip));
  for (const EffectTypeRow& row : EffectTypeTable()) {
    if (row.code == 0) break;
    effectCombo_->addItem(QString::fromUtf8(row.name), QVariant::fromValue(row.code));
  }
  effectCombo_->setCurrentIndex(EffectComboIndex(parameters_->EffectType));
  connect(effectCombo_, &QComboBox::activated, this,
          [this](int index) { OnEffectSelected(index); });

  // The check boxes of the table.
  for (const CheckBoxRow& row : kCheckBoxes) {
    auto* box = qobject_cast<QCheckBox*>(Control(row.id));
    box->setToolTip(QString::fromUtf8(row.toolTip));
    box->setChecked(parameters_->*row.field != 0);
    connect(box, &QCheckBox::clicked, this,
            [this, id = row.id] { SendCommand(id, kNotifyClicked); });
  }
  connect(qobject_cast<QCheckBox*>(Control(kIdPreviewCheck)), &QCheckBox::clicked, this,
          [this] { SendCommand(kIdPreviewCheck, kNotifyClicked); });
  for (int id : {kIdOk, kIdCancel, kIdConfigure, kIdHelpAndSupport}) {
    connect(qobject_cast<QPushButton*>(Control(id)), &QPushButton::clicked, this,
            [this, id] { SendCommand(id, kNotifyClicked); });
  }

  // The sliders, bound in the table's order.
  const auto table = SliderTable();
  const auto ids = SliderControls();
  for (size_t i = 0; i < table.size(); ++i) {
    auto* box = qobject_cast<QLineEdit*>(Control(ids[i].valueBox));
    auto* bar = qobject_cast<QSlider*>(Control(ids[i].trackbar));
    box->setToolTip(QString::fromUtf8(table[i].valueBoxTip));
    bar->setToolTip(QString::fromUtf8(table[i].trackbarTip));
    sliders_.push_back(std::make_unique<SliderPair>(
        table[i], box, bar, [this] { SendParametersChanged(); }, nullptr));
    sliders_.back()->Bind(&(parameters_->*table[i].field));
  }

  // The tools: Hide and Show wait for the analysis.
  Control(kIdHideIcon)->setEnabled(analysisComplete_);
  Control(kIdShowIcon)->setEnabled(analysisComplete_);
  tool_ = 0;
  SelectTool(settings_->tool);
  OnProgress(0, 0);
  InitializeParameterSets();
  StartUpdateCheck(this);  // in the background, when the user asked for it
  AttachLivePreview();
}

void MainDialog::OnToolIconDoubleClicked(int id) {
  // Pan: the whole image; Zoom: actual pixels.
  if (id == kIdPanIcon) preview_->FitInView();
  if (id == kIdZoomIcon) preview_->SetZoom(100.0, preview_->rect().center());
}

void MainDialog::AttachLivePreview() {
  PreviewControls controls;
  controls.horizontal = qobject_cast<QScrollBar*>(Control(kIdHorizontalScroll));
  controls.vertical = qobject_cast<QScrollBar*>(Control(kIdVerticalScroll));
  controls.zoomIn = Control(kIdZoomIn);
  controls.zoomOut = Control(kIdZoomOut);
  controls.zoomText = qobject_cast<QLabel*>(Control(kIdZoomText));
  controls.zoomDrop = Control(kIdZoomDrop);
  preview_->SetPreviewEnabled(previewOn_);
  preview_->StartLivePreview(parameters_, controls);
}

void MainDialog::InitializeParameterSets() {
  parameterSets_ = std::make_unique<ParameterSetMenu>(
      settingsCombo_, Control(kIdSettingsMenuButton), parameters_, handle_, [this] {
        LumerayProcedure(handle_, MSG_PARAMETERS_RELOADED, 0, 0);
        RequestPreviewRedraw();
      });
  parameterSets_->Fill();
  connect(settingsCombo_, &QComboBox::activated, this,
          [this](int index) { parameterSets_->OnSelected(index); });
}

void MainDialog::OnDestroy() {
  if (handle_ == 0) return;
  if (previousOwner_ != 0) SetMessageOwnerWindow(previousOwner_);
  platform::UnregisterWindow(handle_);
  handle_ = 0;
}

void MainDialog::End(int result) {
  ending_ = true;
  preview_->StopLivePreview();  // the drawing context is released before the run goes on
  done(result);
}

void MainDialog::OnCommand(int id, uint16_t notification) {
  if (notification == kNotifyAccelerator && id >= 40048 && id <= 40099) {
    OnAccelerator(id);
    return;
  }
  switch (id) {
    case kIdOk: {
      ending_ = true;
      const QRect rect = geometry();
      settings_->windowRect = {rect.left(), rect.top(), rect.right() + 1, rect.bottom() + 1};
      if (!SaveUiSettings(*settings_)) {
        MessageReport report(__LINE__, kMessageDebug);
        report.Report(kIconError, kTitleDebugUnexpectedError,
                      "Could not write the user interface settings file.");
      }
      End(kDialogOk);
      return;
    }
    case kIdCancel:
      if (endRequested_) return;
      ending_ = endRequested_ = true;
      *parameters_ = original_;  // Cancel leaves the settings as they were
      SetRunResult(kUserCanceledErr);
      End(kDialogCancel);
      return;
    case kIdPreviewCheck:
      previewOn_ = qobject_cast<QCheckBox*>(Control(kIdPreviewCheck))->isChecked();
      settings_->preview = previewOn_ ? 1 : 0;
      RequestPreviewRedraw();
      return;
    case kIdEffectsOnly: {
      const uint16_t checked = qobject_cast<QCheckBox*>(Control(kIdEffectsOnly))->isChecked();
      if (checked != parameters_->EffectsOnly) {
        parameters_->EffectsOnly = checked;
        SendParametersChanged();
      }
      return;
    }
    case kIdPanIcon:
    case kIdZoomIcon:
    case kIdHideIcon:
    case kIdShowIcon:
      for (const ToolControl& tool : kTools) {
        if (tool.icon == id) SelectTool(tool.tool);
      }
      if (notification == kNotifyDoubleClicked) OnToolIconDoubleClicked(id);
      return;
    case kIdSettingsMenuButton:
      parameterSets_->OpenMenu();
      return;
    case kIdHelpIcon:
    case kIdConfigure:
      OnPeripheryCommand(id);
      return;
    case kIdLogo:
    case kIdHelpAndSupport:
      ShowAboutBox(handle_);
      RequestPreviewRedraw();
      return;
    default:
      return;
  }
}

void MainDialog::OnAccelerator(int command) {
  for (size_t i = 0; i < kSliderFocusCommands.size(); ++i) {
    if (kSliderFocusCommands[i] == command) {
      FocusSlider(i);
      return;
    }
  }
  switch (command) {
    case kCmdPanTool:
      SelectTool(kToolPan);
      return;
    case kCmdZoomTool:
      SelectTool(kToolZoom);
      return;
    case kCmdHideTool:
      SelectTool(kToolHide);
      return;
    case kCmdShowTool:
      SelectTool(kToolShow);
      return;
    case kCmdToggleEffectsOnly:
    case kCmdTogglePreview: {
      const int id = command == kCmdToggleEffectsOnly ? kIdEffectsOnly : kIdPreviewCheck;
      auto* box = qobject_cast<QCheckBox*>(Control(id));
      box->setChecked(!box->isChecked());
      SendCommand(id, kNotifyClicked);
      return;
    }
    case kCmdFocusEffect:
      effectCombo_->setFocus(Qt::ShortcutFocusReason);
      effectCombo_->showPopup();
      return;
    case kCmdFocusSettings:
      settingsCombo_->setFocus(Qt::ShortcutFocusReason);
      settingsCombo_->showPopup();
      return;
    case kCmdFocusPreview:
      preview_->setFocus(Qt::ShortcutFocusReason);
      return;
    case kCmdFitImage:
      preview_->FitInView();
      return;
    case kCmdFitDialog:
      preview_->FitOnScreen();
      return;
    case kCmdZoomMenu: {
      QWidget* drop = Control(kIdZoomDrop);
      preview_->OpenZoomMenu(drop->mapToGlobal(drop->rect().topLeft()),
                             PreviewDisplay::kMenuAboveFrom);
      return;
    }
    case kCmdZoomIn:
    case kCmdZoomOut:
      preview_->ZoomStep(command == kCmdZoomIn, preview_->rect().center());
      return;
    case kCmdSettingsMenu:
      parameterSets_->OpenMenu();
      return;
    case kCmdContextHelp:
    case kCmdHelp:
    case kCmdOptions:
      OnPeripheryCommand(command);
      return;
    default:
      return;
  }
}

void MainDialog::OnPeripheryCommand(int command) {
  switch (command) {
    case kCmdOptions:
    case kIdConfigure:
      RunOptionsDialog(this);
      return;
    case kCmdHelp: {
      // Help on the control that has the focus (the dialog's page when none has).
      const QWidget* focus = QApplication::focusWidget();
      const int id = focus != nullptr ? focus->property("controlId").toInt() : 0;
      DisplayHTMLControlHelp(static_cast<uint32_t>(id != 0 ? id : kIdHelpIcon));
      return;
    }
    default:
      DisplayHTMLControlHelp(kIdHelpIcon);
      return;
  }
}

void MainDialog::FocusSlider(size_t index) {
  sliders_.at(index)->Focus();
}

void MainDialog::SelectTool(uint32_t tool) {
  const bool hideShow = tool == kToolHide || tool == kToolShow;
  if (hideShow && !analysisComplete_) return;  // those icons are disabled until then
  const uint32_t previous = tool_;
  for (const ToolControl& row : kTools) {
    QWidget* icon = Control(row.icon);
    const IconLook look = !icon->isEnabled() ? IconLook::kDisabled
                          : row.tool == tool ? IconLook::kSelected
                                             : IconLook::kUnselected;
    static_cast<QLabel*>(icon)->setPixmap(ToolIcon(row.tool, look, icon->size()));
  }
  tool_ = tool;
  settings_->tool = tool;
  if (previous != tool) {
    preview_->SetTool(tool);
    PostDialogMessage(handle_, MSG_TOOL_CHANGED);
  }
}

void MainDialog::OnProgress(int32_t done, int32_t total) {
  if (total <= 0) {
    // An empty bar (a 0..0 range would show Qt's busy animation).
    progress_->setRange(0, 1);
    progress_->setValue(0);
    progressTotal_ = 0;
    progressPosition_ = 0;
    return;
  }
  const int32_t position = std::min(done, total);
  if (total != progressTotal_) {
    progress_->setRange(0, total);
    progressTotal_ = total;
  }
  if (position != progressPosition_) {
    progress_->setValue(position);
    progressPosition_ = position;
  }
}

void MainDialog::OnParametersChanged() {
  if (parameterSets_ != nullptr) parameterSets_->FollowParameters();
  RequestPreviewRedraw();
}

void MainDialog::OnParametersReloaded() {
  for (const auto& slider : sliders_) slider->Refresh();
  if (FindEffectType(parameters_->EffectType) != nullptr) {
    const int index = EffectComboIndex(parameters_->EffectType);
    if (effectCombo_->currentIndex() != index) effectCombo_->setCurrentIndex(index);
  }
  for (const CheckBoxRow& row : kCheckBoxes) {
    qobject_cast<QCheckBox*>(Control(row.id))->setChecked(parameters_->*row.field != 0);
  }
}

void MainDialog::OnEffectSelected(int index) {
  const EffectTypeRow* row = FindEffectType(effectCombo_->itemData(index).toUInt());
  if (row == nullptr) return;
  parameters_->EffectType = row->code;
  ParameterSet preset = *parameters_;
  if (ApplyEffectPreset(row, &preset)) {
    sliders_[SliderIndex(&ParameterSet::NumberOfPoints)]->SetValue(preset.NumberOfPoints);
  }
  PostDialogMessage(handle_, MSG_PARAMETERS_CHANGED);
}

void MainDialog::RequestPreviewRedraw() {
  preview_->SetPreviewEnabled(previewOn_);
  preview_->RequestFrame();
}

bool MainDialog::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == DialogMessageEvent::EventType()) {
    auto* message = static_cast<DialogMessageEvent*>(event);
    if (message->window != handle_ || handle_ == 0) return false;
    LumerayProcedure(handle_, message->message, message->wParam, message->lParam);
    return true;
  }
  if (watched == effectCombo_ || watched == settingsCombo_) {
    // Typed letters belong to a combo box while it has the focus.
    if (event->type() == QEvent::FocusIn) EnableAcceleratorKeys(false);
    if (event->type() == QEvent::FocusOut) EnableAcceleratorKeys(true);
  }
  if (event->type() == QEvent::KeyPress && acceleratorsEnabled_ && !ending_) {
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget == nullptr || widget->window() != this) return false;
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_L && key->modifiers() == (Qt::ControlModifier | Qt::ShiftModifier)) {
      const MasterLightSourceTable none;  // without a run: an empty listing
      ShowLightSourceTable(this, watch_.analysis != nullptr ? watch_.analysis->master : none);
      return true;
    }
    const int command = key->key() == Qt::Key_F1
                            ? kCmdHelp
                            : AcceleratorFor(key->key(), key->modifiers(), key->text());
    if (command == 0) return false;
    SendCommand(command, kNotifyAccelerator);
    return true;
  }
  if (event->type() == QEvent::MouseButtonRelease || event->type() == QEvent::MouseButtonDblClick) {
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget == nullptr || widget->parentWidget() != this) return false;
    if (static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton) return false;
    const int id = widget->property("controlId").toInt();
    if (std::find(kClickablePictures.begin(), kClickablePictures.end(), id) ==
        kClickablePictures.end()) {
      return false;
    }
    const bool doubled = event->type() == QEvent::MouseButtonDblClick;
    SendCommand(id, doubled ? kNotifyDoubleClicked : kNotifyClicked);
    return true;
  }
  return false;
}

intptr_t LumerayProcedure(platform::WindowHandle window, uint32_t message, uintptr_t wParam,
                          intptr_t lParam) {
  MainDialog* dialog = MainDialog::FromHandle(window);
  if (dialog == nullptr) return 0;
  const intptr_t result = dialog->Procedure(message, wParam, lParam);
  // An error of the run (from any thread) closes the dialog after the current message.
  if (message != kWmDestroy && RunResult() != 0 && !dialog->ending()) {
    dialog->Procedure(kWmCommand, CommandParam(kIdCancel, kNotifyClicked), 0);
  }
  return result;
}

}  // namespace lumeray::dialog
