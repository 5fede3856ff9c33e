#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

#include "contraptions/RegisterContraptions.h"
#include "engine/TAudioEngineModule.h"
#include "engine/wavefiles/TGWaveOutFile.h"
#include "framework/TContraptionFactory.h"
#include "framework/TGardeningContraption.h"
#include "tests/support/ManualWaveDevice.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestProcessors.h"

namespace tg {
namespace {

class SoundOutTest : public ::testing::Test {
 protected:
  SoundOutTest() {
    RegisterContraptionTypes(factory);
    soundOutContraption = factory.Create(engine, "SoundOut", "");
    source = new test::TestPipe(&engine.GetContext(), 0, 1, 0.25f);
    engine.GetContext().Connect(source, 0, &out(), 0, false);
    engine.GetContext().Connect(source, 0, &out(), 1, false);
  }
  ~SoundOutTest() override { engine.DestroyContraption(std::move(soundOutContraption)); }
  TGSoundOut& out() { return engine.SoundOutProcessor(); }

  // As the window does it: name the file, then reset under the engine lock.
  void UseFile(const std::string& name) {
    EngineLockGuard lock(engine.OutStream().GetEngineLock());
    out().outputFile.SetValue(name);
    out().Reset();
  }
  void Command(int action) {
    EngineLockGuard lock(engine.OutStream().GetEngineLock());
    out().action.SetValue(action);
  }
  // Runs blocks and answers what reached the device's left channel.
  std::vector<int16_t> Run(int blocks) {
    std::vector<int16_t> buffer(static_cast<size_t>(blocks) * 512);
    engine.OutStreamFillBuffer(buffer.data(), blocks * 256);
    std::vector<int16_t> left;
    for (size_t i = 0; i < buffer.size(); i += 2) left.push_back(buffer[i]);
    return left;
  }
  uint32_t FramesIn(const std::string& name) {
    return TGWaveOutFile(name, 44100, 2, false).Length();
  }
  void MakeFile(const std::string& name, uint32_t frames, int16_t value) {
    TGWaveOutFile file(name, 44100, 2, true);
    std::vector<int16_t> samples(static_cast<size_t>(frames) * 2, value);
    file.Write(samples.data(), frames);
  }
  void WaitUntilPlaybackReady() {
    // The worker reads the start of the file in shortly after it is opened.
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
  }

