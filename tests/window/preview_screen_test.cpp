// The preview drawing onto its own window (the screen path): an X display with an accelerated
// pixel format (the software rasteriser counted as one). Run under Xvfb.
#include <QDir>
#include <QScreen>

#include <algorithm>

#include "dialog/dialog_template.h"
#include "dialog/preview_display.h"
#include "preview/preview_task.h"
#include "unit/dialog/dialog_test_support.h"
#include "unit/preview/preview_test_support.h"

namespace lumeray::testing {
namespace {

constexpr int32_t kWidth = 320;
constexpr int32_t kHeight = 200;
constexpr int32_t kStar[2] = {200, 60};

class PreviewScreenTest : public PreviewTest {
 protected:
  void TearDown() override {
    dialog.reset();
    ResetUserDataFolders();
    PreviewTest::TearDown();
  }
  TempHome home;
  ParameterSet parameters = kFactoryParameters;
  UiSettings settings = kDefaultUiSettings;
  std::unique_ptr<dialog::MainDialog> dialog;
};

TEST_F(PreviewScreenTest, FramesAreSwappedOntoThePreviewWindow) {
  TestApplication();
  ForgetHost();
  ResetUserDataFolders();
  ASSERT_TRUE(InitializeUserDataFolders());
  ASSERT_EQ(QGuiApplication::platformName(), QLatin1String("xcb"));
  MakeScene(kWidth, kHeight);
  SetSources({Source(kStar[0], 0, kStar[1], 0)});
  parameters.Quantity = 100;
  dialog::AnalysisQueries watch;
  watch.progress = [](int32_t* done, int32_t* total) { return *done = *total = 1, true; };
  watch.complete = [] { return true; };
  watch.imageBounds[2] = kWidth;
  watch.imageBounds[3] = kHeight;
  watch.imageSource = &PyramidSource;
  watch.imageSourceContext = &pyramid_;
  watch.analysis = &Analysis();
  watch.previewRules.assumeAccelerated = true;
  dialog = std::make_unique<dialog::MainDialog>(&parameters, &settings, watch);
  dialog->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
  auto* preview = dynamic_cast<dialog::PreviewDisplay*>(dialog->Control(dialog::kIdPreviewDisplay));
  ASSERT_TRUE(preview != nullptr && preview->live());
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        return preview->lastRequested() != 0 &&
               preview->task()->LastDrawnSequence() == preview->lastRequested();
      },
      30000));
  EXPECT_TRUE(preview->task()->OnScreen());
  QTest::qWait(200);  // the X server has the swapped frame

  const QImage shot = preview->screen()->grabWindow(preview->winId()).toImage();
  const std::string folder = LUMERAY_SCREENSHOT_DIR;
  QDir().mkpath(QString::fromStdString(folder));
  shot.save(QString::fromStdString(folder + "/preview_screen_path.png"));
  dialog->screen()
      ->grabWindow(dialog->winId())
      .save(QString::fromStdString(folder + "/dialog_screen_path.png"));
  ASSERT_EQ(shot.size(), preview->size());
  const PreviewView& v = preview->view();
  const ImageRect d = GetProxyDisplayRectangle(v.client, v.image, v.zoom);
  const auto brightest = [&](double x, double y) {
    const QRgb c = shot.pixel(static_cast<int>(x * v.zoom / 100 - v.scrollX + d.left),
                              static_cast<int>(y * v.zoom / 100 - v.scrollY + d.top));
    return std::max({qRed(c), qGreen(c), qBlue(c)});
  };
  EXPECT_GT(brightest(kStar[0], kStar[1]), 200) << "the star";
  EXPECT_LT(brightest(40, 170), 40) << "the black image far from it";
  EXPECT_NEAR(qGray(shot.pixel(0, 0)), 127, 1) << "the grey round the smaller image";
}

}  // namespace
}  // namespace lumeray::testing
