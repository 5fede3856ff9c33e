#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <algorithm>

#include "app/dialogs/TSettingsForm.h"
#include "app/mainwindow/SilentProgram.h"
#include "engine/streams/KWWaveInStream.h"
#include "engine/streams/KWWaveOutStream.h"
#include "engine/streams/StreamSettings.h"
#include "files/SoundFilePaths.h"
#include "host/StreamUserMessages.h"
#include "tests/support/ManualWaveDevice.h"

namespace tg {
namespace settings_form_test {

// The settings dialog over the silent device's streams, with settings kept
// in memory. Nothing here ends the program: what the dialog stores, it stores
// when it applies.
class SettingsFormTest : public ::testing::Test {
 protected:
  ~SettingsFormTest() override {
    program.engine->StopAudioOut();
    SoundFilePaths::Instance().SetDirectories({});
  }
  static void Select(QComboBox* box, int number) { box->setCurrentIndex(box->findData(number)); }
  static QPushButton* Button(const QDialog& dialog, const QString& text) {
    for (auto* button : dialog.findChildren<QPushButton*>()) {
      if (button->text() == text) return button;
    }
    return nullptr;
  }
  KWWaveOutStream& Out() { return *program.options.outStream; }
  KWWaveInStream& In() { return *program.options.inStream; }

