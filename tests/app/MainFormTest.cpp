#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QScrollBar>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

#include "app/dialogs/TExportAsWaveForm.h"
#include "app/help/THelpBrowser.h"
#include "app/patcher/KWPatcherPanel.h"
#include "base/EngineLock.h"
#include "contraptions/generators/testgen/TGTestSignalGenerator.h"
#include "contraptions/generators/testgen/TTestGenForm.h"
#include "contraptions/io/soundin/TGSoundIn.h"
#include "contraptions/io/soundin/TSoundInForm.h"
#include "contraptions/io/soundout/LostFramesMessage.h"
#include "contraptions/io/soundout/TGSoundOut.h"
#include "contraptions/io/soundout/TSoundOutForm.h"
#include "contraptions/mixers/mixers/TGMixers.h"
#include "controls/KWDWKnob.h"
#include "controls/KWDWMeter.h"
#include "controls/KWNumberEdit.h"
#include "controls/StagePalette.h"
#include "files/SoundFilePaths.h"
#include "files/wavefiles/SoundFileReader.h"
#include "forms/ContraptionWindowHost.h"
#include "forms/TContraptionForm.h"
#include "forms/TPresetMenuForm.h"
#include "framework/TContraptionMaker.h"
#include "framework/TGardeningContraption.h"
#include "shell/document/TGDocument.h"
#include "shell/patch/PatchEditor.h"
#include "shell/program/KWReloadManager.h"
#include "tests/app/MainWindowFixture.h"
#include "tests/controls/MouseHelpers.h"
#include "tests/engine/PanicProcessors.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestProcessors.h"
#include "tests/support/TestSoundFiles.h"

namespace tg {
namespace main_form_test {

using test::Drag;

class MainFormTest : public test::MainWindowFixture {
 protected:
  QAction* NewItem(const QString& type) {
    for (QAction* sub : Form().NewMenu()->actions()) {
      if (sub->menu() == nullptr) continue;
      for (QAction* item : sub->menu()->actions()) {
        if (item->text() == type) return item;
      }
    }
    return nullptr;
  }
  // Places a node where the last right-click was.
  PatchNode* New(const QString& type, QPoint at) {
    Form().PaneMenu();  // built with the window
    Form().NewContraption(type.toStdString(), at);
    const int n = Form().Model().NodeCount();
    return n == 0 ? nullptr : &Form().Model().NodeAt(n - 1);
  }
  QPoint View(QPoint content) { return content - Form().PatcherPanel()->ScrollOffset(); }
  void Wire(PatchNode& from, int outlet, PatchNode& to, int inlet) {
    KWPatcherPanel* pane = Form().PatcherPanel();
    Drag(pane->viewport(), View(pane->OutletPoint(from, outlet) - QPoint(0, 2)),
         View(pane->InletPoint(to, inlet) + QPoint(0, 2)));
  }
  // What typing a tempo does.
  void Tempo(double bpm) {
    Form().TempoEdit()->SetValue(bpm);
    emit Form().TempoEdit()->OnChange(bpm);
  }
  void Show() {
    Form().show();
    QApplication::processEvents();
  }
  std::string Text(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
};

TEST_F(MainFormTest, NewMenuHasTheCategoriesInOrderAndNamesContraptionsByType) {
  const QList<QAction*> items = Form().NewMenu()->actions();
  ASSERT_GE(items.size(), 6);
  const QStringList expected{"Input / Output", "Signal Generators", "Effects", "Filters", "Mixers",
                             "Busses"};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(items[i]->text(), expected[i]);

  NewItem("TestGen")->trigger();
  NewItem("TestGen")->trigger();
  NewItem("SoundOut")->trigger();
  EXPECT_NE(Node("TestGen_1"), nullptr);
  EXPECT_NE(Node("TestGen_2"), nullptr);
  EXPECT_TRUE(engine->HasSoundOut());
  EXPECT_TRUE(Form().Action("StartAudioOut")->isEnabled());

  NewItem("SoundOut")->trigger();  // only one may exist
  EXPECT_EQ(Form().Model().NodeCount(), 3);
  EXPECT_EQ(LastMessage(),
            "Sorry, you are only permitted to create one instance of the SoundOut object.");
  EXPECT_EQ(messages.Messages().back().caption, "Object instansiation failed!");
}

TEST_F(MainFormTest, WiresAreDrawnByMouseAndAnInletTakesOnlyOne) {
  Show();
  PatchNode* a = New("TestGen", {20, 20});
  PatchNode* b = New("TestGen", {120, 20});
  PatchNode* out = New("SoundOut", {60, 120});
  Wire(*a, 0, *out, 0);
  ASSERT_EQ(Form().Model().ConnectionCount(), 1);
  Wire(*b, 0, *out, 0);  // refused: the inlet is taken
  EXPECT_EQ(Form().Model().ConnectionCount(), 1);
  Wire(*b, 0, *out, 1);
  EXPECT_EQ(Form().Model().ConnectionCount(), 2);
  // Never to the node itself.
  PatchNode* d = New("SDelay", {200, 120});
  Wire(*d, 0, *d, 1);
  EXPECT_EQ(Form().Model().ConnectionCount(), 2);
}

TEST_F(MainFormTest, DeletingTheSoundOutRemovesItsWiresAndStopsAudioOut) {
  Show();
  PatchNode* gen = New("TestGen", {20, 20});
  PatchNode* out = New("SoundOut", {20, 120});
  Wire(*gen, 0, *out, 0);
  Wire(*gen, 0, *out, 1);
  Form().StartAudioOut();
  ASSERT_TRUE(engine->IsAudioOutRunning());
  EXPECT_TRUE(Form().AudioOutButton()->isChecked());
  EXPECT_EQ(Form().AudioOutButton()->toolTip(), "Stop Audio Out");
  EXPECT_TRUE(Form().UiTimer()->isActive());

  KWPatcherPanel* pane = Form().PatcherPanel();
  QTest::mouseClick(pane->viewport(), Qt::LeftButton, {}, View(pane->NodeRect(*out).center()));
  QTest::keyClick(pane, Qt::Key_Delete);
  EXPECT_EQ(Form().Model().ConnectionCount(), 0);
  EXPECT_EQ(Form().Model().NodeCount(), 1);
  EXPECT_FALSE(engine->IsAudioOutRunning());
  EXPECT_FALSE(Form().AudioOutButton()->isEnabled());
  EXPECT_FALSE(Form().Action("StartAudioOut")->isEnabled());
  EXPECT_FALSE(Form().UiTimer()->isActive());
}

// File > Save the Last Minutes writes what was played while it plays on; the
// settings say how much is kept.
TEST_F(MainFormTest, TheLastMinutesAreSavedWhilePlayingGoesOn) {
  Show();
  PatchNode* gen = New("TestGen", {20, 20});
  PatchNode* out = New("SoundOut", {20, 120});
  Wire(*gen, 0, *out, 0);
  Form().PrepareFileMenu();
  EXPECT_FALSE(Form().Action("SaveLastMinutes")->isEnabled());  // nothing played yet
  Form().StartAudioOut();
  ASSERT_TRUE(QTest::qWaitFor([&] { return engine->LastMinutes().FramesKept() >= 11025; }, 60000));
  Form().PrepareFileMenu();
  EXPECT_TRUE(Form().Action("SaveLastMinutes")->isEnabled());

  test::TempDir dir;
  ASSERT_TRUE(Form().SaveLastMinutesTo(QString::fromStdString(dir / "moment.wav")));
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return Form().statusBar()->currentMessage().startsWith("Saved the last 0:"); }, 60000))
      << Form().statusBar()->currentMessage().toStdString();
  EXPECT_TRUE(engine->IsAudioOutRunning());
  EXPECT_GE(ReadWaveInfo(dir / "moment.wav").frames, 11025);
  EXPECT_EQ(engine->KeptFrames(), 5 * 44100 * 60);  // the setting's first value
}

