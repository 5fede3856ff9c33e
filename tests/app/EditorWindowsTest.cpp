#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QScrollArea>
#include <QTest>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <QToolButton>
#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>
#include <vector>

#include "app/help/THelpBrowser.h"
#include "contraptions/effects/sdelay/TGSDelay.h"
#include "contraptions/effects/sdelay/TSDelayForm.h"
#include "contraptions/io/soundout/TGSoundOut.h"
#include "contraptions/io/soundout/TSoundOutForm.h"
#include "contraptions/mixers/mixers/TGMixers.h"
#include "contraptions/mixers/mixers/TMixerForms.h"
#include "controls/KWDWKnob.h"
#include "controls/KWNumberEdit.h"
#include "files/SoundFilePaths.h"
#include "files/wavefiles/TGWaveOutFile.h"
#include "forms/ContraptionWindowHost.h"
#include "host/StreamUserMessages.h"
#include "tests/support/TempDir.h"
#include "tests/support/WindowHostFixture.h"

namespace tg {
namespace editor_windows_test {

// Chooses a file in SoundOut's window, and waits until the window has shown
// what became of it.
bool ChooseAndWait(TSoundOutForm& form, const std::string& name) {
  form.ChooseFile(QString::fromStdString(name));
  return QTest::qWaitFor([&] { return !form.OpeningFile(); }, 30000);
}

class EditorWindowsTest : public test::WindowHostFixture {
 protected:
  void RunBlocks(int blocks) {
    std::vector<int16_t> buffer(static_cast<size_t>(blocks) * 512);
    engine->OutStreamFillBuffer(buffer.data(), blocks * 256);
  }
};

TEST_F(EditorWindowsTest, SDelayUnitsConvertTheDelaysAndTheEditRanges) {
  TGardeningContraption& c = Make("SDelay");
  auto& delay = static_cast<TGSDelay&>(c.Processor());
  auto* form = Open<TSDelayForm>(c);
  ASSERT_NE(form, nullptr);
  EXPECT_EQ(form->UnitsBox()->currentIndex(), 0);
  EXPECT_DOUBLE_EQ(form->LeftEdit()->Value(), 200);
  // At 120 beats per minute a semiquaver is 125 ms: (200 + 1) / 125 → 1.
  form->UnitsBox()->setCurrentIndex(1);
  EXPECT_EQ(delay.delayUnits.Value(), 1);
  EXPECT_EQ(delay.leftDelay.Value(), 1);
  EXPECT_EQ(delay.rightDelay.Value(), 1);
  EXPECT_DOUBLE_EQ(form->LeftEdit()->Value(), 1);
  form->LeftEdit()->SetValue(40);  // held to 1 … 32 now
  EXPECT_DOUBLE_EQ(form->LeftEdit()->Value(), 32);
  form->UnitsBox()->setCurrentIndex(0);
  EXPECT_EQ(delay.delayUnits.Value(), 0);
  EXPECT_EQ(delay.rightDelay.Value(), 125);
  EXPECT_DOUBLE_EQ(form->RightEdit()->Value(), 125);

  emit form->FeedbackKnob()->OnChange(0.8);
  EXPECT_DOUBLE_EQ(delay.feedback.Value(), 0.8);
  emit form->LeftEdit()->OnChange(333.7);
  EXPECT_EQ(delay.leftDelay.Value(), 333);
  EXPECT_EQ(TSDelayForm::ToSemiquavers(0, 125), 1);  // never below one
}

TEST_F(EditorWindowsTest, MixerWindowsLayOutAColumnPerChannel) {
  TGardeningContraption& s = Make("S4Mixer");
  auto* stereo = Open<TStereoMixerForm>(s);
  ASSERT_NE(stereo, nullptr);
  EXPECT_EQ(stereo->Columns(), 4);
  EXPECT_EQ(stereo->width(), 230);  // 50 + 3 × 45 + 45
  EXPECT_EQ(stereo->ChannelKnob(1)->x() - stereo->ChannelKnob(0)->x(), 45);
  emit stereo->ChannelKnob(2)->OnChange(0.6);
  EXPECT_DOUBLE_EQ(static_cast<TGStereoMixer&>(s.Processor()).gainProperty(2).Value(), 0.6);
  emit stereo->MasterKnob()->OnChange(0.9);
  EXPECT_DOUBLE_EQ(static_cast<TGStereoMixer&>(s.Processor()).masterGain.Value(), 0.9);

  TGardeningContraption& p = Make("P3Mixer");
  auto& panPot = static_cast<TGPanPotMixer&>(p.Processor());
  panPot.panProperty(1).SetValue(0.2);
  auto* pForm = Open<TPanPotMixerForm>(p);
  ASSERT_NE(pForm, nullptr);
  EXPECT_EQ(pForm->Columns(), 3);
  EXPECT_DOUBLE_EQ(pForm->ChannelKnob(1, 1)->Value(), 0.2);  // shown on opening
  emit pForm->ChannelKnob(0, 1)->OnChange(0.0);
  EXPECT_DOUBLE_EQ(panPot.panProperty(0).Value(), 0.0);
  emit pForm->ChannelKnob(0, 0)->OnChange(0.5);
  EXPECT_DOUBLE_EQ(panPot.gainProperty(0).Value(), 0.5);

  auto* mono = Open<TMonoMixerForm>(Make("M12Mixer"));
  ASSERT_NE(mono, nullptr);
  EXPECT_EQ(mono->Columns(), 12);
  EXPECT_EQ(mono->width(), 590);
}

TEST_F(EditorWindowsTest, SoundOutSecondsAreCutToTwoDecimals) {
  EXPECT_EQ(TSoundOutForm::SecondsText(3.14159), "3.14 (sec)");
  EXPECT_EQ(TSoundOutForm::SecondsText(3.149), "3.14 (sec)");
  EXPECT_EQ(TSoundOutForm::SecondsText(5), "5.00 (sec)");
  EXPECT_EQ(TSoundOutForm::SecondsText(2.5), "2.5 (sec)");
}

TEST_F(EditorWindowsTest, SoundOutRecordsAndPlaysThroughItsButtons) {
  test::TempDir dir;
  TGardeningContraption& c = Make("SoundOut");
  auto& out = static_cast<TGSoundOut&>(c.Processor());
  auto* form = Open<TSoundOutForm>(c);
  ASSERT_NE(form, nullptr);
  EXPECT_FALSE(form->PlayButton()->isEnabled());  // no file yet
  EXPECT_FALSE(form->RecordButton()->isEnabled());

  ASSERT_TRUE(ChooseAndWait(*form, dir / "take.wav"));
  EXPECT_EQ(form->FileLabel()->text(), "take.wav");
  ASSERT_TRUE(form->RecordButton()->isEnabled());
  form->RecordClicked();
  EXPECT_EQ(form->RecordGlyph(), "STOP");
  EXPECT_FALSE(form->PlayButton()->isEnabled());
  EXPECT_FALSE(form->RecordModeBox()->isEnabled());
  EXPECT_TRUE(form->TimerRunning());
  RunBlocks(20);
  EXPECT_EQ(out.GetState(), TGSoundOut::kRecording);
  form->RecordClicked();
  RunBlocks(1);
  out.FlushFile();
  form->Tick();
  EXPECT_EQ(form->RecordGlyph(), "RECORD");
  EXPECT_EQ(form->PlayGlyph(), "PLAY");
  EXPECT_TRUE(form->PlayButton()->isEnabled());
  EXPECT_FALSE(form->TimerRunning());
  EXPECT_EQ(TGWaveOutFile(dir / "take.wav", 44100, 2, false).Length(), 20u * 256u);

  form->PlayClicked();
  EXPECT_EQ(form->PlayGlyph(), "STOP");
  EXPECT_FALSE(form->RecordButton()->isEnabled());
  form->PlayClicked();
  EXPECT_EQ(form->PlayGlyph(), "PLAY");

  // Punch mode "SoundIn Sync" waits, shown as REC_PAUSED; the duration field
  // is for "Timed" only.
  form->PunchModeBox()->setCurrentIndex(TGSoundOut::kSoundInSync);
  EXPECT_FALSE(form->DurationEdit()->isEnabled());
  form->RecordClicked();
  EXPECT_EQ(form->RecordGlyph(), "REC_PAUSED");
  form->RecordClicked();
  RunBlocks(1);
  form->PunchModeBox()->setCurrentIndex(TGSoundOut::kTimed);
  EXPECT_TRUE(form->DurationEdit()->isEnabled());
  emit form->DurationEdit()->OnChange(12.9);
  EXPECT_EQ(out.recordDuration.Value(), 12);

  // A file that cannot be used disables playing and recording.
  ASSERT_TRUE(ChooseAndWait(*form, dir.Path()));
  EXPECT_FALSE(form->PlayButton()->isEnabled());
  EXPECT_TRUE(form->FileLabel()->text().isEmpty());
  EXPECT_TRUE(form->DurationLabel()->text().isEmpty());
}

TEST_F(EditorWindowsTest, SoundOutKeepsItsFileAndMakesANewOneWhereChosen) {
  test::TempDir documents, sounds;
  SoundFilePaths& paths = SoundFilePaths::Instance();
  paths.SetDocumentDirectory(documents / "song.tgh");
  paths.SetDirectories({sounds.Path()});
  TGardeningContraption& c = Make("SoundOut");
  auto& out = static_cast<TGSoundOut&>(c.Processor());
  auto* form = Open<TSoundOutForm>(c);
  ASSERT_NE(form, nullptr);

  ASSERT_TRUE(ChooseAndWait(*form, documents / "take.wav"));
  EXPECT_EQ(out.outputFile.Value(), documents / "take.wav");
  EXPECT_EQ(out.GetState(), TGSoundOut::kStopped);
  EXPECT_TRUE(std::filesystem::exists(documents / "take.wav"));
  EXPECT_EQ(form->SaveProposal(), documents / "take.wav");

  // A new file in a sound-file directory is made there, not beside the document.
  ASSERT_TRUE(ChooseAndWait(*form, sounds / "new.wav"));
  EXPECT_EQ(out.outputFile.Value(), sounds / "new.wav");
  EXPECT_TRUE(std::filesystem::exists(sounds / "new.wav"));
  EXPECT_FALSE(std::filesystem::exists(documents / "new.wav"));
  EXPECT_EQ(out.GetState(), TGSoundOut::kStopped);
  EXPECT_FALSE(out.outputFile.IsChanged());  // open already: no second opening

  paths.SetDirectories({});
  paths.SetDocumentDirectory("");
}

TEST_F(EditorWindowsTest, SoundOutSaysWhyAChosenFileCannotBeUsed) {
  test::TempDir dir;
  StreamUserMessages messages(nullptr);
  UserMessages* before = engine->Host().messages;
  engine->Host().messages = &messages;
  TGardeningContraption& c = Make("SoundOut");
  auto* form = Open<TSoundOutForm>(c);
  ASSERT_NE(form, nullptr);
  test::WriteBytes(dir / "not-a-wave.wav", {'h', 'e', 'l', 'l', 'o'});
  ASSERT_TRUE(ChooseAndWait(*form, dir / "not-a-wave.wav"));
  ASSERT_EQ(messages.Messages().size(), 1u);
  EXPECT_NE(messages.Messages()[0].text.find("not a 44100 Hz stereo 16-bit PCM wave file"),
            std::string::npos)
      << messages.Messages()[0].text;
  EXPECT_FALSE(form->RecordButton()->isEnabled());
  engine->Host().messages = before;
}

TEST_F(EditorWindowsTest, SoundOutShowsWhatATakeLostToASlowDisk) {
  test::TempDir dir;
  TGardeningContraption& c = Make("SoundOut");
  auto& out = static_cast<TGSoundOut&>(c.Processor());
  auto* form = Open<TSoundOutForm>(c);
  ASSERT_NE(form, nullptr);
  ASSERT_TRUE(ChooseAndWait(*form, dir / "slow.wav"));
  EXPECT_TRUE(form->LostLabel()->text().isEmpty());
  form->RecordClicked();
  SoundOutFileWorker& worker = out.FileWorker();
  {
    auto stalled = worker.HoldDisk();  // nothing reaches the disk: the queue overflows
    RunBlocks(140 * SoundOutFileWorker::kChunkFrames / 256);
  }
  form->RecordClicked();
  RunBlocks(1);
  out.FlushFile();
  form->Tick();
  ASSERT_GT(out.LostFrames(), 0u);
  EXPECT_TRUE(form->LostLabel()->text().startsWith("take: "))
      << form->LostLabel()->text().toStdString();
  EXPECT_TRUE(form->LostLabel()->text().endsWith(" lost (disk too slow)"));

  form->RecordClicked();  // a new take: the old loss is no longer news
  EXPECT_TRUE(form->LostLabel()->text().isEmpty());
  form->RecordClicked();
  RunBlocks(1);
}

// An overwriting take finds it cannot make the file anew (its folder was
// moved away): the window gives the file up, says why, and shows the take
// as lost for that reason, not for a slow disk.
TEST_F(EditorWindowsTest, SoundOutSaysWhyATakeLostItsFile) {
  test::TempDir dir;
  std::filesystem::create_directory(dir / "takes");
  {
    TGWaveOutFile old(dir / "takes/take.wav", 44100, 2, true);
    const std::vector<int16_t> samples(2000, 7);
    ASSERT_EQ(old.Write(samples.data(), 1000), 1000u);
  }
  StreamUserMessages messages(nullptr);
  UserMessages* before = engine->Host().messages;
  engine->Host().messages = &messages;
  TGardeningContraption& c = Make("SoundOut");
  auto& out = static_cast<TGSoundOut&>(c.Processor());
  auto* form = Open<TSoundOutForm>(c);
  ASSERT_NE(form, nullptr);
  ASSERT_TRUE(ChooseAndWait(*form, dir / "takes/take.wav"));
  form->RecordModeBox()->setCurrentIndex(1);  // overwrite
  std::filesystem::rename(dir / "takes", dir / "moved");
  form->RecordClicked();
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        RunBlocks(1);
        return out.GetState() == TGSoundOut::kNoFile;
      },
      30000));
  out.FlushFile();
  form->Tick();

  EXPECT_FALSE(form->TimerRunning());
  EXPECT_FALSE(form->RecordButton()->isEnabled());
  EXPECT_FALSE(form->PlayButton()->isEnabled());
  EXPECT_EQ(form->RecordGlyph(), "RECORD");
  EXPECT_TRUE(form->FileLabel()->text().isEmpty());
  ASSERT_EQ(messages.Messages().size(), 1u);
  const std::string& text = messages.Messages()[0].text;
  EXPECT_NE(text.find("during a take"), std::string::npos) << text;
  EXPECT_NE(text.find(std::strerror(ENOENT)), std::string::npos) << text;
  EXPECT_TRUE(form->LostLabel()->text().endsWith(QString(" lost (%1)").arg(std::strerror(ENOENT))))
      << form->LostLabel()->text().toStdString();
  EXPECT_EQ(form->LostLabel()->text().toStdString(), out.TakeMessage());
  engine->Host().messages = before;
}

