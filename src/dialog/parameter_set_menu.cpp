#include "dialog/parameter_set_menu.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "diagnostics/message_report.h"
#include "effects/effect_renderers.h"
#include "effects/parameter_set_buffer.h"
#include "ui/user_data_folders.h"

namespace lumeray::dialog {
namespace {

namespace fs = std::filesystem;

constexpr const char* kFileFilter = "Parameter Files ( *.lmx)";

ParameterSet RecordOf(const uint8_t* block) {
  ParameterSet parameters;
  std::memcpy(&parameters, block, sizeof parameters);
  return parameters;
}

// The set's name: the file name up to its first ".".
QString SetName(const std::string& path) {
  return QFileInfo(QString::fromStdString(path)).fileName().section(QLatin1Char('.'), 0, 0);
}

// The parameters folder, or empty (logged) while the user folders are not available.
std::string ParametersFolder() {
  if (!UserDataFoldersAvailable() || UserParametersFolder().empty()) {
    MessageReport report(__LINE__, kMessageDebug);
    report.Report(kIconError, kTitleDebugUnexpectedError, "GetUserParametersFolder() failed.");
    return {};
  }
  return UserParametersFolder();
}

QString DefaultChooseFile(QWidget* parent, bool save, const QString& title, const QString& folder) {
  QFileDialog dialog(parent, title, folder, QString::fromUtf8(kFileFilter));
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  dialog.setDefaultSuffix(QString::fromUtf8(kParameterFileExtension));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().front();
}

}  // namespace

ParameterSetMenu::ParameterSetMenu(QComboBox* combo, QWidget* menuButton, ParameterSet* parameters,
                                   platform::WindowHandle owner, std::function<void()> reloaded)
    : combo_(combo),
      menuButton_(menuButton),
      parameters_(parameters),
      owner_(owner),
      reloaded_(std::move(reloaded)) {}

ParameterSetMenu::~ParameterSetMenu() = default;

OwnedParameterBlock ParameterSetMenu::CurrentBlock() const {
  auto* block = static_cast<uint8_t*>(std::calloc(1, kParameterBlockSize));
  if (block != nullptr) {
    ParameterSet stamped = *parameters_;
    stamped.version = kCurrentParameterVersion;
    std::memcpy(block, &stamped, sizeof stamped);
  }
  return OwnedParameterBlock(block);
}

bool ParameterSetMenu::Matches(const uint8_t* block) const {
  return SameEffectFields(MakeFinalRenderSnapshot(RecordOf(block)),
                          MakeFinalRenderSnapshot(*parameters_));
}

void ParameterSetMenu::Fill() {
  combo_->setToolTip(QStringLiteral("Settings (T) - Select a set of saved parameters"));
  menuButton_->setToolTip(
      QStringLiteral("Menu (M) - Save, load, or delete the current parameter set"));
  if (auto* picture = qobject_cast<QLabel*>(menuButton_); picture != nullptr) {
    picture->setText(QStringLiteral("\u2261"));  // a menu sign on the empty picture
    picture->setAlignment(Qt::AlignCenter);
    picture->setCursor(Qt::PointingHandCursor);
  }
  combo_->clear();
  items_.clear();
  combo_->addItem(QStringLiteral("Default Settings"));
  items_.push_back({OwnedParameterBlock(NewFactoryParameterBlock()), {}});
  combo_->addItem(QStringLiteral("Initial Settings"));
  items_.push_back({CurrentBlock(), {}});

  const std::string folder = ParametersFolder();
  if (!folder.empty()) {
    std::vector<std::string> files;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
      std::error_code kind;
      if (entry.path().extension() == ".lmx" && entry.is_regular_file(kind)) {
        files.push_back(entry.path().string());
      }
    }
    std::sort(files.begin(), files.end(), [](const std::string& a, const std::string& b) {
      return SetName(a).compare(SetName(b), Qt::CaseInsensitive) < 0;
    });
    for (const std::string& path : files) {
      OwnedParameterBlock block = LoadSavedSet(path);  // bad files are reported and deleted
      if (block == nullptr) continue;
      combo_->addItem(SetName(path));
      items_.push_back({std::move(block), path});
    }
  }
  remembered_ = 1;
  combo_->setCurrentIndex(1);
}

bool ParameterSetMenu::Apply(const uint8_t* block) {
  if (BlockVersion(block) != kCurrentParameterVersion) {
    const ParameterVersion version = BlockVersion(block);
    MessageReport report(__LINE__, kMessageDebug);
    report.Report(kIconError, kTitleDebugUnexpectedError,
                  "Parameter Set version mismatch: Major Version = '%d', Minor Version = '%d', "
                  "Revision = '%d', Build = '%d'",
                  version.major, version.minor, version.revision, version.build);
    return false;
  }
  applying_ = true;
  *parameters_ = RecordOf(block);
  if (reloaded_) reloaded_();
  applying_ = false;
  return true;
}

void ParameterSetMenu::OnSelected(int index) {
  if (index < 0 || static_cast<size_t>(index) >= items_.size()) return;
  if (Apply(items_[static_cast<size_t>(index)].block.get())) remembered_ = index;
}

void ParameterSetMenu::FollowParameters() {
  if (applying_) return;
  const bool same = remembered_ >= 0 && static_cast<size_t>(remembered_) < items_.size() &&
                    Matches(items_[static_cast<size_t>(remembered_)].block.get());
  combo_->setCurrentIndex(same ? remembered_ : -1);
}

