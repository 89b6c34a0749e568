#include "dialog/dialog_layout.h"

#include <algorithm>
#include <climits>

#include "diagnostics/message_report.h"

namespace lumeray::dialog {

void DialogLayout::Record(QWidget* dialog, std::span<QWidget* const> controls) {
  initialClient_ = dialog->size();
  std::lock_guard<std::mutex> lock(itemsLock_);
  items_.clear();
  for (QWidget* control : controls) {
    if (items_.size() == kMaximumDialogItems) {
      MessageReport report(__LINE__, kMessageDebug);
      report.Report(kIconError, kTitleDebugUnexpectedError,
                    "Number of controls has exceeded InitialDialogItems[] table size");
      break;
    }
    const int id = control->property("controlId").toInt();
    const QRect rect = control->geometry();
    items_.push_back({control, id, rect, LayoutRule(id), rect});
  }
}

QRect DialogLayout::Anchored(const QRect& initial, const AnchorRules& rules, int dw, int dh) {
  int left = initial.left() + ((rules.topLeft & 1) ? dw : 0);
  int top = initial.top() + ((rules.topLeft & 2) ? dh : 0);
  int right = initial.x() + initial.width() + ((rules.bottomRight & 1) ? dw : 0);
  int bottom = initial.y() + initial.height() + ((rules.bottomRight & 2) ? dh : 0);
  if (left > right) left = right;
  if (top > bottom) top = bottom;
  return QRect(left, top, right - left, bottom - top);
}

bool DialogLayout::Reposition(QWidget* dialog) {
  const int dw = dialog->width() - initialClient_.width();
  const int dh = dialog->height() - initialClient_.height();
  // One batch: nothing is painted until every control has its new place.
  const bool updates = dialog->updatesEnabled();
  dialog->setUpdatesEnabled(false);
  bool any = false;
  {
    std::lock_guard<std::mutex> lock(itemsLock_);
    for (DialogItem& item : items_) {
      if (item.rules.topLeft > 3 || item.rules.bottomRight > 3) continue;
      item.current = Anchored(item.initial, item.rules, dw, dh);
      item.widget->setGeometry(item.current);
      any = true;
    }
  }
  dialog->setUpdatesEnabled(updates);
  return any;
}

QRect DialogLayout::ControlRectangle(int id) const {
  const QRect placement = ControlPlacement(id);
  return placement.isNull() ? QRect() : QRect(0, 0, placement.width(), placement.height());
}

QRect DialogLayout::ControlPlacement(int id) const {
  std::lock_guard<std::mutex> lock(itemsLock_);
  for (const DialogItem& item : items_) {
    if (item.id == id) return item.current;
  }
  return QRect();
}

size_t DialogLayout::count() const {
  std::lock_guard<std::mutex> lock(itemsLock_);
  return items_.size();
}

QRect FitRectToMonitors(const QRect& rect, const QSize& initialSize,
                        std::span<const QRect> monitors) {
  if (monitors.empty()) return rect;
  QRect virtualScreen;
  for (const QRect& monitor : monitors) virtualScreen = virtualScreen.united(monitor);
  if (virtualScreen.contains(rect)) return rect;

  // The monitor nearest to the rectangle: the largest overlap, else the smallest gap.
  const QRect* nearest = &monitors.front();
  long long bestOverlap = -1;
  long long bestGap = LLONG_MAX;
  for (const QRect& monitor : monitors) {
    const QRect overlap = monitor.intersected(rect);
    const long long area = overlap.isEmpty() ? 0 : 1LL * overlap.width() * overlap.height();
    const long long gx =
        std::max({0, monitor.left() - rect.right(), rect.left() - monitor.right()});
    const long long gy =
        std::max({0, monitor.top() - rect.bottom(), rect.top() - monitor.bottom()});
    const long long gap = gx * gx + gy * gy;
    if (area > bestOverlap || (area == 0 && bestOverlap == 0 && gap < bestGap)) {
      nearest = &monitor;
      bestOverlap = area;
      bestGap = gap;
    }
  }
  int width = rect.width();
  int height = rect.height();
  if (width > nearest->width()) width = std::max(nearest->width() - 1, initialSize.width());
  if (height > nearest->height()) height = std::max(nearest->height() - 1, initialSize.height());
  const int left = nearest->left() + std::max(0, (nearest->width() - width) / 2);
  const int top = nearest->top() + std::max(0, (nearest->height() - height) / 2);
  return QRect(left, top, width, height);
}

}  // namespace lumeray::dialog