// Deleting SoundOut while its window is open: the window goes before the
// engine lock is taken, and the file is handed back without waiting for it.
TEST_F(EditorWindowsTest, SoundOutsWindowGoesWithTheEngineLockFree) {
  test::TempDir dir;
  TGardeningContraption& c = Make("SoundOut");
  auto* form = Open<TSoundOutForm>(c);
  ASSERT_NE(form, nullptr);
  ASSERT_TRUE(ChooseAndWait(*form, dir / "take.wav"));
  EngineLock& lock = engine->OutStream().GetEngineLock();
  bool destroyed = false, lockedWhileDestroyed = true;
  QObject::connect(form, &QObject::destroyed, [&] {
    destroyed = true;
    lockedWhileDestroyed = lock.IsHeldByCaller();
  });
  Delete(c);
  EXPECT_TRUE(destroyed);
  EXPECT_FALSE(lockedWhileDestroyed);
  EXPECT_EQ(engine->SoundOutProcessor().GetState(), TGSoundOut::kNoFile);
}

TEST_F(EditorWindowsTest, HelpOpensTheTypesPageAndEveryPageIsShipped) {
  THelpBrowser help(factory);
  host.SetHelpHandler([&](const std::string& type) { help.ShowTypeHelp(type); });
  TGardeningContraption& c = Make("SDelay");
  c.Help();
  EXPECT_EQ(help.CurrentPage(), "qrc:/help/sdelay.html");
  EXPECT_EQ(help.CurrentTitle(), "SDelay");
  // Types without a help number have their page too.
  Make("8x8Matrix").Help();
  EXPECT_EQ(help.CurrentPage(), "qrc:/help/matrices.html");
  for (int number : {1000, 1001, 1002, 1014, 1015, 1016}) {
    help.ShowTopic(number);
    EXPECT_NE(help.CurrentPage(), "qrc:/help/index.html") << number;
    EXPECT_FALSE(help.CurrentTitle().isEmpty()) << number;
  }
  help.ShowContents();
  EXPECT_EQ(help.CurrentTitle(), "Tonegarden Help");
  EXPECT_EQ(help.PageFor(4242), "qrc:/help/index.html");

  // Clicking an example link hands the example's file to the program, and
  // the page stays.
  QStringList chosen;
  QObject::connect(&help, &THelpBrowser::ExampleChosen,
                   [&](const QString& file) { chosen << file; });
  help.ShowTypeHelp("5Combs");
  QApplication::processEvents();
  auto* browser = help.findChild<QTextBrowser*>();
  QTextCursor link = browser->document()->find("routing.tgh");
  ASSERT_FALSE(link.isNull());
  link.setPosition(link.selectionStart() + 3);
  const QPoint at = browser->cursorRect(link).center();
  QTest::mouseClick(browser->viewport(), Qt::LeftButton, {}, at);
  ASSERT_EQ(chosen.size(), 1);
  EXPECT_TRUE(chosen[0].endsWith("/routing.tgh"));
  EXPECT_TRUE(QFileInfo(chosen[0]).isFile());
  EXPECT_EQ(help.CurrentPage(), "qrc:/help/combs5.html");
}

}  // namespace editor_windows_test
}  // namespace tg

