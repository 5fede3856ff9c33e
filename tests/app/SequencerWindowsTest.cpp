#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QLabel>
#include <QPaintEvent>
#include <QPushButton>
#include <QRegion>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <bit>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <vector>

#include "contraptions/filters/combs5/TCombs5Form.h"
#include "contraptions/filters/combs5/TG5Combs.h"
#include "contraptions/generators/bassline/TBasslineForm.h"
#include "contraptions/generators/bassline/TGBassline.h"
#include "contraptions/generators/drums/TDrumsForm.h"
#include "contraptions/generators/drums/TGDrums.h"
#include "controls/KWDWKnob.h"
#include "controls/KWPianoKeyboard.h"
#include "controls/KWStepGrid.h"
#include "controls/TPianoNotes.h"
#include "dsp/NoteNumbers.h"
#include "files/SoundFilePaths.h"
#include "files/wavefiles/TGWaveOutFile.h"
#include "tests/controls/MouseHelpers.h"
#include "tests/support/TempDir.h"
#include "tests/support/WindowHostFixture.h"

namespace tg {
namespace sequencer_windows_test {

using test::Mouse;

uint32_t Bits(const QSIntProperty& p) { return static_cast<uint32_t>(p.Value()); }

void WriteWave(const std::string& name) {
  std::vector<int16_t> samples(2000);
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<int16_t>(i % 100 * 200);
  TGWaveOutFile file(name, 44100, 1, true);
  ASSERT_TRUE(file.IsOpen()) << file.Error();
  file.Write(samples.data(), static_cast<uint32_t>(samples.size()));
  ASSERT_TRUE(file.Close());
}

bool CellIsBlack(KWStepGrid* grid, int column, int row) {
  return grid->grab().toImage().pixelColor(grid->CellRect(column, row).center()) ==
         QColor(Qt::black);
}

// The program-wide sound-file directories as a test leaves them: as it found them.
class KeptSoundFilePaths {
 public:
  KeptSoundFilePaths() : document_(SoundFilePaths::Instance().DocumentDirectory()) {}
  ~KeptSoundFilePaths() {
    SoundFilePaths::Instance().SetDocumentDirectory(document_);
    SoundFilePaths::Instance().SetLastSoundFileDirectory("");
  }

 private:
  std::string document_;
};

class SequencerWindowsTest : public test::WindowHostFixture {
 protected:
  TDrumsForm* OpenDrums(TGardeningContraption& c) {
    auto* form = Open<TDrumsForm>(c);
    EXPECT_NE(form, nullptr);
    form->FileDialog().choose = [this](QWidget*, const QString& start) {
      starts.push_back(start.toStdString());
      return answer;
    };
    return form;
  }

