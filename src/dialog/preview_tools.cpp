// The preview's tools and view controls (see preview_display.h): Pan drags the view, Zoom
// steps in (Alt: out) at a click and zooms to a dragged rectangle, Hide and Show switch the
// effect of the light source nearest a click, or of every source inside a dragged rectangle,
// off and on in the master light source table (Alt: undo). The wheel scrolls (Ctrl: across),
// and zooms with Alt. The scroll bars and the zoom pictures follow the view.

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

#include "analysis/master_light_source_table.h"
#include "dialog/preview_display.h"
#include "ui/ui_settings.h"

namespace lumeray::dialog {
namespace {

constexpr int kWheelNotch = 120;
constexpr double kWheelZoomFactor = 1.1;

bool AltHeld(Qt::KeyboardModifiers modifiers) {
  return (modifiers & Qt::AltModifier) != 0;
}

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
  const double lowest = kZoomSteps[0];
  const double highest = kZoomSteps[std::size(kZoomSteps) - 1];
  if (controls_.zoomIn != nullptr) controls_.zoomIn->setEnabled(view_.zoom < highest);
  if (controls_.zoomOut != nullptr) controls_.zoomOut->setEnabled(view_.zoom > lowest);
  syncing_ = false;
}

void PreviewDisplay::SetZoom(double zoom, QPoint centre) {
  zoom = std::clamp(zoom, kZoomSteps[0], kZoomSteps[std::size(kZoomSteps) - 1]);
  if (zoom == view_.zoom) return;
  ZoomAround(&view_, zoom, centre.x(), centre.y());
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

bool PreviewDisplay::HideShow(const QRect& area, bool click, bool show) {
  const bool alt = AltHeld(QApplication::keyboardModifiers());
  const HideShowOperation operation = show ? (alt ? kUndoShow : kShow) : (alt ? kUndoHide : kHide);
  bool changed;
  if (click) {
    const QPointF p = ImagePoint(area.center());
    changed = HideShowNearest(&MasterTable(), std::trunc(p.x()), std::trunc(p.y()), view_.zoom,
                              operation);
  } else {
    const QPointF a = ImagePoint(area.topLeft());
    const QPointF b = ImagePoint(area.bottomRight() + QPoint(1, 1));
    PixelRectangle r{static_cast<int32_t>(a.x() + 1e-10), static_cast<int32_t>(a.y() + 1e-10),
                     static_cast<int32_t>(b.x() + 1e-10), static_cast<int32_t>(b.y() + 1e-10)};
    if (r.right == r.left) ++r.right;
    if (r.bottom == r.top) ++r.bottom;
    changed = HideShowInRectangle(&MasterTable(), r, operation);
  }
  if (changed) RequestFrame();
  return changed;
}

void PreviewDisplay::SetToolRect(const QRect& rect) {
  toolRect_ = rect;
  RequestFrame();
}

void PreviewDisplay::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !live()) return;
  setFocus(Qt::MouseFocusReason);
  dragging_ = true;
  dragStart_ = dragLast_ = event->position().toPoint();
}

void PreviewDisplay::mouseMoveEvent(QMouseEvent* event) {
  if (!dragging_) return;
  const QPoint p = event->position().toPoint();
  if (p == dragLast_) return;
  const QPoint inside(std::clamp(p.x(), 1, width() - 2), std::clamp(p.y(), 1, height() - 2));
  if (tool_ == kToolPan) {
    // The image follows the hand.
    ScrollBy(dragLast_.x() - p.x(), dragLast_.y() - p.y());
  } else if (tool_ == kToolZoom || tool_ == kToolHide || tool_ == kToolShow) {
    SetToolRect(QRect(dragStart_, inside).normalized());
  }
  dragLast_ = p;
}

void PreviewDisplay::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !dragging_) return;
  dragging_ = false;
  const QPoint p = event->position().toPoint();
  const QPoint inside(std::clamp(p.x(), 1, width() - 2), std::clamp(p.y(), 1, height() - 2));
  const bool click = (p - dragStart_).manhattanLength() < QApplication::startDragDistance();
  const QRect dragged = QRect(dragStart_, inside).normalized();
  const bool hadRect = !toolRect_.isEmpty();
  toolRect_ = QRect();
  switch (tool_) {
    case kToolZoom:
      if (click || dragged.width() < 2 || dragged.height() < 2) {
        ZoomStep(!AltHeld(event->modifiers()), inside);
      } else {
        // The dragged rectangle fills the view.
        const double w = std::max(1, width() - 2), h = std::max(1, height() - 2);
        const double zoom = view_.zoom * std::min(w / dragged.width(), h / dragged.height());
        const QPointF c = ImagePoint(dragged.center());
        view_.zoom = std::clamp(zoom, kZoomSteps[0], kZoomSteps[std::size(kZoomSteps) - 1]);
        CenterOn(&view_, c.x() - view_.image.left, c.y() - view_.image.top);
        ViewChanged();
      }
      return;
    case kToolHide:
    case kToolShow:
      if (!HideShow(click ? QRect(dragStart_, QSize(1, 1)) : dragged, click, tool_ == kToolShow) &&
          hadRect) {
        RequestFrame();  // erases the rectangle
      }
      return;
    default:
      if (hadRect) RequestFrame();
      return;
  }
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
  if (AltHeld(m)) {
    if (m & Qt::ShiftModifier) {
      for (int i = 0; i < std::abs(notches); ++i) ZoomStep(notches < 0, centre);
    } else {
      SetZoom(view_.zoom * std::pow(kWheelZoomFactor, -notches), centre);
    }
    return;
  }
  const int32_t step = 10 * notches;
  if (m & Qt::ControlModifier) {
    ScrollBy(step, 0);
  } else {
    ScrollBy(0, step);
  }
}

bool PreviewDisplay::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonRelease &&
      static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton &&
      (watched == controls_.zoomIn || watched == controls_.zoomOut)) {
    ZoomStep(watched == controls_.zoomIn, QPoint(width() / 2, height() / 2));
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace lumeray::dialog
