// One slider row of the main dialog: a one-line value box and a horizontal trackbar kept in
// step with each other and with the bound i16 field of the ParameterSet. The ranges, steps,
// decimals and text limits come from the slider table of effects/parameter_set.
//
// Input: typed numbers (digits, ".", "-", "+"; other characters are refused with a beep), Up and
// Down by the line step (by the Ctrl step with Ctrl held), Page Up and Page Down by the page
// step, the wheel by the line step per notch, and the trackbar (click in the channel jumps the
// thumb under the pointer, drag, wheel). Every value is clamped to the slider's range before it
// is stored, and every change of the field calls `changed`.
//
// Threading contract: UI thread only; the widgets belong to the dialog.
#pragma once

#include <QLineEdit>
#include <QObject>
#include <QSlider>

#include <cstdint>
#include <functional>
#include <optional>

#include "effects/parameter_set.h"

namespace lumeray::dialog {

// The value of a value box's text: converted to a real number (an empty text gives nothing, a
// non-numeric one 0), scaled by the decimals, truncated toward zero and clamped to the range.
std::optional<int16_t> ParseSliderText(const SliderDescriptor& slider, const QString& text);
// The text of a value: one decimal for Angle ("15.0"), a signed integer otherwise.
QString SliderText(const SliderDescriptor& slider, int16_t value);

class SliderPair : public QObject {
 public:
  SliderPair(const SliderDescriptor& slider, QLineEdit* valueBox, QSlider* trackbar,
             std::function<void()> changed, QObject* parent);

  // Binds the field: clamps it, sets the trackbar's range and steps and shows the value.
  void Bind(int16_t* field);
  // Re-reads the field (clamped) into both controls.
  void Refresh();
  // Stores a clamped value in both controls and the field; true when the field changed.
  bool SetValue(int value);
  // Focuses the value box with its whole text selected.
  void Focus();

  bool editing() const { return editing_; }
  const SliderDescriptor& descriptor() const { return slider_; }
  QLineEdit* valueBox() const { return valueBox_; }
  QSlider* trackbar() const { return trackbar_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void WriteText(int16_t value);
  void MoveTrackbar(int16_t value);
  void Step(int amount);
  void OnTextChanged(const QString& text);
  void OnTrackbarValue(int value);
  bool ValueBoxEvent(QEvent* event);
  bool TrackbarEvent(QEvent* event);
  void SetEditing(bool editing);

  const SliderDescriptor& slider_;
  QLineEdit* valueBox_;
  QSlider* trackbar_;
  std::function<void()> changed_;
  int16_t* field_ = nullptr;
  bool editing_ = false;
  bool updating_ = false;  // the controls are being set from the field
  bool forwarding_ = false;
};

}  // namespace lumeray::dialog
