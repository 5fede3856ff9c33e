#include <gtest/gtest.h>

#include <QImage>
#include <QLineEdit>
#include <QLocale>
#include <QSignalSpy>
#include <QTest>
#include <functional>

#include "controls/KWDWKnob.h"
#include "controls/KWDWSlider.h"
#include "controls/KWRangeSlider.h"
#include "controls/KWValueTag.h"
#include "tests/controls/MouseHelpers.h"

namespace tg {
namespace value_controls_test {

using test::Drag;

TEST(ValueScaleTest, LawsAndTheirInverses) {
  EXPECT_NEAR(ValueAtPosition(0.5, 20, 20000, ValueScale::Logarithmic), 632.46, 0.01);
  EXPECT_NEAR(ValueAtPosition(0.5, 20, 20000, ValueScale::Linear), 10010, 1e-9);
  EXPECT_NEAR(ValueAtPosition(0.5, 100, 400, ValueScale::Octave), 200, 1e-9);
  for (ValueScale s : {ValueScale::Linear, ValueScale::Logarithmic, ValueScale::Octave}) {
    EXPECT_NEAR(PositionOfValue(ValueAtPosition(0.3, 20, 20000, s), 20, 20000, s), 0.3, 1e-12);
  }
  EXPECT_EQ(PositionOfValue(50000, 20, 20000, ValueScale::Logarithmic), 1.0);
  EXPECT_EQ(PositionOfValue(-5, 20, 20000, ValueScale::Logarithmic), 0.0);
}

TEST(KnobTest, SettingValuesPinsToTheEndsAndTellsOfIt) {
  KWDWKnob knob;
  QSignalSpy changed(&knob, &KWDWKnob::OnChange);
  knob.SetMax(10.0);
  knob.SetValue(25.0);
  EXPECT_EQ(knob.Value(), 10.0);
  ASSERT_EQ(changed.count(), 1);
  EXPECT_EQ(changed.at(0).at(0).toDouble(), 25.0);  // the value passed in
  knob.SetValue(25.0);                              // no movement: nothing said
  EXPECT_EQ(changed.count(), 1);

  knob.SetValue(5.0);
  knob.SetMax(20.0);  // the value stays, the pointer moves
  EXPECT_EQ(knob.Value(), 5.0);
  EXPECT_EQ(knob.Position(), 0.25);
}

TEST(KnobTest, DraggingUpTurnsItUpAHundredthAPixel) {
  KWDWKnob knob;
  knob.resize(35, 35);
  knob.SetScale(ValueScale::Logarithmic);
  knob.SetMin(20);
  knob.SetMax(20000);
  QSignalSpy changed(&knob, &KWDWKnob::OnChange);
  Drag(&knob, {17, 30}, {17, 5});
  EXPECT_NEAR(knob.Position(), 0.25, 1e-12);
  Drag(&knob, {17, 30}, {17, 5});
  EXPECT_NEAR(knob.Position(), 0.5, 1e-12);
  EXPECT_NEAR(changed.last().at(0).toDouble(), 632.46, 0.01);
  Drag(&knob, {17, 5}, {17, 15}, Qt::ControlModifier);  // ten times finer
  EXPECT_NEAR(knob.Position(), 0.49, 1e-12);
  Drag(&knob, {17, 0}, {17, 200});
  EXPECT_EQ(knob.Position(), 0.0);
  EXPECT_EQ(knob.Value(), 20.0);
}

TEST(KnobTest, KeysStepTheKnob) {
  KWDWKnob knob;
  QTest::keyClick(&knob, Qt::Key_Up);
  EXPECT_NEAR(knob.Position(), 0.01, 1e-12);
  QTest::keyClick(&knob, Qt::Key_PageUp);
  EXPECT_NEAR(knob.Position(), 0.11, 1e-12);
  QTest::keyClick(&knob, Qt::Key_End);
  EXPECT_EQ(knob.Position(), 1.0);
}

TEST(KnobTest, PointerSweeps270DegreesThroughTheTop) {
  EXPECT_NEAR(KWDWKnob::PointerAngle(0.5), 3.14159265358979, 1e-12);  // straight up
  EXPECT_NEAR(KWDWKnob::PointerAngle(1.0) - KWDWKnob::PointerAngle(0.0), 1.5 * 3.14159265358979,
              1e-12);
  KWDWKnob knob;
  knob.resize(40, 30);
  EXPECT_EQ(knob.KnobRect().width(), 30);
  knob.SetTickStyle(TickStyle::Auto);
  knob.SetFrequency(0.25);
  EXPECT_EQ(knob.TickValues(), (std::vector<double>{0.25, 0.5, 0.75}));
  EXPECT_EQ(knob.KnobRect().width(), 16);  // the tick ring takes 7 pixels each side
}

TEST(SliderTest, TravelIsTheLengthLessTheThumbAndSetValueIsSilent) {
  KWDWSlider slider;
  slider.resize(24, 111);  // 100 pixels of travel
  QSignalSpy changed(&slider, &KWDWSlider::OnChange);
  slider.SetValue(0.5);
  EXPECT_EQ(changed.count(), 0);
  Drag(&slider, {12, 60}, {12, 50});
  EXPECT_NEAR(slider.Position(), 0.6, 1e-12);
  EXPECT_EQ(changed.count(), 10);
  Drag(&slider, {12, 50}, {12, 60}, Qt::ControlModifier);
  EXPECT_NEAR(slider.Position(), 0.59, 1e-12);
  EXPECT_NEAR(slider.ThumbRect().top(), 41, 1);  // p = 1 at the top

  // The drawn thumb is where the geometry puts it.
  const QImage image = slider.grab().toImage();
  const QRect thumb = slider.ThumbRect();
  EXPECT_EQ(image.pixelColor(thumb.left() + 3, thumb.top() + 3),
            slider.palette().color(QPalette::Button));
  // Below the thumb the darker track shows.
  EXPECT_LT(image.pixelColor(slider.width() / 2 - 1, thumb.bottom() + 6).lightness(),
            slider.palette().color(QPalette::Button).lightness() - 40);

  KWDWSlider horizontal;
  horizontal.SetVertical(false);
  horizontal.resize(61, 24);
  Drag(&horizontal, {5, 12}, {30, 12});
  EXPECT_NEAR(horizontal.Position(), 0.5, 1e-12);
}

TEST(RangeDragTest, TheModifierTable) {
  const RangePositions at{0.4, 0.6};
  auto moved = [&](RangeGrab g, bool shift, bool alt) {
    const RangePositions r = DragRange(at, g, shift, alt, 0.1);
    return std::pair{std::round((r.p0 - at.p0) * 10) / 10, std::round((r.p1 - at.p1) * 10) / 10};
  };
  using P = std::pair<double, double>;
  EXPECT_EQ(moved(RangeGrab::Upper, false, false), P(0, 0.1));
  EXPECT_EQ(moved(RangeGrab::Upper, true, false), P(0.1, 0.1));
  EXPECT_EQ(moved(RangeGrab::Upper, false, true), P(0.1, 0));
  EXPECT_EQ(moved(RangeGrab::Upper, true, true), P(-0.1, 0.1));
  EXPECT_EQ(moved(RangeGrab::Lower, false, false), P(0.1, 0));
  EXPECT_EQ(moved(RangeGrab::Lower, false, true), P(0, 0.1));
  EXPECT_EQ(moved(RangeGrab::Bar, false, false), P(0.1, 0.1));
  EXPECT_EQ(moved(RangeGrab::Bar, true, false), P(0, 0.1));
  EXPECT_EQ(moved(RangeGrab::Bar, false, true), P(0.1, 0));
  EXPECT_EQ(moved(RangeGrab::Bar, true, true), P(-0.1, 0.1));
}

TEST(RangeDragTest, LimitsKeepTheRangeInsideAndUncrossed) {
  // Shift+Alt past an end: both ends move by the same clamped amount.
  RangePositions r = DragRange({0.2, 0.9}, RangeGrab::Upper, true, true, 0.3);
  EXPECT_NEAR(r.p1, 1.0, 1e-12);
  EXPECT_NEAR(r.p0, 0.1, 1e-12);
  r = DragRange({0.05, 0.5}, RangeGrab::Bar, false, false, -0.2);
  EXPECT_NEAR(r.p0, 0.0, 1e-12);
  EXPECT_NEAR(r.p1, 0.45, 1e-12);
  // The lower thumb dragged above the upper one stops at it.
  r = DragRange({0.3, 0.5}, RangeGrab::Lower, false, false, 0.4);
  EXPECT_NEAR(r.p0, 0.5, 1e-12);
  EXPECT_NEAR(r.p1, 0.5, 1e-12);
  // Ends moving towards each other meet halfway.
  r = DragRange({0.3, 0.5}, RangeGrab::Bar, true, true, -0.3);
  EXPECT_NEAR(r.p0, 0.4, 1e-12);
  EXPECT_NEAR(r.p1, 0.4, 1e-12);
}

TEST(RangeSliderTest, GrabsTheUpperThumbFirstAndDragsWithModifiers) {
  KWRangeSlider slider;
  slider.resize(24, 116);  // 100 pixels of travel, measured from the bottom
  slider.SetValue0(0.2);
  slider.SetValue1(0.6);
  EXPECT_EQ(slider.GrabAt({12, 115 - 70}), RangeGrab::Upper);  // 60 + 7 … 60 + 15
  EXPECT_EQ(slider.GrabAt({12, 115 - 24}), RangeGrab::Lower);  // 20 … 28
  EXPECT_EQ(slider.GrabAt({12, 115 - 45}), RangeGrab::Bar);
  QSignalSpy changed(&slider, &KWRangeSlider::OnChange);
  Drag(&slider, {12, 115 - 24}, {12, 115 - 34}, Qt::ShiftModifier);  // lower thumb, both move
  EXPECT_NEAR(slider.Value0(), 0.3, 1e-9);
  EXPECT_NEAR(slider.Value1(), 0.7, 1e-9);
  EXPECT_EQ(changed.count(), 10);
}

// ---- Values beside the controls and typed values ---------------------------

struct ShownControl {
  const char* name;
  std::function<QWidget*(QWidget* window)> make;
};

// Each from 0 to 1000 Hz.
const ShownControl kKnob{"Knob", [](QWidget* w) {
                           auto* knob = new KWDWKnob(w);
                           knob->resize(35, 35);
                           knob->SetMax(1000);
                           knob->SetUnit("Hz");
                           return knob;
                         }};
const ShownControl kSlider{"Slider", [](QWidget* w) {
                             auto* slider = new KWDWSlider(w);
                             slider->resize(24, 120);
                             slider->SetMax(1000);
                             slider->SetUnit("Hz");
                             return slider;
                           }};
const ShownControl kRangeSlider{"RangeSlider", [](QWidget* w) {
                                  auto* range = new KWRangeSlider(w);
                                  range->resize(24, 120);
                                  range->SetMax(1000);
                                  range->SetValue0(200);
                                  range->SetValue1(600);
                                  range->SetUnit("Hz");
                                  return range;
                                }};

class ValueShownTest : public ::testing::TestWithParam<ShownControl> {};

QString ShownBy(QWidget* control) {
  if (auto* range = qobject_cast<KWRangeSlider*>(control)) return range->ShownText();
  return static_cast<KWValueControl*>(control)->ShownText();
}

QString ExpectedText(QWidget* control) {
  if (auto* range = qobject_cast<KWRangeSlider*>(control)) return range->RangeText();
  return static_cast<KWValueControl*>(control)->ValueText();
}

TEST_P(ValueShownTest, TheValueIsDrawnBesideTheControlWhileItMoves) {
  QWidget window;
  window.resize(400, 300);
  QWidget* control = GetParam().make(&window);
  control->move(100, 60);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  const QPoint middle = control->rect().center();

  // During a drag, held: the value and its unit, beside the control.
  test::Mouse(control, QEvent::MouseButtonPress, middle);
  for (int dy = 1; dy <= 10; ++dy)
    test::Mouse(control, QEvent::MouseMove, middle - QPoint(-dy, dy));
  const QString shown = ShownBy(control);
  EXPECT_EQ(shown, ExpectedText(control));
  EXPECT_TRUE(shown.endsWith(" Hz")) << shown.toStdString();
  auto* tag = window.findChild<KWValueTag*>();
  ASSERT_NE(tag, nullptr);
  EXPECT_TRUE(tag->isVisible());
  EXPECT_FALSE(tag->geometry().intersects(control->geometry()));
  EXPECT_TRUE(window.rect().contains(tag->geometry()));
  // Released, it goes after a moment.
  test::Mouse(control, QEvent::MouseButtonRelease, middle - QPoint(-10, 10), Qt::NoButton);
  EXPECT_TRUE(QTest::qWaitFor([&] { return ShownBy(control).isEmpty(); }, 20000));

  // A key moves it as well.
  control->setFocus();
  QTest::keyClick(control, Qt::Key_Up);
  EXPECT_EQ(ShownBy(control), ExpectedText(control));
}

INSTANTIATE_TEST_SUITE_P(EveryValueControl, ValueShownTest,
                         ::testing::Values(kKnob, kSlider, kRangeSlider),
                         [](const auto& paramInfo) { return std::string(paramInfo.param.name); });

class TypedValueTest : public ::testing::TestWithParam<ShownControl> {};

TEST_P(TypedValueTest, ADoubleClickOpensAFieldThatTakesOnlyANumberInTheRange) {
  QLocale::setDefault(QLocale(QLocale::German));  // a comma for a point, if asked
  QWidget window;
  window.resize(400, 300);
  auto* control = static_cast<KWValueControl*>(GetParam().make(&window));
  control->move(100, 60);
  control->SetValue(250);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  QSignalSpy changed(control, &KWValueControl::OnChange);

  const auto type = [&](const QString& text, Qt::Key key) {
    QLineEdit* entry = control->Entry();
    ASSERT_NE(entry, nullptr);
    entry->selectAll();
    QTest::keyClicks(entry, text);
    QTest::keyClick(entry, key);
  };
  QTest::mouseDClick(control, Qt::LeftButton, {}, control->rect().center());
  ASSERT_NE(control->Entry(), nullptr);
  EXPECT_TRUE(control->Entry()->isVisible());
  EXPECT_EQ(control->Entry()->text(), "250");

  type("lots", Qt::Key_Return);
  EXPECT_EQ(control->ShownText(), "Not a number: type 0 to 1000 Hz");
  type("1500", Qt::Key_Return);
  EXPECT_EQ(control->ShownText(), "Out of range: type 0 to 1000 Hz");
  EXPECT_EQ(changed.count(), 0);
  EXPECT_EQ(control->Value(), 250);
  ASSERT_NE(control->Entry(), nullptr);  // still open to try again

  type("440.5 Hz", Qt::Key_Return);
  ASSERT_EQ(changed.count(), 1);
  EXPECT_DOUBLE_EQ(changed.at(0).at(0).toDouble(), 440.5);
  EXPECT_DOUBLE_EQ(control->Value(), 440.5);
  EXPECT_EQ(control->Entry(), nullptr);
  EXPECT_EQ(control->ShownText(), "440.5 Hz");

  // From the keyboard, and Escape changes nothing.
  control->setFocus();
  QTest::keyClick(control, Qt::Key_Return);
  type("7", Qt::Key_Escape);
  EXPECT_EQ(control->Entry(), nullptr);
  EXPECT_EQ(changed.count(), 1);
  EXPECT_DOUBLE_EQ(control->Value(), 440.5);
  QLocale::setDefault(QLocale::c());
}

INSTANTIATE_TEST_SUITE_P(KnobAndSlider, TypedValueTest, ::testing::Values(kKnob, kSlider),
                         [](const auto& paramInfo) { return std::string(paramInfo.param.name); });

}  // namespace value_controls_test
}  // namespace tg
