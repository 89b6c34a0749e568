// The preview's tools and view controls (see preview_display.h): Pan drags the view, Zoom
// steps in (Alt: out) at a click and zooms to a dragged rectangle, Hide and Show switch the
// effect of the light source nearest a click, or of every source inside a dragged rectangle,
// off and on in the master light source table (Alt: undo). The wheel scrolls (Ctrl: across),
// and zooms with Alt; the keys scroll. The scroll bars, the zoom pictures and the cursor follow
// the view and the tool.

#include <QApplication>
#include <QContextMenuEvent>
#include <QCursor>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

#include "analysis/analysis_run_state.h"
#include "analysis/master_light_source_table.h"
#include "dialog/preview_display.h"
#include "ui/ui_settings.h"

namespace lumeray::dialog {
namespace {

constexpr int kWheelNotch = 120;
constexpr double kWheelZoomFactor = 1.1;
constexpr int kKeyStep = 10;  // pixels of a Ctrl+arrow or a Shift+page key

bool AltHeld(Qt::KeyboardModifiers modifiers) {
  return (modifiers & Qt::AltModifier) != 0;
}
bool CtrlHeld(Qt::KeyboardModifiers modifiers) {
  return (modifiers & Qt::ControlModifier) != 0;
}

// The zoom menu's steps, smallest first: text, command, zoom.
struct ZoomMenuItem {
  const char* text;
  int command;
  double zoom;
};
constexpr ZoomMenuItem kZoomMenuItems[] = {
    {"6%", 40017, 6.25},      {"12%", 40016, 12.5},     {"25%", 40015, 25.0},
    {"33%", 40014, 33.33},    {"50%", 40013, 50.0},     {"66%", 40012, 66.67},
    {"100%", 40011, 100.0},   {"200%", 40010, 200.0},   {"300%", 40009, 300.0},
    {"400%", 40008, 400.0},   {"600%", 40007, 600.0},   {"800%", 40006, 800.0},
    {"1000%", 40005, 1000.0}, {"1200%", 40004, 1200.0}, {"1600%", 40003, 1600.0},
    {"3200%", 40002, 3200.0}, {"6400%", 40001, 6400.0}};

// The cursors: a magnifier with a plus, a minus or nothing (the zoom limit), and a small star
// whole (show effects) or struck through (hide effects). Hot spot at the lens's or star's centre.
QCursor DrawnCursor(int kind) {
  QPixmap picture(32, 32);
  picture.fill(Qt::transparent);
  QPainter p(&picture);
  p.setRenderHint(QPainter::Antialiasing);
  const QPointF c(12, 12);
  for (const auto& [colour, width] : {std::pair{Qt::white, 4.0}, std::pair{Qt::black, 2.0}}) {
    p.setPen(QPen(colour, width, Qt::SolidLine, Qt::RoundCap));
    if (kind <= 2) {
      p.drawEllipse(c, 8, 8);
      p.drawLine(QPointF(18, 18), QPointF(27, 27));
      if (kind != 2) p.drawLine(QPointF(8, 12), QPointF(16, 12));
      if (kind == 0) p.drawLine(QPointF(12, 8), QPointF(12, 16));
    } else {
      for (int i = 0; i < 4; ++i) {
        const double a = i * M_PI / 4;
        p.drawLine(c + QPointF(9 * std::cos(a), 9 * std::sin(a)),
                   c - QPointF(9 * std::cos(a), 9 * std::sin(a)));
      }
      if (kind == 4) p.drawLine(QPointF(20, 4), QPointF(4, 20));
    }
  }
  return QCursor(picture, 12, 12);
}

enum CursorKind {
  kCursorZoomIn = 0,
  kCursorZoomOut = 1,
  kCursorZoomLimit = 2,
  kCursorShow = 3,
  kCursorHide = 4
};

}  // namespace

QPointF PreviewDisplay::ImagePoint(QPoint point) const {
  const ImageRect d = GetProxyDisplayRectangle(view_.client, view_.image, view_.zoom);
  const double z = view_.zoom / 100.0;
  const double x =
      std::clamp<double>(view_.scrollX + point.x() - d.left, 0, (d.right - d.left) + view_.scrollX);
  const double y =
      std::clamp<double>(view_.scrollY + point.y() - d.top, 0, (d.bottom - d.top) + view_.scrollY);
  return {view_.image.left + x / z, view_.image.top + y / z};
}

void PreviewDisplay::ViewChanged() {
  SyncControls();
  UpdateCursor();
  RequestFrame();
}

void PreviewDisplay::SyncControls() {
  syncing_ = true;
  const ImageRect scaled = GetScaledImageRectangle(view_.image, view_.zoom);
  const ImageRect d = GetProxyDisplayRectangle(view_.client, view_.image, view_.zoom);
  const struct {
    QScrollBar* bar;
    int32_t size, page, position;
  } axes[] = {{controls_.horizontal, scaled.right - scaled.left, d.right - d.left, view_.scrollX},
              {controls_.vertical, scaled.bottom - scaled.top, d.bottom - d.top, view_.scrollY}};
  for (const auto& axis : axes) {
    if (axis.bar == nullptr) continue;
    const bool scrolls = axis.size > axis.page;
    axis.bar->setEnabled(scrolls);
    axis.bar->setRange(0, scrolls ? axis.size - axis.page : 0);
    axis.bar->setPageStep(std::max(1, axis.page));
    axis.bar->setValue(scrolls ? axis.position : 0);
  }
  if (controls_.zoomText != nullptr) {
    controls_.zoomText->setText(QString::asprintf(" %-3.2f%%", view_.zoom));
  }
  if (controls_.zoomIn != nullptr) controls_.zoomIn->setEnabled(view_.zoom < kMostZoom);
  if (controls_.zoomOut != nullptr) controls_.zoomOut->setEnabled(view_.zoom > kLeastZoom);
  syncing_ = false;
}

void PreviewDisplay::SetTool(uint32_t tool) {
  tool_ = tool;
  UpdateCursor();
}

void PreviewDisplay::UpdateCursor() {
  const Qt::KeyboardModifiers m = QApplication::queryKeyboardModifiers();
  const uint32_t tool = effectiveTool();
  const bool alt = AltHeld(m);
  int kind = -1;
  if (tool == kToolPan && !alt && !CtrlHeld(m)) {
    setCursor(mouseState_ == kMousePanning ? Qt::ClosedHandCursor : Qt::OpenHandCursor);
    return;
  }
  if (tool == kToolZoom || tool == kToolPan) {
    kind = alt ? (view_.zoom <= kLeastZoom ? kCursorZoomLimit : kCursorZoomOut)
               : (view_.zoom >= kMostZoom ? kCursorZoomLimit : kCursorZoomIn);
  } else if (tool == kToolHide || tool == kToolShow) {
    kind = (tool == kToolHide) != alt ? kCursorHide : kCursorShow;
  }
  if (kind < 0) {
    setCursor(Qt::ArrowCursor);
    return;
  }
  if (cursors_.empty()) {
    for (int k = kCursorZoomIn; k <= kCursorHide; ++k) cursors_.push_back(DrawnCursor(k));
  }
  setCursor(cursors_[static_cast<size_t>(kind)]);
}

void PreviewDisplay::SetZoom(double zoom, QPoint centre) {
  zoom = std::clamp(zoom, kLeastZoom, kMostZoom);
  if (zoom == view_.zoom) return;
  ZoomAround(&view_, zoom, centre.x(), centre.y());
  ViewChanged();
}

void PreviewDisplay::ZoomCentred(double zoom, QPoint centre) {
  const QPointF c = ImagePoint(centre);
  view_.zoom = std::clamp(zoom, kLeastZoom, kMostZoom);
  CenterOn(&view_, c.x() - view_.image.left, c.y() - view_.image.top);
  ViewChanged();
}

void PreviewDisplay::ZoomStep(bool in, QPoint centre) {
  SetZoom(in ? NextZoomIn(view_.zoom) : NextZoomOut(view_.zoom), centre);
}

void PreviewDisplay::ScrollBy(int32_t dx, int32_t dy) {
  const int32_t x = view_.scrollX, y = view_.scrollY;
  view_.scrollX += dx;
  view_.scrollY += dy;
  ClampScroll(&view_);
  if (view_.scrollX == x && view_.scrollY == y) return;
  ViewChanged();
}

void PreviewDisplay::ScrollPages(int32_t across, int32_t down) {
  const ImageRect d = GetProxyDisplayRectangle(view_.client, view_.image, view_.zoom);
  ScrollBy(across * (d.right - d.left), down * (d.bottom - d.top));
}

void PreviewDisplay::FitOnScreen() {
  QWidget* dialog = window();
  if (QScreen* screen = dialog->screen()) {
    const QRect area = screen->availableGeometry();
    dialog->setGeometry(area.adjusted(0, 0, 0, 0));
    QApplication::processEvents();  // the layout follows the new size
  }
  FitInView();
}

QMenu* PreviewDisplay::zoomMenu() {
  if (zoomMenu_ != nullptr) return zoomMenu_;
  zoomMenu_ = new QMenu(QStringLiteral("Zoom"), this);
  const auto add = [&](const char* text, int command) {
    zoomMenu_->addAction(QString::fromLatin1(text))->setData(command);
  };
  for (const ZoomMenuItem& item : kZoomMenuItems) {
    add(item.text, item.command);
    // Separators round 100 %.
    if (item.command == 40012 || item.command == 40011) zoomMenu_->addSeparator();
  }
  zoomMenu_->addSeparator();
  add("Actual Pixels", kZoomCommandActualPixels);
  add("Fit in View", kZoomCommandFitInView);
  add("Fit on Screen", kZoomCommandFitOnScreen);
  return zoomMenu_;
}

void PreviewDisplay::ZoomCommand(int command, const QPoint* centre) {
  const QPoint at = centre != nullptr ? *centre : InnerRect().center();
  if (command == kZoomCommandFitInView) {
    FitInView();
  } else if (command == kZoomCommandFitOnScreen) {
    FitOnScreen();
  } else if (command == kZoomCommandActualPixels) {
    ZoomCentred(100.0, at);
  } else {
    for (const ZoomMenuItem& item : kZoomMenuItems) {
      if (item.command == command) ZoomCentred(item.zoom, at);
    }
  }
}

void PreviewDisplay::OpenZoomMenu(QPoint globalPoint, int placement) {
  if (!live()) return;
  QMenu* menu = zoomMenu();
  const QSize size = menu->sizeHint();
  QPoint at = globalPoint - QPoint(0, size.height() + 2);  // bottom 2 pixels above the control
  if (placement == kMenuAboveCentred) at.rx() -= size.width() / 2;
  if (placement == kMenuLeftOf) at = globalPoint - QPoint(size.width(), 0);
  const QPoint local = mapFromGlobal(globalPoint);
  // From the context menu inside the image, the zoom centres where the user clicked.
  const bool atPoint = placement == kMenuLeftOf && InnerRect().contains(local);
  QAction* chosen = menu->exec(at);
  if (chosen == nullptr) return;
  ZoomCommand(chosen->data().toInt(), atPoint ? &local : nullptr);
}

void PreviewDisplay::contextMenuEvent(QContextMenuEvent* event) {
  const QPoint global =
      event->reason() == QContextMenuEvent::Keyboard ? QCursor::pos() : event->globalPos();
  OpenZoomMenu(global, kMenuLeftOf);
}

bool PreviewDisplay::HideShow(const QRect& area, bool click, bool show) {
  const bool alt = AltHeld(QApplication::keyboardModifiers());
  const HideShowOperation operation = show ? (alt ? kUndoShow : kShow) : (alt ? kUndoHide : kHide);
  if (watch_.analysis == nullptr) return false;
  MasterLightSourceTable* master = &watch_.analysis->master;
  bool changed;
  if (click) {
    const QPointF p = ImagePoint(area.center());
    changed = HideShowNearest(master, std::trunc(p.x()), std::trunc(p.y()), view_.zoom, operation);
  } else {
    const QPointF a = ImagePoint(area.topLeft());
    const QPointF b = ImagePoint(area.bottomRight() + QPoint(1, 1));
    PixelRectangle r{static_cast<int32_t>(a.x() + 1e-10), static_cast<int32_t>(a.y() + 1e-10),
                     static_cast<int32_t>(b.x() + 1e-10), static_cast<int32_t>(b.y() + 1e-10)};
    if (r.right == r.left) ++r.right;
    if (r.bottom == r.top) ++r.bottom;
    changed = HideShowInRectangle(master, r, operation);
  }
  if (changed) RequestFrame();
  return changed;
}

void PreviewDisplay::SetToolRect(const QRect& rect) {
  toolRect_ = rect;
  RequestFrame();
}

void PreviewDisplay::StopMouseTimers() {
  for (int* timer : {&panTimer_, &edgeTimer_}) {
    if (*timer != 0) killTimer(*timer);
    *timer = 0;
  }
}

void PreviewDisplay::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !live() || mouseState_ != kMouseIdle) return;
  setFocus(Qt::MouseFocusReason);
  dragStart_ = dragLast_ = pointer_ = event->position().toPoint();
  const bool alt = AltHeld(event->modifiers()), ctrl = CtrlHeld(event->modifiers());
  switch (effectiveTool()) {
    case kToolPan:
      mouseState_ = alt ? kMouseZoomOut : ctrl ? kMouseZoomIn : kMousePanning;
      break;
    case kToolZoom:
      mouseState_ = alt ? kMouseZoomOut : kMouseZoomIn;
      break;
    case kToolHide:
    case kToolShow:
      mouseState_ = kMouseHide + (effectiveTool() == kToolShow ? 2 : 0) + (alt ? 1 : 0);
      break;
    default:
      mouseState_ = kMouseNoTool;
      break;
  }
  if (mouseState_ == kMousePanning) panTimer_ = startTimer(kPanTimerMs);
  if (mouseState_ >= kMouseZoomIn) edgeTimer_ = startTimer(kEdgeTimerMs);
  UpdateCursor();
}

