// The dialog within a run: the host's image is written only after OK; the analysis reaches the
// dialog's progress bar and tools; the diagnostic listing opens from the dialog.
#include <QLabel>
#include <QProgressBar>
#include <QTimer>

#include <atomic>

#include "dialog/dialog_procedures.h"
#include "dialog/dialog_template.h"
#include "unit/dialog/dialog_test_support.h"
#include "unit/host/fake_host.h"

namespace lumeray {
namespace {

ParameterSet& HandleParameters(testing::FakeHost& host) {
  return host.Contents<ParameterSet>(host.record().parameters);
}

TEST(DialogRun, CancelLeavesTheImageUntouchedAndOkRendersIt) {
  testing::TempHome home;
  platform::SetMessageBoxHandler([](platform::WindowHandle, const std::string&, const std::string&,
                                    uint32_t) { return platform::kIdOk; });
  {
    testing::FakeHost host;
    dialog::SetModalDialogAnswer([] { return 2; });
    ASSERT_EQ(host.Call(kFilterSelectorPrepare), 0);
    EXPECT_EQ(host.Call(kFilterSelectorStart), kUserCanceledErr);
    EXPECT_TRUE(host.outRects.empty()) << "nothing is written back";
  }
  {
    testing::FakeHost host;  // answers OK
    ASSERT_EQ(host.Call(kFilterSelectorPrepare), 0);
    ASSERT_EQ(host.Call(kFilterSelectorStart), 0);
    EXPECT_EQ(host.outRects.size(), 3u) << "every plane written back";
    EXPECT_EQ(HandleParameters(host).Quantity, kFactoryParameters.Quantity);
    host.Call(kFilterSelectorFinish);
  }
  platform::SetMessageBoxHandler({});
  testing::ForgetHost();
}

TEST(DialogRun, TheAnalysisProgressReachesTheBarAndItsEndEnablesHideAndShow) {
  testing::TestApplication();
  testing::ForgetHost();
  std::atomic<int> done{3};
  std::atomic<bool> complete{false};
  dialog::AnalysisQueries queries;
  queries.progress = [&](int32_t* d, int32_t* total) {
    *d = done;
    *total = 10;
    return true;
  };
  queries.complete = [&] { return complete.load(); };
  ParameterSet parameters = kFactoryParameters;
  UiSettings settings = kDefaultUiSettings;
  dialog::MainDialog dialog(&parameters, &settings, queries);
  auto* bar = qobject_cast<QProgressBar*>(dialog.Control(dialog::kIdProgressBar));
  QWidget* hide = dialog.Control(dialog::kIdHideIcon);
  EXPECT_FALSE(hide->isEnabled());
  ASSERT_TRUE(QTest::qWaitFor([&] { return bar->value() == 3; }, 3000));
  EXPECT_EQ(bar->maximum(), 10);
  complete = true;
  ASSERT_TRUE(QTest::qWaitFor([&] { return hide->isEnabled(); }, 3000));
  EXPECT_EQ(bar->value(), 0) << "the bar is cleared at the end";
  EXPECT_TRUE(dialog.Control(dialog::kIdShowIcon)->isEnabled());
}

TEST(DialogRun, CtrlShiftLListsTheLightSources) {
  testing::TestApplication();
  testing::ForgetHost();
  ParameterSet parameters = kFactoryParameters;
  UiSettings settings = kDefaultUiSettings;
  dialog::MainDialog dialog(&parameters, &settings);
  dialog.show();
  QString title;
  QTimer::singleShot(0, [&] {
    QWidget* listing = QApplication::activeModalWidget();
    if (listing == nullptr) return;
    title = listing->windowTitle();
    listing->close();
  });
  QTest::keyClick(dialog.SliderAt(0).valueBox(), Qt::Key_L,
                  Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(title, "Light Source Table Entries");
}

}  // namespace
}  // namespace lumeray