TEST_F(MainFormTest, UseInputFileStopsAudioInAndSoundInsWindowFollowsTheMenu) {
  Show();
  PatchNode* in = New("SoundIn", {20, 20});
  ASSERT_NE(in, nullptr);
  Form().StartAudioIn();
  ASSERT_TRUE(engine->IsAudioInRunning());
  in->contraption->ShowWindow();
  auto* window = dynamic_cast<TSoundInForm*>(Form().WindowHost().WindowOf(*in->contraption));
  ASSERT_NE(window, nullptr);

  Form().Action("UseInputFile")->trigger();
  EXPECT_TRUE(engine->IsUsingInputFile());
  EXPECT_FALSE(engine->IsAudioInRunning());  // the file takes the input's place
  EXPECT_FALSE(Form().Action("StartAudioIn")->isEnabled());
  EXPECT_FALSE(Form().Action("StopAudioIn")->isEnabled());
  EXPECT_TRUE(window->UseFileBox()->isChecked());

  window->UseFileBox()->click();  // and back, from the window
  EXPECT_FALSE(engine->IsUsingInputFile());
  EXPECT_FALSE(Form().Action("UseInputFile")->isChecked());
  EXPECT_TRUE(Form().Action("StartAudioIn")->isEnabled());
}

TEST_F(MainFormTest, UseInputFileFromTheMenuIsAnEditThatCanBeUndone) {
  test::TempDir dir;
  PatchNode* in = New("SoundIn", {20, 20});
  ASSERT_NE(in, nullptr);
  queries.saveName = dir / "in.tgh";
  Form().FileSaveAs();
  Form().Action("UseInputFile")->trigger();
  Form().PrepareFileMenu();
  EXPECT_TRUE(Form().Action("Save")->isEnabled());
  EXPECT_EQ(Form().Patch().UndoName(), "Change 'UseADC'");
  Form().Patch().Undo();
  EXPECT_FALSE(engine->IsUsingInputFile());
  EXPECT_FALSE(Form().Action("UseInputFile")->isChecked());
}

// Presets and undo set "UseADC" as they find it; audio in and the file follow.
TEST_F(MainFormTest, PresetsAndUndoKeepAudioInAndTheFileInStepWithFileMode) {
  Show();
  PatchNode* node = New("SoundIn", {20, 20});
  ASSERT_NE(node, nullptr);
  TGardeningContraption& c = *node->contraption;
  TGSoundIn& in = engine->SoundInProcessor();
  in.useADC.SetValue(false);
  TPresetMenuForm::Apply({TPresetMenuForm::kStore, 0}, c);
  in.useADC.SetValue(true);
  in.active.SetValue(true);  // left playing by an older program
  TPresetMenuForm::Apply({TPresetMenuForm::kStore, 1}, c);
  in.active.SetValue(false);

  Form().StartAudioIn();
  ASSERT_TRUE(engine->IsAudioInRunning());
  TPresetMenuForm::Apply({TPresetMenuForm::kRecall, 0}, c);
  EXPECT_FALSE(engine->IsAudioInRunning());
  EXPECT_TRUE(Form().Action("UseInputFile")->isChecked());
  EXPECT_FALSE(Form().Action("StartAudioIn")->isEnabled());
  EXPECT_FALSE(Form().Action("StopAudioIn")->isEnabled());

  Form().Patch().Undo();
  EXPECT_FALSE(engine->IsUsingInputFile());
  ASSERT_TRUE(Form().Action("StartAudioIn")->isEnabled());
  Form().StartAudioIn();
  ASSERT_TRUE(engine->IsAudioInRunning());
  Form().Patch().Redo();
  EXPECT_FALSE(engine->IsAudioInRunning());
  EXPECT_FALSE(Form().Action("StopAudioIn")->isEnabled());

  // Playing, then switched to the device by a preset: the window shows it.
  c.ShowWindow();
  auto* window = dynamic_cast<TSoundInForm*>(Form().WindowHost().WindowOf(c));
  ASSERT_NE(window, nullptr);
  in.active.SetValue(true);
  window->UpdateControls();
  ASSERT_EQ(window->PlayGlyph(), "PAUSE");
  TPresetMenuForm::Apply({TPresetMenuForm::kRecall, 1}, c);
  EXPECT_FALSE(in.active.Value());
  EXPECT_EQ(window->PlayGlyph(), "PLAY");
  EXPECT_TRUE(Form().Action("StartAudioIn")->isEnabled());
}