void PreviewDisplay::mouseMoveEvent(QMouseEvent* event) {
  if (mouseState_ == kMouseIdle) return;
  pointer_ = event->position().toPoint();
  if (mouseState_ < kMouseZoomIn || pointer_ == dragLast_) return;  // panning: on the timer
  dragLast_ = pointer_;
  const QRect inner = InnerRect();
  const QPoint inside(std::clamp(pointer_.x(), inner.left(), inner.right()),
                      std::clamp(pointer_.y(), inner.top(), inner.bottom()));
  SetToolRect(QRect(dragStart_, inside).normalized());
}

// Panning: the image follows the hand.
void PreviewDisplay::PanStep() {
  if (pointer_ == dragLast_) return;
  const QPoint moved = dragLast_ - pointer_;
  dragLast_ = pointer_;
  ScrollBy(moved.x(), moved.y());
}

// A rectangle dragged beyond the inner rectangle scrolls the view by the distance outside; the
// drag start moves with the image.
void PreviewDisplay::EdgeStep() {
  const QRect inner = InnerRect();
  const QPoint inside(std::clamp(pointer_.x(), inner.left(), inner.right()),
                      std::clamp(pointer_.y(), inner.top(), inner.bottom()));
  const QPoint outside = pointer_ - inside;
  if (outside.isNull()) return;
  const int32_t x = view_.scrollX, y = view_.scrollY;
  view_.scrollX += outside.x();
  view_.scrollY += outside.y();
  ClampScroll(&view_);
  const QPoint scrolled(view_.scrollX - x, view_.scrollY - y);
  dragStart_ -= scrolled;
  toolRect_ = QRect(dragStart_, inside).normalized();
  if (scrolled.isNull()) {
    RequestFrame();
  } else {
    ViewChanged();
  }
}

