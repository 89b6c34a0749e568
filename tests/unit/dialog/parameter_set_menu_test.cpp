// The Settings combo and its menu: save, load, import, delete, and the combo following the
// parameters.
#include <QComboBox>
#include <QMenu>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "diagnostics/message_report.h"
#include "dialog/dialog_template.h"
#include "platform/thread.h"
#include "ui/user_data_folders.h"
#include "unit/dialog/dialog_test_support.h"

namespace lumeray {
namespace {

namespace fs = std::filesystem;
using namespace dialog;

class ParameterSetMenuTest : public testing::DialogTest {
 protected:
  void SetUp() override {
    SetUiThread(platform::CurrentThreadId());  // user messages are shown at once
    fs::create_directories(LUMERAY_SCREENSHOT_DIR);
    DialogTest::SetUp();
    platform::SetMessageBoxHandler([this](platform::WindowHandle, const std::string& text,
                                          const std::string& title, uint32_t) {
      shown.push_back(title + ": " + text);
      return answer;
    });
    Answer();
  }
  // Sets what the menu and the file dialog answer next; records whether the menu offered Delete.
  void Answer(int command = 0, const std::string& file = {}) {
    dialog->parameterSets().SetPrompts({[file](QWidget*, bool, const QString&, const QString&) {
                                          return QString::fromStdString(file);
                                        },
                                        [this, command](QMenu& menu) {
                                          deleteOffered = menu.actions().back()->isEnabled();
                                          return command;
                                        }});
  }
  void Menu(int command, const std::string& file = {}) {
    Answer(command, file);
    QTest::keyClick(dialog->SliderAt(0).valueBox(), Qt::Key_M);
  }
  QComboBox* Combo() { return Control<QComboBox>(kIdSettingsCombo); }
  QStringList Items() {
    QStringList items;
    for (int i = 0; i < Combo()->count(); ++i) items << Combo()->itemText(i);
    return items;
  }
  static std::string InFolder(const std::string& name) {
    return (fs::path(UserParametersFolder()) / name).string();
  }
  // A file of the record `record` with the version words `build`.
  static void WriteSet(const std::string& path, ParameterSet record, uint16_t build) {
    record.version = {0, 0, 0, build};
    char bytes[255] = {};
    std::memcpy(bytes, &record, sizeof record);
    std::ofstream(path, std::ios::binary).write(bytes, sizeof bytes);
  }

