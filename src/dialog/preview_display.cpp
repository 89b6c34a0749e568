#include "dialog/preview_display.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QTimerEvent>

#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QScrollBar>

#include <algorithm>
#include <cmath>

#include <cstring>

#include "analysis/analysis_run_state.h"
#include "analysis/master_light_source_table.h"
#include "dialog/dialog_messages.h"
#include "effects/parameter_set_buffer.h"
#include "gl/drawing_settings.h"
#include "interface/filter_interface.h"
#include "preview/preview_task.h"
#include "run/host_record.h"
#include "run/run_status.h"

// Last: Xlib's macros (None, Bool, Status) would clash with the headers above.
#include <X11/Xlib.h>

namespace lumeray::dialog {
namespace {

constexpr int kPollMilliseconds = 250;

}  // namespace

PreviewDisplay::PreviewDisplay(QWidget* parent, platform::WindowHandle dialog,
                               AnalysisQueries watch)
    : QWidget(parent), dialog_(dialog), watch_(std::move(watch)) {
  setAttribute(Qt::WA_NativeWindow);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFocusPolicy(Qt::ClickFocus);
  setMouseTracking(false);
  if (watch_.progress) timer_ = startTimer(kPollMilliseconds);
}

PreviewDisplay::~PreviewDisplay() {
  StopLivePreview();
}

bool PreviewDisplay::StartLivePreview(const ParameterSet* parameters,
                                      const PreviewControls& controls) {
  const ImageRect image{watch_.imageBounds[0], watch_.imageBounds[1], watch_.imageBounds[2],
                        watch_.imageBounds[3]};
  if (task_ || parameters == nullptr || image.right <= image.left || image.bottom <= image.top) {
    return false;
  }
  parameters_ = parameters;
  controls_ = controls;
  for (QWidget* w : {controls_.zoomIn, controls_.zoomOut, static_cast<QWidget*>(controls_.zoomText),
                     controls_.zoomDrop}) {
    if (w != nullptr) w->installEventFilter(this);
  }
  qApp->installEventFilter(this);  // the keyboard hook
  for (QScrollBar* bar : {controls_.horizontal, controls_.vertical}) {
    if (bar == nullptr) continue;
    connect(bar, &QScrollBar::valueChanged, this, [this] {
      if (syncing_) return;
      const int32_t x = controls_.horizontal ? controls_.horizontal->value() : view_.scrollX;
      const int32_t y = controls_.vertical ? controls_.vertical->value() : view_.scrollY;
      ScrollBy(x - view_.scrollX, y - view_.scrollY);
    });
  }
  view_.image = image;
  view_.client = {0, 0, width(), height()};
  FitView(true);

  PreviewTaskSetup setup;
  setup.clientRect = view_.client;
  setup.imageBounds = image;
  setup.source = watch_.imageSource;
  setup.sourceContext = watch_.imageSourceContext;
  setup.analysis = watch_.analysis;
  LoadOpenGLDrawingSettings(&setup.settings);
  setup.rules = watch_.previewRules;
  if (QGuiApplication::platformName() == QLatin1String("xcb")) {
    xDisplay_ = XOpenDisplay(nullptr);
    if (xDisplay_ != nullptr) {
      setup.nativeDisplay = xDisplay_;
      setup.window = static_cast<unsigned long>(winId());
    }
  }
  PreviewTaskCallbacks callbacks;
  callbacks.context = this;
  // The callbacks run on the task thread: they only post to the dialog, by its handle, so a
  // message that arrives after the dialog is gone is dropped.
  callbacks.frameReady = [](void* context) {
    PostDialogMessage(static_cast<PreviewDisplay*>(context)->dialog_, MSG_REDRAW_PREVIEW_FRAME);
  };
  callbacks.initializationComplete = [](void* context) {
    PostDialogMessage(static_cast<PreviewDisplay*>(context)->dialog_, MSG_INVALIDATE_PREVIEW);
  };
  // The task could not go on: on the UI thread, after the messages it posted before (its report
  // among them), the run fails, and a message makes the dialog see that and close (any message
  // of the dialog does).
  callbacks.failed = [](void* context) {
    auto* display = static_cast<PreviewDisplay*>(context);
    QMetaObject::invokeMethod(
        display,
        [display] {
          SetRunResult(kParamErr);
          PostDialogMessage(display->dialog_, MSG_BUSY_NOTICE);
        },
        Qt::QueuedConnection);
  };
  if (watch_.complete) {
    callbacks.analysisFinished = [](void* context) {
      return static_cast<PreviewDisplay*>(context)->watch_.complete();
    };
  }
  task_ = std::make_unique<PreviewTask>();
  if (!task_->Start(setup, callbacks)) {
    task_.reset();
    CloseDisplay();
    return false;
  }
  task_->DialogInitialized();
  SyncControls();
  return true;
}

void PreviewDisplay::StopLivePreview() {
  if (!task_) return;
  qApp->removeEventFilter(this);
  StopMouseTimers();
  mouseState_ = kMouseIdle;
  task_->Destroy();
  task_.reset();
  CloseDisplay();
}

void PreviewDisplay::SetPreviewEnabled(bool enabled) {
  previewEnabled_ = enabled;
}

void PreviewDisplay::RequestFrame() {
  if (!task_ || parameters_ == nullptr) {
    update();
    return;
  }
  PreviewViewState state{};
  state.previewRect[2] = view_.client.right;
  state.previewRect[3] = view_.client.bottom;
  if (!toolRect_.isEmpty()) {
    state.toolRect[0] = toolRect_.left();
    state.toolRect[1] = toolRect_.top();
    state.toolRect[2] = toolRect_.right() + 1;
    state.toolRect[3] = toolRect_.bottom() + 1;
  }
  state.zoom = view_.zoom;
  state.scrollPosition[0] = view_.scrollX;
  state.scrollPosition[1] = view_.scrollY;
  state.previewEnabled = previewEnabled_ ? 1 : 0;
  state.lightSourceGeneration =
      watch_.analysis != nullptr ? watch_.analysis->master.generation.load() : 0;
  const ParameterSetBuffer snapshot = MakePreviewSnapshot(*parameters_, state);
  lastRequested_ = snapshot.sequenceNumber;
  task_->NewParameters(snapshot);
}

void PreviewDisplay::FrameReady() {
  if (!task_) return;
  if (task_->OnScreen()) {
    // The frame is on the window already; Qt must not paint over it.
    if (!onScreen_) setAttribute(Qt::WA_PaintOnScreen);
    onScreen_ = true;
    return;
  }
  // Read before the copy: the bitmap copied is this frame or a newer one.
  const uint32_t drawn = task_->LastDrawnSequence();
  ScreenBitmap bitmap;
  if (!task_->CopyShownBitmap(&bitmap) || bitmap.width <= 0 || bitmap.height <= 0) return;
  // The bitmap's rows run from the bottom; its bytes are BGRA, as QImage's RGB32 on this side.
  QImage picture(bitmap.width, bitmap.height, QImage::Format_RGB32);
  const size_t row = static_cast<size_t>(bitmap.width) * 4;
  for (int32_t y = 0; y < bitmap.height; ++y) {
    std::memcpy(picture.scanLine(y), bitmap.PixelFromTop(0, y), row);
  }
  frame_ = std::move(picture);
  shownSequence_ = drawn;
  if (timer_ != 0 && finished_) {
    killTimer(timer_);
    timer_ = 0;
  }
  update();
}

void PreviewDisplay::FitInView() {
  if (!live()) return;
  FitView(false);
  ViewChanged();
}

void PreviewDisplay::FitView(bool start) {
  const double iw = view_.image.right - view_.image.left;
  const double ih = view_.image.bottom - view_.image.top;
  const double w = std::max(1, width() - 2);
  const double h = std::max(1, height() - 2);
  double zoom = (w / iw > h / ih) ? 100.0 * h / ih : 100.0 * w / iw;
  zoom = std::clamp(zoom, kZoomSteps[0], kZoomSteps[std::size(kZoomSteps) - 1]);
  if (start && zoom > 100.0 && zoom < 150.0) zoom = 100.0;
  view_.zoom = zoom;
  CenterOn(&view_, (view_.image.left + view_.image.right) / 2.0,
           (view_.image.top + view_.image.bottom) / 2.0);
}

void PreviewDisplay::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (!task_) return;
  // The task takes no request while the size changes; the next snapshot carries the new size,
  // and a bitmap context is made again at it.
  task_->BeginResize();
  const double cx = view_.scrollX + view_.client.right / 2.0;
  const double cy = view_.scrollY + view_.client.bottom / 2.0;
  view_.client = {0, 0, width(), height()};
  view_.scrollX = static_cast<int32_t>(cx - view_.client.right / 2.0);
  view_.scrollY = static_cast<int32_t>(cy - view_.client.bottom / 2.0);
  ClampScroll(&view_);
  task_->EndResize();
  ViewChanged();
}