void PreviewDisplay::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || mouseState_ == kMouseIdle) return;
  const int state = mouseState_;
  pointer_ = event->position().toPoint();
  if (state == kMousePanning) PanStep();  // the last motion
  StopMouseTimers();
  mouseState_ = kMouseIdle;
  const QRect inner = InnerRect();
  const QPoint p = pointer_;
  const QPoint inside(std::clamp(p.x(), inner.left(), inner.right()),
                      std::clamp(p.y(), inner.top(), inner.bottom()));
  const int slop = QApplication::startDragDistance();
  const bool click =
      std::abs(p.x() - dragStart_.x()) <= slop && std::abs(p.y() - dragStart_.y()) <= slop;
  const QRect dragged = QRect(dragStart_, inside).normalized();
  const bool hadRect = !toolRect_.isEmpty();
  toolRect_ = QRect();
  UpdateCursor();
  if (state == kMouseZoomOut) {
    ZoomCentred(NextZoomOut(view_.zoom), inside);
  } else if (state == kMouseZoomIn && click) {
    ZoomCentred(NextZoomIn(view_.zoom), p);
  } else if (state == kMouseZoomIn) {
    // The dragged rectangle, within the image, fills the view.
    const ImageRect d = GetProxyDisplayRectangle(view_.client, view_.image, view_.zoom);
    const QRect r = dragged.intersected(QRect(d.left, d.top, d.right - d.left, d.bottom - d.top));
    if (r.width() < 1 || r.height() < 1) {
      if (hadRect) RequestFrame();
      return;
    }
    const double zoom = view_.zoom * std::min(double(inner.width()) / r.width(),
                                              double(inner.height()) / r.height());
    ZoomCentred(zoom, r.center());
  } else if (state >= kMouseHide) {
    const bool show = state >= kMouseHide + 2;
    if (!HideShow(click ? QRect(dragStart_, QSize(1, 1)) : dragged, click, show) && hadRect) {
      RequestFrame();  // erases the rectangle
    }
  } else if (hadRect) {
    RequestFrame();
  }
}