void ParameterSetMenu::OpenMenu() {
  QMenu menu(combo_->window());
  const struct {
    const char* text;
    int command;
  } rows[] = {{"&Load Settings...", kCmdLoadSettings},
              {"&Save Settings...", kCmdSaveSettings},
              {"&Delete Settings", kCmdDeleteSettings}};
  for (const auto& row : rows) menu.addAction(QString::fromUtf8(row.text))->setData(row.command);
  menu.actions().back()->setEnabled(combo_->currentIndex() >= 2);
  int command = 0;
  if (prompts_.chooseCommand) {
    command = prompts_.chooseCommand(menu);
  } else if (QAction* chosen =
                 menu.exec(menuButton_->mapToGlobal(QPoint(0, menuButton_->height())))) {
    command = chosen->data().toInt();
  }
  if (command == 0) return;  // cancelled
  RunCommand(command);
}

void ParameterSetMenu::RunCommand(int command) {
  switch (command) {
    case kCmdLoadSettings:
      Load();
      return;
    case kCmdSaveSettings:
      Save();
      return;
    case kCmdDeleteSettings:
      if (combo_->currentIndex() >= 2) Delete();
      return;
    default: {
      MessageReport report(__LINE__, kMessageDebug);
      report.Report(kIconError, kTitleDebugUnexpectedError,
                    "TrackPopupMenu() returned unexpected value 0x%X", command);
      return;
    }
  }
}

QString ParameterSetMenu::ChooseFile(bool save, const QString& title) {
  const QString folder = QString::fromStdString(UserParametersFolder());
  QWidget* parent = combo_->window();
  return prompts_.chooseFile ? prompts_.chooseFile(parent, save, title, folder)
                             : DefaultChooseFile(parent, save, title, folder);
}

void ParameterSetMenu::Load() {
  if (ParametersFolder().empty()) return;
  const QString chosen =
      ChooseFile(false, QStringLiteral("Load %1 Parameter File").arg(kProductName));
  if (chosen.isEmpty()) return;
  const std::string path = chosen.toStdString();
  if (!IsInParametersFolder(path)) {
    OwnedParameterBlock block = ImportParameterFile(path);
    if (block == nullptr) {
      MessageReport report(__LINE__, kMessageDebug);
      report.Report(kIconError, kTitleDebugUnexpectedError,
                    "LoadParameterStructure() failed to import parameter set '%s'", path.c_str());
      return;
    }
    if (Apply(block.get())) combo_->setCurrentIndex(-1);
    return;
  }
  OwnedParameterBlock block = LoadSavedSet(path);
  if (block == nullptr) {
    MessageReport report(__LINE__, kMessageDebug);
    report.Report(kIconError, kTitleDebugUnexpectedError,
                  "LoadParameterStructure() failed to load parameter set '%s'", path.c_str());
    return;
  }
  AddSavedSet(SetName(path), path, std::move(block));
}

void ParameterSetMenu::Save() {
  if (ParametersFolder().empty()) return;
  QString chosen = ChooseFile(true, QStringLiteral("Save %1 Parameter File").arg(kProductName));
  if (chosen.isEmpty()) return;
  if (QFileInfo(chosen).suffix().isEmpty()) chosen += QStringLiteral(".lmx");
  const std::string path = chosen.toStdString();
  OwnedParameterBlock block = CurrentBlock();
  if (block == nullptr || !WriteParameterFile(block.get(), path)) {
    MessageReport report(__LINE__, kMessageDebug);
    report.Report(kIconError, kTitleDebugUnexpectedError,
                  "SaveParametersFile() failed with FilePath = '%s'", path.c_str());
    return;  // the combo stays as it was
  }
  if (IsInParametersFolder(path)) AddSavedSet(SetName(path), path, std::move(block));
}

void ParameterSetMenu::AddSavedSet(const QString& name, const std::string& path,
                                   OwnedParameterBlock block) {
  int index = -1;
  for (int i = 2; i < combo_->count(); ++i) {
    if (combo_->itemText(i).compare(name, Qt::CaseInsensitive) == 0) index = i;
  }
  if (index >= 0) {
    items_[static_cast<size_t>(index)] = {std::move(block), path};
  } else {
    index = combo_->count();
    for (int i = 2; i < combo_->count(); ++i) {
      if (QString::localeAwareCompare(combo_->itemText(i).toLower(), name.toLower()) > 0) {
        index = i;
        break;
      }
    }
    combo_->insertItem(index, name);
    items_.insert(items_.begin() + index, Item{std::move(block), path});
  }
  if (Apply(items_[static_cast<size_t>(index)].block.get())) {
    remembered_ = index;
    combo_->setCurrentIndex(index);
  }
}

void ParameterSetMenu::Delete() {
  const int index = combo_->currentIndex();
  const QString name = combo_->itemText(index);
  const std::string text = QStringLiteral("The %1 saved parameter file '%2.%3' will be deleted.")
                               .arg(kProductName, name, kParameterFileExtension)
                               .toStdString();
  const std::string title =
      QStringLiteral("Delete %1 Parameter File").arg(kProductName).toStdString();
  if (platform::ShowMessageBox(owner_, text, title,
                               platform::kMbOkCancel | platform::kMbIconWarning) !=
      platform::kIdOk) {
    return;
  }
  if (ParametersFolder().empty()) return;
  // The file the item was read from (its name may hold more dots than the item shows).
  const std::string path = items_[static_cast<size_t>(index)].path;
  items_.erase(items_.begin() + index);
  combo_->removeItem(index);
  combo_->setCurrentIndex(-1);
  // The remembered item is gone or has moved up.
  if (remembered_ == index) {
    remembered_ = -1;
  } else if (remembered_ > index) {
    --remembered_;
  }
  DeleteParameterFile(path);
}

}  // namespace lumeray::dialog