QImage PreviewDisplay::SplashPicture(const QSize& size) {
  QImage picture(size.expandedTo(QSize(1, 1)), QImage::Format_RGB32);
  QPainter painter(&picture);
  painter.setRenderHint(QPainter::Antialiasing);
  QLinearGradient sky(0, 0, 0, picture.height());
  sky.setColorAt(0.0, QColor(8, 12, 32));
  sky.setColorAt(1.0, QColor(36, 22, 60));
  painter.fillRect(picture.rect(), sky);

  // A small star: eight spikes round a glowing centre.
  const QPointF centre(picture.width() / 2.0, picture.height() * 0.42);
  const double reach = std::min(picture.width(), picture.height()) * 0.3;
  for (int spike = 0; spike < 8; ++spike) {
    const double angle = spike * M_PI / 4 + M_PI / 12;
    const double length = (spike % 2 == 0) ? reach : reach * 0.55;
    const QPointF tip = centre + QPointF(std::sin(angle), -std::cos(angle)) * length;
    QLinearGradient ray(centre, tip);
    ray.setColorAt(0.0, QColor(255, 250, 230, 230));
    ray.setColorAt(1.0, QColor(140, 170, 255, 0));
    painter.setPen(QPen(QBrush(ray), 2.0));
    painter.drawLine(centre, tip);
  }
  QRadialGradient glow(centre, reach * 0.25);
  glow.setColorAt(0.0, QColor(255, 255, 255, 255));
  glow.setColorAt(1.0, QColor(255, 230, 180, 0));
  painter.setPen(Qt::NoPen);
  painter.setBrush(glow);
  painter.drawEllipse(centre, reach * 0.25, reach * 0.25);

  QFont font = painter.font();
  font.setPixelSize(std::max(12, picture.height() / 18));
  font.setBold(true);
  painter.setFont(font);
  painter.setPen(QColor(235, 235, 245));
  const QRectF title(0, picture.height() * 0.72, picture.width(), font.pixelSize() * 1.6);
  painter.drawText(title, Qt::AlignCenter, QStringLiteral("Lumeray Pro 2"));
  return picture;
}

