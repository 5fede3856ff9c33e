#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QHelpEvent>
#include <QImage>
#include <QTest>
#include <QToolTip>
#include <algorithm>
#include <cstdlib>
#include <set>

#include "contraptions/effects/dlgranulator/TDLGranulatorForm.h"
#include "contraptions/effects/flanger/TFlangerForm.h"
#include "contraptions/effects/flanger/TGFlanger.h"
#include "contraptions/effects/ringam/TGRingAM.h"
#include "contraptions/effects/ringam/TRingAMForm.h"
#include "controls/KWDWKnob.h"
#include "controls/KWDWMeter.h"
#include "controls/KWDWSlider.h"
#include "controls/KWNumberEdit.h"
#include "controls/KWPianoKeyboard.h"
#include "controls/KWRangeSlider.h"
#include "tests/controls/MouseHelpers.h"
#include "tests/support/WindowHostFixture.h"

namespace tg {
namespace keyboard_and_high_dpi_test {

// What the user sees when resting the pointer on a control.
QString HoverText(QWidget* w) {
  const QPoint at = w->rect().center();
  QHelpEvent hover(QEvent::ToolTip, at, w->mapToGlobal(at));
  QApplication::sendEvent(w, &hover);
  return QToolTip::isVisible() ? QToolTip::text() : QString();
}

TEST(ValueReadoutTest, HoverShowsTheDragReadOutWithItsUnit) {
  KWDWKnob knob;
  knob.resize(35, 35);
  knob.SetScale(ValueScale::Logarithmic);
  knob.SetMin(20);
  knob.SetMax(20000);
  knob.SetUnit("Hz");
  knob.SetValue(440);
  EXPECT_EQ(HoverText(&knob), "440 Hz");

  // Mid-drag the read-out is the same text, for the new value.
  test::Mouse(&knob, QEvent::MouseButtonPress, {17, 20});
  test::Mouse(&knob, QEvent::MouseMove, {17, 10});
  const QString dragging = QToolTip::isVisible() ? QToolTip::text() : QString();
  test::Mouse(&knob, QEvent::MouseButtonRelease, {17, 10}, Qt::NoButton);
  EXPECT_EQ(dragging, knob.ValueText());
  EXPECT_TRUE(dragging.endsWith(" Hz")) << dragging.toStdString();
  EXPECT_NE(dragging, "440 Hz");
  EXPECT_EQ(HoverText(&knob), dragging);

  KWDWSlider plain;  // no unit: the bare number
  plain.resize(24, 100);
  plain.SetValue(0.25);
  EXPECT_EQ(HoverText(&plain), "0.25");

  KWRangeSlider range;
  range.resize(24, 120);
  range.SetMax(5000);
  range.SetUnit("Hz");
  range.SetValue1(2000);
  range.SetValue0(100);
  EXPECT_EQ(HoverText(&range), QString::fromUtf8("100 \u2026 2000 Hz"));
  QToolTip::hideText();
}

class KeyboardEditTest : public test::WindowHostFixture {
 protected:
  KeyboardEditTest() {
    pane.show();
    pane.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&pane));
  }
};

TEST_F(KeyboardEditTest, ArrowKeysReachTheParameterAsAMouseDragWould) {
  TGardeningContraption& byKeys = Make("RingAM");
  TGardeningContraption& byMouse = Make("RingAM");
  byKeys.StorePreset(2);
  auto* keysForm = Open<TRingAMForm>(byKeys);
  auto* mouseForm = Open<TRingAMForm>(byMouse);
  ASSERT_NE(keysForm, nullptr);
  ASSERT_NE(mouseForm, nullptr);
  byKeys.RecallPreset(2);
  keysForm->UpdateControls();
  ASSERT_EQ(keysForm->PresetCaption(), "3");
  const double start = ProcessorOf<TGRingAM>(byKeys).frequency.Value();
  ASSERT_DOUBLE_EQ(ProcessorOf<TGRingAM>(byMouse).frequency.Value(), start);
  EXPECT_EQ(keysForm->FrequencyKnob()->ValueText().endsWith(" Hz"), true);

  // One small step up is one pixel of dragging up.
  KWDWKnob* knob = keysForm->FrequencyKnob();
  knob->setFocus(Qt::TabFocusReason);
  QTest::keyClick(knob, Qt::Key_Up);
  test::Drag(mouseForm->FrequencyKnob(), {17, 20}, {17, 19});
  const double up = ProcessorOf<TGRingAM>(byKeys).frequency.Value();
  EXPECT_GT(up, start);
  EXPECT_DOUBLE_EQ(up, ProcessorOf<TGRingAM>(byMouse).frequency.Value());
  // The edit is heard as a user's: the preset no longer describes the sound.
  EXPECT_EQ(byKeys.CurrentPreset(), -1);
  EXPECT_EQ(keysForm->PresetCaption(), "--");

  // Right is up too, Left and Down step back, PageUp/PageDown are ten steps.
  QTest::keyClick(knob, Qt::Key_Right);
  test::Drag(mouseForm->FrequencyKnob(), {17, 20}, {17, 19});
  EXPECT_DOUBLE_EQ(ProcessorOf<TGRingAM>(byKeys).frequency.Value(),
                   ProcessorOf<TGRingAM>(byMouse).frequency.Value());
  QTest::keyClick(knob, Qt::Key_Left);
  QTest::keyClick(knob, Qt::Key_Down);
  test::Drag(mouseForm->FrequencyKnob(), {17, 19}, {17, 21});
  EXPECT_NEAR(ProcessorOf<TGRingAM>(byKeys).frequency.Value(), start, start * 1e-9);
  EXPECT_NEAR(ProcessorOf<TGRingAM>(byMouse).frequency.Value(), start, start * 1e-9);
  QTest::keyClick(knob, Qt::Key_PageUp);
  test::Drag(mouseForm->FrequencyKnob(), {17, 30}, {17, 20});
  EXPECT_NEAR(ProcessorOf<TGRingAM>(byKeys).frequency.Value(),
              ProcessorOf<TGRingAM>(byMouse).frequency.Value(), start * 1e-9);
  QTest::keyClick(knob, Qt::Key_PageDown);
  EXPECT_NEAR(ProcessorOf<TGRingAM>(byKeys).frequency.Value(), start, start * 1e-9);
}

