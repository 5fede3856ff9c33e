// Learning MIDI from the contraption windows: what each drawn control edits
// is found without changing anything, and Control → "MIDI Learn" takes the
// next click as the control to bind.
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <sstream>

#include "app/dialogs/TSettingsForm.h"
#include "app/midiwindow/TMidiLink.h"
#include "app/midiwindow/TMidiSettingsPage.h"
#include "contraptions/effects/flanger/TFlangerForm.h"
#include "contraptions/generators/bassline/TBasslineForm.h"
#include "controls/KWDWKnob.h"
#include "controls/KWRangeSlider.h"
#include "controls/KWStepGrid.h"
#include "controls/KWValueControl.h"
#include "engine/midi/MidiPorts.h"
#include "framework/TGardeningContraption.h"
#include "host/MemorySettingsStore.h"
#include "shell/document/TGDocument.h"
#include "shell/midi/MidiController.h"
#include "shell/patch/PatchEditor.h"
#include "tests/app/MainWindowFixture.h"

namespace tg {
namespace midi_learn_window_test {

class MidiLearnWindowTest : public test::MainWindowFixture {
 protected:
  template <typename Window>
  Window* Open(const char* type) {
    Form().show();
    Form().NewContraption(type, {40, 40});
    PatchModel& model = Form().Model();
    model.NodeAt(model.NodeCount() - 1).contraption->ShowWindow();
    QApplication::processEvents();
    const QList<Window*> windows = Form().findChildren<Window*>();
    return windows.isEmpty() ? nullptr : windows.back();
  }
  std::string Saved() {
    std::ostringstream text;
    Form().Document().WriteTo(text);
    return text.str();
  }
  std::optional<MidiTargetSpec> TargetOf(QWidget* control, QPoint at = {}) {
    bool logarithmic = false;
    return TMidiLink::TargetOf(control, at, logarithmic);
  }
};

TEST_F(MidiLearnWindowTest, EveryControlNamesWhatItEditsAndChangesNothing) {
  auto* bass = Open<TBasslineForm>("Bassline");
  auto* flanger = Open<TFlangerForm>("Flanger");
  ASSERT_NE(bass, nullptr);
  ASSERT_NE(flanger, nullptr);
  const std::string before = Saved();
  const size_t history = Form().Patch().History().Size();
  int named = 0;
  for (QWidget* window : {static_cast<QWidget*>(bass), static_cast<QWidget*>(flanger)}) {
    for (auto* control : window->findChildren<KWValueControl*>()) {
      const std::optional<MidiTargetSpec> target = TargetOf(control);
      ASSERT_TRUE(target.has_value()) << control->objectName().toStdString();
      EXPECT_EQ(target->kind, MidiTargetSpec::Kind::Value);
      ++named;
    }
    for (auto* box : window->findChildren<QAbstractButton*>()) {
      if (box->isCheckable() && TargetOf(box)) ++named;
    }
  }
  EXPECT_GE(named, 13);
  EXPECT_EQ(Saved(), before);
  EXPECT_EQ(Form().Patch().History().Size(), history);

  EXPECT_EQ(TargetOf(bass->Knob(0))->parameter, "CutoffFreq");
  KWStepGrid* grid = bass->Grid();
  const std::optional<MidiTargetSpec> cell =
      TargetOf(grid, grid->CellRect(5, TBasslineForm::kGatesRow).center());
  ASSERT_TRUE(cell.has_value());
  EXPECT_EQ(cell->kind, MidiTargetSpec::Kind::Bit);
  EXPECT_EQ(cell->parameter, "Gates");
  EXPECT_EQ(cell->index, 5);
  // A range slider's two ends, here two parameters.
  KWRangeSlider* range = flanger->RangeSlider();
  const int along = range->IsVertical() ? range->height() : range->width();
  auto point = [&](double share) {
    const int at =
        static_cast<int>(KWRangeSlider::kReserved / 2 + share * (along - KWRangeSlider::kReserved));
    return range->IsVertical() ? QPoint(range->width() / 2, range->height() - 1 - at)
                               : QPoint(at, range->height() / 2);
  };
  const RangePositions ends = range->Positions();
  EXPECT_EQ(TargetOf(range, point(ends.p0))->parameter, "MinFrequency");
  EXPECT_EQ(TargetOf(range, point(ends.p1))->parameter, "MaxFrequency");
  EXPECT_EQ(Saved(), before);
}

TEST_F(MidiLearnWindowTest, LearnModeTakesTheNextClickAndTheMenusOfferLearnAndForget) {
  auto* bass = Open<TBasslineForm>("Bassline");
  ASSERT_NE(bass, nullptr);
  TMidiLink& midi = Form().Midi();
  QAction* learn = Form().findChild<QAction*>("MidiLearn");
  ASSERT_NE(learn, nullptr);
  learn->trigger();
  const double cutoff = bass->Knob(0)->Value();
  QTest::mouseClick(bass->Knob(0), Qt::LeftButton, {}, bass->Knob(0)->rect().center());
  ASSERT_TRUE(midi.Controller().Learning().has_value());
  EXPECT_EQ(midi.Controller().Learning()->parameter, "CutoffFreq");
  EXPECT_EQ(bass->Knob(0)->Value(), cutoff);  // the click bound, it did not edit

  // Bound (as a controller would), the control's menu tells of it and forgets it.
  MidiBinding b;
  b.target = *midi.Controller().Learning();
  b.number = 74;
  midi.Controller().Bind(b);
  learn->trigger();
  QMenu menu;
  midi.FillControlMenu(menu, b.target, false);
  QStringList texts;
  for (QAction* a : menu.actions()) texts << a->text();
  EXPECT_EQ(texts, QStringList({"CC 74 on any channel", "Learn MIDI Controller", "Forget MIDI",
                                "MIDI Pick-Up"}));
  menu.actions()[2]->trigger();
  EXPECT_TRUE(Form().Patch().Bindings().Empty());
  Form().Patch().Undo();
  EXPECT_EQ(Form().Patch().Bindings().Size(), 1u);
}

TEST_F(MidiLearnWindowTest, TheClockSourceIsChosenOnTheMidiPageAndKeptAsAWord) {
  MidiPorts& ports = Form().Midi().Ports();
  std::vector<std::string> said;
  ports.SetMessageHandler([&](const std::string& text) { said.push_back(text); });
  TMidiSettingsPage page(ports);
  QComboBox* choice = page.ClockSourceChoice();
  EXPECT_EQ(choice->currentText(), "Internal");
  choice->setCurrentIndex(choice->findText("MIDI clock"));
  page.Apply();
  EXPECT_EQ(engine->GetClockSource(), ClockSource::MidiClock);
  MemorySettingsStore store;
  ports.Store(store);
  EXPECT_EQ(store.ReadString(SettingsGroup("MIDI"), "ClockSource"), "midi");
  engine->SetClockSource(ClockSource::Internal);
  ports.Load(store);
  EXPECT_EQ(engine->GetClockSource(), ClockSource::MidiClock);
  // A word this program does not know leaves the program's own clock, and says so.
  store.WriteString(SettingsGroup("MIDI"), "ClockSource", "Link");
  ports.Load(store);
  EXPECT_EQ(engine->GetClockSource(), ClockSource::Internal);
  ASSERT_FALSE(said.empty());
  EXPECT_EQ(said.back(),
            "The stored clock source \"Link\" is unknown; the program's own clock leads");
  // "Ableton Link" with "Start/stop sync" beside it, kept too. (Only chosen
  // here: applied, it would join a session on the machine's network.)
  page.ReadCurrent();
  EXPECT_FALSE(page.StartStopSync()->isEnabled());
  choice->setCurrentIndex(choice->findText("Ableton Link"));
  EXPECT_TRUE(page.StartStopSync()->isEnabled());
  engine->SetLinkStartStopSync(true);
  ports.Store(store);
  engine->SetLinkStartStopSync(false);
  ports.Load(store);
  EXPECT_TRUE(engine->LinkStartStopSync());
  EXPECT_FALSE(engine->LinkLeads());
}

// The settings' Apply takes the MIDI page as OK does: a change there offers
// Apply, and what was applied stays when the dialog is then cancelled.
TEST_F(MidiLearnWindowTest, TheSettingsApplyTakesTheMidiPage) {
  bool offered = false;
  ClockSource whileOpen = ClockSource::Internal;
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<TSettingsForm*>(QApplication::activeModalWidget());
    if (dialog == nullptr) return;
    auto* page = dialog->findChild<TMidiSettingsPage*>();
    QPushButton* apply = nullptr;
    for (auto* button : dialog->findChildren<QPushButton*>())
      if (button->text() == "Apply") apply = button;
    if (page != nullptr && apply != nullptr) {
      EXPECT_FALSE(dialog->CanApply());
      page->ClockSourceChoice()->setCurrentIndex(page->ClockSourceChoice()->findText("MIDI clock"));
      offered = dialog->CanApply();
      QTest::mouseClick(apply, Qt::LeftButton);
      whileOpen = engine->GetClockSource();
    }
    dialog->reject();
  });
  Form().ShowSettings();
  EXPECT_TRUE(offered);
  EXPECT_EQ(whileOpen, ClockSource::MidiClock);
  EXPECT_EQ(engine->GetClockSource(), ClockSource::MidiClock);
}

}  // namespace midi_learn_window_test
}  // namespace tg