void PreviewDisplay::keyPressEvent(QKeyEvent* event) {
  if (!live()) return QWidget::keyPressEvent(event);
  const Qt::KeyboardModifiers m = event->modifiers();
  const bool ctrl = CtrlHeld(m), shift = (m & Qt::ShiftModifier) != 0;
  const int32_t r = std::max(1, event->count());
  const int32_t pixels = ctrl ? kKeyStep * r : r;
  switch (event->key()) {
    case Qt::Key_PageUp:
    case Qt::Key_PageDown: {
      const int32_t sign = event->key() == Qt::Key_PageUp ? -1 : 1;
      if (shift) {
        ctrl ? ScrollBy(sign * kKeyStep * r, 0) : ScrollBy(0, sign * kKeyStep * r);
      } else {
        ctrl ? ScrollPages(sign * r, 0) : ScrollPages(0, sign * r);
      }
      break;
    }
    case Qt::Key_Home:
      ScrollBy(-view_.scrollX, -view_.scrollY);
      break;
    case Qt::Key_End:
      ScrollBy(INT32_MAX / 2, INT32_MAX / 2);
      break;
    case Qt::Key_Left:
      ScrollBy(-pixels, 0);
      break;
    case Qt::Key_Right:
      ScrollBy(pixels, 0);
      break;
    case Qt::Key_Up:
      ScrollBy(0, -pixels);
      break;
    case Qt::Key_Down:
      ScrollBy(0, pixels);
      break;
    default:
      return QWidget::keyPressEvent(event);
  }
  event->accept();
}

