// The main dialog: effect types, check boxes, tools, OK and Cancel, shortcuts, progress,
// layout and the settings file.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QTimer>

#include <filesystem>
#include <fstream>
#include <thread>

#include "dialog/dialog_messages.h"
#include "dialog/dialog_template.h"
#include "effects/effect_types.h"
#include "unit/dialog/dialog_test_support.h"

namespace lumeray {
namespace {

using namespace dialog;
using testing::DialogTest;

TEST_F(DialogTest, ChoosingAnEffectTypeStoresItAndItsPointsPreset) {
  struct Case {
    const char* name;
    const char code[5];
    int points;
  };
  const Case cases[] = {
      {"Star Burst", "efT6", 14}, {"Vector Star", "efT5", 8}, {"Standard Star", "efT0", 6}};
  auto* combo = Control<QComboBox>(kIdEffectCombo);
  for (const Case& c : cases) {
    const int index = combo->findText(c.name);
    ASSERT_GE(index, 0) << c.name;
    combo->setCurrentIndex(index);
    emit combo->activated(index);
    EXPECT_EQ(parameters.EffectType, EffectCode(c.code)) << c.name;
    EXPECT_EQ(parameters.NumberOfPoints, c.points) << c.name;
    EXPECT_EQ(dialog->SliderAt(4).trackbar()->value(), c.points) << "the slider follows";
  }
}

TEST_F(DialogTest, EffectsOnlyAndTheToolIconsChangeTheRecords) {
  auto* effectsOnly = Control<QCheckBox>(kIdEffectsOnly);
  QTest::mouseClick(effectsOnly, Qt::LeftButton, {}, QPoint(6, effectsOnly->height() / 2));
  EXPECT_EQ(parameters.EffectsOnly, 1);
  QTest::keyClick(dialog->SliderAt(0).valueBox(), Qt::Key_O);  // the shortcut toggles it back
  EXPECT_EQ(parameters.EffectsOnly, 0);
  EXPECT_FALSE(effectsOnly->isChecked());

  QTest::mouseClick(Control<QLabel>(kIdPanIcon), Qt::LeftButton);
  EXPECT_EQ(settings.tool, kToolPan);
  QTest::mouseClick(Control<QLabel>(kIdHideIcon), Qt::LeftButton);
  EXPECT_EQ(settings.tool, kToolPan) << "Hide waits for the analysis";
  PostDialogMessage(dialog->handle(), MSG_INITIALIZATION_COMPLETE);
  QCoreApplication::processEvents();
  QTest::mouseClick(Control<QLabel>(kIdHideIcon), Qt::LeftButton);
  EXPECT_EQ(settings.tool, kToolHide);
  QTest::keyClick(dialog->SliderAt(0).valueBox(), Qt::Key_Z);
  EXPECT_EQ(settings.tool, kToolZoom);
}

TEST_F(DialogTest, OkKeepsTheEditsAndWritesTheSettingsFile) {
  dialog->SliderAt(1).SetValue(77);
  QTimer::singleShot(0, [this] { QTest::mouseClick(Control<QWidget>(kIdOk), Qt::LeftButton); });
  EXPECT_EQ(dialog->exec(), kDialogOk);
  EXPECT_EQ(parameters.Intensity, 77);
  EXPECT_EQ(RunResult(), 0);
  const UiSettings saved = LoadUiSettings();
  EXPECT_EQ(saved.windowRect, settings.windowRect);
  EXPECT_NE(saved.windowRect, kDefaultUiSettings.windowRect);
  EXPECT_EQ(std::filesystem::file_size(home.settingsFolder() / "UISettings.bin"), 52u);
}

TEST_F(DialogTest, CancelEscapeAndClosingLeaveTheRecordAsItWas) {
  const std::function<void(MainDialog&)> ways[] = {
      [this](MainDialog&) { QTest::mouseClick(Control<QWidget>(kIdCancel), Qt::LeftButton); },
      [](MainDialog& d) { QTest::keyClick(d.SliderAt(2).valueBox(), Qt::Key_Escape); },
      [](MainDialog& d) { d.close(); },
  };
  for (const auto& way : ways) {
    ForceRunResult(0);
    dialog.reset();
    const ParameterSet before = parameters;
    Open();
    dialog->SliderAt(2).SetValue(3);
    QTimer::singleShot(0, [&] { way(*dialog); });
    EXPECT_EQ(dialog->exec(), kDialogCancel);
    EXPECT_EQ(RunResult(), kUserCanceledErr);
    EXPECT_EQ(std::memcmp(&parameters, &before, sizeof before), 0);
  }
  EXPECT_FALSE(std::filesystem::exists(home.settingsFolder() / "UISettings.bin"));
}

TEST_F(DialogTest, AnErrorOfTheRunClosesTheDialogAtTheNextMessage) {
  QTimer::singleShot(0, [this] {
    SetRunResult(kParamErr);  // as a worker thread would
    PostDialogMessage(dialog->handle(), MSG_PROGRESS, 1, 2);
  });
  EXPECT_EQ(dialog->exec(), kDialogCancel);
  EXPECT_EQ(RunResult(), kParamErr) << "the error stays the run's result";
}

TEST_F(DialogTest, ShortcutsFocusSlidersButLettersBelongToAFocusedCombo) {
  QTest::keyClick(dialog->SliderAt(0).valueBox(), Qt::Key_A);
  EXPECT_TRUE(dialog->SliderAt(3).valueBox()->hasFocus());
  auto* combo = Control<QComboBox>(kIdEffectCombo);
  combo->setFocus();
  EXPECT_FALSE(dialog->acceleratorsEnabled());
  QTest::keyClick(combo, Qt::Key_Q);
  EXPECT_TRUE(combo->hasFocus());
  dialog->SliderAt(5).Focus();
  EXPECT_TRUE(dialog->acceleratorsEnabled());

  struct Case {
    int key;
    Qt::KeyboardModifiers modifiers;
    const char* text;
    int command;
  };
  const Case cases[] = {
      {Qt::Key_Q, {}, "q", kCmdFocusQuantity},
      {Qt::Key_O, {}, "o", kCmdToggleEffectsOnly},
      {Qt::Key_O, Qt::ControlModifier, "", kCmdFitImage},
      {Qt::Key_Plus, Qt::ShiftModifier, "+", kCmdShowTool},
      {Qt::Key_Minus, Qt::ControlModifier | Qt::KeypadModifier, "", kCmdZoomOut},
      {Qt::Key_Q, Qt::ShiftModifier, "Q", 0},
      {Qt::Key_B, {}, "b", 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(AcceleratorFor(c.key, c.modifiers, QString::fromLatin1(c.text)), c.command)
        << c.text << " " << c.modifiers.toInt();
  }
}

TEST_F(DialogTest, ProgressPostedFromAnotherThreadMovesTheBar) {
  auto* bar = Control<QProgressBar>(kIdProgressBar);
  std::thread worker([handle = dialog->handle()] {
    PostDialogMessage(handle, MSG_PROGRESS, 30, 40);
    PostDialogMessage(handle, MSG_PROGRESS, 50, 40);  // never past the total
  });
  worker.join();
  QCoreApplication::processEvents();
  EXPECT_EQ(bar->maximum(), 40);
  EXPECT_EQ(bar->value(), 40);
  PostDialogMessage(dialog->handle(), MSG_PROGRESS, 0, 0);
  QCoreApplication::processEvents();
  EXPECT_EQ(bar->value(), 0);
}

TEST_F(DialogTest, ResizingKeepsEveryControlOnItsAnchors) {
  struct Case {
    int id;
    int moveX, moveY, growX, growY;  // in units of the size change
  };
  const Case cases[] = {
      {kIdOk, 1, 0, 0, 0},
      {kIdEffectCombo, 1, 0, 0, 0},
      {1026, 1, 0, 0, 0},
      {kIdPreviewDisplay, 0, 0, 1, 1},
      {kIdPreviewFrame, 0, 0, 1, 1},
      {kIdVerticalScroll, 1, 0, 0, 1},
      {kIdHorizontalScroll, 0, 1, 1, 0},
      {kIdProgressBar, 0, 1, 0, 0},
      {kIdEffectsOnly, 1, 1, 0, 0},
      {kIdPanIcon, 0, 0, 0, 0},
  };
  const QSize initial = dialog->initialSize();
  std::map<int, QRect> before;
  for (const Case& c : cases) before[c.id] = dialog->Control(c.id)->geometry();

  dialog->resize(initial / 2);  // not below the minimum
  QCoreApplication::processEvents();
  EXPECT_EQ(dialog->size(), initial);

  dialog->resize(initial * 2);
  QCoreApplication::processEvents();
  const int dw = dialog->width() - initial.width();
  const int dh = dialog->height() - initial.height();
  ASSERT_GT(dw, 0);
  for (const Case& c : cases) {
    const QRect& was = before[c.id];
    const QRect now = dialog->Control(c.id)->geometry();
    EXPECT_EQ(now.topLeft(), was.topLeft() + QPoint(c.moveX * dw, c.moveY * dh)) << c.id;
    EXPECT_EQ(now.size(), was.size() + QSize(c.growX * dw, c.growY * dh)) << c.id;
  }
  EXPECT_EQ(dialog->layout().ControlRectangle(kIdPreviewDisplay),
            QRect(QPoint(0, 0), dialog->Control(kIdPreviewDisplay)->size()));
}

TEST(DialogPlacement, ARememberedRectangleIsKeptOnAMonitor) {
  const std::vector<QRect> monitors = {QRect(0, 0, 1920, 1080), QRect(1920, 0, 1280, 1024)};
  const QSize minimum(600, 500);
  struct Case {
    QRect remembered, expected;
  };
  const Case cases[] = {
      {QRect(100, 100, 800, 700), QRect(100, 100, 800, 700)},          // on screen: kept
      {QRect(2000, 50, 800, 700), QRect(2000, 50, 800, 700)},          // on the second monitor
      {QRect(3300, 100, 800, 700), QRect(1920 + 240, 162, 800, 700)},  // off: nearest, centred
      {QRect(-3000, 0, 2500, 1500), QRect(0, 0, 1919, 1079)},          // larger: shrunk to fit
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FitRectToMonitors(c.remembered, minimum, monitors), c.expected) << c.remembered.x();
  }
}

TEST(UiSettingsFile, RoundTripsAndRejectsOtherVersionsAndShortFiles) {
  testing::TempHome home;
  ResetUserDataFolders();
  ASSERT_TRUE(InitializeUserDataFolders());
  EXPECT_EQ(LoadUiSettings().tool, kDefaultUiSettings.tool) << "missing file: defaults";

  UiSettings written = kDefaultUiSettings;
  written.windowRect = {10, 20, 810, 720};
  written.tool = kToolPan;
  written.preview = 0;
  written.reserved[19] = 0xAB;
  ASSERT_TRUE(SaveUiSettings(written));
  const UiSettings read = LoadUiSettings();
  EXPECT_EQ(std::memcmp(&read, &written, sizeof read), 0);

  const auto path = home.settingsFolder() / "UISettings.bin";
  auto bytes = [&] {
    std::ifstream in(path, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), {});
  }();
  ASSERT_EQ(bytes.size(), 52u);
  EXPECT_EQ(bytes[6], 11) << "version 0.0.0.11, little-endian";
  EXPECT_EQ(bytes[24], 1) << "the tool at offset 24";

  bytes[6] = 10;  // version 0.0.0.10
  std::ofstream(path, std::ios::binary).write(bytes.data(), 52);
  EXPECT_EQ(LoadUiSettings().windowRect, kDefaultUiSettings.windowRect);
  bytes[6] = 11;
  std::ofstream(path, std::ios::binary).write(bytes.data(), 30);  // cut short
  EXPECT_EQ(LoadUiSettings().tool, kDefaultUiSettings.tool);
  ResetUserDataFolders();
}

}  // namespace
}  // namespace lumeray