TEST_F(MainFormTest, UndoingAFileChoiceOpensTheEarlierFileAgain) {
  test::TempDir dir;
  test::WriteWave(dir / "half.wav", 44100, 1, std::vector<int16_t>(22050, 5000));
  PatchNode* node = New("SoundIn", {20, 20});
  ASSERT_NE(node, nullptr);
  TGardeningContraption& c = *node->contraption;
  TGSoundIn& in = engine->SoundInProcessor();
  c.ShowWindow();
  auto* window = dynamic_cast<TSoundInForm*>(Form().WindowHost().WindowOf(c));
  ASSERT_NE(window, nullptr);
  window->ChooseFile(QString::fromStdString(dir / "half.wav"));
  EXPECT_TRUE(in.fileIsGood.Value());
  Form().Patch().Undo();
  in.WaitForFile();
  EXPECT_FALSE(in.fileIsGood.Value());  // no file, not just no name
  Form().Patch().Redo();
  in.WaitForFile();
  EXPECT_TRUE(in.fileIsGood.Value());
  EXPECT_NEAR(in.duration.Value(), 500.0, 1.0);
}

TEST_F(MainFormTest, SavedDocumentsOpenAgainToTheSameTextAndJoinTheClosedFiles) {
  test::TempDir dir;
  PatchNode* gen = New("TestGen", {30, 20});
  PatchNode* delay = New("SDelay", {30, 80});
  New("SoundOut", {30, 140});
  Form().Patch().Connect(*gen, 0, *delay, 0);
  gen->contraption->ShowWindow();
  Tempo(96);
  queries.saveName = dir / "song.tgh";
  Form().FileSaveAs();
  EXPECT_EQ(Form().windowTitle(), "song[*] - Tonegarden");
  const std::string first = Text(dir / "song.tgh");
  ASSERT_FALSE(first.empty());

  Form().FileNew();
  EXPECT_EQ(Form().Model().NodeCount(), 0);
  EXPECT_EQ(Form().ClosedFiles().Files().front(), dir / "song.tgh");
  EXPECT_EQ(Form().windowTitle(), "Untitled[*] - Tonegarden");

  Form().PrepareFileMenu();
  ASSERT_EQ(Form().ReopenMenu()->actions().size(), 1);
  EXPECT_EQ(Form().ReopenMenu()->actions()[0]->text(),
            QString::fromStdString("&0 " + (dir / "song.tgh")));
  Form().ReopenMenu()->actions()[0]->trigger();
  EXPECT_EQ(Form().Model().NodeCount(), 3);
  EXPECT_DOUBLE_EQ(Form().TempoEdit()->Value(), 96.0);
  EXPECT_NE(Form().WindowHost().WindowOf(*Node("TestGen_1")->contraption), nullptr);
  queries.saveName = dir / "again.tgh";
  Form().FileSaveAs();
  EXPECT_EQ(Text(dir / "again.tgh"), first);
}

TEST_F(MainFormTest, TheDocumentIsModifiedByEverySourceOfChange) {
  test::TempDir dir;
  Show();
  PatchNode* gen = New("TestGen", {30, 20});
  PatchNode* out = New("SoundOut", {30, 120});
  queries.saveName = dir / "m.tgh";
  Form().FileSaveAs();
  auto modified = [&] {
    Form().PrepareFileMenu();
    return Form().Action("Save")->isEnabled();
  };
  auto saved = [&] {
    Form().FileSave();
    return !modified();
  };
  ASSERT_TRUE(saved());
  EXPECT_FALSE(Form().Action("Revert")->isEnabled());

  Tempo(100);
  EXPECT_TRUE(modified());
  EXPECT_TRUE(Form().Action("Revert")->isEnabled());
  ASSERT_TRUE(saved());

  Wire(*gen, 0, *out, 0);  // a wire
  EXPECT_TRUE(modified());
  ASSERT_TRUE(saved());

  KWPatcherPanel* pane = Form().PatcherPanel();  // dragging a node
  const QPoint c = View(pane->NodeRect(*gen).center());
  Drag(pane->viewport(), c, c + QPoint(30, 0));
  EXPECT_TRUE(modified());
  ASSERT_TRUE(saved());

  gen->contraption->ShowWindow();  // opening a window
  EXPECT_TRUE(modified());
  ASSERT_TRUE(saved());
  TContraptionForm* window = Form().WindowHost().WindowOf(*gen->contraption);
  ASSERT_NE(window, nullptr);
  window->Place(QRect(40, 40, 200, 100));  // moving it
  EXPECT_TRUE(modified());
  ASSERT_TRUE(saved());

  // A knob turned from the keyboard (no mouse press) is an edit too.
  TPresetMenuForm::Apply({TPresetMenuForm::kStore, 0}, *gen->contraption);
  ASSERT_TRUE(saved());
  emit static_cast<TTestGenForm*>(window)->VolumeKnob()->OnChange(0.5);
  EXPECT_TRUE(modified());
  EXPECT_EQ(window->PresetCaption(), "--");
  ASSERT_TRUE(saved());

  Form().NewContraption("SDelay", {100, 100});  // a new contraption
  EXPECT_TRUE(modified());
}