  TContraptionFactory factory;
  TAudioEngineModule engine{factory};
  std::unique_ptr<TGardeningContraption> soundOutContraption;
  test::TestPipe* source = nullptr;
  test::TempDir dir;
};

TEST_F(SoundOutTest, WithoutAFileTheInputsPassAndCommandsDoNothing) {
  EXPECT_EQ(out().GetState(), TGSoundOut::kNoFile);
  Command(TGSoundOut::kRecord);
  const auto left = Run(4);
  EXPECT_EQ(left[100], static_cast<int16_t>(0.25f * 32767));
  EXPECT_EQ(out().GetState(), TGSoundOut::kNoFile);
  UseFile(dir / "missing-dir/take.wav");
  EXPECT_EQ(out().GetState(), TGSoundOut::kNoFile);
}

TEST_F(SoundOutTest, AppendAndOverwriteTakes) {
  const std::string name = dir / "take.wav";
  MakeFile(name, 10000, 7);
  UseFile(name);
  ASSERT_EQ(out().GetState(), TGSoundOut::kStopped);
  EXPECT_NEAR(out().FileLengthMs(), 10000 / 44.1, 0.01);

  out().punchMode.SetValue(TGSoundOut::kTimed);
  out().recordDuration.SetValue(23);  // ends with the block that reaches 23 ms: 1024 frames
  Command(TGSoundOut::kRecord);
  Run(10);
  EXPECT_EQ(out().GetState(), TGSoundOut::kStopped);
  EXPECT_EQ(out().action.Value(), TGSoundOut::kStop);
  out().FlushFile();
  EXPECT_EQ(FramesIn(name), 11024u);
  EXPECT_EQ(out().LostFrames(), 0u);

  out().fileMode.SetValue(1);
  Command(TGSoundOut::kRecord);
  Run(10);
  out().FlushFile();
  EXPECT_EQ(FramesIn(name), 1024u);
  TGWaveOutFile file(name, 44100, 2, false);
  int16_t frame[2];
  file.Read(frame, 1);
  EXPECT_EQ(frame[0], static_cast<int16_t>(0.25f * 32767));
}

TEST_F(SoundOutTest, AManualTakeEndsWithItsLastPartialChunkOnDisk) {
  const std::string name = dir / "manual.wav";
  UseFile(name);  // a new file
  ASSERT_EQ(out().GetState(), TGSoundOut::kStopped);
  Command(TGSoundOut::kRecord);
  Run(13);  // 3328 frames: one whole chunk of 2048 and a part
  EXPECT_EQ(out().GetState(), TGSoundOut::kRecording);
  Command(TGSoundOut::kStop);
  Run(1);
  out().FlushFile();
  EXPECT_EQ(FramesIn(name), 13u * 256u);
  const auto bytes = test::ReadBytes(name);
  EXPECT_EQ(bytes.size(), 44u + 13u * 256u * 4u);
}

TEST_F(SoundOutTest, PlaybackReplacesTheInputsUntilTheFileEnds) {
  const std::string name = dir / "play.wav";
  MakeFile(name, 1000, 1234);
  UseFile(name);
  WaitUntilPlaybackReady();
  Command(TGSoundOut::kPlay);
  const auto left = Run(8);
  EXPECT_EQ(left[0], 1234 * 32767 / 32768);
  EXPECT_EQ(left[999], 1234 * 32767 / 32768);
  EXPECT_EQ(left[1000], 0);  // missing frames of the last buffer are zeros
  EXPECT_EQ(left[4 * 256], static_cast<int16_t>(0.25f * 32767));  // the inputs again
  EXPECT_EQ(out().GetState(), TGSoundOut::kStopped);

  // And again from the start.
  WaitUntilPlaybackReady();
  Command(TGSoundOut::kPlay);
  EXPECT_EQ(Run(1)[0], 1234 * 32767 / 32768);
}

TEST_F(SoundOutTest, SoundInSyncRecordsExactlyWhileSoundInIsActive) {
  const std::string name = dir / "sync.wav";
  UseFile(name);
  out().punchMode.SetValue(TGSoundOut::kSoundInSync);
  out().fileMode.SetValue(1);
  Command(TGSoundOut::kRecord);
  Run(3);
  EXPECT_EQ(out().GetState(), TGSoundOut::kRecordPaused);
  engine.SoundInProcessor().active.SetValue(true);
  Run(5);
  EXPECT_EQ(out().GetState(), TGSoundOut::kRecording);
  engine.SoundInProcessor().active.SetValue(false);
  Run(3);
  EXPECT_EQ(out().GetState(), TGSoundOut::kStopped);
  out().FlushFile();
  EXPECT_EQ(FramesIn(name), 6u * 256u);  // five active blocks and the one that saw it stop
}

TEST_F(SoundOutTest, ALongTakeThroughTheRealTimeFillsLosesNothing) {
  const std::string name = dir / "long.wav";
  UseFile(name);
  Command(TGSoundOut::kRecord);
  for (int i = 0; i < 200; ++i) {
    Run(16);  // a device buffer at a time, with the worker running alongside
    std::this_thread::sleep_for(std::chrono::microseconds(500));  // still far faster than real time
  }
  Command(TGSoundOut::kStop);
  Run(1);
  out().FlushFile();
  EXPECT_EQ(out().LostFrames(), 0u);
  EXPECT_EQ(FramesIn(name), 200u * 16u * 256u);
}

}  // namespace
}  // namespace tg
