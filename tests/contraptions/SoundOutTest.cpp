#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "contraptions/io/soundout/LostFramesMessage.h"
#include "engine/TAudioEngineModule.h"
#include "files/SoundFilePaths.h"
#include "files/wavefiles/RiffIO.h"
#include "files/wavefiles/SoundFileReader.h"
#include "files/wavefiles/TGWaveOutFile.h"
#include "framework/TContraptionFactory.h"
#include "framework/TGardeningContraption.h"
#include "host/StreamUserMessages.h"
#include "shell/RegisterContraptions.h"
#include "shell/document/TGDocument.h"
#include "shell/patch/PatchEditor.h"
#include "shell/program/HeadlessQueries.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/ManualWaveDevice.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestProcessors.h"

namespace tg {
namespace sound_out_test {

// Waits for something another thread brings about, with time to spare on
// a loaded machine; answers whether it came about.
bool WaitFor(const std::function<bool()>& condition) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

uint32_t FramesIn(const std::string& name) { return TGWaveOutFile(name, 44100, 2, false).Length(); }

void MakeFile(const std::string& name, uint32_t frames, int16_t value) {
  TGWaveOutFile file(name, 44100, 2, true);
  std::vector<int16_t> samples(static_cast<size_t>(frames) * 2, value);
  file.Write(samples.data(), frames);
}

// What the device receives when SoundOut plays a recorded sample.
int16_t Played(int16_t recorded) {
  return static_cast<int16_t>(static_cast<float>(recorded) / 32768.0f * 32767.0f);
}

// An engine with SoundOut placed and a constant signal on both its inputs;
// also built inside a child process whose files are limited.
class SoundOutRig {
 public:
  SoundOutRig() {
    RegisterContraptionTypes(factory);
    soundOutContraption = factory.Create(engine, "SoundOut", "");
    source = new test::TestPipe(&engine.GetContext(), 0, 1, 0.25f);
    engine.GetContext().Connect(source, 0, &out(), 0, false);
    engine.GetContext().Connect(source, 0, &out(), 1, false);
  }
  ~SoundOutRig() { engine.DestroyContraption(std::move(soundOutContraption)); }
  SoundOutRig(const SoundOutRig&) = delete;
  SoundOutRig& operator=(const SoundOutRig&) = delete;
  TGSoundOut& out() { return engine.SoundOutProcessor(); }

  // As the window does it: the file is handed to the worker; answers
  // whether the worker answered, after which SoundOut can record or play.
  bool ChooseAndWait(const std::string& name) {
    out().ChooseFile(name);
    return WaitFor([&] { return out().GetState() != TGSoundOut::kOpening; });
  }
  void Command(int action) {
    EngineLockGuard lock(engine.OutStream().GetEngineLock());
    out().action.SetValue(action);
  }
  // A whole take of so many blocks, on disk when this returns.
  void RecordTake(int blocks) {
    Command(TGSoundOut::kRecord);
    Run(blocks);
    Command(TGSoundOut::kStop);
    Run(1);
    out().FlushFile();
  }
  // Runs blocks and answers what reached the device's left channel.
  std::vector<int16_t> Run(int blocks) {
    std::vector<int16_t> buffer(static_cast<size_t>(blocks) * 512);
    engine.OutStreamFillBuffer(buffer.data(), blocks * 256);
    std::vector<int16_t> left;
    for (size_t i = 0; i < buffer.size(); i += 2) left.push_back(buffer[i]);
    return left;
  }
  // The value SoundOut records from its inputs now.
  int16_t Recorded() const { return static_cast<int16_t>(input_ * 32767); }
  // UI thread, between runs: what the inputs carry from now on.
  void SetInput(float value) {
    input_ = value;
    source->SetConstant(value);
  }

  TContraptionFactory factory;
  TAudioEngineModule engine{factory};
  std::unique_ptr<TGardeningContraption> soundOutContraption;
  test::TestPipe* source = nullptr;

