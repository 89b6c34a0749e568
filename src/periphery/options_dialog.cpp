#include "periphery/options_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QVBoxLayout>

#include <memory>
#include <optional>
#include <string>

#include "diagnostics/debug_log.h"
#include "diagnostics/message_report.h"
#include "periphery/help_viewer.h"
#include "platform/registry.h"

namespace lumeray {
namespace {

// The drawing option, where the OpenGL engine (gl/drawing_settings) keeps it.
constexpr const char* kOpenGLKey = "Software\\Vantrel Software\\LumerayPro\\2.0\\OpenGLSettings";
constexpr const char* kOpenGLOptionValue = "OpenGLOptimizationSetting";

struct OptionRow {
  int id;
  const char* text;
  int32_t option;
  const char* toolTip;
  const char* named;  // in the "takes effect" message
};
constexpr OptionRow kOptionRows[] = {
    {kIdQualityOption, "Higher display quality", 1,
     "Select this option for the best display quality.",
     ", 'Optimize for better display quality',"},
    {kIdSpeedOption, "Faster display", 2,
     "Select this option for a faster display but with reduced display quality.",
     ", 'Optimize for faster display',"},
    {kIdCompatibilityOption, "Greater compatibility", 3,
     "Select this option for the greatest compatibility with your current software.",
     ", 'Optimize for greater compatibility',"},
    {kIdSoftwareOption, "Software Rendering", 4, "Use the processor only to draw the preview.",
     ", 'Use Software Rendering',"},
};

int32_t ReadStoredOption() {
  std::optional<platform::RegistryKey> key =
      platform::RegistryKey::Open(platform::Hive::kLocalMachine, kOpenGLKey, false);
  if (!key) return 0;
  const std::optional<uint32_t> value = key->GetDword(kOpenGLOptionValue);
  return value && *value >= 1 && *value <= 4 ? static_cast<int32_t>(*value) : 0;
}

bool WriteStoredOption(int32_t option) {
  std::optional<platform::RegistryKey> key =
      platform::RegistryKey::Open(platform::Hive::kLocalMachine, kOpenGLKey, true);
  if (!key || key->SetDword(kOpenGLOptionValue, static_cast<uint32_t>(option)) != 0) {
    MessageReport(__LINE__, kMessageDebug)
        .Report(kIconError, kTitleDebugUnexpectedError,
                "Could not open the OpenGL Settings registry key");
    return false;
  }
  return true;
}

QString DaysText(uint32_t days) {
  return days == 1 ? QStringLiteral("day.") : QStringLiteral("days.");
}

template <typename T>
T* Make(QWidget* parent, int id, T* widget) {
  widget->setProperty("controlId", id);
  return widget;
}

}  // namespace

OptionsDialog::OptionsDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QString::fromUtf8(kOptionsDialogTitle));
  setObjectName(QStringLiteral("LumerayOptionsDialog"));
  handle_ = platform::RegisterWindow(
      [this](uint32_t message, uintptr_t wParam, intptr_t) {
        if (message == kMsgShowMessage) {
          ShowAndFreeMessageBlock(reinterpret_cast<MessageBlock*>(wParam), handle_);
        }
      },
      this);
  previousOwner_ = SetMessageOwnerWindow(handle_);
  updates_ = ReadUpdateCheckSettings();
  storedOption_ = chosenOption_ = ReadStoredOption();

  auto* layout = new QVBoxLayout(this);
  auto* updates = new QGroupBox(QStringLiteral("Product updates"), this);
  auto* updatesLayout = new QVBoxLayout(updates);
  auto* row = new QHBoxLayout;
  auto* check = Make(this, kIdUpdateCheck,
                     new QCheckBox(QStringLiteral("Check online for product updates every")));
  check->setChecked(updates_.enabled);
  check->setToolTip(QStringLiteral("Check this box to enable online update checking."));
  auto* interval =
      Make(this, kIdUpdateInterval, new QLineEdit(QString::number(updates_.intervalDays)));
  interval->setValidator(new QIntValidator(0, 9999, interval));
  interval->setMaximumWidth(60);
  interval->setEnabled(updates_.enabled);
  interval->setToolTip(QStringLiteral("Enter the number of days to wait between update checks."));
  auto* days = Make(this, kIdUpdateDays, new QLabel(DaysText(updates_.intervalDays)));
  row->addWidget(check);
  row->addWidget(interval);
  row->addWidget(days);
  row->addStretch();
  updatesLayout->addLayout(row);
  auto* feedRow = new QHBoxLayout;
  feedRow->addWidget(new QLabel(QStringLiteral("Version feed address:")));
  auto* feed =
      Make(this, kIdFeedAddress, new QLineEdit(QString::fromStdString(updates_.feedAddress)));
  feed->setPlaceholderText(QStringLiteral("https://… (none: no check)"));
  feed->setToolTip(QStringLiteral("The address of the version feed to ask for newer versions."));
  feedRow->addWidget(feed);
  updatesLayout->addLayout(feedRow);
  layout->addWidget(updates);

  auto* drawing = new QGroupBox(QStringLiteral("OpenGL preview drawing"), this);
  auto* drawingLayout = new QVBoxLayout(drawing);
  for (const OptionRow& option : kOptionRows) {
    auto* button = Make(this, option.id, new QRadioButton(QString::fromUtf8(option.text)));
    button->setToolTip(QString::fromUtf8(option.toolTip));
    button->setChecked(option.option == storedOption_);
    button->setEnabled(storedOption_ != 0);
    connect(button, &QRadioButton::toggled, this, [this, option = option.option](bool on) {
      if (on) chosenOption_ = option;
    });
    drawingLayout->addWidget(button);
  }
  drawingLayout->addWidget(Make(
      this, kIdBitnessNote,
      new QLabel(
          QStringLiteral("Note:  OpenGL options for the 32 bit and 64 bit plug-ins are configured "
                         "independently."))));
  layout->addWidget(drawing);

  auto* buttons = new QHBoxLayout;
  auto* help = Make(this, kIdOptionsHelp, new QPushButton(QStringLiteral("?")));
  help->setToolTip(QStringLiteral("Help (?) - Click to see help for this Dialog."));
  help->setAutoDefault(false);
  auto* ok = Make(this, kIdOptionsOk, new QPushButton(QStringLiteral("OK")));
  ok->setToolTip(QStringLiteral("OK - Commit changes and return to the editor"));
  ok->setDefault(true);
  auto* cancel = Make(this, kIdOptionsCancel, new QPushButton(QStringLiteral("Cancel")));
  cancel->setToolTip(QStringLiteral("Cancel (Esc) - Close the dialog without making any changes"));
  cancel->setAutoDefault(false);
  buttons->addWidget(help);
  buttons->addStretch();
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  layout->addLayout(buttons);

  connect(check, &QCheckBox::toggled, this, [this, interval](bool on) {
    updates_.enabled = on;
    interval->setEnabled(on);
  });
  connect(interval, &QLineEdit::textEdited, this, [this] { OnIntervalEdited(); });
  connect(feed, &QLineEdit::textEdited, this,
          [this](const QString& text) { updates_.feedAddress = text.trimmed().toStdString(); });
  connect(help, &QPushButton::clicked, this, [] { DisplayHTMLControlHelp(kIdOptionsHelp); });
  auto* question = new QShortcut(QKeySequence(QStringLiteral("?")), this);
  connect(question, &QShortcut::activated, this, [] { DisplayHTMLControlHelp(kIdOptionsHelp); });
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

