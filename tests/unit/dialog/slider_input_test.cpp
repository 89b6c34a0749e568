// Slider rows: typing, keys, wheel and the trackbar all store the clamped field.
#include <QLineEdit>
#include <QSlider>
#include <QWheelEvent>

#include "dialog/slider_controls.h"
#include "unit/dialog/dialog_test_support.h"

namespace lumeray {
namespace {

using testing::DialogTest;

// Each slider's range, page step and Ctrl step as the product defines them.
struct SliderCase {
  int16_t ParameterSet::*id;
  int minimum, maximum, page, ctrl;
};
constexpr SliderCase kCases[] = {
    {&ParameterSet::Quantity, 0, 100, 10, 10},
    {&ParameterSet::Intensity, 0, 100, 10, 10},
    {&ParameterSet::Length, 0, 100, 10, 10},
    {&ParameterSet::Angle, -900, 900, 100, 10},
    {&ParameterSet::NumberOfPoints, 1, 32, 8, 2},
    {&ParameterSet::SpikeSharpness, 0, 100, 10, 10},
    {&ParameterSet::ColorSaturation, -100, 100, 10, 10},
    {&ParameterSet::RainbowIntensity, 0, 100, 10, 10},
    {&ParameterSet::RainbowFrequency, 0, 100, 10, 10},
    {&ParameterSet::SecondarySpikeIntensity, 0, 100, 10, 10},
    {&ParameterSet::SoftFlareIntensity, 0, 100, 10, 10},
};

class SliderInput : public DialogTest {
 protected:
  dialog::SliderPair& Pair(int16_t ParameterSet::*id) { return dialog->SliderAt(SliderIndex(id)); }
  int16_t Field(int16_t ParameterSet::*id) { return parameters.*SliderOf(id).field; }
  void Type(int16_t ParameterSet::*id, const char* text) {
    Pair(id).Focus();
    QTest::keyClicks(Pair(id).valueBox(), QString::fromLatin1(text));
  }
};

TEST_F(SliderInput, ArrowCtrlAndPageKeysStepFromTheValueAndStopAtTheEnds) {
  for (const SliderCase& c : kCases) {
    SCOPED_TRACE(SliderOf(c.id).label);
    const int start = (c.minimum + c.maximum) / 2;
    Pair(c.id).SetValue(start);
    QLineEdit* box = Pair(c.id).valueBox();
    Pair(c.id).Focus();
    QTest::keyClick(box, Qt::Key_Up);
    EXPECT_EQ(Field(c.id), start + 1);
    QTest::keyClick(box, Qt::Key_Up, Qt::ControlModifier);
    EXPECT_EQ(Field(c.id), start + 1 + c.ctrl);
    QTest::keyClick(box, Qt::Key_PageDown);
    EXPECT_EQ(Field(c.id), start + 1 + c.ctrl - c.page);
    QTest::keyClick(box, Qt::Key_Down);
    EXPECT_EQ(Field(c.id), start + c.ctrl - c.page);
    for (int i = 0; i < 40; ++i) QTest::keyClick(box, Qt::Key_PageUp);
    EXPECT_EQ(Field(c.id), c.maximum);
    EXPECT_EQ(box->text(), dialog::SliderText(SliderOf(c.id), static_cast<int16_t>(c.maximum)));
  }
}

TEST_F(SliderInput, TheWheelAndTheTrackbarDragStoreTheField) {
  for (const SliderCase& c : kCases) {
    SCOPED_TRACE(SliderOf(c.id).label);
    QSlider* bar = Pair(c.id).trackbar();
    const int16_t before = Field(c.id);
    const QPointF middle(bar->width() / 2.0, bar->height() / 2.0);
    QWheelEvent wheel(middle, bar->mapToGlobal(middle), QPoint(), QPoint(0, 120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(bar, &wheel);
    EXPECT_GT(Field(c.id), before);
    EXPECT_EQ(Field(c.id), bar->value());

    // A press at the channel's right end takes the maximum at once; dragging to the left end
    // takes the minimum; the release hands the focus to the value box.
    const int y = bar->height() / 2;
    QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(bar->width() - 1, y));
    EXPECT_EQ(Field(c.id), c.maximum);
    EXPECT_TRUE(bar->isSliderDown()) << "the thumb is held after the jump";
    QMouseEvent drag(QEvent::MouseMove, QPointF(0, y), bar->mapToGlobal(QPointF(0, y)),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(bar, &drag);
    QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(0, y));
    EXPECT_EQ(Field(c.id), c.minimum);
    EXPECT_EQ(Pair(c.id).valueBox()->text(),
              dialog::SliderText(SliderOf(c.id), static_cast<int16_t>(c.minimum)));
    EXPECT_TRUE(Pair(c.id).valueBox()->hasFocus());
  }
}

// Typed text: Angle with one decimal, letters refused, overlong numbers clamped.
TEST_F(SliderInput, TypedTextStoresTheClampedFieldAndShowsItOnLeaving) {
  const struct {
    int16_t ParameterSet::*id;
    const char* typed;
    int16_t stored;
    const char* shown;
  } cases[] = {{&ParameterSet::Angle, "15.07", 150, "15.0"},
               {&ParameterSet::Angle, "-90.0", -900, "-90.0"},
               {&ParameterSet::Angle, "90.0", 900, "90.0"},
               {&ParameterSet::Quantity, "1g2", 12, "12"},
               {&ParameterSet::Intensity, "1234567", 100, "100"},
               {&ParameterSet::NumberOfPoints, "0", 1, "1"}};
  for (const auto& c : cases) {
    Type(c.id, c.typed);
    EXPECT_EQ(Field(c.id), c.stored) << c.typed;
    Pair(&ParameterSet::Length).Focus();
    EXPECT_EQ(Pair(c.id).valueBox()->text(), c.shown) << c.typed;
  }
}

TEST(SliderText, ParsingTruncatesScalesAndClamps) {
  struct Case {
    int16_t ParameterSet::*id;
    const char* text;
    std::optional<int16_t> expected;
  };
  const Case cases[] = {
      {&ParameterSet::Angle, "15.07", 150},
      {&ParameterSet::Angle, "-95", -900},
      {&ParameterSet::Angle, "-0.19", -1},
      {&ParameterSet::Quantity, "+7", 7},
      {&ParameterSet::Quantity, "x", 0},
      {&ParameterSet::NumberOfPoints, "x", 1},
      {&ParameterSet::Quantity, "", std::nullopt},
      {&ParameterSet::Quantity, "9e30", 100},
      {&ParameterSet::ColorSaturation, "-1e30", -100},
      {&ParameterSet::ColorSaturation, "-100", -100},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(dialog::ParseSliderText(SliderOf(c.id), QString::fromLatin1(c.text)), c.expected)
        << SliderOf(c.id).label << " '" << c.text << "'";
  }
  EXPECT_EQ(dialog::SliderText(SliderOf(&ParameterSet::Angle), -900), "-90.0");
  EXPECT_EQ(dialog::SliderText(SliderOf(&ParameterSet::ColorSaturation), -100), "-100");
}

}  // namespace
}  // namespace lumeray
