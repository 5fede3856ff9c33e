#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

#include "controls/KWDWMeter.h"
#include "controls/KWNumberEdit.h"
#include "controls/KWPianoKeyboard.h"
#include "controls/KWTrigSplineEdit.h"
#include "controls/TPianoNotes.h"
#include "dsp/NoteNumbers.h"
#include "tests/controls/MouseHelpers.h"

namespace tg {
namespace fields_and_displays_test {

using test::Drag;
using test::Mouse;

TEST(NumberEditLogicTest, AutomaticStepsAndDisplay) {
  auto step = [](double range) { return numberedit::AutomaticStep(0, range); };
  EXPECT_EQ(step(1000).step, 10);
  EXPECT_EQ(step(1000).decimals, 1);
  EXPECT_EQ(step(100).step, 1);
  EXPECT_EQ(step(100).decimals, 1);
  EXPECT_NEAR(step(10).step, 0.1, 1e-12);
  EXPECT_EQ(step(10).decimals, 2);
  EXPECT_EQ(numberedit::AutomaticStep(5, 5).step, 1);  // no range: no endless search
  EXPECT_EQ(numberedit::IncrementDecimals(1), 1);
  EXPECT_EQ(numberedit::IncrementDecimals(0.25), 2);
  EXPECT_EQ(numberedit::Display(120, false, 1), "120.0");
  EXPECT_EQ(numberedit::Display(120.25, false, 1), "120.25");
  EXPECT_EQ(numberedit::Display(7, true, 3), "7");
}

TEST(NumberEditTest, TypingCommitsMarksAndKeepsTheText) {
  KWNumberEdit edit;
  edit.resize(80, 21);
  QSignalSpy changed(&edit, &KWNumberEdit::OnChange);
  edit.Editor()->setFocus();
  edit.Editor()->selectAll();
  QTest::keyClicks(edit.Editor(), "12x");  // the x is filtered out
  EXPECT_EQ(edit.Text(), "12");
  EXPECT_EQ(edit.Value(), 12.0);
  edit.Editor()->setText("12x");
  emit edit.Editor()->textEdited("12x");
  EXPECT_EQ(edit.InputStatus(), numberedit::kUnreadable);
  EXPECT_EQ(edit.Value(), 12.0);
  QTest::keyClick(edit.Editor(), Qt::Key_Up);  // only redisplays
  EXPECT_EQ(edit.Value(), 12.0);
  EXPECT_EQ(edit.Text(), "12.0");
  EXPECT_EQ(edit.InputStatus(), numberedit::kValid);

  edit.Editor()->setText("150");
  emit edit.Editor()->textEdited("150");
  EXPECT_EQ(edit.Value(), 100.0);
  EXPECT_EQ(edit.InputStatus(), numberedit::kLoweredToMax);
  EXPECT_EQ(edit.Text(), "150");  // the typed text stays
  EXPECT_EQ(changed.last().at(0).toDouble(), 100.0);
}

TEST(NumberEditTest, SteppingRoundsToTheStepAndClamps) {
  KWNumberEdit edit;
  edit.SetMin(-512);
  edit.SetMax(512);
  edit.SetIntegersOnly(true);
  edit.SetAutoIncrement(false);
  edit.SetValue(-3);
  edit.StepBy(-1, false);
  EXPECT_EQ(edit.Value(), -4);
  edit.StepBy(2, false);
  EXPECT_EQ(edit.Value(), -2);

  KWNumberEdit tempo;
  tempo.SetMin(1);
  tempo.SetMax(240);
  tempo.SetIncrement(1);
  tempo.SetAutoIncrement(false);
  tempo.SetValue(120);
  EXPECT_EQ(tempo.Text(), "120.0");
  tempo.StepBy(500, false);
  EXPECT_EQ(tempo.Value(), 240);
}

TEST(NumberEditTest, DraggingTheButtonStepsAPixelAStep) {
  KWNumberEdit edit;
  edit.resize(80, 21);
  edit.SetMax(10);  // automatic step 0.1
  edit.SetValue(1.0);
  const QPoint button = edit.ButtonRect().center();
  Drag(&edit, button, button - QPoint(0, 5));
  EXPECT_NEAR(edit.Value(), 1.5, 1e-12);
  Drag(&edit, button, button - QPoint(0, 5), Qt::ControlModifier);
  EXPECT_NEAR(edit.Value(), 1.55, 1e-12);
  EXPECT_EQ(edit.Text(), "1.55");
}

TEST(NumberEditTest, TheFilterFollowsTheKindOfNumber) {
  EXPECT_FALSE(numberedit::Accepts('-', false, 0));
  EXPECT_TRUE(numberedit::Accepts('-', false, -1));
  EXPECT_FALSE(numberedit::Accepts('.', true, -1));
  EXPECT_TRUE(numberedit::Accepts('.', false, 0));
  EXPECT_FALSE(numberedit::Accepts('e', false, -1));
}

TEST(MeterTest, LitSegmentsDoubleTheLevelEach) {
  KWDWMeter meter;
  meter.SetSegmentCount(13);
  meter.SetChannelCount(2);
  meter.SetValues(0, 0.75f);
  meter.SetValues(1, 0.25f);
  EXPECT_EQ(meter.LitCount(0), 12);
  EXPECT_EQ(meter.LitCount(1), 10);
  meter.SetValues(0, 1.0f);
  EXPECT_EQ(meter.LitCount(0), 13);
  meter.SetValues(1, 1.0f / 4096);
  EXPECT_EQ(meter.LitCount(1), 0);
  meter.SetValues(-1, 1.0f);
  meter.SetValues(2, 1.0f);
  EXPECT_EQ(meter.GetValues(2), 0.0f);
  meter.SetSegmentCount(0);
  EXPECT_EQ(meter.SegmentCount(), 1);
  meter.SetSegmentCount(40);
  EXPECT_EQ(meter.SegmentCount(), 16);
}

TEST(MeterTest, ColoursAndTheDrawnCells) {
  const QColor darkGreen(0, 128, 0), green(0, 255, 0), yellow(255, 255, 0), red(255, 0, 0);
  const std::vector<QColor> expected = {darkGreen, darkGreen, darkGreen, darkGreen, darkGreen,
                                        green,     green,     green,     green,     yellow,
                                        yellow,    yellow,    red};
  for (int s = 0; s < 13; ++s)
    EXPECT_EQ(KWDWMeter::ColourOf(s, 13), expected[static_cast<size_t>(s)]) << s;

  KWDWMeter meter;
  meter.SetVertical(false);
  meter.SetSegmentCount(13);
  meter.SetChannelCount(2);
  meter.resize(134, 14);  // cells of 10 × 5 pixels
  meter.SetValues(0, 0.75f);
  const QImage image = meter.grab().toImage();
  EXPECT_EQ(image.pixelColor(meter.Cell(0, 11).center()), yellow);
  EXPECT_NE(image.pixelColor(meter.Cell(0, 12).center()), red);  // the top one is dark
  EXPECT_EQ(image.pixelColor(meter.Cell(0, 0).center()), darkGreen);
  EXPECT_NE(image.pixelColor(meter.Cell(1, 0).center()), darkGreen);
}

TEST(SplineEditTest, CommaTextStartAndEditing) {
  KWTrigSplineEdit edit;
  edit.resize(201, 201);
  EXPECT_EQ(edit.CommaText(), "0,0.5, -0.5,-0.2, 0.5,-0.2");
  edit.SetCommaText("0,0.5, -0.5,-0.2, 0.5,-0.2");
  EXPECT_EQ(edit.CommaText(), "0,0.5, -0.5,-0.2, 0.5,-0.2");

  const auto pixel = [&](int i) {
    const auto& p = edit.Path().Points()[static_cast<size_t>(i)];
    return QPoint(edit.Path().PixelX(p.x), edit.Path().PixelY(p.y));
  };
  Mouse(&edit, QEvent::MouseButtonPress, pixel(1), Qt::LeftButton, Qt::ControlModifier);
  Mouse(&edit, QEvent::MouseButtonRelease, pixel(1), Qt::NoButton, Qt::ControlModifier);
  EXPECT_EQ(edit.GetSegmentCount(), 3);  // never fewer than three

  QSignalSpy changed(&edit, &KWTrigSplineEdit::OnChange);
  Mouse(&edit, QEvent::MouseButtonPress, pixel(2), Qt::LeftButton, Qt::ShiftModifier);
  Mouse(&edit, QEvent::MouseButtonRelease, pixel(2), Qt::NoButton, Qt::ShiftModifier);
  EXPECT_EQ(edit.CommaText(), "0.5,-0.2, 0,0.5, -0.5,-0.2");
  EXPECT_EQ(changed.count(), 1);

  // A click on the curve adds a point there and grabs it.
  const auto onCurve = edit.Path().CurvePoint(0, 128);
  const QPoint click(edit.Path().PixelX(onCurve.x), edit.Path().PixelY(onCurve.y));
  Mouse(&edit, QEvent::MouseButtonPress, click);
  EXPECT_EQ(edit.GetSegmentCount(), 4);
  EXPECT_EQ(edit.Mode(), KWTrigSplineEdit::EditMode::Edit);
  for (int i = 0; i < 300; ++i) Mouse(&edit, QEvent::MouseMove, click + QPoint(i, 0));
  Mouse(&edit, QEvent::MouseButtonRelease, click + QPoint(300, 0), Qt::NoButton);
  float maxX = 0;
  for (const auto& p : edit.Path().Points()) maxX = std::max(maxX, p.x);
  EXPECT_FLOAT_EQ(maxX, 0.98f);  // a single point stops at ±0.98
}

TEST(SplineEditTest, TheWholePathStopsFivePixelsFromTheEdge) {
  KWTrigSplineEdit edit;
  edit.resize(201, 201);
  Drag(&edit, {100, 100}, {100, 0});  // off the points: the whole path moves up
  int top = 1000;
  for (const auto& p : edit.Path().Points()) top = std::min(top, edit.Path().PixelY(p.y));
  EXPECT_EQ(top, 5);
  EXPECT_EQ(edit.Mode(), KWTrigSplineEdit::EditMode::Move);
}

TEST(SplineEditTest, NothingBeyondThePointLimitIsTakenOrMadeOnALargeControl) {
  KWTrigSplineEdit edit;
  edit.resize(801, 801);
  edit.show();  // the control learns its size when shown
  QCoreApplication::processEvents();
  for (const char* text :
       {"0,0.99, -0.5,-0.2, 0.5,-0.2", "0.3,0.3, -0.3,0.3", "0,-1e300, 0,0, 1,1"}) {
    edit.SetCommaText(text);
    EXPECT_EQ(edit.CommaText(), "0,0.5, -0.5,-0.2, 0.5,-0.2") << text;
  }
  // Five pixels from the edge of a large control lie beyond the points' limit.
  Drag(&edit, {400, 400}, {400, 0});
  Drag(&edit, {400, 200}, {0, 200});
  float top = 0.0f, left = 0.0f;
  for (const auto& p : edit.Path().Points()) {
    top = std::max(top, p.y);
    left = std::min(left, p.x);
  }
  EXPECT_NEAR(top, 0.98f, 1e-5f);
  EXPECT_NEAR(left, -0.98f, 1e-5f);
}

TEST(NoteNumbersTest, FrequenciesNamesAndExactNotes) {
  EXPECT_NEAR(KeyFrequency(69), 440.0, 0.01);
  EXPECT_EQ(NoteName(69), "a5");
  EXPECT_EQ(NoteName(60), "c5");
  EXPECT_EQ(NoteName(61), "c#5");
  EXPECT_EQ(NearestKey(261.6), 60);
  EXPECT_FALSE(IsExactNote(445.0, 69));
  EXPECT_TRUE(IsExactNote(440.1, 69));
  EXPECT_EQ(NearestKey(KeyFrequency(0)), 0);
}

TEST(PianoKeyboardTest, GeometryHitsAndSelectionModes) {
  KWPianoKeyboard keyboard;
  keyboard.resize(400, 65);
  EXPECT_EQ(keyboard.WhiteKeyWidth(), static_cast<int>(63 * 0.173));
  keyboard.SetBottomKey(0);
  keyboard.SetBottomKey(128);
  EXPECT_EQ(keyboard.BottomKey(), 1);
  keyboard.SetBottomKey(12);  // c1 at the left edge
  const int w = keyboard.WhiteKeyWidth();
  EXPECT_EQ(keyboard.KeyAt({2 + w / 2, 60}), 12);  // c, low on the key
  EXPECT_EQ(keyboard.KeyAt({2 + w, 5}), 13);       // c#, high between c and d
  EXPECT_EQ(keyboard.KeyAt({2 + w + w / 2, 60}), 14);
  EXPECT_EQ(keyboard.KeyAt({1, 30}), -1);

  keyboard.SetInputMode(KWPianoKeyboard::InputMode::Multiple);
  QSignalSpy changed(&keyboard, &KWPianoKeyboard::OnChange);
  const QPoint d(2 + w + w / 2, 60);
  for (int i = 0; i < 2; ++i) {
    Mouse(&keyboard, QEvent::MouseButtonPress, d);
    Mouse(&keyboard, QEvent::MouseButtonRelease, d, Qt::NoButton);
  }
  EXPECT_FALSE(keyboard.IsSelected(14));
  EXPECT_EQ(changed.count(), 2);

  keyboard.SetInputMode(KWPianoKeyboard::InputMode::Single);
  keyboard.SetSelectedKey(20);
  keyboard.SetBottomKey(24);  // deselects keys below; selects the bottom when none is left
  EXPECT_EQ(keyboard.SelectedKey(), 24);
}

TEST(PianoKeyboardTest, TheDrawnKeysShowTheSelection) {
  KWPianoKeyboard keyboard;
  keyboard.resize(300, 65);
  keyboard.SetBottomKey(48);
  keyboard.SetSelectedKey(61);  // c#5, a black key
  const QImage image = keyboard.grab().toImage();
  const int w = keyboard.WhiteKeyWidth();
  const QColor highlight = keyboard.palette().color(QPalette::Highlight);
  EXPECT_EQ(image.pixelColor(2 + 7 * w + w, 10), highlight);      // c#5, high up
  EXPECT_EQ(image.pixelColor(2 + 7 * w + w / 2, 60), Qt::white);  // c5 below it
  EXPECT_EQ(image.pixelColor(2 + w, 10), Qt::black);              // c#4
}

TEST(NotePickerTest, PlacedFullyOnScreenAndNamesTheSelection) {
  QScreen* screen = QGuiApplication::primaryScreen();
  ASSERT_NE(screen, nullptr);
  const QRect area = screen->availableGeometry();
  TPianoNotes picker;
  picker.Prepare({area.right() - 2, area.bottom() - 2}, 69, 12, 65);
  EXPECT_LE(picker.frameGeometry().right(), area.right() + 1);
  EXPECT_LE(picker.geometry().bottom(), area.bottom() + 1);
  EXPECT_GE(picker.geometry().left(), area.left());
  EXPECT_EQ(picker.Keyboard()->SelectedKey(), 69);
  EXPECT_EQ(picker.NoteText(), "a5");
  EXPECT_EQ(picker.Keyboard()->KeyRange() % 12, 11 - 12 % 12);  // extended to a whole octave
}

}  // namespace fields_and_displays_test
}  // namespace tg
