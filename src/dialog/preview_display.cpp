#include "dialog/preview_display.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QTimerEvent>

#include <cmath>

#include "dialog/dialog_messages.h"

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
  if (watch_.progress) timer_ = startTimer(kPollMilliseconds);
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

void PreviewDisplay::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (splash_.size() != size()) splash_ = SplashPicture(size());
  painter.drawImage(0, 0, splash_);
}

void PreviewDisplay::timerEvent(QTimerEvent* event) {
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

}  // namespace lumeray::dialog