// Help, a take, its playback and the clock are no edits of the document;
// opening, moving and closing a window are, as the document keeps windows.
TEST_F(MainFormTest, HelpRecordingAndPlayingLeaveTheDocumentUnmodified) {
  test::TempDir dir;
  Show();
  PatchNode* gen = New("TestGen", {30, 20});
  PatchNode* out = New("SoundOut", {30, 120});
  Wire(*gen, 0, *out, 0);
  gen->contraption->ShowWindow();
  out->contraption->ShowWindow();
  TContraptionForm* genWindow = Form().WindowHost().WindowOf(*gen->contraption);
  auto* outWindow = dynamic_cast<TSoundOutForm*>(Form().WindowHost().WindowOf(*out->contraption));
  ASSERT_NE(outWindow, nullptr);
  outWindow->ChooseFile(QString::fromStdString(dir / "take.wav"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !outWindow->OpeningFile(); }, 30000));
  queries.saveName = dir / "m.tgh";
  Form().FileSaveAs();
  auto modified = [&] {
    Form().PrepareFileMenu();
    return Form().Action("Save")->isEnabled();
  };
  ASSERT_FALSE(modified());

  QToolButton* help = nullptr;
  for (QToolButton* b : genWindow->findChildren<QToolButton*>())
    if (b->toolTip() == "Help") help = b;
  ASSERT_NE(help, nullptr);
  QTest::mouseClick(help, Qt::LeftButton);
  EXPECT_TRUE(Form().Help().isVisible());
  EXPECT_FALSE(modified()) << "help";

  auto& sound = static_cast<TGSoundOut&>(out->contraption->Processor());
  auto state = [&](int wanted) {
    return QTest::qWaitFor([&] { return sound.GetState() == wanted; }, 30000);
  };
  Form().StartClock();
  ASSERT_TRUE(engine->IsAudioOutRunning());
  QTest::mouseClick(outWindow->RecordButton(), Qt::LeftButton);
  ASSERT_TRUE(state(TGSoundOut::kRecording));
  ASSERT_TRUE(QTest::qWaitFor([&] { return sound.FileLengthMs() > 0.0; }, 30000));
  QTest::mouseClick(outWindow->RecordButton(), Qt::LeftButton);
  ASSERT_TRUE(state(TGSoundOut::kStopped));
  ASSERT_TRUE(QTest::qWaitFor([&] { return outWindow->PlayButton()->isEnabled(); }, 30000));
  EXPECT_FALSE(modified()) << "a take";
  QTest::mouseClick(outWindow->PlayButton(), Qt::LeftButton);  // plays the take to its end
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return outWindow->PlayGlyph() == "PLAY" && outWindow->RecordButton()->isEnabled(); },
      30000));
  Form().StartClock();  // pauses
  Form().StopClock();
  EXPECT_FALSE(modified()) << "playing and the clock";

  genWindow->close();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(modified()) << "closing a window";
}

TEST_F(MainFormTest, CommandLineOpensTheDocumentAndStartsAudioAndClock) {
  test::TempDir dir;
  {
    PatchNode* gen = New("TestGen", {30, 20});
    PatchNode* out = New("SoundOut", {30, 120});
    Form().Patch().Connect(*gen, 0, *out, 0);
    queries.saveName = dir / "live.tgh";
    Form().FileSaveAs();
    Form().FileNew();
    form.reset();
  }
  Form(ParseCommandLine({"tonegarden", dir / "live.tgh", "/startdacs", "/STARTCLOCK"})).Start();
  EXPECT_EQ(Form().Model().NodeCount(), 2);
  EXPECT_EQ(Form().windowTitle(), "live[*] - Tonegarden");
  EXPECT_TRUE(engine->IsAudioOutRunning());
  EXPECT_TRUE(engine->GetContext().Clock().IsRunning());
  EXPECT_EQ(Form().StartClockButton()->toolTip(), "Pause Clock");
  Form().StopAudioOut();
  form.reset();

  engine->StopClock();
  Form(ParseCommandLine({"tonegarden", dir / "live.tgh", "/STARTCLOCK"})).Start();
  EXPECT_FALSE(engine->IsAudioOutRunning());
  EXPECT_FALSE(engine->GetContext().Clock().IsRunning());
}

TEST_F(MainFormTest, ClockAndAudioCommandsOnTheSilentDevice) {
  Form().StartClock();  // no SoundOut: the clock runs but audio does not start
  EXPECT_TRUE(engine->GetContext().Clock().IsRunning());
  EXPECT_FALSE(engine->IsAudioOutRunning());
  Form().StartClock();  // pauses
  EXPECT_FALSE(engine->GetContext().Clock().IsRunning());
  EXPECT_FALSE(Form().Action("StopClock")->isEnabled());
  EXPECT_TRUE(Form().Action("StartClock")->isEnabled());

  New("SoundOut", {20, 20});
  Form().StartClock();  // with a SoundOut, audio out starts too
  EXPECT_TRUE(engine->IsAudioOutRunning());
  EXPECT_TRUE(Form().MeterTimer()->isActive());
  EXPECT_TRUE(Form().Action("StopClock")->isEnabled());
  QTest::qWait(120);
  Form().UpdateMeters();
  Form().StopClock();
  EXPECT_EQ(Form().TimecodeLabel()->text(), "000:0");
  EXPECT_DOUBLE_EQ(engine->GetContext().Clock().Position(), 0.0);
  Form().UpdateStatus();
  EXPECT_TRUE(Form().CpuLabel()->text().startsWith("CPU Load: "));

  // Audio out stops while a document opens and starts again when the new
  // patch has a SoundOut.
  test::TempDir dir;
  queries.saveName = dir / "a.tgh";
  Form().FileSaveAs();
  queries.openName = dir / "a.tgh";
  Form().FileOpen();
  EXPECT_TRUE(engine->IsAudioOutRunning());
  Form().FileNew();  // File New stops it for good
  EXPECT_FALSE(engine->IsAudioOutRunning());
  EXPECT_FALSE(Form().AudioOutButton()->isEnabled());

  // The audio-out button starts when pressed down and stops when released.
  New("SoundOut", {20, 20});
  Form().AudioOutButton()->click();
  EXPECT_TRUE(engine->IsAudioOutRunning());
  Form().AudioOutButton()->click();
  EXPECT_FALSE(engine->IsAudioOutRunning());
}