  SilentProgram program;
  MemorySettingsStore& settings = program.settings;
  StreamUserMessages messages{nullptr};
};

TEST_F(SettingsFormTest, ApplyStoresTheStreamsAndDirectoriesAtOnce) {
  TSettingsForm dialog(*program.engine, &Out(), &In(), messages, settings);
  ASSERT_FALSE(settings.HasGroup("0.7/OutStream"));
  Select(dialog.OutputPage().size, 4096);
  Select(dialog.OutputPage().count, 3);
  Select(dialog.InputPage().size, 8192);
  Select(dialog.InputPage().count, 5);
  dialog.OverdriveBox()->setChecked(false);
  dialog.AddDirectory("/music/loops");
  dialog.Apply();

  EXPECT_EQ(settings.ReadInt("0.7/OutStream", "BufferSize"), 4096);
  EXPECT_EQ(settings.ReadInt("0.7/OutStream", "BufferCount"), 3);
  EXPECT_EQ(settings.ReadBool("0.7/OutStream", "Overdrive"), false);
  EXPECT_EQ(settings.ReadString("0.7/OutStream", "DeviceName"), "Silent (no sound card)");
  EXPECT_EQ(settings.ReadInt("0.7/InStream", "BufferSize"), 8192);
  EXPECT_EQ(settings.ReadInt("0.7/InStream", "BufferCount"), 5);
  EXPECT_EQ(settings.ReadString("0.7/SFPaths", "Path_0"), "/music/loops/");

  // OK applies what changed since, and stores it too; a removed directory
  // leaves the store as well.
  dialog.DirectoryList()->setCurrentRow(0);
  dialog.RemoveSelectedDirectory();
  Select(dialog.OutputPage().count, 6);
  QTest::mouseClick(Button(dialog, "OK"), Qt::LeftButton);
  EXPECT_EQ(settings.ReadInt("0.7/OutStream", "BufferCount"), 6);
  EXPECT_FALSE(settings.ReadString("0.7/SFPaths", "Path_0").has_value());
}

TEST_F(SettingsFormTest, CancelAndTheStorelessDialogLeaveTheStoreAlone) {
  {
    TSettingsForm dialog(*program.engine, &Out(), &In(), messages, settings);
    Select(dialog.OutputPage().count, 2);
    QTest::mouseClick(Button(dialog, "Cancel"), Qt::LeftButton);
  }
  {
    TSettingsForm dialog(*program.engine, &Out(), &In(), messages);
    Select(dialog.OutputPage().count, 2);
    dialog.Apply();
    EXPECT_EQ(Out().BufferCount(), 2);
  }
  EXPECT_FALSE(settings.HasGroup("0.7/OutStream"));
  EXPECT_FALSE(settings.HasGroup("0.7/InStream"));
}

TEST_F(SettingsFormTest, AnotherBufferSizeWhileAudioRunsStillShowsTheLoad) {
  program.engine->StartAudioOut();
  TSettingsForm dialog(*program.engine, &Out(), &In(), messages, settings);
  Select(dialog.OutputPage().size, 2048);  // an empty patch fills it in microseconds
  Select(dialog.InputPage().size, 2048);
  dialog.Apply();
  ASSERT_TRUE(Out().IsActive());
  ASSERT_EQ(Out().BufferSize(), 2048);
  EXPECT_TRUE(test::WaitUntil([&] { return program.engine->OutStream().CpuLoad() > 0.0; }));

  program.engine->StopAudioOut();
  EXPECT_EQ(program.engine->OutStream().CpuLoad(), 0.0);  // no figure left from the last run
}

// "Processing threads" changes the engine while the music plays, is stored
// with the output settings, and a stored value that makes no sense is
// automatic.
TEST_F(SettingsFormTest, ProcessingThreadsApplyWhilePlayingAndAreStored) {
  TAudioEngineModule& engine = *program.engine;
  EXPECT_EQ(engine.ProcessingThreads(), TAudioEngineModule::kAutomaticThreads);
  engine.StartAudioOut();
  TSettingsForm dialog(engine, &Out(), &In(), messages, settings);
  EXPECT_EQ(dialog.ThreadsBox()->currentData().toInt(), TAudioEngineModule::kAutomaticThreads);
  EXPECT_EQ(dialog.ThreadsBox()->count(), TAudioEngineModule::Cores() + 1);

  Select(dialog.ThreadsBox(), 1);
  dialog.Apply();
  EXPECT_EQ(engine.ActiveProcessingThreads(), 1);
  EXPECT_EQ(settings.ReadInt("0.7/OutStream", "ProcessingThreads"), 1);
  EXPECT_TRUE(Out().IsActive());

  Select(dialog.ThreadsBox(), TAudioEngineModule::kAutomaticThreads);
  dialog.Apply();
  EXPECT_EQ(engine.ActiveProcessingThreads(), std::min(TAudioEngineModule::Cores(), 8));
  EXPECT_EQ(settings.ReadInt("0.7/OutStream", "ProcessingThreads"), 0);
  engine.StopAudioOut();

  for (const int64_t stored : {-3, 1000}) {
    settings.WriteInt("0.7/OutStream", "ProcessingThreads", stored);
    EXPECT_EQ(LoadProcessingThreads(settings), TAudioEngineModule::kAutomaticThreads);
  }
  settings.WriteInt("0.7/OutStream", "ProcessingThreads", 2);
  EXPECT_EQ(LoadProcessingThreads(settings), 2);
}

// "Limit the output" is off at first, turns SoundOut's limiter on and is
// stored with the output settings.
TEST_F(SettingsFormTest, LimitTheOutputIsAppliedAndStored) {
  TAudioEngineModule& engine = *program.engine;
  TSettingsForm dialog(engine, &Out(), &In(), messages, settings);
  EXPECT_FALSE(dialog.LimitBox()->isChecked());
  EXPECT_FALSE(LoadOutputLimited(settings));
  dialog.LimitBox()->setChecked(true);
  dialog.Apply();
  EXPECT_TRUE(engine.SoundOutProcessor().Limiting());
  EXPECT_EQ(settings.ReadBool("0.7/OutStream", "LimitOutput"), true);
  EXPECT_TRUE(LoadOutputLimited(settings));
}

// Applying other settings leaves a live input playing on; a change of its
// own restarts it.
TEST_F(SettingsFormTest, ApplyRestartsTheInputOnlyForAChangeOfItsOwn) {
  test::ManualWaveDeviceLayer layer;
  auto out = std::make_unique<KWWaveOutStream>(layer);
  auto in = std::make_unique<KWWaveInStream>(layer);
  KWWaveOutStream* outStream = out.get();
  KWWaveInStream* inStream = in.get();
  TAudioEngineModule engine(program.factory, std::move(out), std::move(in));
  engine.StartAudioIn();
  ASSERT_EQ(layer.in.opens, 1);
  TSettingsForm dialog(engine, outStream, inStream, messages);
  dialog.LimitBox()->setChecked(true);
  dialog.Apply();
  EXPECT_EQ(layer.in.opens, 1);
  Select(dialog.InputPage().count, 5);
  dialog.Apply();
  EXPECT_EQ(layer.in.opens, 2);
  EXPECT_TRUE(engine.IsAudioInRunning());
  engine.StopAudioIn();
}

}  // namespace settings_form_test
}  // namespace tg