namespace tg {
namespace editor_windows_test {

TEST_F(EditorWindowsTest, ANewContraptionsWindowOpensWhereNoOtherWindowIs) {
  pane.show();
  TGardeningContraption& a = Make("TestGen");
  TGardeningContraption& b = Make("TestGen");
  TGardeningContraption& c = Make("SDelay");
  a.ShowWindow();
  b.ShowWindow();
  c.ShowWindow();
  const QRect ra = host.WindowOf(a)->geometry();
  const QRect rb = host.WindowOf(b)->geometry();
  const QRect rc = host.WindowOf(c)->geometry();
  EXPECT_EQ(ra.topLeft(), QPoint(0, 0));
  EXPECT_FALSE(ra.intersects(rb));
  EXPECT_FALSE(rc.intersects(ra) || rc.intersects(rb));
  EXPECT_EQ(rb.top(), 0);  // beside the first while the row has room
  EXPECT_EQ(rb.left() % 10, 0);

  // A window closed and opened again goes back where it was, overlap or not.
  host.WindowOf(b)->Place(QRect(ra.topLeft(), rb.size()));
  b.WindowState().windowOpen = true;
  host.CloseWindow(b);
  b.ShowWindow();
  EXPECT_EQ(host.WindowOf(b)->pos(), ra.topLeft());
}

}  // namespace editor_windows_test
}  // namespace tg