// Play a patch, then open something that is no document: the music goes on
// and the patch keeps its name, contents and modified state.
TEST_F(MainFormTest, AFailedOpenKeepsThePatchItsNameAndItsMusic) {
  test::TempDir dir;
  New("TestGen", {20, 20});
  New("SoundOut", {20, 80});
  queries.saveName = dir / "song.tgh";
  Form().FileSaveAs();
  New("SDelay", {20, 140});  // unsaved
  Form().StartClock();
  ASSERT_TRUE(engine->IsAudioOutRunning());
  const QString caption = Form().windowTitle();

  std::ofstream(dir / "garbage.tgh", std::ios::binary) << "\x89PNG\r\n\x1a\n";
  queries.openName = dir / "garbage.tgh";
  Form().FileOpen();
  EXPECT_EQ(LastMessage(), "The specified file is not a Tonegarden document.");
  Form().Reopen(dir / "gone.tgh");
  EXPECT_EQ(LastMessage(), "An error occurred while opening the document.\n" + (dir / "gone.tgh") +
                               ": not found.");

  EXPECT_EQ(Form().windowTitle(), caption);
  EXPECT_EQ(Form().Model().NodeCount(), 3);
  EXPECT_TRUE(engine->IsAudioOutRunning());
  EXPECT_TRUE(engine->GetContext().Clock().IsRunning());
  EXPECT_TRUE(Form().Action("StopClock")->isEnabled());
  EXPECT_EQ(queries.saveQuestions, 0);
  Form().PrepareFileMenu();
  EXPECT_TRUE(Form().Action("Save")->isEnabled());  // still modified
  EXPECT_TRUE(Form().ClosedFiles().Files().empty());
}

// The pane layout is the user's: File New keeps it. A stream that stopped has
// no CPU load to show.
TEST_F(MainFormTest, FileNewKeepsThePaneLayoutAndStoppedAudioShowsNoLoad) {
  Show();
  Form().SetPatcherPaneShown(false);
  New("SoundOut", {20, 20});
  Form().StartAudioOut();
  Form().UpdateStatus();
  EXPECT_FALSE(Form().CpuLabel()->text().isEmpty());
  Form().FileNew();
  EXPECT_FALSE(engine->IsAudioOutRunning());
  EXPECT_TRUE(Form().CpuLabel()->text().isEmpty());
  EXPECT_FALSE(Form().Model().PatcherShown());
  EXPECT_TRUE(Form().PatcherPanel()->isHidden() || !Form().PatcherPanel()->isVisible());
}

// A take that lost frames to a slow disk says so in the status bar, until
// the next take begins.
TEST_F(MainFormTest, TheStatusBarTellsWhatATakeLostToASlowDisk) {
  test::TempDir dir;
  New("SoundOut", {20, 20});
  TGSoundOut& out = engine->SoundOutProcessor();
  auto locked = [&](auto&& work) {
    EngineLockGuard lock(engine->OutStream().GetEngineLock());
    work();
  };
  locked([&] {
    out.outputFile.SetValue(dir / "take.wav");
    out.Reset();
  });
  ASSERT_TRUE(QTest::qWaitFor([&] { return out.GetState() != TGSoundOut::kOpening; }, 30000));
  auto run = [&](int blocks) {
    std::vector<int16_t> buffer(static_cast<size_t>(blocks) * 512);
    engine->OutStreamFillBuffer(buffer.data(), blocks * 256);
  };
  locked([&] { out.action.SetValue(TGSoundOut::kRecord); });
  {
    auto hold = out.FileWorker().HoldDisk();  // the disk stalls for the whole take
    run(140 * SoundOutFileWorker::kChunkFrames / 256);
    // Audio is stopped: this thread is the only one that processes, and it
    // must not take the engine lock while it keeps the worker off the disk.
    out.action.SetValue(TGSoundOut::kStop);
    run(1);
  }
  out.FlushFile();
  ASSERT_GT(out.LostFrames(), 0u);
  Form().UpdateControls();
  EXPECT_EQ(Form().TakeLossLabel()->text().toStdString(), LostFramesMessage(out.LostFrames()));

  locked([&] { out.action.SetValue(TGSoundOut::kRecord); });
  run(2);
  Form().UpdateControls();
  EXPECT_TRUE(Form().TakeLossLabel()->text().isEmpty());
  locked([&] { out.action.SetValue(TGSoundOut::kStop); });
  run(1);
}