TEST_F(KeyboardEditTest, ArrowKeysMoveAFocusedFader) {
  TGardeningContraption& c = Make("Flanger");
  auto* form = Open<TFlangerForm>(c);
  ASSERT_NE(form, nullptr);
  KWDWSlider* rate = form->RateSlider();
  const double before = ProcessorOf<TGFlanger>(c).rate.Value();
  rate->setFocus(Qt::TabFocusReason);
  QTest::keyClick(rate, Qt::Key_PageUp);
  const double raised = ProcessorOf<TGFlanger>(c).rate.Value();
  EXPECT_GT(raised, before);
  EXPECT_DOUBLE_EQ(raised, rate->Value());
  QTest::keyClick(rate, Qt::Key_Left);
  EXPECT_LT(ProcessorOf<TGFlanger>(c).rate.Value(), raised);
  EXPECT_EQ(c.CurrentPreset(), -1);
}

// The widget Tab is meant to land on for a control (a field's text box).
QWidget* FocusTarget(QWidget* w) { return w->focusProxy() != nullptr ? w->focusProxy() : w; }

TEST_F(KeyboardEditTest, TabVisitsEveryControlOfTheWindowInReadingOrder) {
  auto* form = Open<TDLGranulatorForm>(Make("DLGranulator"));
  ASSERT_NE(form, nullptr);
  auto* other = Open<TFlangerForm>(Make("Flanger"));  // Tab must not wander into it
  ASSERT_NE(other, nullptr);
  QApplication::processEvents();

  // Everything a user could operate in the window, found independently.
  std::set<QWidget*> expected;
  for (QWidget* w : form->findChildren<QWidget*>()) {
    const bool control = qobject_cast<KWValueControl*>(w) || qobject_cast<KWRangeSlider*>(w) ||
                         qobject_cast<KWNumberEdit*>(w) || qobject_cast<QAbstractButton*>(w) ||
                         w->inherits("QComboBox") || w->inherits("QAbstractSpinBox");
    const bool focusable = w->focusPolicy() != Qt::NoFocus || w->focusProxy() != nullptr;
    if (control && w->isVisibleTo(form) && focusable) expected.insert(w);
  }
  ASSERT_GE(expected.size(), 15u);  // 8 ranges, 4 faders, grid, grains, freeze

  const std::vector<QWidget*> order = form->TabControls();
  order.front()->setFocus(Qt::TabFocusReason);
  std::vector<QWidget*> visited{QApplication::focusWidget()};
  for (size_t i = 0; i < order.size(); ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    visited.push_back(QApplication::focusWidget());
  }
  EXPECT_EQ(visited.back(), visited.front()) << "Tab cycles within the window";
  visited.pop_back();
  std::set<QWidget*> reached;
  for (QWidget* focus : visited) {
    ASSERT_NE(focus, nullptr);
    ASSERT_TRUE(form->isAncestorOf(focus));
    for (QWidget* w = focus; w != form; w = w->parentWidget()) {
      if (expected.count(w) > 0) reached.insert(w);
    }
  }
  EXPECT_EQ(reached, expected);
  EXPECT_EQ(visited.size(), expected.size()) << "each control once";

  // Reading order: each next stop is to the right in its row or further down.
  for (size_t i = 1; i < visited.size(); ++i) {
    const QRect a(visited[i - 1]->mapTo(form, QPoint()), visited[i - 1]->size());
    const QRect b(visited[i]->mapTo(form, QPoint()), visited[i]->size());
    const bool sameRow = b.top() < a.bottom() && a.top() < b.bottom();
    EXPECT_TRUE(sameRow ? b.left() > a.left() : b.top() > a.top()) << "stop " << i;
  }
  EXPECT_EQ(FocusTarget(order.front()), visited.front());
  EXPECT_EQ(QApplication::focusWidget(), visited.front());

  // Shift+Tab walks back, wrapping to the last.
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
  EXPECT_EQ(QApplication::focusWidget(), visited.back());
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ShiftModifier);
  EXPECT_EQ(QApplication::focusWidget(), visited[visited.size() - 2]);
}