  std::vector<std::string> shown;
  int answer = platform::kIdOk;
  bool deleteOffered = true;
};

TEST_F(ParameterSetMenuTest, SavedSetsAreListedSortedSelectedAndLoaded) {
  EXPECT_EQ(Items(), (QStringList{"Default Settings", "Initial Settings"}));
  EXPECT_EQ(Combo()->currentIndex(), 1);
  Menu(0);
  EXPECT_FALSE(deleteOffered) << "the built-in items cannot be deleted";

  dialog->SliderAt(1).SetValue(61);
  Menu(kCmdSaveSettings, InFolder("Sunset.lmx"));
  dialog->SliderAt(1).SetValue(12);
  Menu(kCmdSaveSettings, InFolder("aurora"));  // the extension is added
  EXPECT_EQ(Items(), (QStringList{"Default Settings", "Initial Settings", "aurora", "Sunset"}));
  EXPECT_EQ(Combo()->currentText(), "aurora");
  dialog->parameterSets().SetPrompts(
      {{}, [this](QMenu& menu) {
         menu.popup(dialog->mapToGlobal(QPoint(0, 0)));
         QGuiApplication::processEvents();
         dialog->grab().save(LUMERAY_SCREENSHOT_DIR "/settings_menu_dialog.png");
         menu.grab().save(LUMERAY_SCREENSHOT_DIR "/settings_menu.png");
         menu.hide();
         return 0;
       }});
  QTest::keyClick(dialog->SliderAt(0).valueBox(), Qt::Key_M);

  // Saving Sunset again replaces its block.
  dialog->SliderAt(1).SetValue(70);
  Menu(kCmdSaveSettings, InFolder("Sunset.lmx"));
  EXPECT_EQ(Items().size(), 4);

  // Choosing items applies their blocks, and the sliders follow.
  Combo()->setCurrentIndex(2);
  emit Combo()->activated(2);
  EXPECT_EQ(parameters.Intensity, 12);
  EXPECT_EQ(dialog->SliderAt(1).trackbar()->value(), 12);
  Combo()->setCurrentIndex(1);
  emit Combo()->activated(1);
  EXPECT_EQ(parameters.Intensity, kFactoryParameters.Intensity) << "Initial Settings";

  // The next opening lists what another program left in the folder, by the name's first part.
  WriteSet(InFolder("Night.sky.lmx"), kFactoryParameters, 5);
  dialog.reset();
  Open();
  EXPECT_EQ(Items(),
            (QStringList{"Default Settings", "Initial Settings", "aurora", "Night", "Sunset"}));
  Combo()->setCurrentIndex(4);
  emit Combo()->activated(4);
  EXPECT_EQ(parameters.Intensity, 70);
}

TEST_F(ParameterSetMenuTest, TheComboFollowsTheParametersAndAnEditEmptiesIt) {
  dialog->SliderAt(1).SetValue(61);
  Menu(kCmdSaveSettings, InFolder("Sunset.lmx"));
  ASSERT_EQ(Combo()->currentText(), "Sunset");
  QTest::keyClick(dialog->SliderAt(1).valueBox(), Qt::Key_Up);
  QCoreApplication::processEvents();
  EXPECT_EQ(Combo()->currentIndex(), -1);
  QTest::keyClick(dialog->SliderAt(1).valueBox(), Qt::Key_Down);
  QCoreApplication::processEvents();
  EXPECT_EQ(Combo()->currentText(), "Sunset") << "undoing the edit selects the set again";
}

TEST_F(ParameterSetMenuTest, DeleteAsksAndRemovesTheFileTheItemCameFrom) {
  WriteSet(InFolder("Night.sky.lmx"), kFactoryParameters, 5);
  dialog.reset();
  Open();
  Combo()->setCurrentIndex(2);
  emit Combo()->activated(2);

  answer = platform::kIdCancel;
  Menu(kCmdDeleteSettings);
  EXPECT_TRUE(deleteOffered);
  EXPECT_TRUE(fs::exists(InFolder("Night.sky.lmx"))) << "cancelled";
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_NE(shown[0].find("'Night.lmx' will be deleted"), std::string::npos) << shown[0];

  answer = platform::kIdOk;
  Menu(kCmdDeleteSettings);
  EXPECT_FALSE(fs::exists(InFolder("Night.sky.lmx")));
  EXPECT_EQ(Items().size(), 2);
  EXPECT_EQ(Combo()->currentIndex(), -1);
  QTest::keyClick(dialog->SliderAt(1).valueBox(), Qt::Key_Up);  // compares no deleted item
  QCoreApplication::processEvents();
  EXPECT_EQ(Combo()->currentIndex(), -1);
}

TEST_F(ParameterSetMenuTest, ImportsFromElsewhereAndJudgesOldVersions) {
  const fs::path elsewhere = fs::path(UserParametersFolder()).parent_path() / "elsewhere";
  fs::create_directories(elsewhere);
  ParameterSet other = kFactoryParameters;
  other.Intensity = 9;
  WriteSet((elsewhere / "good.lmx").string(), other, 5);
  WriteSet(InFolder("stale.lmx"), other, 4);

  // An old set of the parameters folder is announced and deleted when the dialog opens.
  dialog.reset();
  Open();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_NE(shown[0].find("obsolete format and cannot be converted. The file will be deleted"),
            std::string::npos);
  EXPECT_FALSE(fs::exists(InFolder("stale.lmx")));
  EXPECT_EQ(Items().size(), 2);
  shown.clear();
  Answer();

  Menu(kCmdLoadSettings, (elsewhere / "good.lmx").string());
  EXPECT_EQ(parameters.Intensity, 9);
  EXPECT_EQ(Combo()->currentIndex(), -1) << "an imported set is not listed";
  EXPECT_EQ(Items().size(), 2);
}

}  // namespace
}  // namespace lumeray
