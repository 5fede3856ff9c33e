#include <gtest/gtest.h>

#include <QApplication>
#include <QFocusEvent>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QStringList>
#include <QTest>
#include <string>
#include <vector>

#include "contraptions/filters/combs5/TCombs5Form.h"
#include "contraptions/filters/combs5/TG5Combs.h"
#include "contraptions/mixers/matrices/TFGateMatrixForm.h"
#include "contraptions/mixers/matrices/TGGateMatrix.h"
#include "controls/KWDWSlider.h"
#include "controls/KWNumberEdit.h"
#include "controls/KWPianoKeyboard.h"
#include "controls/TPianoNotes.h"
#include "dsp/NoteNumbers.h"
#include "framework/TGardeningContraption.h"
#include "tests/controls/MouseHelpers.h"
#include "tests/support/WindowHostFixture.h"

namespace tg {
namespace combs_gates_windows_test {

using test::Drag;
using test::Mouse;

class RecordingMessages final : public UserMessages {
 public:
  void ShowMessage(std::string_view text, std::string_view, MessageIcon) override {
    shown.emplace_back(text);
  }
  std::vector<std::string> shown;
};

class CombsGatesWindowsTest : public test::WindowHostFixture {
 protected:
  CombsGatesWindowsTest() : kept_(engine->Host().messages) { engine->Host().messages = &messages; }
  ~CombsGatesWindowsTest() override { engine->Host().messages = kept_; }

  static QStringList Captions(const QWidget* form) {
    QStringList texts;
    for (const QLabel* label : form->findChildren<QLabel*>()) texts << label->text();
    return texts;
  }
  // Replaces an edit's whole text as the user does with a paste.
  // Types a text over the field's and ends it with Enter.
  static void Type(QLineEdit* edit, const QString& text) {
    edit->selectAll();
    edit->insert(text);
    QTest::keyClick(edit, Qt::Key_Return);
  }
  // The colour at the middle of a gate's cell as drawn.
  static QColor CellColour(TGateGrid* grid, int row, int column) {
    const QImage image = grid->grab().toImage();
    return image.pixelColor(grid->CellRect(row, column).center());
  }

  RecordingMessages messages;

