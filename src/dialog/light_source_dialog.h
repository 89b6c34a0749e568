// The diagnostic listing of the light source table: "Light Source Table Entries", one line per
// entry in a multi-selection list (Ctrl+A selects all, Ctrl+C copies the selection as plain text,
// each line ended by CR LF). Reached from the main dialog with Ctrl+Shift+L and through the
// exported DisplayLightSourceTableProc.
//
// Threading contract: UI thread only; the table is read while the dialog is built.
#pragma once

#include <QDialog>

#include "analysis/master_light_source_table.h"
#include "dialog/dialog_procedures.h"
#include "platform/window.h"

class QLabel;
class QListWidget;
class QPushButton;

namespace lumeray::dialog {

inline constexpr int kIdLightSourceList = 1167;
inline constexpr int kIdLightSourceCount = 1168;
inline constexpr int kMaximumListLine = 4096;

class LightSourceDialog : public QDialog {
 public:
  LightSourceDialog(const MasterLightSourceTable& table, QWidget* parent);
  ~LightSourceDialog() override;

  platform::WindowHandle handle() const { return handle_; }
  intptr_t Procedure(uint32_t message, uintptr_t wParam, intptr_t lParam);
  static LightSourceDialog* FromHandle(platform::WindowHandle window);

  QListWidget* list() const { return list_; }
  QLabel* countText() const { return count_; }
  // The selected lines, each followed by CR LF, in list order; put on the clipboard.
  QString CopySelection();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  platform::WindowHandle handle_ = 0;
  platform::WindowHandle previousOwner_ = 0;
  QLabel* count_;
  QListWidget* list_;
  QPushButton* ok_;
};

// Opens the listing modally over `parent`.
void ShowLightSourceTable(QWidget* parent, const MasterLightSourceTable& table);

}  // namespace lumeray::dialog