void PreviewDisplay::keyReleaseEvent(QKeyEvent* event) {
  event->accept();  // key-up is consumed
}

void PreviewDisplay::wheelEvent(QWheelEvent* event) {
  if (!live()) return;
  // Partial deltas add up; a notch toward the user counts positive.
  // Alt turns a wheel's motion sideways on some platforms.
  const int delta =
      event->angleDelta().y() != 0 ? event->angleDelta().y() : event->angleDelta().x();
  const int total = wheelRemainder_ - delta;
  const int notches = total / kWheelNotch;
  wheelRemainder_ = total % kWheelNotch;
  event->accept();
  if (notches == 0) return;
  const Qt::KeyboardModifiers m = event->modifiers();
  const QPoint centre(width() / 2, height() / 2);
  const bool shift = (m & Qt::ShiftModifier) != 0;
  if (AltHeld(m)) {
    if (shift) {
      SetZoom(notches < 0 ? NextZoomIn(view_.zoom, -notches) : NextZoomOut(view_.zoom, notches),
              centre);
    } else {
      SetZoom(view_.zoom * std::pow(kWheelZoomFactor, -notches), centre);
    }
    return;
  }
  const bool across = CtrlHeld(m);
  if (shift) {
    across ? ScrollPages(notches, 0) : ScrollPages(0, notches);
  } else {
    across ? ScrollBy(10 * notches, 0) : ScrollBy(0, 10 * notches);
  }
}

bool PreviewDisplay::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if ((type == QEvent::KeyPress || type == QEvent::KeyRelease) && live() &&
      window()->isActiveWindow()) {
    // The keyboard hook: the space bar held over the preview pans; Ctrl and Alt change the
    // cursor at once.
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Space) {
      if (type == QEvent::KeyPress) {
        if (!spaceHeld_ && InnerRect().contains(mapFromGlobal(QCursor::pos()))) {
          spaceHeld_ = true;
          UpdateCursor();
        }
        return spaceHeld_;  // consumed: it presses no button
      }
      if (!spaceHeld_) return false;
      if (!key->isAutoRepeat()) {
        spaceHeld_ = false;
        UpdateCursor();
      }
      return true;
    } else if (key->key() == Qt::Key_Control || key->key() == Qt::Key_Alt) {
      UpdateCursor();
    }
    return false;
  }
  if (type == QEvent::MouseButtonRelease &&
      static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
    if (watched == controls_.zoomIn || watched == controls_.zoomOut) {
      ZoomStep(watched == controls_.zoomIn, QPoint(width() / 2, height() / 2));
      return true;
    }
    if (watched == controls_.zoomDrop || watched == controls_.zoomText) {
      auto* control = static_cast<QWidget*>(watched);
      const QRect r = control->rect();
      const bool text = watched == controls_.zoomText;
      OpenZoomMenu(control->mapToGlobal(text ? QPoint(r.center().x(), r.top()) : r.topLeft()),
                   text ? kMenuAboveCentred : kMenuAboveFrom);
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace lumeray::dialog
