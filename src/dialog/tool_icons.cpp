#include "dialog/tool_icons.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>

#include "ui/ui_settings.h"

namespace lumeray::dialog {

QPixmap ToolIcon(uint32_t tool, IconLook look, const QSize& size) {
  QPixmap pixmap(size.expandedTo(QSize(8, 8)));
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  const QRectF frame = QRectF(pixmap.rect()).adjusted(0.5, 0.5, -0.5, -0.5);
  const QColor ink = look == IconLook::kDisabled ? QColor(150, 150, 150) : QColor(30, 30, 40);
  if (look == IconLook::kSelected) {
    painter.setPen(QPen(QColor(40, 90, 200), 1.0));
    painter.setBrush(QColor(190, 210, 250));
    painter.drawRoundedRect(frame, 3, 3);
  } else {
    painter.setPen(QPen(QColor(160, 160, 160), 1.0));
    painter.setBrush(look == IconLook::kDisabled ? QColor(225, 225, 225) : QColor(245, 245, 245));
    painter.drawRoundedRect(frame, 3, 3);
  }
  const double w = pixmap.width();
  const double h = pixmap.height();
  const QPointF c(w / 2, h / 2);
  painter.setPen(QPen(ink, std::max(1.5, w / 12), Qt::SolidLine, Qt::RoundCap));
  painter.setBrush(Qt::NoBrush);
  switch (tool) {
    case kToolPan: {  // four arrows
      const double r = w * 0.32;
      painter.drawLine(c - QPointF(r, 0), c + QPointF(r, 0));
      painter.drawLine(c - QPointF(0, r), c + QPointF(0, r));
      const double a = w * 0.1;
      for (int dx : {-1, 1}) {
        const QPointF tip = c + QPointF(dx * r, 0);
        painter.drawLine(tip, tip + QPointF(-dx * a, -a));
        painter.drawLine(tip, tip + QPointF(-dx * a, a));
        const QPointF tipY = c + QPointF(0, dx * r);
        painter.drawLine(tipY, tipY + QPointF(-a, -dx * a));
        painter.drawLine(tipY, tipY + QPointF(a, -dx * a));
      }
      break;
    }
    case kToolZoom: {  // magnifier
      const double r = w * 0.22;
      const QPointF lens = c - QPointF(w * 0.06, h * 0.06);
      painter.drawEllipse(lens, r, r);
      painter.drawLine(lens + QPointF(r * 0.7, r * 0.7), QPointF(w * 0.8, h * 0.8));
      break;
    }
    case kToolHide:
    case kToolShow: {  // a star with minus or plus
      const double r = w * 0.2;
      const QPointF star = c - QPointF(w * 0.08, h * 0.08);
      for (int i = 0; i < 4; ++i) {
        const double angle = i * M_PI / 4;
        const QPointF d(std::cos(angle) * r, std::sin(angle) * r);
        painter.drawLine(star - d, star + d);
      }
      const QPointF sign(w * 0.72, h * 0.72);
      const double s = w * 0.12;
      painter.drawLine(sign - QPointF(s, 0), sign + QPointF(s, 0));
      if (tool == kToolShow) painter.drawLine(sign - QPointF(0, s), sign + QPointF(0, s));
      break;
    }
    default:
      break;
  }
  return pixmap;
}

QPixmap LogoPicture(const QSize& size) {
  QPixmap pixmap(size.expandedTo(QSize(8, 8)));
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  QFont font = painter.font();
  font.setBold(true);
  const QString name = QStringLiteral("Lumeray Pro 2");
  int pixels = std::max(8, pixmap.height() * 2 / 5);
  for (; pixels > 8; --pixels) {  // the largest size whose text fits the width
    font.setPixelSize(pixels);
    if (QFontMetrics(font).horizontalAdvance(name) <= pixmap.width() - 4) break;
  }
  font.setPixelSize(pixels);
  painter.setFont(font);
  painter.setPen(QColor(40, 60, 130));
  painter.drawText(pixmap.rect(), Qt::AlignCenter, name);
  return pixmap;
}

}  // namespace lumeray::dialog