// Renders a widget at a device pixel ratio, as a screen at that ratio would.
QImage Render(QWidget* w, int ratio) {
  QImage image(w->size() * ratio, QImage::Format_ARGB32_Premultiplied);
  image.setDevicePixelRatio(ratio);
  image.fill(Qt::magenta);
  w->render(&image);
  return image;
}

int Difference(QRgb a, QRgb b) {
  return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                   std::abs(qBlue(a) - qBlue(b))});
}

// Device pixels at ratio 2 whose colour is not the 1x pixel they stand on:
// zero for drawing on whole logical pixels, done in proportion.
int OffGrid(const QImage& once, const QImage& twice) {
  int off = 0;
  for (int y = 0; y < twice.height(); ++y) {
    for (int x = 0; x < twice.width(); ++x)
      off += Difference(twice.pixel(x, y), once.pixel(x / 2, y / 2)) > 24;
  }
  return off;
}

TEST(HighDpiTest, PixelDrawnControlsScaleInProportionWithoutHalfPixelShifts) {
  // A one-pixel bevel line must cover two device pixels exactly, not one
  // pixel here and a gap there.
  KWDWMeter meter;
  meter.resize(80, 18);
  meter.SetChannelCount(2);
  meter.SetValues(0, 0.6f);
  meter.SetValues(1, 0.1f);
  EXPECT_EQ(OffGrid(Render(&meter, 1), Render(&meter, 2)), 0);

  KWDWSlider slider;
  slider.resize(24, 111);
  slider.SetTickStyle(TickStyle::Auto);
  slider.SetFrequency(0.25);
  slider.SetValue(0.4);
  EXPECT_EQ(OffGrid(Render(&slider, 1), Render(&slider, 2)), 0);

  KWRangeSlider range;
  range.resize(120, 24);
  range.SetVertical(false);
  range.SetValue1(0.75);
  range.SetValue0(0.25);
  range.AddTick(0.5);
  EXPECT_EQ(OffGrid(Render(&range, 1), Render(&range, 2)), 0);

  KWPianoKeyboard piano;
  piano.resize(200, 50);
  piano.SetSelectedKey(piano.BottomKey() + 4);
  EXPECT_EQ(OffGrid(Render(&piano, 1), Render(&piano, 2)), 0);
}

TEST(HighDpiTest, AKnobAtRatioTwoIsDrawnFinelyNotAScaledUpPicture) {
  KWDWKnob knob;
  knob.resize(35, 35);
  knob.SetValue(0.3);
  const QImage once = Render(&knob, 1), twice = Render(&knob, 2);
  ASSERT_EQ(twice.size(), once.size() * 2);
  // A picture scaled up from 1x is uniform in every 2×2 block; a drawing at
  // the device's resolution has detail inside them along every edge.
  int detailed = 0;
  double apart = 0.0;
  for (int y = 0; y < once.height(); ++y) {
    for (int x = 0; x < once.width(); ++x) {
      const QRgb block[4] = {twice.pixel(2 * x, 2 * y), twice.pixel(2 * x + 1, 2 * y),
                             twice.pixel(2 * x, 2 * y + 1), twice.pixel(2 * x + 1, 2 * y + 1)};
      int spread = 0, grey = 0;
      for (QRgb p : block) {
        spread = std::max(spread, Difference(p, block[0]));
        grey += qGray(p);
      }
      detailed += spread > 24;
      apart += std::abs(grey / 4.0 - qGray(once.pixel(x, y)));
    }
  }
  EXPECT_GT(detailed, 60);
  // Yet it is the same knob: averaged down it matches the 1x drawing.
  EXPECT_LT(apart / (once.width() * once.height()), 6.0);
}

}  // namespace keyboard_and_high_dpi_test
}  // namespace tg