  std::vector<std::string> starts;
  QString answer;
};

// ---- Drums ------------------------------------------------------------------

TEST_F(SequencerWindowsTest, DrumsPressesAndTheSpaceKeyToggleStepsAsEdits) {
  TGardeningContraption& c = Make("Drums");
  auto& drums = static_cast<TGDrums&>(c.Processor());
  TDrumsForm* form = OpenDrums(c);
  ASSERT_NE(form, nullptr);
  KWStepGrid* grid = form->Grid();
  EXPECT_EQ(grid->Columns(), 32);
  EXPECT_EQ(grid->Rows(), 5);
  EXPECT_EQ(grid->CellRect(1, 1).size(), QSize(11, 16));

  QTest::mouseClick(grid, Qt::LeftButton, {}, grid->CellRect(5, 2).center());
  EXPECT_EQ(Bits(drums.Gates(2)), 1u << 5);
  EXPECT_TRUE(CellIsBlack(grid, 5, 2));
  QTest::mouseClick(grid, Qt::LeftButton, {}, grid->CellRect(31, 0).center());
  EXPECT_EQ(Bits(drums.Gates(0)), 1u << 31);  // the last step is the sign bit
  QTest::mouseClick(grid, Qt::LeftButton, {}, grid->CellRect(5, 2).center());
  EXPECT_EQ(Bits(drums.Gates(2)), 0u);
  EXPECT_FALSE(CellIsBlack(grid, 5, 2));

  // The keys edit without any press on the window: the edit itself marks.
  engine->SetDocumentModified(false);
  QTest::keyClick(grid, Qt::Key_Down);
  QTest::keyClick(grid, Qt::Key_Space);
  EXPECT_EQ(Bits(drums.Gates(3)), 1u << 5);
  EXPECT_TRUE(engine->IsDocumentModified());
  EXPECT_EQ(c.CurrentPreset(), -1);

  // The other controls.
  form->SlotBox(1)->click();  // ticked means plays
  EXPECT_TRUE(drums.SlotMute(1).Value());
  form->MuteCheckBox()->click();
  EXPECT_TRUE(drums.mute.Value());
  form->Gate12CheckBox()->click();
  EXPECT_TRUE(drums.gate0And1.Value());
  EXPECT_EQ(form->Gate12CheckBox()->text(), "Gate 1 && 2");  // shown with one "&"
  emit form->VolumeKnob(4)->OnChange(0.3);
  EXPECT_DOUBLE_EQ(drums.SlotVolume(4).Value(), 0.3);
  emit form->MasterVolumeKnob()->OnChange(0.8);
  EXPECT_DOUBLE_EQ(drums.volume.Value(), 0.8);
}

TEST_F(SequencerWindowsTest, DrumsReframingRotatesEveryPatternAndBackAgain) {
  TGardeningContraption& c = Make("Drums");
  auto& drums = static_cast<TGDrums&>(c.Processor());
  const uint32_t patterns[TGDrums::kSlots] = {0x80000001u, 0x12345678u, 0u, 0xFFFFFFFFu,
                                              0x00010000u};
  for (int i = 0; i < TGDrums::kSlots; ++i)
    drums.Gates(i).SetValue(static_cast<int32_t>(patterns[i]));
  TDrumsForm* form = OpenDrums(c);
  ASSERT_NE(form, nullptr);

  form->ReframeLeftButton()->click();
  EXPECT_EQ(Bits(drums.Gates(0)), 0xC0000000u);  // step 0's hit went round to step 31
  EXPECT_EQ(Bits(drums.Gates(4)), 0x00008000u);  // step 16 one step earlier
  EXPECT_TRUE(CellIsBlack(form->Grid(), 31, 0));
  form->ReframeRightButton()->click();
  for (int i = 0; i < TGDrums::kSlots; ++i) EXPECT_EQ(Bits(drums.Gates(i)), patterns[i]) << i;
  form->ReframeRightButton()->click();
  EXPECT_EQ(Bits(drums.Gates(0)), 0x00000003u);  // step 31's hit went round to step 0
}

TEST_F(SequencerWindowsTest, DrumsFileCaptionsShortenAndMarkMissingOrUnreadableFiles) {
  EXPECT_EQ(TDrumsForm::FileCaption("", false), "[ empty ]");
  EXPECT_EQ(TDrumsForm::FileCaption("abcdefghijklmnop.wav", false), "abcdefghijklmnop");
  EXPECT_EQ(TDrumsForm::FileCaption("abcdefghijklmnopq.wav", false), "...bcdefghijklmnopq");
  EXPECT_EQ(TDrumsForm::FileCaption("kick.wav", true), "kick !");
  EXPECT_EQ(TDrumsForm::FileCaption("drums/long.names/abcdefghijklmnopq.wav", true),
            "...bcdefghijklmnopq !");
  EXPECT_EQ(TDrumsForm::FileCaption("sounds.d/kick", false), "sounds.d/kick");

  KeptSoundFilePaths kept;
  test::TempDir dir;
  SoundFilePaths::Instance().SetDocumentDirectory(dir / "song.tgh");
  WriteWave(dir / "kick.wav");
  std::ofstream(dir / "notes.wav") << "no sound in here";
  TGardeningContraption& c = Make("Drums");
  auto& drums = static_cast<TGDrums&>(c.Processor());
  TDrumsForm* form = OpenDrums(c);
  ASSERT_NE(form, nullptr);
  EXPECT_EQ(form->FileButton(0)->text(), "[ empty ]");

  drums.File(0).SetValue("kick.wav");
  drums.File(1).SetValue("gone.wav");
  drums.File(2).SetValue("notes.wav");
  form->UpdateControls();
  EXPECT_EQ(form->FileButton(1)->text(), "gone !");
  // Whether a file reads shows once its load is over.
  ASSERT_TRUE(QTest::qWaitFor([&] { return !form->WatchingLoads(); }, 30000));
  EXPECT_EQ(form->FileButton(0)->text(), "kick");
  EXPECT_EQ(form->FileButton(2)->text(), "notes !");
}

TEST_F(SequencerWindowsTest, TheOpenDialogStartsWhereTheSlotsSoundIsAndRemembersTheDirectory) {
  KeptSoundFilePaths kept;
  test::TempDir dir;
  SoundFilePaths& paths = SoundFilePaths::Instance();
  paths.SetDocumentDirectory(dir / "song.tgh");
  paths.SetLastSoundFileDirectory("");
  std::filesystem::create_directories(dir / "sounds");
  WriteWave(dir / "sounds/kick.wav");
  TGardeningContraption& c = Make("Drums");
  auto& drums = static_cast<TGDrums&>(c.Processor());
  TDrumsForm* form = OpenDrums(c);
  ASSERT_NE(form, nullptr);

  answer = QString::fromStdString(dir / "sounds/kick.wav");
  form->ChooseFile(0);  // nothing chosen anywhere yet: the document's directory
  ASSERT_EQ(starts.size(), 1u);
  EXPECT_EQ(starts[0], dir.Path());
  EXPECT_EQ(drums.File(0).Value(), dir / "sounds/kick.wav");
  EXPECT_EQ(paths.LastSoundFileDirectory(), dir / "sounds/");
  EXPECT_EQ(form->FileButton(0)->text().toStdString(), "sounds/kick");

  answer.clear();       // cancelled
  form->ChooseFile(1);  // an empty slot: where the last file was chosen
  EXPECT_EQ(starts.at(1), dir / "sounds/");
  EXPECT_EQ(drums.File(1).Value(), "");
  form->ChooseFile(0);  // the slot's own file
  EXPECT_EQ(starts.at(2), dir / "sounds/kick.wav");
  EXPECT_EQ(drums.File(0).Value(), dir / "sounds/kick.wav");

  // A slot naming a file on a pseudo file system never starts the dialog there.
  drums.File(3).SetValue("/proc/self/status");
  form->ChooseFile(3);
  EXPECT_FALSE(IsOnPseudoFileSystem(starts.at(3))) << starts.at(3);
  EXPECT_TRUE(OpenSoundFileDialog::Filter().startsWith("Wave files (*.wav"));
  EXPECT_EQ(OpenSoundFileDialog::Title(), "Select a Soundfile...");
}

// The dialog the user sees, closed again as soon as it shows.
TEST_F(SequencerWindowsTest, TheRealOpenDialogShowsTheStartFileAndWantsAnExistingOne) {
  test::TempDir dir;
  WriteWave(dir / "kick.wav");
  QFileDialog* seen = nullptr;
  QString directory, title, suffix;
  QStringList selected;
  QFileDialog::FileMode mode = QFileDialog::AnyFile;
  QTimer watch;
  watch.setInterval(10);
  QObject::connect(&watch, &QTimer::timeout, [&] {
    seen = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (seen == nullptr) return;
    watch.stop();
    directory = seen->directory().absolutePath();
    title = seen->windowTitle();
    suffix = seen->defaultSuffix();
    selected = seen->selectedFiles();
    mode = seen->fileMode();
    seen->reject();
  });
  watch.start();
  const OpenSoundFileDialog dialog;
  EXPECT_EQ(dialog.choose(nullptr, QString::fromStdString(dir / "kick.wav")), QString());
  ASSERT_NE(seen, nullptr);
  EXPECT_EQ(directory.toStdString() + "/", dir.Path());
  EXPECT_EQ(selected, QStringList{QString::fromStdString(dir / "kick.wav")});
  EXPECT_EQ(title, "Select a Soundfile...");
  EXPECT_EQ(suffix, "wav");
  EXPECT_EQ(mode, QFileDialog::ExistingFile);
}

TEST_F(SequencerWindowsTest, DrumsShowsARecalledPreset) {
  TGardeningContraption& c = Make("Drums");
  auto& drums = static_cast<TGDrums&>(c.Processor());
  TDrumsForm* form = OpenDrums(c);
  ASSERT_NE(form, nullptr);
  drums.volume.SetValue(0.7);
  drums.mute.SetValue(true);
  drums.gate0And1.SetValue(true);
  drums.SlotVolume(3).SetValue(0.4);
  drums.SlotMute(2).SetValue(true);
  drums.Gates(4).SetValue(0x9);
  c.StorePreset(1);
  drums.volume.SetValue(0.0);
  drums.mute.SetValue(false);
  drums.gate0And1.SetValue(false);
  drums.SlotVolume(3).SetValue(0.0);
  drums.SlotMute(2).SetValue(false);
  drums.Gates(4).SetValue(0);
  form->UpdateControls();
  EXPECT_FALSE(CellIsBlack(form->Grid(), 3, 4));

  c.RecallPreset(1);
  form->UpdateControls();
  EXPECT_DOUBLE_EQ(form->MasterVolumeKnob()->Value(), 0.7);
  EXPECT_TRUE(form->MuteCheckBox()->isChecked());
  EXPECT_TRUE(form->Gate12CheckBox()->isChecked());
  EXPECT_DOUBLE_EQ(form->VolumeKnob(3)->Value(), 0.4);
  EXPECT_FALSE(form->SlotBox(2)->isChecked());
  EXPECT_TRUE(form->SlotBox(1)->isChecked());
  EXPECT_TRUE(CellIsBlack(form->Grid(), 3, 4));
  EXPECT_FALSE(CellIsBlack(form->Grid(), 2, 4));
  EXPECT_EQ(form->PresetCaption(), "2");  // showing is no edit
  EXPECT_DOUBLE_EQ(drums.volume.Value(), 0.7);
}

// ---- Bassline ---------------------------------------------------------------

TEST_F(SequencerWindowsTest, BasslineGridRowsEditGatesAccentsAndTies) {
  TGardeningContraption& c = Make("Bassline");
  auto& bass = static_cast<TGBassline&>(c.Processor());
  auto* form = Open<TBasslineForm>(c);
  ASSERT_NE(form, nullptr);
  KWStepGrid* grid = form->Grid();
  EXPECT_EQ(grid->CellRect(0, 0).size(), QSize(22, 8));
  EXPECT_EQ(grid->CellRect(0, 3).size(), QSize(22, 17));
  EXPECT_TRUE(CellIsBlack(grid, 3, 0));  // every step plays at first

  QTest::mouseClick(grid, Qt::LeftButton, {}, grid->CellRect(3, TBasslineForm::kGatesRow).center());
  EXPECT_EQ(Bits(bass.gates), 0xFFF7u);
  EXPECT_FALSE(CellIsBlack(grid, 3, 0));
  QTest::mouseClick(grid, Qt::LeftButton, {},
                    grid->CellRect(15, TBasslineForm::kAccentsRow).center());
  EXPECT_EQ(Bits(bass.accents), 0x8000u);
  engine->SetDocumentModified(false);
  QTest::keyClick(grid, Qt::Key_Down);  // from the accent just set to the tie below it
  QTest::keyClick(grid, Qt::Key_Space);
  EXPECT_EQ(Bits(bass.ties), 0x8000u);
  EXPECT_TRUE(engine->IsDocumentModified());

  EXPECT_EQ(TBasslineForm::NoteText(36), "c3");
  EXPECT_EQ(TBasslineForm::NoteText(0), "off");
  emit form->Knob(0)->OnChange(0.25);
  EXPECT_DOUBLE_EQ(bass.cutoffFreq.Value(), 0.25);
  emit form->Knob(8)->OnChange(0.5);
  EXPECT_DOUBLE_EQ(bass.lfoRate.Value(), 0.5);
  EXPECT_DOUBLE_EQ(form->Knob(8)->Min(), 0.1);  // the rate's range from its table
  form->SquareButton()->click();
  EXPECT_EQ(bass.waveform.Value(), 1);
  form->MuteCheckBox()->click();
  EXPECT_TRUE(bass.mute.Value());
}

TEST_F(SequencerWindowsTest, BasslineTransposesThroughThePopup) {
  TGardeningContraption& c = Make("Bassline");
  auto& bass = static_cast<TGBassline&>(c.Processor());
  bass.notes1.SetValue(EightChars{36, 36, 36, 36, 36, 36, 120, 0});
  auto* form = Open<TBasslineForm>(c);
  ASSERT_NE(form, nullptr);
  auto item = [&](const QString& text) -> QToolButton* {
    for (QToolButton* b : form->TransposePopup()->findChildren<QToolButton*>()) {
      if (b->text() == text) return b;
    }
    return nullptr;
  };
  ASSERT_NE(item("-1"), nullptr);
  ASSERT_NE(item("+12"), nullptr);
  QTest::mousePress(form->TransposeButton(), Qt::LeftButton);
  ASSERT_TRUE(form->TransposePopup()->isVisible());
  // "-1" … "-12" down the first column, "+12" … "+1" down the second.
  EXPECT_EQ(item("-1")->y(), item("+12")->y());
  EXPECT_LT(item("-1")->x(), item("+12")->x());
  EXPECT_GT(item("-12")->y(), item("-1")->y());
  EXPECT_EQ(item("-12")->y(), item("+1")->y());

  item("+12")->click();
  EXPECT_FALSE(form->TransposePopup()->isVisible());
  EXPECT_EQ(bass.notes0.Value()[0], 48);
  EXPECT_EQ(bass.notes1.Value()[6], 120);  // 132 is no note: left alone
  EXPECT_EQ(bass.notes1.Value()[7], 12);   // "off" moves like any note
  QTest::mousePress(form->TransposeButton(), Qt::LeftButton);
  item("-3")->click();
  EXPECT_EQ(bass.notes0.Value()[0], 45);
  EXPECT_EQ(bass.notes1.Value()[6], 117);
}

TEST_F(SequencerWindowsTest, BasslineRandReframeAndThePicker) {
  TGardeningContraption& c = Make("Bassline");
  auto& bass = static_cast<TGBassline&>(c.Processor());
  auto* form = Open<TBasslineForm>(c);
  ASSERT_NE(form, nullptr);
  KWStepGrid* grid = form->Grid();

  // The picker as the user works it: the mouse released over a key.
  int offered = -100;
  QPoint openedAt;
  int key = 43;
  form->pickNote = [&](QPoint at, int current) {
    offered = current;
    openedAt = at;
    TPianoNotes picker;
    picker.Prepare(at, current, TBasslineForm::kPickerBottomKey, TBasslineForm::kPickerKeyRange);
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
  const QPoint at = grid->CellRect(5, TBasslineForm::kNotesRow).center();
  QTest::mouseClick(grid, Qt::LeftButton, {}, at);
  EXPECT_EQ(offered, 36);
  EXPECT_EQ(openedAt, grid->mapToGlobal(at));
  EXPECT_EQ(bass.Pattern().notes[5], 43);
  key = -1;  // no key hit: cancelled
  QTest::mouseClick(grid, Qt::LeftButton, {}, grid->CellRect(9, TBasslineForm::kNotesRow).center());
  EXPECT_EQ(bass.Pattern().notes[9], 36);
  offered = -100;
  QTest::mouseClick(grid, Qt::LeftButton, {}, grid->CellRect(9, TBasslineForm::kTiesRow).center());
  EXPECT_EQ(offered, -100);  // only the notes row picks

  // Reframing left moves step 0 to step 15; right brings it back.
  bass.notes0.SetValue(EightChars{50, 36, 36, 36, 36, 36, 36, 36});
  bass.ties.SetValue(0x0001);
  const BasslinePattern before = bass.Pattern();
  form->ReframeLeftButton()->click();
  EXPECT_EQ(bass.Pattern().notes[15], 50);
  for (int step = 0; step < 15; ++step)
    EXPECT_EQ(bass.Pattern().notes[step], before.notes[step + 1]);
  EXPECT_EQ(Bits(bass.ties), 0x8000u);
  form->ReframeRightButton()->click();
  EXPECT_EQ(bass.Pattern(), before);

  engine->SetDocumentModified(false);
  form->RandomizeButton()->click();
  const BasslinePattern random = bass.Pattern();
  EXPECT_NE(random, before);
  for (int8_t note : random.notes) {
    EXPECT_GE(note, 20);
    EXPECT_LE(note, 43);
  }
  EXPECT_TRUE(engine->IsDocumentModified());
}

TEST_F(SequencerWindowsTest, BasslineShowsARecalledPreset) {
  TGardeningContraption& c = Make("Bassline");
  auto& bass = static_cast<TGBassline&>(c.Processor());
  auto* form = Open<TBasslineForm>(c);
  ASSERT_NE(form, nullptr);
  bass.waveform.SetValue(1);
  bass.cutoffFreq.SetValue(0.2);
  bass.lfoRate.SetValue(0.6);
  bass.mute.SetValue(true);
  bass.gates.SetValue(0x00FF);
  c.StorePreset(4);
  bass.waveform.SetValue(0);
  bass.cutoffFreq.SetValue(0.5);
  bass.mute.SetValue(false);
  bass.gates.SetValue(0xFFFF);
  form->UpdateControls();
  EXPECT_TRUE(form->SawButton()->isChecked());
  EXPECT_TRUE(CellIsBlack(form->Grid(), 12, 0));

  c.RecallPreset(4);
  form->UpdateControls();
  EXPECT_TRUE(form->SquareButton()->isChecked());
  EXPECT_FALSE(form->SawButton()->isChecked());
  EXPECT_DOUBLE_EQ(form->Knob(0)->Value(), 0.2);
  EXPECT_DOUBLE_EQ(form->Knob(8)->Value(), 0.6);
  EXPECT_TRUE(form->MuteCheckBox()->isChecked());
  EXPECT_FALSE(CellIsBlack(form->Grid(), 12, 0));
  EXPECT_TRUE(CellIsBlack(form->Grid(), 7, 0));
  EXPECT_EQ(form->PresetCaption(), "5");
}

// Plays the user's part in the real note picker once it is up: it becomes the
// active window, then a press and a release on the key. As under X, hiding it
// deactivates it while it still counts as visible. Without the release,
// another window takes the focus while the key is held.
void ClickKeyInThePicker(int key, bool release = true) {
  QTimer::singleShot(0, [key, release] {
    auto* picker = qobject_cast<TPianoNotes*>(QApplication::activeModalWidget());
    if (picker == nullptr) return;
    picker->activateWindow();
    if (!QTest::qWaitFor([&] { return picker->isActiveWindow(); }, 20000)) {
      ADD_FAILURE() << "the picker never became the active window";
      picker->reject();
      return;
    }
    KWPianoKeyboard* keyboard = picker->Keyboard();
    for (int x = 0; x < keyboard->width(); ++x) {
      const QPoint p(x, keyboard->height() - 5);
      if (keyboard->KeyAt(p) != key) continue;
      Mouse(keyboard, QEvent::MouseButtonPress, p);
      if (release) {
        Mouse(keyboard, QEvent::MouseButtonRelease, p, Qt::NoButton);
        return;
      }
      QWidget other;
      other.show();
      other.activateWindow();
      if (!QTest::qWaitFor([&] { return !picker->isVisible(); }, 20000)) {
        ADD_FAILURE() << "the picker stayed when it lost the focus";
        picker->reject();
      }
      return;
    }
    ADD_FAILURE() << "no key " << key;
    picker->reject();
  });
}

TEST_F(SequencerWindowsTest, TheRealNotePickerChangesTheNote) {
  TGardeningContraption& bassline = Make("Bassline");
  auto* bass = Open<TBasslineForm>(bassline);
  ASSERT_NE(bass, nullptr);
  engine->SetDocumentModified(false);
  ClickKeyInThePicker(43);
  KWStepGrid* grid = bass->Grid();
  QTest::mouseClick(grid, Qt::LeftButton, {}, grid->CellRect(5, TBasslineForm::kNotesRow).center());
  EXPECT_EQ(static_cast<TGBassline&>(bassline.Processor()).Pattern().notes[5], 43);
  EXPECT_TRUE(engine->IsDocumentModified());
  ClickKeyInThePicker(50, false);
  QTest::mouseClick(grid, Qt::LeftButton, {}, grid->CellRect(5, TBasslineForm::kNotesRow).center());
  EXPECT_EQ(static_cast<TGBassline&>(bassline.Processor()).Pattern().notes[5], 43)
      << "losing the focus cancels";

  TGardeningContraption& combs = Make("5Combs");
  auto* form = Open<TCombs5Form>(combs);
  ASSERT_NE(form, nullptr);
  ClickKeyInThePicker(60);
  QLabel* panel = form->NotePanel(3);
  QTest::mouseClick(panel, Qt::LeftButton, {}, panel->rect().center());
  EXPECT_DOUBLE_EQ(static_cast<TG5Combs&>(combs.Processor()).frequency[3].Value(),
                   KeyFrequency(60));
}

// ---- Playheads --------------------------------------------------------------

// Records the region of every paint a widget gets.
class PaintRegions : public QObject {
 public:
  explicit PaintRegions(QWidget* widget) { widget->installEventFilter(this); }
  QRegion painted;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) painted += static_cast<QPaintEvent*>(event)->region();
    return false;
  }
};

QRegion ColumnOf(KWStepGrid* grid, int column) {
  if (column < 0) return {};
  return QRegion(grid->CellRect(column, 0).united(grid->CellRect(column, grid->Rows() - 1)));
}

TEST_F(SequencerWindowsTest, PlayheadsShowTheStepHeardAndRepaintOnlyTheColumnsThatMove) {
  struct Sequencer {
    const char* type;
    int steps;
  };
  for (const Sequencer& sequencer : {Sequencer{"Drums", 32}, Sequencer{"Bassline", 16}}) {
    SCOPED_TRACE(sequencer.type);
    TGardeningContraption& c = Make(sequencer.type);
    c.ShowWindow();
    auto* grid = host.WindowOf(c)->findChild<KWStepGrid*>();
    ASSERT_NE(grid, nullptr);
    pane.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&pane));
    PaintRegions paints(grid);

