#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QToolButton>
#include <filesystem>
#include <fstream>
#include <functional>
#include <vector>

#include "contraptions/generators/loopplayer/TGLoopPlayer.h"
#include "contraptions/generators/loopplayer/TLoopPlayerForm.h"
#include "controls/KWNumberEdit.h"
#include "files/SoundFilePaths.h"
#include "files/wavefiles/TGWaveOutFile.h"
#include "tests/support/TempDir.h"
#include "tests/support/WindowHostFixture.h"

namespace tg {
namespace loop_player_window_test {

void WriteWave(const std::string& name) {
  const std::vector<int16_t> samples(2000, 4000);
  TGWaveOutFile file(name, 44100, 1, true);
  ASSERT_TRUE(file.IsOpen()) << file.Error();
  file.Write(samples.data(), static_cast<uint32_t>(samples.size()));
  ASSERT_TRUE(file.Close());
}

class LoopPlayerWindowTest : public test::WindowHostFixture {
 protected:
  LoopPlayerWindowTest()
      : contraption(Make("LoopPlayer")),
        loop(static_cast<TGLoopPlayer&>(contraption.Processor())),
        form(Open<TLoopPlayerForm>(contraption)) {
    document = SoundFilePaths::Instance().DocumentDirectory();
    if (form == nullptr) return;
    form->FileDialog().choose = [this](QWidget*, const QString& start) {
      starts.push_back(start.toStdString());
      return answer;
    };
  }
  ~LoopPlayerWindowTest() override {
    SoundFilePaths::Instance().SetDocumentDirectory(document);
    SoundFilePaths::Instance().SetLastSoundFileDirectory("");
  }
  // Whether an action went the way of every edit: the contraption hears of
  // it and its preset is no longer current.
  bool Edits(const std::function<void()>& action) {
    contraption.StorePreset(0);
    action();
    return contraption.CurrentPreset() == -1 && form->PresetCaption() == "--";
  }

  TGardeningContraption& contraption;
  TGLoopPlayer& loop;
  TLoopPlayerForm* form;
  std::string document;
  std::vector<std::string> starts;
  QString answer;
};

TEST_F(LoopPlayerWindowTest, ChoosingAFileKeepsItsNameAndThePanelMarksBadFiles) {
  ASSERT_NE(form, nullptr);
  EXPECT_EQ(form->size(), QSize(350, 90));  // 342 × (73 + header), on the 10-pixel grid
  test::TempDir dir;
  SoundFilePaths::Instance().SetDocumentDirectory(dir / "song.tgh");
  std::filesystem::create_directories(dir / "loops");
  WriteWave(dir / "loops/beat.wav");
  std::ofstream(dir / "notes.wav") << "no sound in here";
  EXPECT_EQ(form->FileNamePanel()->text(), "");

  answer = QString::fromStdString(dir / "loops/beat.wav");
  EXPECT_TRUE(Edits([&] { form->OpenButton()->click(); }));
  ASSERT_EQ(starts.size(), 1u);
  EXPECT_EQ(starts[0], dir.Path());  // nothing chosen before: the document's directory
  EXPECT_EQ(loop.file.Value(), dir / "loops/beat.wav");
  ASSERT_TRUE(QTest::qWaitFor([&] { return !form->WatchingLoads(); }, 30000));
  EXPECT_EQ(form->FileNamePanel()->text(), "loops/beat.wav");

  answer.clear();  // cancelled: nothing changes
  form->ChooseFile();
  EXPECT_EQ(starts.at(1), dir / "loops/beat.wav");
  EXPECT_EQ(loop.file.Value(), dir / "loops/beat.wav");

  loop.file.SetValue("gone.wav");
  form->UpdateControls();
  EXPECT_EQ(form->FileNamePanel()->text(), "gone.wav !");
  // Whether a file reads shows once its load is over.
  loop.file.SetValue("notes.wav");
  form->UpdateControls();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !form->WatchingLoads(); }, 30000));
  EXPECT_EQ(form->FileNamePanel()->text(), "notes.wav !");
  EXPECT_TRUE(loop.LoadFailed());
}

