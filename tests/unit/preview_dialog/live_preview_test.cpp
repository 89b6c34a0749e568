// The main dialog with its live preview: the background task's frames reach the preview
// control, the Preview box switches the effects off, and the tools move the view and switch
// light sources off and on; what the Hide tool switched off stays off in the final render.

#include <gmock/gmock.h>

#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QScreen>
#include <QScrollBar>
#include <QTimer>

#include <cmath>
#include <functional>

#include "diagnostics/message_report.h"
#include "interface/filter_interface.h"
#include "platform/thread.h"
#include "unit/preview_dialog/live_dialog_test_support.h"

namespace lumeray::testing {
namespace {

using dialog::PreviewDisplay;

constexpr int32_t kWidth = 320;
constexpr int32_t kHeight = 200;
// Three sources well apart: A and C are dragged over, B is clicked.
constexpr int32_t kA[2] = {60, 50};
constexpr int32_t kB[2] = {200, 20};
constexpr int32_t kC[2] = {250, 150};

class LivePreviewTest : public LiveDialogTest {
 protected:
  void SetUp() override {
    LiveDialogTest::SetUp();
    parameters.Quantity = 100;
    parameters.SoftFlareIntensity = 0;
    SetUiThread(platform::CurrentThreadId());  // the task's user messages reach the dialog
    platform::SetMessageBoxHandler(
        [this](platform::WindowHandle, const std::string& text, const std::string&, uint32_t) {
          shown.push_back(text);
          return platform::kIdOk;
        });
    OpenDialog(kWidth, kHeight,
               {Source(kA[0], 0, kA[1], 0), Source(kB[0], 0, kB[1], 0), Source(kC[0], 0, kC[1], 0)},
               rules);
    if (rules.noConfigs) return;  // the dialog may close before it is shown
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
    ASSERT_TRUE(preview->live());
    WaitForFrame();
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialog->Control(dialog::kIdHideIcon)->isEnabled(); }));
  }
  void TearDown() override {
    dialog.reset();
    platform::SetMessageBoxHandler({});
    SetUiThread(0);
    ForceRunResult(0);
    LiveDialogTest::TearDown();
  }

  // Waits until the task has drawn the last snapshot handed to it and the frame is shown.
  void WaitForFrame() {
    ASSERT_TRUE(LastRequestDrawn());
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return preview->hasFrame() && preview->shownSequence() == preview->lastRequested(); },
        5000));
  }

  // The control pixel of an image point in the current view.
  QPoint At(const int32_t (&p)[2]) const {
    const PreviewView& v = preview->view();
    const ImageRect d = GetProxyDisplayRectangle(v.client, v.image, v.zoom);
    const double z = v.zoom / 100.0;
    return QPoint(static_cast<int>(std::lround(p[0] * z - v.scrollX + d.left)),
                  static_cast<int>(std::lround(p[1] * z - v.scrollY + d.top)));
  }
  int Brightness(QPoint p) const {
    const QRgb c = preview->frame().pixel(p);
    return std::max({qRed(c), qGreen(c), qBlue(c)});
  }
  uint32_t State(int index) const { return Analysis().master.data()[index].state; }

  void Click(QPoint p, Qt::KeyboardModifiers keys = {}) {
    QTest::mouseClick(preview, Qt::LeftButton, keys, p);
    WaitForFrame();
  }
  void Drag(QPoint from, QPoint to) {
    QTest::mousePress(preview, Qt::LeftButton, {}, from);
    QTest::mouseMove(preview, (from + to) / 2);
    QTest::mouseMove(preview, to);
    QTest::mouseRelease(preview, Qt::LeftButton, {}, to);
    WaitForFrame();
  }
  void UseTool(int icon) {
    QTest::mouseClick(dialog->Control(icon), Qt::LeftButton);
    QTest::qWait(10);
  }
  // Calls `open` (which opens the zoom menu and waits in it) and chooses `item` there; `placed`
  // receives the menu's global rectangle.
  void ChooseInMenu(const QString& item, const std::function<void()>& open,
                    QRect* placed = nullptr) {
    QTimer::singleShot(50, [&] {
      auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
      ASSERT_NE(menu, nullptr);
      if (placed != nullptr) *placed = menu->geometry();
      for (QAction* action : menu->actions()) {
        if (action->text() == item) menu->setActiveAction(action);
      }
      QTest::keyClick(menu, Qt::Key_Return);
    });
    open();
  }

  PixelFormatRules rules;
  std::vector<std::string> shown;  // message boxes
};

