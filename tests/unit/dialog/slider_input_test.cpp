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
  SliderId id;
  int minimum, maximum, page, ctrl;
};
constexpr SliderCase kCases[] = {
    {SliderId::kQuantity, 0, 100, 10, 10},
    {SliderId::kIntensity, 0, 100, 10, 10},
    {SliderId::kLength, 0, 100, 10, 10},
    {SliderId::kAngle, -900, 900, 100, 10},
    {SliderId::kNumberOfPoints, 1, 32, 8, 2},
    {SliderId::kSpikeSharpness, 0, 100, 10, 10},
    {SliderId::kColorSaturation, -100, 100, 10, 10},
    {SliderId::kRainbowIntensity, 0, 100, 10, 10},
    {SliderId::kRainbowFrequency, 0, 100, 10, 10},
    {SliderId::kSecondarySpikeIntensity, 0, 100, 10, 10},
    {SliderId::kSoftFlareIntensity, 0, 100, 10, 10},
};

class SliderInput : public DialogTest {
 protected:
  dialog::SliderPair& Pair(SliderId id) { return dialog->SliderAt(static_cast<size_t>(id)); }
  int16_t Field(SliderId id) { return parameters.*Slider(id).field; }
  void Type(SliderId id, const char* text) {
    Pair(id).Focus();
    QTest::keyClicks(Pair(id).valueBox(), QString::fromLatin1(text));
  }
};

TEST_F(SliderInput, TypingStoresTheValueClampedToTheRange) {
  for (const SliderCase& c : kCases) {
    SCOPED_TRACE(Slider(c.id).name);
    Type(c.id, "999");
    EXPECT_EQ(Field(c.id), c.maximum);
    EXPECT_EQ(Pair(c.id).trackbar()->value(), c.maximum);
    Type(c.id, "-999");
    EXPECT_EQ(Field(c.id), c.minimum);
  }
}

TEST_F(SliderInput, ArrowCtrlAndPageKeysStepFromTheValueAndStopAtTheEnds) {
  for (const SliderCase& c : kCases) {
    SCOPED_TRACE(Slider(c.id).name);
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
    EXPECT_EQ(box->text(), dialog::SliderText(Slider(c.id), static_cast<int16_t>(c.maximum)));
  }
}

TEST_F(SliderInput, TheWheelAndTheTrackbarDragStoreTheField) {
  for (const SliderCase& c : kCases) {
    SCOPED_TRACE(Slider(c.id).name);
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
              dialog::SliderText(Slider(c.id), static_cast<int16_t>(c.minimum)));
    EXPECT_TRUE(Pair(c.id).valueBox()->hasFocus());
  }
}

TEST_F(SliderInput, AngleShowsOneDecimalAndTakesBothEnds) {
  Type(SliderId::kAngle, "15.07");
  EXPECT_EQ(parameters.Angle, 150);
  Pair(SliderId::kLength).Focus();
  EXPECT_EQ(Pair(SliderId::kAngle).valueBox()->text(), "15.0");
  Type(SliderId::kAngle, "-90.0");
  EXPECT_EQ(parameters.Angle, -900);
  Type(SliderId::kAngle, "90.0");
  EXPECT_EQ(parameters.Angle, 900);
  EXPECT_EQ(Pair(SliderId::kAngle).valueBox()->text(), "90.0");
}

TEST_F(SliderInput, LettersAndOverlongNumbersNeverStoreAnOutOfRangeField) {
  Type(SliderId::kQuantity, "1g2");
  EXPECT_EQ(Pair(SliderId::kQuantity).valueBox()->text(), "12") << "the letter is refused";
  EXPECT_EQ(parameters.Quantity, 12);
  Type(SliderId::kIntensity, "1234567");
  EXPECT_EQ(parameters.Intensity, 100);
  Type(SliderId::kNumberOfPoints, "0");
  EXPECT_EQ(parameters.NumberOfPoints, 1);
}

TEST(SliderText, ParsingTruncatesScalesAndClamps) {
  struct Case {
    SliderId id;
    const char* text;
    std::optional<int16_t> expected;
  };
  const Case cases[] = {
      {SliderId::kAngle, "15.07", 150},
      {SliderId::kAngle, "-95", -900},
      {SliderId::kAngle, "-0.19", -1},
      {SliderId::kQuantity, "+7", 7},
      {SliderId::kQuantity, "x", 0},
      {SliderId::kNumberOfPoints, "x", 1},
      {SliderId::kQuantity, "", std::nullopt},
      {SliderId::kQuantity, "9e30", 100},
      {SliderId::kColorSaturation, "-1e30", -100},
      {SliderId::kColorSaturation, "-100", -100},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(dialog::ParseSliderText(Slider(c.id), QString::fromLatin1(c.text)), c.expected)
        << Slider(c.id).name << " '" << c.text << "'";
  }
  EXPECT_EQ(dialog::SliderText(Slider(SliderId::kAngle), -900), "-90.0");
  EXPECT_EQ(dialog::SliderText(Slider(SliderId::kColorSaturation), -100), "-100");
}

}  // namespace
}  // namespace lumeray
