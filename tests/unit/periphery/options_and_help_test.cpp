// The options dialog (settings through the registry, the drawing option reaching the OpenGL
// engine) and context help (pages for every control, one viewer process reused).
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "dialog/dialog_template.h"
#include "gl/gl_session.h"
#include "host/module_state.h"
#include "periphery/about_box.h"
#include "periphery/help_viewer.h"
#include "periphery/options_dialog.h"
#include "periphery/update_check.h"
#include "platform/registry.h"
#include "unit/dialog/dialog_test_support.h"

namespace lumeray {
namespace {

namespace fs = std::filesystem;

class OptionsDialogTest : public testing::DialogTest {
 protected:
  void SetUp() override {
    setenv("LUMERAY_DATA_DIR", LUMERAY_BUILD_SHARE_DIR, 1);  // the build tree's help pages
    fs::create_directories(LUMERAY_SCREENSHOT_DIR);
    DialogTest::SetUp();
    platform::SetMessageBoxHandler([this](platform::WindowHandle, const std::string& text,
                                          const std::string& title, uint32_t) {
      shown.push_back(title + ": " + text);
      return platform::kIdOk;
    });
  }
  static void StoreOption(uint32_t option) {
    platform::RegistryKey::Open(platform::Hive::kLocalMachine, kOpenGLSettingsKey, true)
        ->SetDword("OpenGLOptimizationSetting", option);
  }
  // Opens the dialog, lets `edit` change it, then presses OK (or Cancel).
  template <typename Edit>
  bool Run(Edit edit, bool ok = true) {
    OptionsDialog options;
    options.show();
    edit(options);
    const int id = ok ? kIdOptionsOk : kIdOptionsCancel;
    QTimer::singleShot(0, [&] { static_cast<QPushButton*>(options.Control(id))->click(); });
    return options.exec() == QDialog::Accepted;
  }
  static int32_t EngineOption() {
    OpenGLSettings settings;
    LoadOpenGLDrawingSettings(&settings);
    return settings.option;
  }
  void TearDown() override {
    CloseHelpViewer();
    unsetenv("LUMERAY_HELP_TRACE");
    DialogTest::TearDown();
  }
  std::vector<std::string> shown;
};

TEST_F(OptionsDialogTest, UpdateSettingsRoundTripAndTheDayLabelFollowsTheInterval) {
  EXPECT_FALSE(ReadUpdateCheckSettings().enabled) << "off until the user turns it on";
  struct Case {
    bool enable;
    const char* days;
    const char* label;
  };
  for (const Case& c :
       {Case{true, "1", "day."}, Case{false, "0", "days."}, Case{true, "2", "days."}}) {
    ASSERT_TRUE(Run([&](OptionsDialog& d) {
      auto* check = static_cast<QCheckBox*>(d.Control(kIdUpdateCheck));
      if (check->isChecked() != c.enable) check->click();
      EXPECT_EQ(d.Control(kIdUpdateInterval)->isEnabled(), c.enable);
      auto* interval = static_cast<QLineEdit*>(d.Control(kIdUpdateInterval));
      interval->setEnabled(true);
      interval->selectAll();
      QTest::keyClicks(interval, c.days);
      EXPECT_EQ(static_cast<QLabel*>(d.Control(kIdUpdateDays))->text(), c.label);
      auto* feed = static_cast<QLineEdit*>(d.Control(kIdFeedAddress));
      feed->selectAll();
      QTest::keyClicks(feed, "file:///feed");
    }));
    const UpdateCheckSettings stored = ReadUpdateCheckSettings();
    EXPECT_EQ(stored.enabled, c.enable);
    EXPECT_EQ(std::to_string(stored.intervalDays), c.days);
    EXPECT_EQ(stored.feedAddress, "file:///feed");
  }
  // Cancel writes nothing.
  Run([](OptionsDialog& d) { static_cast<QCheckBox*>(d.Control(kIdUpdateCheck))->click(); }, false);
  EXPECT_TRUE(ReadUpdateCheckSettings().enabled);
}

TEST_F(OptionsDialogTest, TheDrawingOptionReachesTheEngineAndANewOneIsAnnounced) {
  // Nothing stored yet: the four buttons are greyed.
  Run([](OptionsDialog& d) {
    for (int id : {kIdQualityOption, kIdSpeedOption, kIdCompatibilityOption, kIdSoftwareOption}) {
      EXPECT_FALSE(d.Control(id)->isEnabled()) << id;
    }
  });
  EXPECT_TRUE(shown.empty());

  StoreOption(OPTIMIZE_FOR_QUALITY);
  for (const auto& [button, option] :
       {std::pair{kIdCompatibilityOption, OPTIMIZE_FOR_COMPATIBILITY},
        std::pair{kIdSpeedOption, OPTIMIZE_FOR_SPEED}}) {
    shown.clear();
    Run([&](OptionsDialog& d) { static_cast<QRadioButton*>(d.Control(button))->click(); });
    EXPECT_EQ(EngineOption(), option);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_NE(shown[0].find("Please Note: The OpenGL drawing setting you have chosen, '"),
              std::string::npos);
  }
  // The stored option chosen again: nothing to announce.
  shown.clear();
  Run([](OptionsDialog& d) {
    static_cast<QRadioButton*>(d.Control(kIdSpeedOption))->click();
    d.grab().save(QStringLiteral(LUMERAY_SCREENSHOT_DIR "/options_dialog.png"));
  });
  EXPECT_TRUE(shown.empty());
}

TEST_F(OptionsDialogTest, EveryControlOfTheHelpTableHasAPage) {
  ASSERT_EQ(HelpTopicTable().size(), 94u);
  for (const HelpTopic& row : HelpTopicTable()) {
    const fs::path page = fs::path(HelpFolder()) / fs::path(row.topic).replace_extension(".html");
    EXPECT_TRUE(fs::is_regular_file(page)) << row.control << " " << page;
  }
  EXPECT_TRUE(fs::is_regular_file(fs::path(HelpFolder()) / "index.html"));
  // The viewer on one page, for the screenshots.
  const QString page = QString::fromStdString(HelpFolder() + "/SaveLoadControl.html");
  EXPECT_EQ(QProcess::execute(QString::fromStdString(HelpViewerProgram()),
                              {"--grab", LUMERAY_SCREENSHOT_DIR "/help_viewer.png", page}),
            0);
}

TEST_F(OptionsDialogTest, F1StartsOneViewerAtTheSlidersPageAndASecondF1ReusesIt) {
  const fs::path trace = fs::path(home.root()) / "help-trace.txt";
  setenv("LUMERAY_HELP_TRACE", trace.c_str(), 1);
  auto lines = [&] {
    std::ifstream file(trace);
    std::vector<std::pair<std::string, std::string>> read;
    std::string line;
    while (std::getline(file, line)) {
      const size_t space = line.find(' ');
      read.emplace_back(line.substr(0, space), fs::path(line.substr(space + 1)).filename());
    }
    return read;
  };
  auto waitFor = [&](size_t count) {
    for (int i = 0; i < 200 && lines().size() < count; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    return lines();
  };
  // Angle's value box, then Length's trackbar.
  QWidget* angle = dialog->Control(1008);
  angle->setFocus();
  QTest::keyClick(angle, Qt::Key_F1);
  auto shownPages = waitFor(1);
  ASSERT_EQ(shownPages.size(), 1u);
  EXPECT_EQ(shownPages[0].second, "AngleControl.html");

  QWidget* length = dialog->Control(1007);
  length->setFocus();
  QTest::keyClick(length, Qt::Key_F1);
  shownPages = waitFor(2);
  ASSERT_EQ(shownPages.size(), 2u);
  EXPECT_EQ(shownPages[1].second, "LengthControl.html");
  EXPECT_EQ(shownPages[1].first, shownPages[0].first) << "the same viewer process";

  // The module's final clean-up asks the viewer it started to quit.
  const std::string stat = "/proc/" + shownPages[0].first + "/stat";
  auto alive = [&] {
    std::ifstream file(stat);
    std::string pid, name, state;
    return file >> pid >> name >> state && state != "Z";
  };
  ASSERT_TRUE(alive());
  TerminateModuleState();
  for (int i = 0; i < 200 && alive(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  EXPECT_FALSE(alive());
}

TEST_F(OptionsDialogTest, TheUpdateCheckReadsAFeedOnlyWhenAskedAndFailsSilently) {
  EXPECT_LT(CompareVersions("2.0.9", "2.0.10"), 0);
  EXPECT_EQ(CompareVersions("2.0", "2.0.0.0"), 0);
  const fs::path feed = fs::path(home.root()) / "feed.txt";
  std::ofstream(feed) << "\n99.0.0.0\nsome notes\n";
  const std::string feedUrl = "file://" + feed.string();
  struct Case {
    bool enabled;
    std::string address;
    bool started;
    bool told;
  };
  for (const Case& c :
       {Case{false, feedUrl, false, false}, Case{true, "", false, false},
        Case{true, "http://127.0.0.1:9/", true, false}, Case{true, feedUrl, true, true}}) {
    SCOPED_TRACE(c.address);
    UpdateCheckSettings settings = ReadUpdateCheckSettings();
    settings.enabled = c.enabled;
    settings.feedAddress = c.address;
    settings.lastCheckTime = 0;
    WriteUpdateCheckSettings(settings);
    UpdateCheck check;
    std::string told;
    EXPECT_EQ(check.Start([&](const std::string& version) { told = version; }), c.started);
    for (int i = 0; i < 400 && !check.finished(); ++i) QTest::qWait(10);
    EXPECT_TRUE(check.finished());
    EXPECT_EQ(told, c.told ? "99.0.0.0" : "");
    if (c.told) {
      UpdateCheck again;  // checked just now: not due
      EXPECT_FALSE(again.Start({}));
    }
  }
}

TEST_F(OptionsDialogTest, TheAboutBoxNamesTheVersionAndEachLibraryWithItsLicence) {
  const std::string text = AboutText();
  for (const char* wanted :
       {"Lumeray Pro 2", "Version ", "Qt ", "LGPL", "Little CMS ", "MIT", "GLEW", "BSD"}) {
    EXPECT_NE(text.find(wanted), std::string::npos) << wanted;
  }
  QMessageBox box(QMessageBox::Information, QStringLiteral("About Lumeray Pro 2"),
                  QString::fromStdString(text));
  box.show();
  box.grab().save(QStringLiteral(LUMERAY_SCREENSHOT_DIR "/about_box.png"));
}

}  // namespace
}  // namespace lumeray