// A tone over full scale lights the output meter's clip light for two
// seconds, and the status bar and SoundOut's window count what clipped; the
// limiter keeps it below.
TEST_F(MainFormTest, ClippingLightsTheMeterForTwoSecondsAndIsCounted) {
  PatchNode* gen = New("TestGen", {20, 20});
  PatchNode* mixer = New("P2Mixer", {20, 120});
  PatchNode* out = New("SoundOut", {20, 220});
  Form().Patch().Connect(*gen, 0, *mixer, 1);
  Form().Patch().Connect(*mixer, 0, *out, 0);
  {
    EngineLockGuard lock(engine->GetEngineLock());
    static_cast<TGTestSignalGenerator&>(gen->contraption->Processor()).amplitude.SetValue(1.0);
    auto& m = static_cast<TGPanPotMixer&>(mixer->contraption->Processor());
    m.masterGain.SetValue(1.0);
    m.gainProperty(1).SetValue(1.0);
    m.panProperty(1).SetValue(0.25);  // the left side at 1.207 of the tone
  }
  out->contraption->ShowWindow();
  auto* window = dynamic_cast<TSoundOutForm*>(Form().WindowHost().WindowOf(*out->contraption));
  ASSERT_NE(window, nullptr);
  auto run = [&](int blocks) {
    std::vector<int16_t> buffer(static_cast<size_t>(blocks) * 512);
    engine->OutStreamFillBuffer(buffer.data(), blocks * 256);
  };
  const auto now = std::chrono::steady_clock::now();
  Form().ShowClipLight(now);  // what was there before
  Form().ShowClipLight(now + std::chrono::seconds(3));
  ASSERT_FALSE(Form().OutputMeter()->IsClipped());
  EXPECT_TRUE(Form().OutputMeter()->IsClipLightShown());

  run(100);
  const TGSoundOut& soundOut = engine->SoundOutProcessor();
  ASSERT_GT(soundOut.Counts().clipped, 1000u);
  const auto at = now + std::chrono::seconds(10);
  Form().ShowClipLight(at);
  EXPECT_TRUE(Form().OutputMeter()->IsClipped());
  Form().ShowClipLight(at + std::chrono::milliseconds(1900));
  EXPECT_TRUE(Form().OutputMeter()->IsClipped());
  Form().ShowClipLight(at + std::chrono::milliseconds(2100));
  EXPECT_FALSE(Form().OutputMeter()->IsClipped());
  Form().UpdateStatus();
  window->ShowClips();
  const QString counted = QString::fromStdString(soundOut.ClipSummary());
  EXPECT_TRUE(counted.contains("samples clipped (peak +1.6 dBFS)")) << counted.toStdString();
  EXPECT_EQ(Form().ClipLabel()->text(), counted);
  EXPECT_EQ(window->ClipLabel()->text(), counted);

  // A take counts afresh; with the limiter nothing more clips.
  engine->SetOutputLimited(true);
  engine->SoundOutProcessor().RestartCounts();
  run(100);
  Form().ShowClipLight(at + std::chrono::seconds(5));
  EXPECT_FALSE(Form().OutputMeter()->IsClipped());
  EXPECT_EQ(soundOut.Counts().clipped, 0u);
  Form().UpdateStatus();
  window->ShowClips();
  EXPECT_TRUE(Form().ClipLabel()->text().isEmpty());
  EXPECT_TRUE(window->ClipLabel()->text().isEmpty());
}

TEST_F(MainFormTest, ClosingAsksToSaveAndCancelKeepsTheWindow) {
  Show();
  New("TestGen", {20, 20});
  queries.cancelSave = true;
  EXPECT_FALSE(Form().close());
  EXPECT_EQ(queries.saveQuestions, 1);
  queries.cancelSave = false;
  EXPECT_TRUE(Form().close());
  settings.Remove(SettingsGroup("Main Window"), "ToolBar");
  form.reset();
  // The window's place and the bars were stored at the end.
  EXPECT_EQ(settings.ReadBool(SettingsGroup("Main Window"), "ToolBar"), std::optional<bool>(true));
}

TEST_F(MainFormTest, PaneCommandsAndTheContextMenu) {
  Show();
  PatchNode* gen = New("TestGen", {20, 20});
  Form().SetPatcherPaneShown(false);
  EXPECT_TRUE(Form().PatcherPanel()->isHidden() || !Form().PatcherPanel()->isVisible());
  EXPECT_FALSE(Form().Model().PatcherShown());
  Form().SetPatcherPaneShown(true);
  Form().SetPropertiesPaneShown(false);
  EXPECT_FALSE(Form().Model().PropertiesShown());
  Form().SetPropertiesPaneShown(true);
  Form().PrepareViewMenu();
  EXPECT_TRUE(Form().Action("PatcherPane")->isChecked());
  EXPECT_TRUE(Form().Action("PropertiesPane")->isChecked());

  // Right-click on a node: Edit opens its window; on empty space Edit is off.
  KWPatcherPanel* pane = Form().PatcherPanel();
  emit pane->ContextMenuRequested(pane->NodeRect(*gen).center(), QPoint());
  QAction* edit = Form().PaneMenu()->actions()[0];
  ASSERT_TRUE(edit->isEnabled());
  edit->trigger();
  EXPECT_NE(Form().WindowHost().WindowOf(*gen->contraption), nullptr);
  emit pane->ContextMenuRequested({400, 400}, QPoint());
  EXPECT_FALSE(edit->isEnabled());
}

}  // namespace main_form_test
}  // namespace tg