    QSDynSigContext& context = engine->GetContext();
    context.Clock().SetPosition(0.0);
    ASSERT_TRUE(engine->SetTempo(240.0));
    context.Clock().SetRunning(true);
    // One block a buffer, so the clock each block leaves is known here.
    std::vector<int16_t> buffer(2 * 256);
    std::vector<uint32_t> tickAfterBlock;
    int moves = 0;
    for (int block = 0; block < 600; ++block) {
      engine->OutStreamFillBuffer(buffer.data(), 256);
      tickAfterBlock.push_back(static_cast<uint32_t>(std::ceil(context.Clock().Position())));
      const int delay = engine->DisplayDelay();
      ASSERT_GT(delay, 0);
      const int before = grid->Playhead();
      QApplication::processEvents();
      paints.painted = {};
      grid->RefreshPlayhead();
      const int heardBlock = static_cast<int>(tickAfterBlock.size()) - delay;
      const int expected = heardBlock < 0
                               ? -1  // nothing made with the clock running heard yet
                               : static_cast<int>(tickAfterBlock[static_cast<size_t>(heardBlock)] /
                                                  6 % static_cast<uint32_t>(sequencer.steps));
      ASSERT_EQ(grid->Playhead(), expected) << "block " << block;
      QApplication::processEvents();
      if (before != expected) {
        ++moves;
        EXPECT_EQ(paints.painted, ColumnOf(grid, before) + ColumnOf(grid, expected));
      } else {
        EXPECT_TRUE(paints.painted.isEmpty());
      }
    }
    EXPECT_GT(moves, sequencer.steps);  // it went round the pattern

    // Paused, the playhead goes once the pause is heard.
    context.Clock().SetRunning(false);
    for (int block = 0; block < 20; ++block) engine->OutStreamFillBuffer(buffer.data(), 256);
    grid->RefreshPlayhead();
    EXPECT_EQ(grid->Playhead(), -1);
    c.CloseWindow();
  }
}

}  // namespace sequencer_windows_test
}  // namespace tg
