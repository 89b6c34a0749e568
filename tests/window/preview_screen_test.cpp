// The preview drawing onto its own window (the screen path): an X display with an accelerated
// pixel format (the software rasteriser counted as one). Run under Xvfb.
#include <QDir>
#include <QScreen>

#include <algorithm>

#include "unit/preview_dialog/live_dialog_test_support.h"

namespace lumeray::testing {
namespace {

constexpr int32_t kWidth = 320;
constexpr int32_t kHeight = 200;
constexpr int32_t kStar[2] = {200, 60};

using PreviewScreenTest = LiveDialogTest;

TEST_F(PreviewScreenTest, FramesAreSwappedOntoThePreviewWindow) {
  parameters.Quantity = 100;
  PixelFormatRules rules;
  rules.assumeAccelerated = true;
  OpenDialog(kWidth, kHeight, {Source(kStar[0], 0, kStar[1], 0)}, rules);
  ASSERT_EQ(QGuiApplication::platformName(), QLatin1String("xcb"));
  ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
  ASSERT_TRUE(preview->live());
  ASSERT_TRUE(LastRequestDrawn());
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
