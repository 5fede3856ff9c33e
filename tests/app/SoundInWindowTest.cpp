#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QSlider>
#include <QToolButton>
#include <fstream>
#include <vector>

#include "contraptions/io/soundin/TGSoundIn.h"
#include "contraptions/io/soundin/TSoundInForm.h"
#include "controls/KWNumberEdit.h"
#include "files/SoundFilePaths.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestSoundFiles.h"
#include "tests/support/WindowHostFixture.h"

namespace tg {
namespace sound_in_window_test {

class SoundInWindowTest : public test::WindowHostFixture {
 protected:
  SoundInWindowTest()
      : contraption(Make("SoundIn")),
        in(static_cast<TGSoundIn&>(contraption.Processor())),
        form(Open<TSoundInForm>(contraption)) {
    document = SoundFilePaths::Instance().DocumentDirectory();
    SoundFilePaths::Instance().SetDocumentDirectory(dir / "song.tgh");
    if (form != nullptr)
      form->FileDialog().choose = [this](QWidget*, const QString&) { return answer; };
    // Wired, so the pass plays it.
    TGardeningContraption& out = Make("SoundOut");
    engine->ConnectContraptions(contraption, 0, out, 0);
  }
  ~SoundInWindowTest() override {
    SoundFilePaths::Instance().SetDocumentDirectory(document);
    SoundFilePaths::Instance().SetLastSoundFileDirectory("");
  }
  void RunBlocks(int blocks) {
    std::vector<int16_t> buffer(static_cast<size_t>(blocks) * 512);
    engine->OutStreamFillBuffer(buffer.data(), blocks * 256);
  }

  test::TempDir dir;
  TGardeningContraption& contraption;
  TGSoundIn& in;
  TSoundInForm* form;
  std::string document;
  QString answer;
};

TEST_F(SoundInWindowTest, AFileIsChosenPlayedPausedAndPlayedToItsEnd) {
  ASSERT_NE(form, nullptr);
  // The sound card's input at first: the file's controls wait.
  EXPECT_FALSE(form->UseFileBox()->isChecked());
  EXPECT_FALSE(form->OpenButton()->isEnabled());
  EXPECT_FALSE(form->PlayButton()->isEnabled());

  form->UseFileBox()->click();
  EXPECT_TRUE(engine->IsUsingInputFile());
  EXPECT_TRUE(form->OpenButton()->isEnabled());
  EXPECT_FALSE(form->PlayButton()->isEnabled());  // no file yet

  test::WriteWave(dir / "take.wav", 44100, 1, std::vector<int16_t>(22050, 5000));
  answer = QString::fromStdString(dir / "take.wav");
  form->OpenButton()->click();
  EXPECT_EQ(in.inputFile.Value(), dir / "take.wav");
  EXPECT_TRUE(in.fileIsGood.Value());
  EXPECT_EQ(form->FileLabel()->text(), "take.wav");
  EXPECT_EQ(form->DurationLabel()->text(), "duration: 0.5 (sec)");  // as SoundOut shows lengths
  ASSERT_TRUE(form->PlayButton()->isEnabled());

  form->PlayButton()->click();
  EXPECT_TRUE(in.active.Value());
  EXPECT_EQ(form->PlayGlyph(), "PAUSE");
  EXPECT_TRUE(form->TimerRunning());
  RunBlocks(40);
  form->Tick();
  EXPECT_GT(form->PositionBar()->value(), 0);
  form->PlayButton()->click();  // pause
  EXPECT_FALSE(in.active.Value());
  EXPECT_EQ(form->PlayGlyph(), "PLAY");

  form->PlayButton()->click();
  RunBlocks(100);  // past the end
  form->Tick();
  EXPECT_EQ(form->PlayGlyph(), "PLAY");
  EXPECT_FALSE(form->TimerRunning());
  EXPECT_EQ(form->PositionBar()->value(), 10000);  // at the end, not rewound
  EXPECT_TRUE(form->ProblemLabel()->text().isEmpty());
}

TEST_F(SoundInWindowTest, TheTransportSettingsAndThePositionReachSoundIn) {
  ASSERT_NE(form, nullptr);
  form->UseFileBox()->click();
  test::WriteWave(dir / "take.wav", 44100, 1, std::vector<int16_t>(44100, 5000));
  form->ChooseFile("take.wav");
  form->LoopBox()->click();
  form->AutoRewindBox()->click();
  emit form->DelayEdit()->OnChange(2.0);
  EXPECT_TRUE(in.loop.Value());
  EXPECT_TRUE(in.autoRewind.Value());
  EXPECT_EQ(in.loopDelay.Value(), 2000.0);  // seconds shown, milliseconds kept

  form->PositionBar()->setValue(5000);  // as a click beside the handle does
  EXPECT_DOUBLE_EQ(in.location.Value(), 500.0);

  // Refreshed from SoundIn, as after a preset or a document.
  in.loop.SetValue(false);
  in.loopDelay.SetValue(1500.0);
  in.useADC.SetValue(true);
  form->UpdateControls();
  EXPECT_FALSE(form->LoopBox()->isChecked());
  EXPECT_EQ(form->DelayEdit()->Value(), 1.5);
  EXPECT_FALSE(form->UseFileBox()->isChecked());
  EXPECT_FALSE(form->PlayButton()->isEnabled());
}

TEST_F(SoundInWindowTest, APlayingFileEndsWhenFileModeIsLeftWithoutTheCheckBox) {
  ASSERT_NE(form, nullptr);
  form->UseFileBox()->click();
  test::WriteWave(dir / "take.wav", 44100, 1, std::vector<int16_t>(44100, 5000));
  form->ChooseFile("take.wav");
  form->PlayButton()->click();
  RunBlocks(4);
  in.useADC.SetValue(true);  // as a preset recalled while it plays does
  RunBlocks(1);
  form->Tick();
  EXPECT_EQ(form->PlayGlyph(), "PLAY");
  EXPECT_FALSE(form->TimerRunning());
}

TEST_F(SoundInWindowTest, AFileThatCannotBeReadSaysWhyAndCannotBePlayed) {
  ASSERT_NE(form, nullptr);
  form->UseFileBox()->click();
  std::ofstream(dir / "notes.wav") << "no sound in here";
  form->ChooseFile("notes.wav");
  EXPECT_FALSE(form->PlayButton()->isEnabled());
  EXPECT_TRUE(form->DurationLabel()->text().isEmpty());
  EXPECT_NE(form->ProblemLabel()->text().indexOf("not a sound file"), -1)
      << form->ProblemLabel()->text().toStdString();
}

}  // namespace sound_in_window_test
}  // namespace tg