OptionsDialog::~OptionsDialog() {
  SetMessageOwnerWindow(previousOwner_);
  platform::UnregisterWindow(handle_);
}

QWidget* OptionsDialog::Control(int id) const {
  for (QWidget* widget : findChildren<QWidget*>()) {
    if (widget->property("controlId").toInt() == id) return widget;
  }
  return nullptr;
}

void OptionsDialog::OnIntervalEdited() {
  updates_.intervalDays = static_cast<QLineEdit*>(Control(kIdUpdateInterval))->text().toUInt();
  static_cast<QLabel*>(Control(kIdUpdateDays))->setText(DaysText(updates_.intervalDays));
}

void OptionsDialog::accept() {
  WriteUpdateCheckSettings(updates_);
  if (chosenOption_ != storedOption_ && chosenOption_ != 0 && WriteStoredOption(chosenOption_)) {
    storedOption_ = chosenOption_;
    for (const OptionRow& row : kOptionRows) {
      if (row.option != chosenOption_) continue;
      const std::string text = std::string("The OpenGL drawing setting you have chosen") +
                               row.named +
                               " will take effect the next time the plug-in is started.";
      platform::ShowMessageBox(handle_, text, "Please Note", platform::kMbIconInformation);
    }
  }
  QDialog::accept();
}

bool RunOptionsDialog(QWidget* owner) {
  OptionsDialog dialog(owner);
  return dialog.exec() == QDialog::Accepted;
}

}  // namespace lumeray