namespace tg {
namespace main_form_test {

TEST_F(MainFormTest, PresetsTravelThroughTheSystemClipboardBetweenContraptions) {
  PatchNode* a = New("TestGen", {20, 20});
  PatchNode* b = New("TestGen", {120, 20});
  TGardeningContraption& first = *a->contraption;
  auto& gen = static_cast<TGTestSignalGenerator&>(first.Processor());
  first.ShowWindow();
  TContraptionForm* window = Form().WindowHost().WindowOf(first);
  ASSERT_NE(window, nullptr);

  gen.frequency.SetValue(880);
  TPresetMenuForm::Apply({TPresetMenuForm::kStore, 2}, first);
  EXPECT_EQ(window->PresetCaption(), "3");
  gen.frequency.SetValue(220);
  TPresetMenuForm::Apply({TPresetMenuForm::kRecall, 2}, first);
  window->UpdateControls();
  EXPECT_DOUBLE_EQ(gen.frequency.Value(), 880);

  TPresetMenuForm::Apply({TPresetMenuForm::kCopy, 2}, first);
  EXPECT_TRUE(QGuiApplication::clipboard()->text().startsWith("preset: TestGen"));
  ASSERT_TRUE(b->contraption->CanPastePreset());
  TPresetMenuForm::Apply({TPresetMenuForm::kPaste, 7}, *b->contraption);
  EXPECT_TRUE(b->contraption->HasPreset(7));
}

// A message in the status bar has it to itself: the overload count comes
// back when the message goes, whatever the controls did meanwhile.
TEST_F(MainFormTest, AStatusMessageIsNotDrawnOverTheOverloadCount) {
  Show();
  New("SoundOut", {20, 20});
  Form().StartAudioOut();
  ASSERT_TRUE(engine->IsAudioOutRunning());
  QToolButton* overloads = Form().OverloadButton();
  EXPECT_TRUE(overloads->isVisible());
  Form().statusBar()->showMessage("Exported 4 bars to mybeat.wav (8.0 s)", 10000);
  Form().UpdateControls();
  Form().UpdateStatus();
  QApplication::processEvents();  // the status bar lays itself out anew
  EXPECT_FALSE(overloads->isVisible());
  EXPECT_FALSE(Form().CpuLabel()->isVisible());
  Form().statusBar()->clearMessage();
  EXPECT_TRUE(overloads->isVisible());
  EXPECT_TRUE(Form().CpuLabel()->isVisible());
  Form().StopAudioOut();
  Form().statusBar()->showMessage("Every sound stopped", 2000);
  Form().statusBar()->clearMessage();
  EXPECT_FALSE(overloads->isVisible()) << "no count while audio out is stopped";
}

// The title carries the platform's unsaved-changes mark, set by any edit
// (even one that tells nobody, like a dragged node) and cleared by saving.
TEST_F(MainFormTest, TheTitleMarksUnsavedChanges) {
  test::TempDir dir;
  Show();
  EXPECT_EQ(Form().windowTitle(), "Untitled[*] - Tonegarden");
  EXPECT_FALSE(Form().isWindowModified());
  PatchNode* gen = New("TestGen", {30, 20});
  EXPECT_TRUE(QTest::qWaitFor([&] { return Form().isWindowModified(); }, 10000));
  queries.saveName = dir / "song.tgh";
  Form().FileSaveAs();
  EXPECT_EQ(Form().windowTitle(), "song[*] - Tonegarden");
  EXPECT_FALSE(Form().isWindowModified());

  KWPatcherPanel* pane = Form().PatcherPanel();
  const QPoint c = View(pane->NodeRect(*gen).center());
  Drag(pane->viewport(), c, c + QPoint(30, 0));
  EXPECT_TRUE(QTest::qWaitFor([&] { return Form().isWindowModified(); }, 10000));
  Form().FileSave();
  EXPECT_FALSE(Form().isWindowModified());
  Tempo(90);
  EXPECT_TRUE(Form().isWindowModified());
}

// A contraption slower than real time: the status bar counts its overloads,
// red for a while after each, and a click counts afresh.
TEST_F(MainFormTest, TheStatusBarCountsOverloadsRedForTenSeconds) {
  using std::chrono::seconds;
  New("SoundOut", {20, 20});
  auto* busy = new test::BusyWait(nullptr);
  {
    EngineLockGuard lock(engine->GetEngineLock());
    busy->SetContext(&engine->GetContext());
    engine->GetContext().Connect(busy, 0, &engine->SoundOutProcessor(), 0, false);
  }
  Form().StartAudioOut();
  EXPECT_FALSE(Form().OverloadButton()->isHidden());
  ASSERT_TRUE(QTest::qWaitFor([&] { return engine->OverloadCount() >= 1; }, 30000));
  busy->busy = false;
  Form().StopAudioOut();
  const uint32_t count = engine->OverloadCount();
  const auto now = std::chrono::steady_clock::now();
  Form().ShowOverloads(now);
  EXPECT_EQ(Form().OverloadButton()->text(), QString("Overloads: %1").arg(count));
  // In the theme's warning colour for ten seconds.
  const QString warning = StagePalette::Current().warningText.name();
  EXPECT_TRUE(Form().OverloadButton()->styleSheet().contains(warning));
  Form().ShowOverloads(now + seconds(9));
  EXPECT_TRUE(Form().OverloadButton()->styleSheet().contains(warning));
  Form().ShowOverloads(now + seconds(11));
  EXPECT_FALSE(Form().OverloadButton()->styleSheet().contains(warning));

  Form().OverloadButton()->click();
  EXPECT_EQ(engine->OverloadCount(), 0u);
  EXPECT_EQ(Form().OverloadButton()->text(), "Overloads: 0");
  EXPECT_FALSE(Form().OverloadButton()->styleSheet().contains(warning));
  {
    EngineLockGuard lock(engine->GetEngineLock());
    engine->GetContext().Disconnect(busy, 0, &engine->SoundOutProcessor(), 0);
    busy->SetContext(nullptr);
  }
  delete busy;
}

// Escape stops every tail at once; the document stays as it was.
TEST_F(MainFormTest, EscapeIsThePanicThatSilencesEveryTail) {
  test::TempDir dir;
  Show();
  Form().activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&Form()));
  PatchNode* delay = New("SDelay", {20, 20});
  PatchNode* out = New("SoundOut", {20, 120});
  Form().Patch().Connect(*delay, 0, *out, 0);
  auto* burst = new test::Burst(nullptr);
  {
    EngineLockGuard lock(engine->GetEngineLock());
    burst->SetContext(&engine->GetContext());
    engine->GetContext().Connect(burst, 0, &delay->contraption->Processor(), 0, false);
  }
  queries.saveName = dir / "tails.tgh";
  Form().FileSaveAs();
  const std::string saved = Text(dir / "tails.tgh");
  auto play = [&] {
    std::vector<int16_t> buffer(2 * 4096);
    engine->OutStreamFillBuffer(buffer.data(), 4096);
    int peak = 0;
    for (int16_t v : buffer) peak = std::max(peak, std::abs(static_cast<int>(v)));
    return peak;
  };
  play();
  burst->on = false;
  play();
  play();
  ASSERT_GT(play(), 1000);  // the echoes ring on
  EXPECT_EQ(Form().Action("Panic")->shortcut(), QKeySequence(Qt::Key_Escape));
  QTest::keyClick(&Form(), Qt::Key_Escape);
  EXPECT_LE(play(), 1);
  Form().PrepareFileMenu();
  EXPECT_FALSE(Form().Action("Save")->isEnabled());
  Form().FileSave();
  EXPECT_EQ(Text(dir / "tails.tgh"), saved);
  {
    EngineLockGuard lock(engine->GetEngineLock());
    engine->GetContext().Disconnect(burst, 0, &delay->contraption->Processor(), 0);
    burst->SetContext(nullptr);
  }
  delete burst;
}