TEST_F(LoopPlayerWindowTest, AFileLongerThanTenMinutesIsMarkedCut) {
  ASSERT_NE(form, nullptr);
  test::TempDir dir;
  SoundFilePaths::Instance().SetDocumentDirectory(dir / "song.tgh");
  // Ten and a half minutes at a thousand frames a second.
  const std::vector<int16_t> samples(630000, 4000);
  TGWaveOutFile file(dir / "long.wav", 1000, 1, true);
  ASSERT_TRUE(file.IsOpen()) << file.Error();
  file.Write(samples.data(), static_cast<uint32_t>(samples.size()));
  ASSERT_TRUE(file.Close());
  loop.file.SetValue(dir / "long.wav");
  form->UpdateControls();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !form->WatchingLoads(); }, 30000));
  EXPECT_EQ(form->FileNamePanel()->text(), "long.wav (cut)");
  EXPECT_NE(form->FileNamePanel()->toolTip().indexOf("ten minutes"), -1);
}

TEST_F(LoopPlayerWindowTest, EveryControlEditsItsParameterWithinTheTablesRange) {
  ASSERT_NE(form, nullptr);
  KWNumberEdit* bars = form->BarsNumberEdit();
  KWNumberEdit* phase = form->PhaseNumberEdit();
  EXPECT_EQ(bars->Min(), 1);
  EXPECT_EQ(bars->Max(), 32);
  EXPECT_EQ(phase->Min(), -512);
  EXPECT_EQ(phase->Max(), 512);
  EXPECT_TRUE(bars->IntegersOnly());
  EXPECT_EQ(phase->Increment(), 1);

  EXPECT_TRUE(Edits([&] { form->StretchCheckBox()->click(); }));
  EXPECT_FALSE(loop.stretch.Value());
  EXPECT_TRUE(Edits([&] { form->MuteCheckBox()->click(); }));
  EXPECT_TRUE(loop.mute.Value());
  EXPECT_TRUE(Edits([&] {
    bars->Editor()->selectAll();
    QTest::keyClicks(bars->Editor(), "12");
  }));
  EXPECT_EQ(loop.barCount.Value(), 12);
  EXPECT_TRUE(Edits([&] {
    phase->Editor()->selectAll();
    QTest::keyClicks(phase->Editor(), "-20");
  }));
  EXPECT_EQ(loop.phase.Value(), -20);
  EXPECT_TRUE(Edits([&] { phase->StepBy(1, false); }));
  EXPECT_EQ(loop.phase.Value(), -19);
  emit bars->OnChange(5.9);  // the integer part
  EXPECT_EQ(loop.barCount.Value(), 5);
}

TEST_F(LoopPlayerWindowTest, ARecalledPresetShowsInEveryControl) {
  ASSERT_NE(form, nullptr);
  loop.file.SetValue("a.wav");
  loop.barCount.SetValue(4);
  loop.stretch.SetValue(false);
  loop.phase.SetValue(-8);
  loop.mute.SetValue(true);
  contraption.StorePreset(1);
  loop.file.SetValue("b.wav");
  loop.barCount.SetValue(1);
  loop.stretch.SetValue(true);
  loop.phase.SetValue(0);
  loop.mute.SetValue(false);
  form->UpdateControls();
  EXPECT_EQ(form->FileNamePanel()->text(), "b.wav !");

  contraption.RecallPreset(1);
  form->UpdateControls();
  EXPECT_EQ(form->FileNamePanel()->text(), "a.wav !");
  EXPECT_EQ(form->BarsNumberEdit()->Value(), 4);
  EXPECT_FALSE(form->StretchCheckBox()->isChecked());
  EXPECT_EQ(form->PhaseNumberEdit()->Value(), -8);
  EXPECT_TRUE(form->MuteCheckBox()->isChecked());
  EXPECT_EQ(form->PresetCaption(), "2");  // showing is no edit
  EXPECT_EQ(loop.barCount.Value(), 4);
}

}  // namespace loop_player_window_test
}  // namespace tg