 private:
  UserMessages* kept_;
};

TEST_F(CombsGatesWindowsTest, CombsControlsSetTheParametersAndShowThem) {
  TGardeningContraption& c = Make("5Combs");
  auto& combs = static_cast<TG5Combs&>(c.Processor());
  auto* form = Open<TCombs5Form>(c);
  ASSERT_NE(form, nullptr);
  for (const char* caption :
       {"Master Gain:", "Frequency:", "Reverb time:", "Gain:", "1", "2", "3", "4", "5"})
    EXPECT_TRUE(Captions(form).contains(caption)) << caption;
  const char* texts[] = {"110.00", "220.00", "440.00", "880.00", "1760.00"};
  const char* notes[] = {"a3", "a4", "a5", "a6", "a7"};
  for (int r = 0; r < 5; ++r) {
    EXPECT_EQ(form->FrequencyEdit(r)->text(), texts[r]);
    EXPECT_EQ(form->NotePanel(r)->text(), notes[r]);
    EXPECT_FALSE(TCombs5Form::IsGrey(form->NotePanel(r)));
    EXPECT_EQ(form->FrequencySlider(r)->Min(), 16.0);
    EXPECT_EQ(form->FrequencySlider(r)->Max(), 2000.0);
    EXPECT_EQ(form->ReverbSlider(r)->Max(), 10.0);
    EXPECT_EQ(form->GainSlider(r)->Max(), 1.5);
  }
  EXPECT_EQ(form->InputGainSlider()->Value(), 0.0);

  Drag(form->InputGainSlider(), {6, 12}, {106, 12});
  EXPECT_GT(combs.inputGain.Value(), 0.4);
  EXPECT_DOUBLE_EQ(combs.inputGain.Value(), form->InputGainSlider()->Value());
  EXPECT_EQ(form->PresetCaption(), "--");

  // The frequency slider writes its value into the edit, cut to two decimals.
  Drag(form->FrequencySlider(1), {60, 12}, {75, 12});
  const double slid = combs.frequency[1].Value();
  EXPECT_DOUBLE_EQ(slid, form->FrequencySlider(1)->Value());
  EXPECT_GT(slid, 220.0);
  EXPECT_EQ(form->FrequencyEdit(1)->text(), TCombs5Form::FrequencyText(slid));
  EXPECT_EQ(form->NotePanel(1)->text(), QString::fromStdString(NoteName(NearestKey(slid))));

  // Typing: out of range greys the text and changes nothing; a number sets it.
  QLineEdit* edit = form->FrequencyEdit(2);
  Type(edit, "2500");
  EXPECT_EQ(combs.frequency[2].Value(), 440.0);
  EXPECT_TRUE(TCombs5Form::IsGrey(edit));
  Type(edit, "440");
  EXPECT_EQ(combs.frequency[2].Value(), 440.0);
  EXPECT_FALSE(TCombs5Form::IsGrey(edit));
  EXPECT_EQ(form->NotePanel(2)->text(), "a5");
  EXPECT_FALSE(TCombs5Form::IsGrey(form->NotePanel(2)));
  Type(edit, "441");
  EXPECT_EQ(combs.frequency[2].Value(), 441.0);
  EXPECT_NEAR(form->FrequencySlider(2)->Value(), 441.0, 1e-6);
  EXPECT_EQ(form->NotePanel(2)->text(), "a5");
  EXPECT_TRUE(TCombs5Form::IsGrey(form->NotePanel(2)));
  EXPECT_TRUE(messages.shown.empty());
  Type(edit, "4x1");
  EXPECT_EQ(combs.frequency[2].Value(), 441.0);
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_NE(messages.shown[0].find("'4x1'"), std::string::npos);
  Type(edit, "");
  EXPECT_EQ(combs.frequency[2].Value(), 441.0);
  EXPECT_EQ(messages.shown.size(), 1u);

  Drag(form->ReverbSlider(3), {60, 12}, {20, 12});
  EXPECT_DOUBLE_EQ(combs.reverbTime[3].Value(), form->ReverbSlider(3)->Value());
  EXPECT_LT(combs.reverbTime[3].Value(), 4.0);
  Drag(form->GainSlider(4), {20, 12}, {200, 12});
  EXPECT_DOUBLE_EQ(combs.gain[4].Value(), 1.5);

  // Values from elsewhere show when the window updates; a stored frequency
  // beyond the slider's range is taken back to its end.
  combs.frequency[0].SetValue(261.6255653);
  combs.frequency[4].SetValue(5000.0);
  combs.reverbTime[0].SetValue(0.5);
  combs.gain[0].SetValue(0.75);
  combs.inputGain.SetValue(0.2);
  form->UpdateControls();
  EXPECT_EQ(form->FrequencyEdit(0)->text(), "261.62");
  EXPECT_EQ(form->NotePanel(0)->text(), "c5");
  EXPECT_FALSE(TCombs5Form::IsGrey(form->NotePanel(0)));
  EXPECT_EQ(form->FrequencyEdit(4)->text(), "2000.00");
  EXPECT_EQ(combs.frequency[4].Value(), 2000.0);
  EXPECT_NEAR(form->ReverbSlider(0)->Value(), 0.5, 1e-9);
  EXPECT_NEAR(form->GainSlider(0)->Value(), 0.75, 1e-9);
  EXPECT_NEAR(form->InputGainSlider()->Value(), 0.2, 1e-9);
  EXPECT_DOUBLE_EQ(combs.frequency[0].Value(), 261.6255653);  // showing is not editing
}

// A typed frequency is taken when the typing is done, with Enter or by
// leaving the field: "440" never plays 4 and 44 Hz first, and "-", "." or
// "1e" on the way to a number are no mistake.
TEST_F(CombsGatesWindowsTest, ATypedFrequencyIsTakenWhenTheTypingIsDone) {
  TGardeningContraption& c = Make("5Combs");
  auto& combs = static_cast<TG5Combs&>(c.Processor());
  auto* form = Open<TCombs5Form>(c);
  ASSERT_NE(form, nullptr);
  QLineEdit* edit = form->FrequencyEdit(0);
  edit->selectAll();
  for (char key : std::string("440")) {
    QTest::keyClick(edit, key);
    EXPECT_EQ(combs.frequency[0].Value(), 110.0) << edit->text().toStdString();
  }
  QTest::keyClick(edit, Qt::Key_Return);
  EXPECT_EQ(combs.frequency[0].Value(), 440.0);
  EXPECT_EQ(form->NotePanel(0)->text(), "a5");

  for (const char* unfinished : {"-", ".", "1e"}) {
    edit->selectAll();
    QTest::keyClicks(edit, unfinished);
  }
  edit->selectAll();
  QTest::keyClicks(edit, "220");
  QFocusEvent leave(QEvent::FocusOut, Qt::TabFocusReason);
  QApplication::sendEvent(edit, &leave);
  EXPECT_EQ(combs.frequency[0].Value(), 220.0);
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(CombsGatesWindowsTest, FrequencyTextIsCutToTwoDecimals) {
  EXPECT_EQ(TCombs5Form::FrequencyText(440.0), "440.00");
  EXPECT_EQ(TCombs5Form::FrequencyText(261.6255653), "261.62");
  EXPECT_EQ(TCombs5Form::FrequencyText(16.999), "16.99");
  EXPECT_EQ(TCombs5Form::FrequencyText(440.5), "440.5");
  EXPECT_EQ(TCombs5Form::FrequencyText(2000.0), "2000.00");
}

TEST_F(CombsGatesWindowsTest, TheNotePanelOpensThePickerAndThePickTunesTheComb) {
  TGardeningContraption& c = Make("5Combs");
  auto& combs = static_cast<TG5Combs&>(c.Processor());
  auto* form = Open<TCombs5Form>(c);
  ASSERT_NE(form, nullptr);
  int offered = -100;
  int key = 60;
  form->pickNote = [&](QPoint at, int current) {
    offered = current;
    TPianoNotes picker;
    picker.Prepare(at, current, TCombs5Form::kPickerBottomKey, TCombs5Form::kPickerKeyRange);
    KWPianoKeyboard* keyboard = picker.Keyboard();
    for (int x = 0; x < keyboard->width(); ++x) {
      const QPoint p(x, keyboard->height() - 5);
      if (keyboard->KeyAt(p) != key) continue;
      Mouse(keyboard, QEvent::MouseButtonPress, p);
      Mouse(keyboard, QEvent::MouseButtonRelease, p, Qt::NoButton);
      break;
    }
    return picker.Result();
  };
  QLabel* panel = form->NotePanel(3);
  QTest::mouseClick(panel, Qt::LeftButton, {}, panel->rect().center());
  EXPECT_EQ(offered, 81);  // 880 Hz is a6
  EXPECT_DOUBLE_EQ(combs.frequency[3].Value(), KeyFrequency(60));
  EXPECT_EQ(form->FrequencyEdit(3)->text(), "261.62");
  EXPECT_EQ(panel->text(), "c5");
  EXPECT_FALSE(TCombs5Form::IsGrey(panel));
  EXPECT_NEAR(form->FrequencySlider(3)->Value(), KeyFrequency(60), 1e-6);

  key = -1;  // cancelled: nothing changes
  QTest::mouseClick(panel, Qt::LeftButton, {}, panel->rect().center());
  EXPECT_EQ(offered, 60);
  EXPECT_DOUBLE_EQ(combs.frequency[3].Value(), KeyFrequency(60));
}

TEST_F(CombsGatesWindowsTest, MatrixCellsToggleGatesAndShowThem) {
  for (const char* type : {"4x4Matrix", "8x8Matrix"}) {
    SCOPED_TRACE(type);
    TGardeningContraption& c = Make(type);
    auto& matrix = static_cast<TGGateMatrix&>(c.Processor());
    auto* form = Open<TFGateMatrixForm>(c);
    ASSERT_NE(form, nullptr);
    const int n = matrix.Size();
    EXPECT_EQ(type == std::string("4x4Matrix") ? 4 : 8, n);
    EXPECT_TRUE(type != std::string("4x4Matrix") || dynamic_cast<TF4x4MatrixForm*>(form));
    EXPECT_TRUE(type != std::string("8x8Matrix") || dynamic_cast<TF8x8MatrixForm*>(form));
    for (const char* caption : {"In:", "out:", "Fade time (ms):", "1"})
      EXPECT_TRUE(Captions(form).contains(caption)) << caption;
    EXPECT_TRUE(Captions(form).contains(QString::number(n)));
    TGateGrid* grid = form->Grid();
    EXPECT_EQ(grid->width(), n * TGateGrid::kCell + 1);

    // A click toggles the gate from that row's input to that column's output.
    const int row = n - 1;
    const int column = n / 2;
    EXPECT_EQ(CellColour(grid, row, column), QColor(Qt::white));
    QTest::mouseClick(grid, Qt::LeftButton, {}, grid->CellRect(row, column).center());
    EXPECT_TRUE(matrix.gate(row, column).Value());
    EXPECT_FALSE(matrix.gate(column, row).Value());
    EXPECT_EQ(CellColour(grid, row, column), QColor(Qt::black));
    EXPECT_EQ(form->PresetCaption(), "--");
    QTest::mouseClick(grid, Qt::LeftButton, {}, grid->CellRect(row, column).center());
    EXPECT_FALSE(matrix.gate(row, column).Value());

    // The keys: an arrow moves the selection, space toggles the selected gate.
    grid->setFocus();
    QTest::keyClick(grid, Qt::Key_Up);
    QTest::keyClick(grid, Qt::Key_Right);
    QTest::keyClick(grid, Qt::Key_Space);
    EXPECT_TRUE(matrix.gate(row - 1, column + 1).Value());

    // The fade time: its own range, starting at 50.
    KWNumberEdit* fade = form->FadeTimeEdit();
    EXPECT_EQ(fade->Min(), 1.0);
    EXPECT_EQ(fade->Max(), 100000.0);
    EXPECT_EQ(fade->Increment(), 1.0);
    EXPECT_EQ(fade->Value(), 50.0);
    fade->Editor()->selectAll();
    QTest::keyClicks(fade->Editor(), "120");
    EXPECT_EQ(matrix.fadeTime.Value(), 120.0);

    // Changes from elsewhere show when the window updates.
    matrix.fadeTime.SetValue(2500.0);
    matrix.gate(0, 0).SetValue(true);
    form->UpdateControls();
    EXPECT_EQ(fade->Value(), 2500.0);
    EXPECT_EQ(CellColour(grid, 0, 0), QColor(Qt::black));
  }
}

}  // namespace combs_gates_windows_test
}  // namespace tg
