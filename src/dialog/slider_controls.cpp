#include "dialog/slider_controls.h"

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QSignalBlocker>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QWheelEvent>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

namespace lumeray::dialog {
namespace {

constexpr int kMaximumParsedCharacters = 31;

float PowerOfTen(int decimals) {
  float scale = 1.0f;
  for (int i = 0; i < decimals; ++i) scale *= 10.0f;
  return scale;
}

bool IsValueCharacter(QChar c) {
  return c.isDigit() || c == u'.' || c == u'-' || c == u'+';
}

}  // namespace

std::optional<int16_t> ParseSliderText(const SliderDescriptor& slider, const QString& text) {
  const QByteArray bytes = text.left(kMaximumParsedCharacters).toLatin1();
  if (bytes.isEmpty()) return std::nullopt;
  const char* begin = bytes.constData();
  const char* end = begin + bytes.size();
  while (begin < end && *begin == ' ') ++begin;
  if (begin < end && *begin == '+') ++begin;
  float number = 0.0f;  // a text that is no number converts to 0
  if (std::from_chars(begin, end, number).ec != std::errc()) number = 0.0f;
  if (std::isnan(number)) number = 0.0f;
  const float scaled = std::trunc(number * PowerOfTen(slider.decimals));
  // Clamped as a real number first, so that huge or infinite texts never overflow an integer.
  const float clamped =
      std::clamp(scaled, static_cast<float>(slider.minimum), static_cast<float>(slider.maximum));
  return static_cast<int16_t>(clamped);
}

QString SliderText(const SliderDescriptor& slider, int16_t value) {
  if (slider.decimals > 0) {
    return QString::asprintf("%.*f", slider.decimals,
                             static_cast<double>(value / PowerOfTen(slider.decimals)));
  }
  return QString::number(value);
}

SliderPair::SliderPair(const SliderDescriptor& slider, QLineEdit* valueBox, QSlider* trackbar,
                       std::function<void()> changed, QObject* parent)
    : QObject(parent),
      slider_(slider),
      valueBox_(valueBox),
      trackbar_(trackbar),
      changed_(std::move(changed)) {}

void SliderPair::Bind(int16_t* field) {
  field_ = field;
  *field_ = ClampToSlider(slider_, *field_);
  {
    QSignalBlocker block(trackbar_);
    trackbar_->setRange(slider_.minimum, slider_.maximum);
    trackbar_->setPageStep(slider_.pageSize);
    trackbar_->setSingleStep(slider_.lineSize);
  }
  trackbar_->setFocusPolicy(Qt::ClickFocus);  // keyboard steps go through the value box
  // The limit admits every text the box itself shows (Angle's "-90.0" has five characters).
  const int longest = std::max<int>(
      {slider_.maximumCharacters, static_cast<int>(SliderText(slider_, slider_.minimum).size()),
       static_cast<int>(SliderText(slider_, slider_.maximum).size())});
  valueBox_->setMaxLength(longest);
  QPalette palette = valueBox_->palette();
  palette.setColor(QPalette::Base, Qt::white);
  palette.setColor(QPalette::Text, Qt::black);
  valueBox_->setPalette(palette);
  QFont font(QStringLiteral("Tahoma"));
  font.setPointSizeF(valueBox_->font().pointSizeF());
  valueBox_->setFont(font);
  valueBox_->installEventFilter(this);
  trackbar_->installEventFilter(this);
  connect(valueBox_, &QLineEdit::textChanged, this, &SliderPair::OnTextChanged);
  connect(trackbar_, &QSlider::valueChanged, this, &SliderPair::OnTrackbarValue);
  connect(trackbar_, &QSlider::sliderReleased, this, [this] { Focus(); });
  Refresh();
}

void SliderPair::Refresh() {
  if (field_ == nullptr) return;
  *field_ = ClampToSlider(slider_, *field_);
  MoveTrackbar(*field_);
  WriteText(*field_);
}

bool SliderPair::SetValue(int value) {
  const int16_t clamped = ClampToSlider(slider_, value);
  if (slider_.minimum < 0) MoveTrackbar(slider_.minimum);
  MoveTrackbar(clamped);
  WriteText(clamped);
  if (field_ == nullptr) return false;
  const bool changed = *field_ != clamped;
  *field_ = clamped;
  return changed;
}

void SliderPair::Focus() {
  valueBox_->setFocus(Qt::ShortcutFocusReason);
  valueBox_->selectAll();
}

void SliderPair::WriteText(int16_t value) {
  if (value < slider_.minimum || value > slider_.maximum) return;
  QSignalBlocker block(valueBox_);
  valueBox_->setText(SliderText(slider_, value));
  if (editing_) valueBox_->selectAll();
}

void SliderPair::MoveTrackbar(int16_t value) {
  const bool wasUpdating = updating_;
  updating_ = true;
  trackbar_->setValue(value);
  updating_ = wasUpdating;
}

void SliderPair::Step(int amount) {
  if (SetValue(trackbar_->value() + amount)) changed_();
}

void SliderPair::OnTextChanged(const QString& text) {
  if (!editing_ || field_ == nullptr) return;
  const std::optional<int16_t> value = ParseSliderText(slider_, text);
  if (!value) return;  // an empty box keeps the field
  if (*value != *field_) {
    *field_ = *value;
    changed_();
  }
  MoveTrackbar(*value);
}

void SliderPair::OnTrackbarValue(int value) {
  if (updating_ || field_ == nullptr) return;
  const int16_t clamped = ClampToSlider(slider_, value);
  if (clamped == *field_) return;
  *field_ = clamped;
  WriteText(clamped);
  changed_();
}

void SliderPair::SetEditing(bool editing) {
  editing_ = editing;
  QFont font = valueBox_->font();
  font.setBold(editing);
  valueBox_->setFont(font);
}

bool SliderPair::eventFilter(QObject* watched, QEvent* event) {
  if (watched == valueBox_) return ValueBoxEvent(event);
  if (watched == trackbar_ && !forwarding_) return TrackbarEvent(event);
  return false;
}

bool SliderPair::ValueBoxEvent(QEvent* event) {
  switch (event->type()) {
    case QEvent::FocusIn:
      SetEditing(true);
      valueBox_->selectAll();
      return false;
    case QEvent::FocusOut:
      SetEditing(false);
      if (field_ != nullptr) WriteText(*field_);
      return false;
    case QEvent::Wheel: {
      const int notches = static_cast<QWheelEvent*>(event)->angleDelta().y() / 120;
      if (notches != 0) Step(notches * slider_.lineSize);
      return true;
    }
    case QEvent::KeyPress: {
      auto* key = static_cast<QKeyEvent*>(event);
      const int repeat = std::max(1, key->count());
      const bool ctrl = key->modifiers().testFlag(Qt::ControlModifier);
      switch (key->key()) {
        case Qt::Key_PageUp:
          Step(slider_.pageSize * repeat);
          return true;
        case Qt::Key_PageDown:
          Step(-slider_.pageSize * repeat);
          return true;
        case Qt::Key_Up:
          Step((ctrl ? slider_.controlStep : slider_.lineSize) * repeat);
          return true;
        case Qt::Key_Down:
          Step(-(ctrl ? slider_.controlStep : slider_.lineSize) * repeat);
          return true;
        default:
          break;
      }
      const QString text = key->text();
      if (ctrl || text.isEmpty() || !text.at(0).isPrint()) return false;  // editing keys
      if (IsValueCharacter(text.at(0))) return false;
      QApplication::beep();
      return true;
    }
    default:
      return false;
  }
}

bool SliderPair::TrackbarEvent(QEvent* event) {
  switch (event->type()) {
    case QEvent::FocusIn:
      SetEditing(true);
      return false;
    case QEvent::FocusOut:
      if (QApplication::focusWidget() != valueBox_) {
        SetEditing(false);
        if (field_ != nullptr) WriteText(*field_);
      }
      return false;
    case QEvent::MouseButtonPress: {
      auto* mouse = static_cast<QMouseEvent*>(event);
      if (mouse->button() != Qt::LeftButton) return false;
      QStyleOptionSlider option;
      option.initFrom(trackbar_);
      option.orientation = Qt::Horizontal;
      option.minimum = trackbar_->minimum();
      option.maximum = trackbar_->maximum();
      option.sliderPosition = trackbar_->value();
      option.sliderValue = trackbar_->value();
      option.subControls = QStyle::SC_All;
      QStyle* style = trackbar_->style();
      const QRect thumb =
          style->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, trackbar_);
      const int x = static_cast<int>(mouse->position().x());
      if (thumb.contains(mouse->position().toPoint())) {
        valueBox_->selectAll();
        return false;
      }
      const QRect channel =
          style->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, trackbar_);
      const int span = channel.width() - thumb.width();
      if (span <= 0) return false;
      const int range = slider_.maximum - slider_.minimum;
      const int offset = x - channel.left() - thumb.width() / 2;
      // Integer division as the formula has it, then clamped by SetValue.
      const int value = slider_.minimum + (offset * range + span / 2) / span;
      if (SetValue(value)) changed_();
      // Hand the press on at the thumb's new centre, so the drag starts from there at once.
      option.sliderPosition = trackbar_->value();
      option.sliderValue = trackbar_->value();
      const QPointF centre =
          style->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, trackbar_)
              .center();
      QMouseEvent moved(QEvent::MouseButtonPress, centre, trackbar_->mapToGlobal(centre),
                        Qt::LeftButton, mouse->buttons(), mouse->modifiers());
      forwarding_ = true;
      QApplication::sendEvent(trackbar_, &moved);
      forwarding_ = false;
      return true;
    }
    default:
      return false;
  }
}

}  // namespace lumeray::dialog