 private:
  float input_ = 0.25f;
};

class SoundOutTest : public ::testing::Test, protected SoundOutRig {
 protected:
  using SoundOutRig::Run;  // not the test's own
  void UseFile(const std::string& name) { ASSERT_TRUE(ChooseAndWait(name)); }
  void WaitUntilPlaybackReady() {
    // The worker reads the start of the file in shortly after it is opened.
    ASSERT_TRUE(WaitFor([&] { return out().PlaybackReady(); }));
  }
  // Records blocks while the worker is kept off the disk until every chunk
  // of the queue is waiting for it; answers whether the queue did fill up.
  bool RecordPastAStalledDisk(int blocks) {
    std::atomic<bool> holding{false}, sawFullQueue{false};
    SoundOutFileWorker& worker = out().FileWorker();
    std::thread disk([&] {
      auto hold = worker.HoldDisk();
      holding = true;
      sawFullQueue = WaitFor([&] {
        return worker.PendingChunks() >= static_cast<uint64_t>(SoundOutFileWorker::kChunkCount);
      });
    });
    EXPECT_TRUE(WaitFor([&] { return holding.load(); }));
    Run(blocks);
    disk.join();
    EXPECT_TRUE(WaitFor([&] { return worker.PendingChunks() == 0; }));  // caught up again
    return sawFullQueue;
  }

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

  Command(TGSoundOut::kRecord);
  Run(4);
  Command(TGSoundOut::kStop);
  Run(1);
  EXPECT_EQ(out().GetState(), TGSoundOut::kStopped);
  EXPECT_EQ(out().action.Value(), TGSoundOut::kStop);
  out().FlushFile();
  EXPECT_EQ(FramesIn(name), 11024u);
  EXPECT_EQ(out().LostFrames(), 0u);