TEST_F(LivePreviewTest, FramesShowTheEffectsAndThePreviewBoxSwitchesThemOff) {
  EXPECT_EQ(preview->frame().size(), preview->size());
  const QPoint b = At(kB);
  const QPoint empty = At({kB[0], kC[1] + 30});  // far from every source, inside the image
  EXPECT_GT(Brightness(b), 200);
  EXPECT_LT(Brightness(empty), 40);
  QTest::mouseClick(dialog->Control(dialog::kIdPreviewCheck), Qt::LeftButton);
  WaitForFrame();
  EXPECT_LT(Brightness(b), 40) << "the original image is black";

  // A larger dialog: the next frame is drawn at the control's new size.
  const QSize before = preview->size();
  dialog->resize(dialog->size() + QSize(120, 80));
  ASSERT_TRUE(QTest::qWaitFor([&] { return preview->size() != before; }));
  WaitForFrame();
  EXPECT_EQ(preview->frame().size(), preview->size());
}

TEST_F(LivePreviewTest, ZoomStepsWheelPanAndScrollBarsMoveTheView) {
  UseTool(dialog::kIdZoomIcon);
  const QPoint centre(preview->width() / 2, preview->height() / 2);
  // Zoom clicks step through the zoom list in and, with Alt, out again.
  const double start = preview->view().zoom;
  Click(centre);
  const double in = preview->view().zoom;
  EXPECT_GT(in, start);
  for (double step : kZoomSteps) EXPECT_FALSE(step > start && step < in) << step;
  Click(centre, Qt::AltModifier);
  EXPECT_LE(preview->view().zoom, start);

  // One Alt wheel notch toward the user from 100 % zooms to 100 / 1.1.
  preview->SetZoom(100.0, centre);
  QTest::qWait(5);
  QWheelEvent toward(QPointF(centre), preview->mapToGlobal(QPointF(centre)), {}, {0, -120},
                     Qt::NoButton, Qt::AltModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(preview, &toward);
  EXPECT_NEAR(preview->view().zoom, 100.0 / 1.1, 1e-9);

  // Zoomed in far enough to scroll: the wheel scrolls down, a Pan drag moves the image with the
  // hand, and the scroll bars follow the view and move it.
  preview->SetZoom(400.0, centre);
  WaitForFrame();
  auto* horizontal = qobject_cast<QScrollBar*>(dialog->Control(dialog::kIdHorizontalScroll));
  auto* vertical = qobject_cast<QScrollBar*>(dialog->Control(dialog::kIdVerticalScroll));
  ASSERT_TRUE(horizontal->isEnabled() && vertical->isEnabled());
  const int32_t y0 = preview->view().scrollY;
  QWheelEvent down(QPointF(centre), preview->mapToGlobal(QPointF(centre)), {}, {0, -120},
                   Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(preview, &down);
  EXPECT_EQ(preview->view().scrollY, y0 + 10);

  UseTool(dialog::kIdPanIcon);
  const int32_t x1 = preview->view().scrollX, y1 = preview->view().scrollY;
  Drag(centre, centre + QPoint(-30, -20));
  EXPECT_EQ(preview->view().scrollX, x1 + 30);
  EXPECT_EQ(preview->view().scrollY, y1 + 20);
  EXPECT_EQ(horizontal->value(), preview->view().scrollX);
  EXPECT_EQ(vertical->value(), preview->view().scrollY);
  horizontal->setValue(horizontal->minimum());
  EXPECT_EQ(preview->view().scrollX, 0);

  // The zoom pictures step too, and the zoom text follows.
  const double before = preview->view().zoom;
  QTest::mouseClick(dialog->Control(dialog::kIdZoomOut), Qt::LeftButton);
  EXPECT_LT(preview->view().zoom, before);
  EXPECT_TRUE(qobject_cast<QLabel*>(dialog->Control(dialog::kIdZoomText))
                  ->text()
                  .contains(QString::number(preview->view().zoom, 'f', 2)));
  WaitForFrame();
}

TEST_F(LivePreviewTest, HideAndShowSwitchSourcesAndOkRendersWithoutTheHiddenOnes) {
  ASSERT_GT(Brightness(At(kB)), 200);
  UseTool(dialog::kIdHideIcon);
  Click(At(kB));  // a click hides the nearest source only
  EXPECT_EQ(State(1), kLightSourceHidden);
  EXPECT_EQ(State(0), kLightSourceNormal);
  EXPECT_EQ(State(2), kLightSourceNormal);
  EXPECT_LT(Brightness(At(kB)), 40);
  EXPECT_GT(Brightness(At(kA)), 200);

  UseTool(dialog::kIdShowIcon);
  Click(At(kB));
  EXPECT_NE(State(1), kLightSourceHidden);
  EXPECT_GT(Brightness(At(kB)), 200);

  // A Hide drag over A and C (not B) hides both.
  UseTool(dialog::kIdHideIcon);
  const QPoint a = At(kA), c = At(kC);
  Drag(QPoint(a.x() - 5, a.y() - 5), QPoint(c.x() + 5, c.y() + 5));
  EXPECT_EQ(State(0), kLightSourceHidden);
  EXPECT_NE(State(1), kLightSourceHidden);
  EXPECT_EQ(State(2), kLightSourceHidden);
  EXPECT_LT(Brightness(At(kA)), 40);
  EXPECT_LT(Brightness(At(kC)), 40);

  // OK: the task is gone, and the final render equals one on a table with B alone.
  QTest::mouseClick(dialog->Control(dialog::kIdOk), Qt::LeftButton);
  EXPECT_FALSE(preview->live());
  MakeOutput(kImageModeRgb8, kWidth, kHeight);
  ASSERT_TRUE(Render(MakeFinalRenderSnapshot(parameters)));
  const std::vector<uint8_t> afterHiding = OutputBytes();
  SetSources({Source(kB[0], 0, kB[1], 0, kLightSourceShown)});
  MakeOutput(kImageModeRgb8, kWidth, kHeight);
  ASSERT_TRUE(Render(MakeFinalRenderSnapshot(parameters)));
  EXPECT_EQ(afterHiding, OutputBytes());
  EXPECT_GT(Brightest(PixelAt(kB[0], kB[1])), 0x800000u) << "B's star is drawn";
  EXPECT_LT(Brightest(PixelAt(kA[0], kA[1])), 0x100000u);
}

TEST_F(LivePreviewTest, KeysScrollByPixelsAndPages) {
  const QPoint centre(preview->width() / 2, preview->height() / 2);
  preview->SetZoom(1600.0, centre);
  const PreviewView& v = preview->view();
  const ImageRect d = GetProxyDisplayRectangle(v.client, v.image, v.zoom);
  const int32_t pageX = d.right - d.left, pageY = d.bottom - d.top;
  const int32_t maxX = kWidth * 16 - pageX, maxY = kHeight * 16 - pageY;
  const int32_t x = maxX / 2, y = maxY / 2;  // room for a page either way
  const Qt::KeyboardModifiers ctrl = Qt::ControlModifier, shift = Qt::ShiftModifier;
  const struct {
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    int32_t x, y;  // where the view goes from (x, y)
  } cases[] = {{Qt::Key_Right, {}, x + 1, y},        {Qt::Key_Left, ctrl, x - 10, y},
               {Qt::Key_Down, shift, x, y + 1},      {Qt::Key_Up, ctrl, x, y - 10},
               {Qt::Key_PageDown, {}, x, y + pageY}, {Qt::Key_PageUp, ctrl, x - pageX, y},
               {Qt::Key_PageDown, shift, x, y + 10}, {Qt::Key_PageUp, shift | ctrl, x - 10, y},
               {Qt::Key_Home, ctrl, 0, 0},           {Qt::Key_End, {}, maxX, maxY}};
  for (const auto& c : cases) {
    preview->ScrollBy(x - v.scrollX, y - v.scrollY);
    QTest::keyClick(preview, c.key, c.modifiers);
    EXPECT_EQ(v.scrollX, c.x) << c.key << " " << c.modifiers;
    EXPECT_EQ(v.scrollY, c.y) << c.key << " " << c.modifiers;
  }
  WaitForFrame();
}

TEST_F(LivePreviewTest, SpaceBarPansTheZoomToolAndDraggedRectanglesScrollAtTheEdge) {
  UseTool(dialog::kIdZoomIcon);
  const QPoint centre(preview->width() / 2, preview->height() / 2);
  preview->SetZoom(1600.0, centre);
  EXPECT_NE(preview->cursor().shape(), Qt::OpenHandCursor);
  QCursor::setPos(preview->mapToGlobal(centre));
  QTest::keyPress(preview, Qt::Key_Space);
  EXPECT_EQ(preview->effectiveTool(), uint32_t{kToolPan});
  EXPECT_EQ(preview->cursor().shape(), Qt::OpenHandCursor);
  const double zoom = preview->view().zoom;
  const int32_t x = preview->view().scrollX;
  Drag(centre, centre + QPoint(-25, 0));
  EXPECT_EQ(preview->view().scrollX, x + 25);
  EXPECT_EQ(preview->view().zoom, zoom) << "panned, not zoomed";
  QTest::keyRelease(preview, Qt::Key_Space);
  EXPECT_EQ(preview->effectiveTool(), uint32_t{kToolZoom});
  EXPECT_NE(preview->cursor().shape(), Qt::OpenHandCursor);

  // A Zoom rectangle dragged 20 pixels beyond the inner rectangle (whose right column is
  // width - 2) scrolls by 20 every 100 ms.
  const int32_t before = preview->view().scrollX;
  QTest::mousePress(preview, Qt::LeftButton, {}, centre);
  QTest::mouseMove(preview, QPoint(preview->width() - 2 + 20, centre.y()));
  QTest::qWait(dialog::kEdgeTimerMs * 3 + 50);
  const int32_t scrolled = preview->view().scrollX - before;
  EXPECT_GE(scrolled, 40);
  EXPECT_EQ(scrolled % 20, 0);
  QTest::mouseRelease(preview, Qt::LeftButton, {}, QPoint(preview->width() - 1, centre.y()));
  EXPECT_GT(preview->view().zoom, zoom) << "the rectangle fills the view";
  WaitForFrame();
}

TEST_F(LivePreviewTest, ZoomMenuAndLimits) {
  // Chooses `item` in the zoom menu opened by the V key.
  const auto choose = [&](const QString& item) {
    ChooseInMenu(item, [&] { QTest::keyClick(dialog.get(), Qt::Key_V); });
  };
  const struct {
    const char* item;
    double zoom;
  } cases[] = {{"6%", 6.25}, {"Actual Pixels", 100}, {"3200%", 3200}, {"33%", 33.33}};
  for (const auto& c : cases) {
    choose(c.item);
    EXPECT_EQ(preview->view().zoom, c.zoom) << c.item;
  }
  // The zoom stops at 0.3 % and 6400 %, and the zoom pictures say so.
  const QPoint centre(preview->width() / 2, preview->height() / 2);
  preview->SetZoom(1e6, centre);
  EXPECT_EQ(preview->view().zoom, 6400.0);
  EXPECT_FALSE(dialog->Control(dialog::kIdZoomIn)->isEnabled());
  preview->SetZoom(0.01, centre);
  EXPECT_EQ(preview->view().zoom, 0.3);
  EXPECT_FALSE(dialog->Control(dialog::kIdZoomOut)->isEnabled());

  // Double-clicked tool icons and Ctrl+O: actual pixels, or the whole image less the control's
  // one-pixel frame, by the tighter axis.
  const auto fit = [&] {
    return 100.0 * std::min((preview->width() - 2.0) / kWidth, (preview->height() - 2.0) / kHeight);
  };
  const struct {
    const char* what;
    std::function<void()> act;
    bool fits;
  } ways[] = {
      {"Zoom icon",
       [&] { QTest::mouseDClick(dialog->Control(dialog::kIdZoomIcon), Qt::LeftButton); }, false},
      {"Pan icon", [&] { QTest::mouseDClick(dialog->Control(dialog::kIdPanIcon), Qt::LeftButton); },
       true},
      {"Ctrl+O", [&] { QTest::keyClick(dialog.get(), Qt::Key_O, Qt::ControlModifier); }, true},
  };
  for (const auto& way : ways) {
    preview->SetZoom(300.0, centre);
    way.act();
    EXPECT_NEAR(preview->view().zoom, way.fits ? fit() : 100.0, 1e-9) << way.what;
  }

  // Fit on Screen (Ctrl+0): the dialog over the screen's work area, the image fitted in it.
  QTest::keyClick(dialog.get(), Qt::Key_0, Qt::ControlModifier);
  const QRect area = dialog->screen()->availableGeometry();
  EXPECT_EQ(dialog->size(), area.size().expandedTo(dialog->minimumSize()));
  EXPECT_NEAR(preview->view().zoom, fit(), 1e-9);
  WaitForFrame();
}

TEST_F(LivePreviewTest, TheContextMenuZoomsOnThePointItWasOpenedAt) {
  const QPointF centre = QRectF(1, 1, preview->width() - 2, preview->height() - 2).center();
  // The image point under a control pixel and back, in the current view.
  const auto imagePoint = [&](QPointF p) {
    const PreviewView& v = preview->view();
    const ImageRect d = GetProxyDisplayRectangle(v.client, v.image, v.zoom);
    return (p - QPointF(d.left - v.scrollX, d.top - v.scrollY)) / (v.zoom / 100.0);
  };
  const auto controlPoint = [&](QPointF p) {
    const PreviewView& v = preview->view();
    const ImageRect d = GetProxyDisplayRectangle(v.client, v.image, v.zoom);
    return p * (v.zoom / 100.0) + QPointF(d.left - v.scrollX, d.top - v.scrollY);
  };
  const struct {
    const char* item;
    double zoom;
    int32_t point[2];  // the image point the menu is opened on, far enough from the edges
  } cases[] = {{"400%", 400, {200, 120}}, {"800%", 800, {120, 80}}};
  for (const auto& c : cases) {
    preview->FitInView();
    WaitForFrame();
    const QPoint at = At(c.point);
    const QPoint global = preview->mapToGlobal(at);
    const QPointF clicked = imagePoint(at);
    QRect placed;
    ChooseInMenu(
        c.item,
        [&] {
          QContextMenuEvent event(QContextMenuEvent::Mouse, at, global);
          QApplication::sendEvent(preview, &event);
        },
        &placed);
    EXPECT_EQ(preview->view().zoom, c.zoom) << c.item;
    // The menu hangs to the left of the pointer, and the point clicked on is now in the middle.
    EXPECT_EQ(placed.right() + 1, global.x()) << c.item;
    const QPointF now = controlPoint(clicked);
    EXPECT_LE(std::abs(now.x() - centre.x()), 1.0) << c.item;
    EXPECT_LE(std::abs(now.y() - centre.y()), 1.0) << c.item;
  }
  WaitForFrame();
}

TEST_F(LivePreviewTest, HideAndShowCursorsSwapWithAlt) {
  const auto shown = [&] { return preview->cursor().pixmap().toImage(); };
  UseTool(dialog::kIdHideIcon);
  const QImage hide = shown();
  const QPoint spot = preview->cursor().hotSpot();
  UseTool(dialog::kIdShowIcon);
  const QImage show = shown();
  ASSERT_FALSE(hide.isNull() || show.isNull());
  EXPECT_NE(hide, show);
  EXPECT_GT(qAlpha(hide.pixel(spot)), 0) << "the hot spot is on the drawing";
  // Alt turns either tool into the other one, and its cursor with it, at once.
  const struct {
    int tool;
    const QImage& plain;
    const QImage& withAlt;
  } cases[] = {{dialog::kIdHideIcon, hide, show}, {dialog::kIdShowIcon, show, hide}};
  for (const auto& c : cases) {
    UseTool(c.tool);
    EXPECT_EQ(shown(), c.plain) << c.tool;
    QTest::keyPress(preview, Qt::Key_Alt, Qt::AltModifier);
    EXPECT_EQ(shown(), c.withAlt) << c.tool;
    QTest::keyRelease(preview, Qt::Key_Alt, Qt::NoModifier);
    EXPECT_EQ(shown(), c.plain) << c.tool;
  }
}

// A preview that cannot get OpenGL ends the run with -50 and closes the dialog, telling why.
class PreviewWithoutOpenGLTest : public LivePreviewTest {
 protected:
  void SetUp() override {
    rules.noConfigs = true;
    LivePreviewTest::SetUp();
  }
};

TEST_F(PreviewWithoutOpenGLTest, EndsTheRunAndClosesTheDialog) {
  ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog->isVisible(); }, 10000));
  EXPECT_EQ(RunResult(), kParamErr);
  EXPECT_EQ(dialog->result(), dialog::kDialogCancel);
  EXPECT_FALSE(preview->live());
  EXPECT_THAT(shown, ::testing::Contains("Could not set pixel format for OpenGL operations."));
}

}  // namespace
}  // namespace lumeray::testing