QPaintEngine* PreviewDisplay::paintEngine() const {
  return onScreen_ ? nullptr : QWidget::paintEngine();
}

void PreviewDisplay::paintEvent(QPaintEvent*) {
  if (onScreen_) {
    RequestFrame();  // the window needs a frame again
    return;
  }
  QPainter painter(this);
  if (frame_.isNull()) {
    if (splash_.size() != size()) splash_ = SplashPicture(size());
    painter.drawImage(0, 0, splash_);
    return;
  }
  // A frame of another size (during a resize) is centred on grey.
  const QPoint at((width() - frame_.width()) / 2, (height() - frame_.height()) / 2);
  if (frame_.size() != size()) painter.fillRect(rect(), QColor(127, 127, 127));
  painter.drawImage(at, frame_);
}

void PreviewDisplay::timerEvent(QTimerEvent* event) {
  if (event->timerId() != 0 && event->timerId() == panTimer_) return PanStep();
  if (event->timerId() != 0 && event->timerId() == edgeTimer_) return EdgeStep();
  if (event->timerId() != timer_) {
    QWidget::timerEvent(event);
    return;
  }
  Poll();
}

void PreviewDisplay::Poll() {
  int32_t done = 0;
  int32_t total = 0;
  if (!watch_.progress || !watch_.progress(&done, &total)) {
    killTimer(timer_);  // no analysis runs for this dialog
    timer_ = 0;
    return;
  }
  const bool complete = watch_.complete && watch_.complete();
  if (!complete) {
    PostDialogMessage(dialog_, MSG_PROGRESS, static_cast<uintptr_t>(done), total);
    return;
  }
  PostDialogMessage(dialog_, MSG_PROGRESS, 0, 0);  // clears the bar
  PostDialogMessage(dialog_, MSG_INITIALIZATION_COMPLETE);
  finished_ = true;
  killTimer(timer_);
  timer_ = 0;
}

void PreviewDisplay::CloseDisplay() {
  if (xDisplay_ != nullptr) XCloseDisplay(static_cast<Display*>(xDisplay_));
  xDisplay_ = nullptr;
  if (onScreen_) setAttribute(Qt::WA_PaintOnScreen, false);
  onScreen_ = false;
}

}  // namespace lumeray::dialog