// The export proposes the document's name and says in the status bar what
// it wrote.
TEST_F(MainFormTest, TheExportProposesTheDocumentsNameAndTellsWhatItWrote) {
  test::TempDir dir;
  PatchNode* gen = New("TestGen", {20, 20});  // a new one sounds at a quarter of full scale
  PatchNode* out = New("SoundOut", {20, 120});
  Form().Patch().Connect(*gen, 0, *out, 0);
  queries.saveName = dir / "song.tgh";
  Form().FileSaveAs();
  const std::string lastOutput = SoundFilePaths::Instance().LastOutputDirectory();
  SoundFilePaths::Instance().SetLastOutputDirectory(dir / "take.wav");
  std::string proposal;
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<TExportAsWaveForm*>(QApplication::activeModalWidget());
    if (dialog == nullptr) return;
    proposal = dialog->SaveProposal();
    dialog->RecordEdit()->SetValue(8);
    dialog->ExportTo(QString::fromStdString(dir / "song.wav"));
    dialog->accept();
  });
  Form().ExportAsWave();
  EXPECT_EQ(proposal, dir / "song.wav");
  EXPECT_EQ(ReadWaveInfo(dir / "song.wav").frames, 705600);
  EXPECT_EQ(Form().statusBar()->currentMessage().toStdString(),
            "Exported 8 bars to song.wav (16.0 s); 0 samples clipped (peak -12.0 dBFS)");
  SoundFilePaths::Instance().SetLastOutputDirectory(lastOutput + "x.wav");

  WaveExportRequest request;
  request.fileName = "/x/one.wav";
  EXPECT_EQ(TExportAsWaveForm::ExportedText(request, 88200), "Exported 1 bar to one.wav (2.0 s)");
  request.record = 2.5;
  EXPECT_EQ(TExportAsWaveForm::ExportedText(request, 220500),
            "Exported 2.5 bars to one.wav (5.0 s)");
  request.mode = WaveExportRequest::Mode::TimedSegment;
  EXPECT_EQ(TExportAsWaveForm::ExportedText(request, 110250), "Exported 2.5 s to one.wav");
}

// A New category that no registered type belongs to is not offered.
TEST(MainFormNewMenuTest, AnEmptyCategoryIsHidden) {
  TContraptionFactory factory;
  factory.Emplace<TMakerTemplate<test::TestRingAM>>("TestRingAM", "Effects", 0, false);
  factory.Emplace<TMakerTemplate<test::TestAllKinds>>("AllKinds", "Odd Things", 0, false);
  TAudioEngineModule engine(factory);
  MemorySettingsStore settings;
  test::ScriptedQueries queries;
  StreamUserMessages messages(nullptr);
  TMainForm::Options options;
  options.queries = &queries;
  options.messages = &messages;
  TMainForm form(engine, settings, {}, options);
  std::map<QString, bool> shown;
  for (QAction* item : form.NewMenu()->actions()) shown[item->text()] = item->isVisible();
  EXPECT_TRUE(shown.at("Effects"));
  EXPECT_TRUE(shown.at("Odd Things"));
  for (const char* empty : {"Input / Output", "Signal Generators", "Filters", "Mixers", "Busses"})
    EXPECT_FALSE(shown.at(empty)) << empty;
}

}  // namespace main_form_test
}  // namespace tg

namespace tg {
namespace main_form_test {

// A contraption made from the menu bar after the pane scrolled away from the
// last right-click still lands where it can be seen.
TEST_F(MainFormTest, ANewContraptionIsPlacedInSight) {
  Show();
  New("TestGen", {2000, 1500});  // far out: the pane's content grows
  KWPatcherPanel* pane = Form().PatcherPanel();
  pane->horizontalScrollBar()->setValue(0);
  pane->verticalScrollBar()->setValue(0);
  PatchNode* node = New("SDelay", {2000, 1500});
  ASSERT_NE(node, nullptr);
  const QRect seen(pane->ScrollOffset(), pane->viewport()->size());
  EXPECT_TRUE(seen.contains(pane->NodeRect(*node))) << "at " << node->x << ", " << node->y;
}

}  // namespace main_form_test
}  // namespace tg
