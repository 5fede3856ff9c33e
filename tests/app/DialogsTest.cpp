#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QRadioButton>
#include <cstring>
#include <filesystem>

#include "app/dialogs/TExportAsWaveForm.h"
#include "app/dialogs/TProgressForm.h"
#include "app/dialogs/TSettingsForm.h"
#include "contraptions/io/soundin/TGSoundIn.h"
#include "controls/KWNumberEdit.h"
#include "engine/streams/KWWaveInStream.h"
#include "engine/streams/KWWaveOutStream.h"
#include "files/SoundFilePaths.h"
#include "files/wavefiles/SoundFileReader.h"
#include "shell/patch/PatchEditor.h"
#include "tests/app/MainWindowFixture.h"
#include "tests/support/TempDir.h"

namespace tg {
namespace dialogs_test {

class DialogsTest : public test::MainWindowFixture {
 protected:
  ~DialogsTest() override { SoundFilePaths::Instance().SetDirectories({}); }
  static void Select(QComboBox* box, int number) { box->setCurrentIndex(box->findData(number)); }
};

TEST_F(DialogsTest, SettingsLabelsGiveBufferTimeAndLatency) {
  EXPECT_EQ(TSettingsForm::DurationText(16384), "( 92 ms )");
  EXPECT_EQ(TSettingsForm::LatencyText(16384, 4), "( Total latency = 371 ms )");
  EXPECT_EQ(TSettingsForm::DurationText(2048), "( 11 ms )");
  EXPECT_EQ(TSettingsForm::LatencyText(2048, 2), "( Total latency = 23 ms )");
}

TEST_F(DialogsTest, SettingsApplyCorrectsASmallInputBufferAndStoresTheDirectories) {
  TSettingsForm dialog(*engine, options.outStream, options.inStream, messages);
  const auto& out = dialog.OutputPage();
  const auto& in = dialog.InputPage();
  EXPECT_EQ(out.size->currentText(), "16384");  // the stream's current value
  EXPECT_EQ(out.count->currentText(), "4");
  EXPECT_EQ(out.device->currentText(), "Silent (no sound card)");
  EXPECT_FALSE(dialog.CanApply());

  Select(out.size, 8192);
  Select(out.count, 3);
  EXPECT_EQ(out.duration->text(), "( 46 ms )");
  EXPECT_TRUE(dialog.CanApply());
  Select(in.size, 4096);
  dialog.OverdriveBox()->setChecked(true);
  dialog.AddDirectory("/music/samples");
  dialog.Apply();
  EXPECT_EQ(messages.Messages().back().caption, "Invalid Audio Input Buffer Size");
  EXPECT_EQ(in.size->currentText(), "8192");
  EXPECT_EQ(options.outStream->BufferSize(), 8192);
  EXPECT_EQ(options.outStream->BufferCount(), 3);
  EXPECT_EQ(options.inStream->BufferSize(), 8192);
  EXPECT_TRUE(options.outStream->Overdrive());
  EXPECT_EQ(SoundFilePaths::Instance().Directories(), std::vector<std::string>{"/music/samples/"});
  EXPECT_FALSE(dialog.CanApply());

  dialog.DirectoryList()->setCurrentRow(0);
  dialog.RemoveSelectedDirectory();
  dialog.Apply();
  EXPECT_TRUE(SoundFilePaths::Instance().Directories().empty());
}

TEST_F(DialogsTest, ExportOfOneBarAtOneHundredTwentyIsTwoSeconds) {
  test::TempDir dir;
  PatchNode* gen = Form().Patch().NewContraption("TestGen", 10, 10);
  PatchNode* out = Form().Patch().NewContraption("SoundOut", 10, 60);
  Form().Patch().Connect(*gen, 0, *out, 0);
  TExportAsWaveForm dialog(*engine, messages);
  dialog.Prepare();
  EXPECT_FALSE(dialog.ModeButton(WaveExportRequest::Mode::ProcessedSoundInFile)->isEnabled());
  EXPECT_EQ(dialog.UnitsLabel()->text(), "(bars)");
  EXPECT_EQ(dialog.ExportTo(QString::fromStdString(dir / "bar.wav")), WaveExportResult::Written);
  EXPECT_EQ(ReadWaveInfo(dir / "bar.wav").frames, 88200);

  // Bars to seconds and back: 1 bar is 2.001 s, which is 1.000 bar again.
  dialog.ChooseMode(WaveExportRequest::Mode::TimedSegment);
  EXPECT_EQ(dialog.UnitsLabel()->text(), "(seconds)");
  EXPECT_DOUBLE_EQ(dialog.RecordEdit()->Value(), 2.001);
  dialog.ChooseMode(WaveExportRequest::Mode::ClockSyncPattern);
  EXPECT_DOUBLE_EQ(dialog.RecordEdit()->Value(), 1.0);

  EXPECT_EQ(dialog.ExportTo(QString::fromStdString(dir.Path() + "missing/x.wav")),
            WaveExportResult::CannotCreateFile);
  EXPECT_EQ(LastMessage(), "An error occurred while saving the file.\n" + dir.Path() +
                               "missing/x.wav: " + std::string(std::strerror(ENOENT)) + ".");
}

TEST_F(DialogsTest, ExportShowsTheSoundInFilesDurationInSeconds) {
  PatchNode* in = Form().Patch().NewContraption("SoundIn", 10, 10);
  PatchNode* out = Form().Patch().NewContraption("SoundOut", 10, 60);
  Form().Patch().Connect(*in, 0, *out, 0);
  TGSoundIn& soundIn = engine->SoundInProcessor();
  soundIn.useADC.SetValue(false);
  soundIn.fileIsGood.SetValue(true);
  soundIn.duration.SetValue(12340.0);  // SoundIn counts milliseconds
  TExportAsWaveForm dialog(*engine, messages);
  dialog.Prepare();
  ASSERT_TRUE(dialog.ModeButton(WaveExportRequest::Mode::ProcessedSoundInFile)->isEnabled());
  EXPECT_EQ(dialog.SoundInLabel()->text(), "SoundIn file duration is 12.34 seconds");
  EXPECT_EQ(TExportAsWaveForm::SoundInDurationText(999.0), "SoundIn file duration is 1.00 seconds");

  // The mode proposes the whole file, exactly, unless the user changes it.
  dialog.ChooseMode(WaveExportRequest::Mode::ProcessedSoundInFile);
  EXPECT_EQ(dialog.RecordEdit()->Value(), 12.34);
  EXPECT_TRUE(dialog.Request().wholeSoundInFile);
  dialog.RecordEdit()->SetValue(5.0);
  EXPECT_FALSE(dialog.Request().wholeSoundInFile);
  EXPECT_EQ(dialog.Request().record, 5.0);
}

TEST_F(DialogsTest, ExportSaysHowLongAWaveFileCanBe) {
  Form().Patch().NewContraption("SoundOut", 10, 60);
  engine->SetTempo(10.0);
  TExportAsWaveForm dialog(*engine, messages);
  dialog.Prepare();
  dialog.RecordEdit()->SetValue(1100);  // bars of 24 seconds: more than 4 GiB
  test::TempDir dir;
  EXPECT_EQ(dialog.ExportTo(QString::fromStdString(dir / "long.wav")), WaveExportResult::TooLong);
  EXPECT_NE(LastMessage().find("the longest is 1014.49 bars"), std::string::npos) << LastMessage();
  EXPECT_FALSE(std::filesystem::exists(dir / "long.wav"));
}

TEST_F(DialogsTest, ProgressWindowCancelsOnCloseAndLightsBlocks) {
  TProgressForm progress;
  progress.resize(324, 100);
  progress.show();
  progress.Stage("Pre-rolling...", "");
  progress.Progress(0.5);
  EXPECT_EQ(progress.FirstLine(), "Pre-rolling...");
  EXPECT_GT(progress.LitBlocks(), 0);
  const int half = progress.LitBlocks();
  EXPECT_TRUE(progress.Animating());
  progress.Progress(1.0);
  EXPECT_NEAR(progress.LitBlocks(), 2 * half, 1);
  EXPECT_FALSE(progress.Animating());
  EXPECT_FALSE(progress.Cancelled());
  progress.close();  // closing cancels and the window stays
  EXPECT_TRUE(progress.Cancelled());
  EXPECT_TRUE(progress.isVisible());
}

}  // namespace dialogs_test
}  // namespace tg
