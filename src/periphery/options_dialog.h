// The options dialog ("Lumeray Pro 2 Plug-in Options"): the settings that outlive a run and are
// not effect parameters — the online update check (on/off, interval in days, feed address) and
// the OpenGL drawing option of the preview (read by the engine at its next start).
//
// OK writes the update-check settings, and the drawing option when it differs from the stored
// one (then telling the user it takes effect at the next start); Cancel writes nothing. With no
// option stored yet the four drawing buttons are disabled. "?" and the help button open the
// dialog's help page.
//
// Threading contract: UI thread only.
#pragma once

#include <QDialog>

#include <cstdint>

#include "periphery/update_settings.h"
#include "platform/window.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QRadioButton;

namespace lumeray {

inline constexpr const char* kOptionsDialogTitle = "Lumeray Pro 2 Plug-in Options";

enum OptionsControl : int {
  kIdOptionsOk = 1199,
  kIdOptionsCancel = 1200,
  kIdOptionsHelp = 1196,
  kIdUpdateCheck = 1152,
  kIdUpdateInterval = 1159,
  kIdUpdateDays = 1160,
  kIdFeedAddress = 1161,
  kIdQualityOption = 1189,
  kIdSpeedOption = 1188,
  kIdCompatibilityOption = 1190,
  kIdSoftwareOption = 1187,
  kIdBitnessNote = 1226,
};

class OptionsDialog : public QDialog {
 public:
  explicit OptionsDialog(QWidget* parent = nullptr);
  ~OptionsDialog() override;

  QWidget* Control(int id) const;
  int32_t chosenOption() const { return chosenOption_; }

  void accept() override;

 private:
  void OnIntervalEdited();

  UpdateCheckSettings updates_;
  int32_t storedOption_ = 0;
  int32_t chosenOption_ = 0;
  platform::WindowHandle handle_ = 0;
  platform::WindowHandle previousOwner_ = 0;
};

// Runs the dialog modally over `owner`; true when it was closed with OK.
bool RunOptionsDialog(QWidget* owner);

}  // namespace lumeray
