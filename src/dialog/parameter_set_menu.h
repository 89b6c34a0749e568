// The Settings combo box of the main dialog and its menu: named parameter sets kept as files of
// the parameters folder.
//
// Items: 0 "Default Settings" (the factory values), 1 "Initial Settings" (the parameters the
// dialog opened with), then one item per valid file of the parameters folder, named by the file
// name up to its first ".", in case-insensitive order. The folder is listed every time the dialog
// opens, so files another program added or removed show then; bad or obsolete files found there
// are reported once and deleted. Each item owns its 255-byte block and remembers the file it came
// from (Delete removes exactly that file).
//
// The menu (button 1050 or "M"): "Load Settings...", "Save Settings...", "Delete Settings"
// (greyed while item 0, item 1 or nothing is selected). The file dialogs, the menu and the
// answers are Qt's; ParameterSetPrompts replaces them (tests).
//
// After a set was applied the owner's `reloaded` callback runs (the dialog refreshes its
// controls and redraws the preview). FollowParameters selects the remembered item while the
// parameters equal its block and shows no selection otherwise.
//
// Threading contract: UI thread only.
#pragma once

#include <QString>

#include <functional>
#include <string>
#include <vector>

#include "effects/parameter_set.h"
#include "platform/window.h"
#include "ui/parameter_set_files.h"

class QComboBox;
class QMenu;
class QWidget;

namespace lumeray::dialog {

enum SettingsMenuCommand : int {
  kCmdLoadSettings = 40096,
  kCmdSaveSettings = 40097,
  kCmdDeleteSettings = 40098,
};

struct ParameterSetPrompts {
  // The chosen file (empty: cancelled). `save` asks for a file to write.
  std::function<QString(QWidget* parent, bool save, const QString& title, const QString& folder)>
      chooseFile;
  // The chosen menu command (0: cancelled); the menu's actions carry their commands as data.
  std::function<int(QMenu& menu)> chooseCommand;
};

class ParameterSetMenu {
 public:
  ParameterSetMenu(QComboBox* combo, QWidget* menuButton, ParameterSet* parameters,
                   platform::WindowHandle owner, std::function<void()> reloaded);
  ~ParameterSetMenu();

  // Fills the combo (the two built-in items and the folder's sets) and selects item 1.
  void Fill();
  void SetPrompts(ParameterSetPrompts prompts) { prompts_ = std::move(prompts); }

  // The user chose item `index` of the combo.
  void OnSelected(int index);
  // The parameters changed by an edit.
  void FollowParameters();
  // Shows the menu under its button and runs the chosen command.
  void OpenMenu();
  void RunCommand(int command);

  bool applying() const { return applying_; }

 private:
  struct Item {
    OwnedParameterBlock block;
    std::string path;  // the file of a saved set, empty for the built-in items
  };

  bool Apply(const uint8_t* block);
  void Load();
  void Save();
  void Delete();
  void AddSavedSet(const QString& name, const std::string& path, OwnedParameterBlock block);
  OwnedParameterBlock CurrentBlock() const;
  bool Matches(const uint8_t* block) const;
  QString ChooseFile(bool save, const QString& title);

  QComboBox* combo_;
  QWidget* menuButton_;
  ParameterSet* parameters_;
  platform::WindowHandle owner_;
  std::function<void()> reloaded_;
  ParameterSetPrompts prompts_;
  std::vector<Item> items_;  // parallel to the combo's items
  int remembered_ = 1;
  bool applying_ = false;
};

}  // namespace lumeray::dialog