  out().fileMode.SetValue(1);
  RecordTake(4);
  EXPECT_EQ(FramesIn(name), 1024u);
  TGWaveOutFile file(name, 44100, 2, false);
  int16_t frame[2];
  file.Read(frame, 1);
  EXPECT_EQ(frame[0], static_cast<int16_t>(0.25f * 32767));
}

TEST_F(SoundOutTest, ATimedTakeLastsItsDurationInSeconds) {
  const std::string name = dir / "timed.wav";
  UseFile(name);
  out().punchMode.SetValue(TGSoundOut::kTimed);
  out().recordDuration.SetValue(1);  // one second: the take ends with the block reaching 44100
  Command(TGSoundOut::kRecord);
  Run(172);  // 44032 frames, just short of a second
  EXPECT_EQ(out().GetState(), TGSoundOut::kRecording);
  Run(1);
  EXPECT_EQ(out().GetState(), TGSoundOut::kStopped);
  Run(10);
  out().FlushFile();
  EXPECT_EQ(FramesIn(name), 173u * 256u);
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

// A device buffer at a time, with the worker writing alongside: while the
// disk keeps up, nothing is lost. The fills run far faster than real time,
// so each waits until the queue has room for it (a loaded machine may stall
// the worker for a while); the queue goes round several times.
TEST_F(SoundOutTest, ALongTakeThroughTheRealTimeFillsLosesNothingWhileTheDiskKeepsUp) {
  const std::string name = dir / "long.wav";
  UseFile(name);
  constexpr int kFills = 200, kBlocksPerFill = 16;  // two chunks a fill
  constexpr uint64_t kRoomForAFill = 4;
  SoundOutFileWorker& worker = out().FileWorker();
  Command(TGSoundOut::kRecord);
  for (int i = 0; i < kFills; ++i) {
    ASSERT_TRUE(WaitFor(
        [&] { return worker.PendingChunks() + kRoomForAFill <= SoundOutFileWorker::kChunkCount; }));
    Run(kBlocksPerFill);
  }
  Command(TGSoundOut::kStop);
  Run(1);
  out().FlushFile();
  const uint64_t total = uint64_t{kFills} * kBlocksPerFill * 256u;
  EXPECT_EQ(FramesIn(name) + out().LostFrames(), total);
  EXPECT_EQ(out().LostFrames(), 0u);
  EXPECT_EQ(ReadWaveInfo(name).frames, static_cast<int64_t>(total));
}

TEST_F(SoundOutTest, ATakeInProgressIsReadableByOtherPrograms) {
  // Were the program killed now, the file must still describe what is on disk.
  const std::string name = dir / "live.wav";
  UseFile(name);
  Command(TGSoundOut::kRecord);
  Run(20);  // two whole chunks of 2048 frames reach the worker, a part waits
  EXPECT_TRUE(WaitFor([&] { return ReadWaveInfo(name).frames == 2 * 2048; }))
      << "libsndfile sees " << ReadWaveInfo(name).frames << " frames";
  const auto bytes = test::ReadBytes(name);
  ASSERT_GE(bytes.size(), 44u);
  EXPECT_EQ(riff::U32(&bytes[4]), bytes.size() - 8);
  EXPECT_EQ(riff::U32(&bytes[40]), bytes.size() - 44);
  EXPECT_EQ(out().GetState(), TGSoundOut::kRecording);
}

TEST_F(SoundOutTest, ADiskThatFallsBehindCostsFramesAndTheCountSaysSo) {
  const std::string name = dir / "slow.wav";
  UseFile(name);
  Command(TGSoundOut::kRecord);
  const int blocks = 140 * SoundOutFileWorker::kChunkFrames / 256;  // more than the queue holds
  ASSERT_TRUE(RecordPastAStalledDisk(blocks));
  Command(TGSoundOut::kStop);
  Run(1);
  out().FlushFile();
  const uint64_t lost = out().LostFrames();
  EXPECT_GT(lost, 0u);
  EXPECT_EQ(FramesIn(name) + lost, static_cast<uint64_t>(blocks) * 256u);
  EXPECT_EQ(LostFramesMessage(lost).rfind("take: ", 0), 0u) << LostFramesMessage(lost);

  // The next take counts from nothing, and its start reaches the file.
  out().fileMode.SetValue(1);
  Command(TGSoundOut::kRecord);
  Run(4);
  EXPECT_EQ(out().LostFrames(), 0u);
  Command(TGSoundOut::kStop);
  Run(1);
  out().FlushFile();
  EXPECT_EQ(FramesIn(name), 4u * 256u);
}

TEST_F(SoundOutTest, ARenderWaitsForASlowDiskAndLosesNothing) {
  const std::string name = dir / "render.wav";
  UseFile(name);
  out().SetOffline(true);
  Command(TGSoundOut::kRecord);
  const int blocks = 140 * SoundOutFileWorker::kChunkFrames / 256;
  EXPECT_TRUE(RecordPastAStalledDisk(blocks));  // the render had to wait for the disk
  Command(TGSoundOut::kStop);
  Run(1);
  out().SetOffline(false);
  out().FlushFile();
  EXPECT_EQ(out().LostFrames(), 0u);
  EXPECT_EQ(FramesIn(name), static_cast<uint32_t>(blocks) * 256u);
}

// The user picks another file while a take runs and the disk is stuck: the
// window gets its answer at once, and the worker ends the take on the old
// file (every frame, the header) before it opens the new one.
TEST_F(SoundOutTest, ChangingTheFileDuringATakeNeverWaitsForTheDisk) {
  const std::string first = dir / "first.wav";
  const std::string second = dir / "second.wav";
  UseFile(first);
  Command(TGSoundOut::kRecord);
  Run(13);  // one whole chunk of 2048 frames and a part
  std::atomic<bool> holding{false}, changed{false};
  bool changedWhileHeld = false;
  std::thread disk([&] {
    auto hold = out().FileWorker().HoldDisk();
    holding = true;
    changedWhileHeld = WaitFor([&] { return changed.load(); });
  });
  ASSERT_TRUE(WaitFor([&] { return holding.load(); }));
  out().ChooseFile(second);
  changed = true;
  EXPECT_EQ(out().GetState(), TGSoundOut::kOpening);
  EXPECT_EQ(Run(1)[0], static_cast<int16_t>(0.25f * 32767));  // the inputs still sound
  disk.join();
  EXPECT_TRUE(changedWhileHeld);

  ASSERT_TRUE(WaitFor([&] { return out().GetState() != TGSoundOut::kOpening; }));
  EXPECT_EQ(out().GetState(), TGSoundOut::kStopped);
  EXPECT_EQ(out().FileProblem(), "");
  EXPECT_EQ(ReadWaveInfo(first).frames, 13 * 256);
  const auto bytes = test::ReadBytes(first);
  ASSERT_EQ(bytes.size(), 44u + 13u * 256u * 4u);
  EXPECT_EQ(riff::U32(&bytes[40]), 13u * 256u * 4u);
  EXPECT_TRUE(std::filesystem::exists(second));

  // The new file records.
  RecordTake(4);
  EXPECT_EQ(FramesIn(second), 4u * 256u);
}

// A render starts right after the file was chosen: its first block already
// goes to the file.
TEST_F(SoundOutTest, ARenderWaitsForAJustChosenFileBeforeItsFirstBlock) {
  const std::string name = dir / "render-now.wav";
  out().SetOffline(true);
  {
    auto hold = out().FileWorker().HoldDisk();  // the worker cannot have answered yet
    out().ChooseFile(name);
    Command(TGSoundOut::kRecord);
  }
  Run(4);
  Command(TGSoundOut::kStop);
  Run(1);
  out().SetOffline(false);
  out().FlushFile();
  EXPECT_EQ(FramesIn(name), 4u * 256u);
}

// Choosing a file that cannot be used says why, once the worker has tried.
TEST_F(SoundOutTest, AFileThatCannotBeUsedIsRefusedWithTheReason) {
  const std::string name = dir / "missing-dir/take.wav";
  UseFile(name);
  EXPECT_EQ(out().GetState(), TGSoundOut::kNoFile);
  const std::string problem = out().FileProblem();
  EXPECT_NE(problem.find(name), std::string::npos) << problem;
  EXPECT_NE(problem.find(std::strerror(ENOENT)), std::string::npos) << problem;
  UseFile(dir / "good.wav");
  EXPECT_EQ(out().FileProblem(), "");
}

// Play pressed right after a take, while the disk is still busy with its end:
// what plays is the take just recorded, never the file as it was.
// Another program removes the file between takes, or puts another in its
// place during one: what follows would go to a file no longer on the disk,
// so the file is given up with the reason instead.
TEST_F(SoundOutTest, AFileRemovedOrReplacedByAnotherProgramIsGivenUpWithTheReason) {
  const std::string name = dir / "take.wav";
  const auto givenUp = [&] {
    return WaitFor([&] {
      Run(1);
      return out().GetState() == TGSoundOut::kNoFile;
    });
  };
  UseFile(name);
  RecordTake(4);
  std::filesystem::remove(name);
  Command(TGSoundOut::kRecord);
  ASSERT_TRUE(givenUp());
  EXPECT_NE(out().FileProblem().find("another program removed or replaced the file"),
            std::string::npos)
      << out().FileProblem();

  UseFile(name);
  Command(TGSoundOut::kRecord);
  Run(16);
  out().FlushFile();  // the take has begun on the disk
  MakeFile(dir / "other.wav", 100, 1);
  std::filesystem::rename(dir / "other.wav", name);
  ASSERT_TRUE(givenUp());
  out().FlushFile();
  EXPECT_EQ(FramesIn(name), 100u);  // the other program's file is left as it is
}

TEST_F(SoundOutTest, PlayRightAfterATakePlaysThatTake) {
  const std::string name = dir / "again.wav";
  MakeFile(name, 1000, 1234);
  UseFile(name);
  WaitUntilPlaybackReady();  // the old content is read in
  out().fileMode.SetValue(1);
  SetInput(0.5f);
  const int16_t take = Recorded();
  Command(TGSoundOut::kRecord);
  Run(4);
  std::atomic<bool> holding{false}, release{false};
  std::thread disk([&] {
    auto hold = out().FileWorker().HoldDisk();
    holding = true;
    WaitFor([&] { return release.load(); });
  });
  EXPECT_TRUE(WaitFor([&] { return holding.load(); }));
  Command(TGSoundOut::kStop);
  Run(1);
  SetInput(0.1f);
  Command(TGSoundOut::kPlay);
  const auto whileTheTakeIsNotOnDisk = Run(2);
  release = true;
  disk.join();
  WaitUntilPlaybackReady();
  const auto played = Run(5);

  EXPECT_EQ(std::count(whileTheTakeIsNotOnDisk.begin(), whileTheTakeIsNotOnDisk.end(), 0),
            static_cast<std::ptrdiff_t>(whileTheTakeIsNotOnDisk.size()))
      << "heard " << whileTheTakeIsNotOnDisk[0];
  EXPECT_EQ(played[0], Played(take));
  EXPECT_EQ(played[4 * 256 - 1], Played(take));
  EXPECT_EQ(played[4 * 256], Recorded());  // played through: the inputs again
  EXPECT_EQ(out().GetState(), TGSoundOut::kStopped);
}

// "Action" is a document value and a preset's too, so Play can arrive in the
// middle of a take. The take ends first, whole, and that take is what plays;
// nothing of it is left over for the next file.
TEST_F(SoundOutTest, PlayArrivingDuringATakeEndsTheTakeFirst) {
  const std::string first = dir / "first.wav";
  const std::string second = dir / "second.wav";
  UseFile(first);
  SetInput(0.5f);
  const int16_t take = Recorded();
  Command(TGSoundOut::kRecord);
  Run(13);  // one whole chunk of 2048 frames and a part
  SetInput(0.1f);
  Command(TGSoundOut::kPlay);
  std::vector<int16_t> heard;  // silence until the take is on disk, then the take
  ASSERT_TRUE(WaitFor([&] {
    const auto block = Run(1);
    heard.insert(heard.end(), block.begin(), block.end());
    return out().GetState() == TGSoundOut::kStopped;
  }));
  const auto start = std::find_if(heard.begin(), heard.end(), [](int16_t v) { return v != 0; });
  ASSERT_EQ(heard.end() - start, 13 * 256);
  EXPECT_EQ(std::count(start, heard.end(), Played(take)), 13 * 256);

  out().FlushFile();
  EXPECT_EQ(FramesIn(first), 13u * 256u);
  const auto bytes = test::ReadBytes(first);
  ASSERT_EQ(bytes.size(), 44u + 13u * 256u * 4u);
  EXPECT_EQ(riff::U32(&bytes[40]), 13u * 256u * 4u);

  UseFile(second);
  RecordTake(4);
  EXPECT_EQ(FramesIn(second), 4u * 256u);
}

// The disk fills up during a take: what it refused counts as lost, and the
// take's message gives the disk's reason instead of blaming its speed.
TEST(SoundOutDiskErrorTest, FramesTheDiskRefusesAreLostAndTheTakeSaysWhy) {
  test::TempDir dir;
  const std::string name = dir / "full.wav";
  constexpr uint32_t kLimit = 64 * 1024;
  constexpr uint32_t kBlocks = 100;  // 102400 bytes of samples
  const std::string report = test::WithFileSizeLimit(kLimit, [&]() -> std::string {
    SoundOutRig rig;
    if (!rig.ChooseAndWait(name)) return "no answer about the file";
    rig.Command(TGSoundOut::kRecord);
    rig.Run(kBlocks);
    rig.Command(TGSoundOut::kStop);
    rig.Run(1);
    rig.out().FlushFile();
    const uint64_t lost = rig.out().LostFrames();
    const uint32_t kept = FramesIn(name);
    if (kept != (kLimit - 44) / 4) return "frames on disk: " + std::to_string(kept);
    if (kept + lost != kBlocks * 256) return "frames counted as lost: " + std::to_string(lost);
    const std::string message = rig.out().TakeMessage();
    if (message != LostFramesMessage(lost, std::strerror(EFBIG))) return "message: " + message;
    if (rig.out().GetState() != TGSoundOut::kStopped) return "the file was given up";
    return {};
  });
  EXPECT_EQ(report, "");
}

// An overwriting take that cannot empty the file loses it for good: SoundOut
// has no file, as if it could not be opened, and says why.
TEST(SoundOutDiskErrorTest, AFileThatCannotBeEmptiedForATakeIsGivenUpWithTheReason) {
  test::TempDir dir;
  const std::string name = dir / "old.wav";
  MakeFile(name, 10000, 7);
  // Not even a fresh header fits.
  const std::string report = test::WithFileSizeLimit(40, [&]() -> std::string {
    SoundOutRig rig;
    if (!rig.ChooseAndWait(name) || rig.out().GetState() != TGSoundOut::kStopped)
      return "not opened: " + rig.out().FileProblem();
    rig.out().fileMode.SetValue(1);
    rig.Command(TGSoundOut::kRecord);
    uint64_t blocks = 0;
    const bool givenUp = WaitFor([&] {
      rig.Run(1);
      ++blocks;
      return rig.out().GetState() == TGSoundOut::kNoFile;
    });
    if (!givenUp) return "still recording into a closed file";
    rig.out().FlushFile();
    // The block that found the file gone recorded nothing.
    if (rig.out().LostFrames() != (blocks - 1) * 256)
      return "lost " + std::to_string(rig.out().LostFrames()) + " of " +
             std::to_string((blocks - 1) * 256) + " frames";
    const std::string problem = rig.out().FileProblem();
    if (!rig.out().FileLost() || problem.find(name) == std::string::npos ||
        problem.find(std::strerror(EFBIG)) == std::string::npos)
      return "problem: " + problem;
    if (rig.out().TakeMessage().find(std::string(" lost (") + std::strerror(EFBIG) + ")") ==
        std::string::npos)
      return "message: " + rig.out().TakeMessage();
    rig.Command(TGSoundOut::kRecord);  // later takes have nothing to go to
    rig.Run(2);
    if (rig.out().GetState() != TGSoundOut::kNoFile) return "recording again";
    return {};
  });
  EXPECT_EQ(report, "");
}

TEST(LostFramesMessageTest, SaysHowMuchOfTheTakeWasLostAndNeverRoundsToNothing) {
  EXPECT_EQ(LostFramesMessage(0), "");
  EXPECT_EQ(LostFramesMessage(52920), "take: 1.2 s lost (disk too slow)");
  EXPECT_EQ(LostFramesMessage(44100 * 75), "take: 75.0 s lost (disk too slow)");
  EXPECT_EQ(LostFramesMessage(4410), "take: 0.1 s lost (disk too slow)");
  EXPECT_EQ(LostFramesMessage(4409), "take: 100 ms lost (disk too slow)");
  EXPECT_EQ(LostFramesMessage(1), "take: 1 ms lost (disk too slow)");
  EXPECT_EQ(LostFramesMessage(2048), "take: 47 ms lost (disk too slow)");
}

TEST(LostFramesMessageTest, GivesTheDisksReasonWhenItRefusedTheTake) {
  EXPECT_EQ(LostFramesMessage(52920, ""), "take: 1.2 s lost (disk too slow)");
  EXPECT_EQ(LostFramesMessage(0, ""), "");
  EXPECT_EQ(LostFramesMessage(52920, "No space left on device"),
            "take: 1.2 s lost (No space left on device)");
  EXPECT_EQ(LostFramesMessage(1, "File too large"), "take: 1 ms lost (File too large)");
  // Every frame got there, but the file could not be finished.
  EXPECT_EQ(LostFramesMessage(0, "Input/output error"),
            "take: not completely saved (Input/output error)");
}

// A document whose SoundOut file cannot be made says so when it is opened.
TEST(SoundOutDocumentTest, AnUnusableFileIsReportedWhenTheDocumentOpens) {
  TContraptionFactory factory;
  RegisterContraptionTypes(factory);
  TAudioEngineModule engine(factory);
  StreamUserMessages messages(nullptr);
  engine.Host().messages = &messages;
  PatchModel model;
  PatchEditor patch(engine, model);
  HeadlessQueries queries;
  test::TempDir dir;
  const std::string documentName = dir / "song.tgh";
  {
    std::ofstream doc(documentName);
    doc << ".tgh 0.5\ntempo:\n\t120\ncontraptions:\n"
           "\tSoundOut\tSoundOut\t{ \"no-such-dir/take.wav\", 0, 0, 0, 300 }\t{ {  }, {  }, "
           "{  }, {  }, {  }, {  }, {  }, {  }, {  }, {  }, {  }, {  }, {  }, {  }, {  }, {  }, "
           "{  }, {  }, {  }, {  } }{ }{ 30 140 F Z Z 0 0 Z Z Z Z  }\t\nend\n";
  }
  {
    TGDocument document(patch, queries);
    ASSERT_TRUE(document.Open(documentName));
    EXPECT_EQ(engine.SoundOutProcessor().GetState(), TGSoundOut::kNoFile);
    ASSERT_EQ(messages.Messages().size(), 1u);
    const std::string& text = messages.Messages().back().text;
    EXPECT_NE(text.find(dir / "no-such-dir/take.wav"), std::string::npos) << text;
    EXPECT_NE(text.find(std::strerror(ENOENT)), std::string::npos) << text;
    document.New();
  }
  SetDocumentDirectory("");
}

}  // namespace sound_out_test
}  // namespace tg
