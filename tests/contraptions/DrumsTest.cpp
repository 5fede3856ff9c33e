#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "contraptions/generators/drums/TGDrums.h"
#include "files/loading/SoundLoader.h"
#include "files/wavefiles/TGWaveOutFile.h"
#include "graph/TempoClock.h"
#include "tests/support/GraphHarness.h"
#include "tests/support/SlowDisk.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestSoundFiles.h"

namespace tg {
namespace drums_test {

using namespace std::chrono_literals;

constexpr auto kPatience = 30s;  // generous: the machines are shared
constexpr double kSamplesPerTick120 = 918.75;

// Output value of a 16-bit sample at full volumes (gain 0.75).
float Full(int16_t sample) { return static_cast<float>(sample) / 32768.0f * 0.75f; }

int32_t Steps(std::initializer_list<int> steps) {
  uint32_t bits = 0;
  for (int s : steps) bits |= 1u << s;
  return static_cast<int32_t>(bits);
}

using test::Ramp;
using test::SlowDisk;
using test::WriteLevel;
using test::WriteWave;
using test::WriteWithSndfile;

class DrumsTest : public ::testing::Test {
 protected:
  DrumsTest() : drums(h.Place<TGDrums>(loader)) {
    loader.SetReadHook([this](const std::string& path) { disk.Read(path); });
    drums.volume.SetValue(1.0);
    for (int i = 0; i < TGDrums::kSlots; ++i) drums.SlotVolume(i).SetValue(1.0);
    Clock().SetRunning(true);
  }
  ~DrumsTest() override { disk.Open(); }

  TempoClock& Clock() { return h.context.Clock(); }
  // Sets a slot's file and waits until the loader is done with it.
  void SetFile(int slot, const std::string& name) {
    drums.File(slot).SetValue(name);
    loader.WaitUntilIdle();
  }
  // Runs whole blocks until the clock has reached a position.
  void RunUntil(double position) {
    while (Clock().Position() < position) h.Run(1);
  }
  // From the clock at a position: stops the players and answers where the
  // recording stands.
  size_t StartAt(double position, double samplesPerTick = kSamplesPerTick120) {
    drums.Reset();
    Clock().SetPosition(position);
    Clock().SetSamplesPerClock(samplesPerTick);
    return Out().size();
  }
  // A round of the pattern begins on tick 192. Starting a little before it
  // keeps every tick off a whole sample, where rounding could go either way.
  static constexpr double kRound = 192.0;
  static constexpr double kLead = 0.1;
  size_t StartRound() { return StartAt(kRound - kLead); }
  // The sample of a tick of the round, counted from its start.
  static size_t SampleOfTick(int tick) {
    return static_cast<size_t>((tick + kLead) * kSamplesPerTick120);
  }
  void RunToTick(double tick) { RunUntil(kRound + tick); }
  const std::vector<float>& Out() const { return h.Out(0); }
  float At(size_t mark, size_t k) const { return Out()[mark + k]; }
  // Where sound starts after silence, from a mark on, relative to it.
  std::vector<size_t> Onsets(size_t mark) const {
    std::vector<size_t> at;
    for (size_t i = mark; i < Out().size(); ++i) {
      if (Out()[i] != 0.0f && (i == mark || Out()[i - 1] == 0.0f)) at.push_back(i - mark);
    }
    return at;
  }
  // How many samples sound from a mark on.
  size_t Sounding(size_t mark) const {
    size_t n = 0;
    for (size_t i = mark; i < Out().size(); ++i) n += Out()[i] != 0.0f;
    return n;
  }

  test::TempDir dir;
  SlowDisk disk;
  SoundLoader loader;
  test::GraphHarness h;
  TGDrums& drums;
};

TEST_F(DrumsTest, StepsStartOnTheirTicksAtAnyTempo) {
  WriteLevel(dir / "click.wav", 8192, 500);
  SetFile(0, dir / "click.wav");
  const std::vector<int> steps = {0, 3, 8, 31};  // step 31: the int's sign bit
  drums.Gates(0).SetValue(Steps({0, 3, 8, 31}));

  struct Case {
    double samplesPerTick, startTick;
  };
  for (const Case c :
       {Case{kSamplesPerTick120, 0.0}, Case{TempoClock::SamplesPerClockForTempo(97), 37.4}}) {
    const size_t mark = StartAt(c.startTick, c.samplesPerTick);
    RunUntil(c.startTick + 200);
    // A step is 6 ticks; tick t falls (t - start) × samples-per-tick into the run.
    std::vector<double> expected;
    for (int t = static_cast<int>(std::ceil(c.startTick)); t < Clock().Position(); ++t) {
      const int step = (t % 192) / 6;
      if (t % 6 == 0 && std::find(steps.begin(), steps.end(), step) != steps.end())
        expected.push_back((t - c.startTick) * c.samplesPerTick);
    }
    const std::vector<size_t> onsets = Onsets(mark);
    ASSERT_GE(expected.size(), 4u);
    ASSERT_EQ(onsets.size(), expected.size()) << c.samplesPerTick;
    for (size_t i = 0; i < onsets.size(); ++i) {
      EXPECT_NEAR(static_cast<double>(onsets[i]), std::floor(expected[i]), 1.0)
          << c.samplesPerTick << " onset " << i;
      for (size_t k = 0; k < 500; ++k) ASSERT_EQ(At(mark, onsets[i] + k), Full(8192)) << k;
      EXPECT_EQ(At(mark, onsets[i] + 500), 0.0f);
    }
  }
}

TEST_F(DrumsTest, ASingleStepPlaysToTheEndAndConsecutiveStepsFadeOverTheLastTick) {
  const std::vector<int16_t> ramp = Ramp(20000);
  WriteWave(dir / "ramp.wav", 44100, 1, ramp);
  SetFile(0, dir / "ramp.wav");

  drums.Gates(0).SetValue(Steps({0}));
  size_t mark = StartAt(0);
  h.Run(100);
  for (size_t k = 0; k < 20000; ++k) ASSERT_EQ(At(mark, k), Full(ramp[k])) << k;
  for (size_t k = 20000; k < 100 * kBlockSize; ++k) ASSERT_EQ(At(mark, k), 0.0f) << k;

  // Steps 0 and 1: a fade over tick 5, a restart on tick 6.
  drums.Gates(0).SetValue(Steps({0, 1}));
  mark = StartRound();
  RunToTick(40);
  const size_t start = SampleOfTick(0), fade = SampleOfTick(5), restart = SampleOfTick(6);
  auto gainAt = [&](size_t k) {
    return At(mark, k) / (static_cast<float>(ramp[k - start]) / 32768.0f);
  };
  for (size_t k = start; k < fade; ++k) ASSERT_EQ(At(mark, k), Full(ramp[k - start])) << k;
  EXPECT_FLOAT_EQ(gainAt(fade), 0.75f);
  const size_t half = (restart - fade) / 2;
  EXPECT_NEAR(gainAt(fade + half), 0.75f * (1.0f - half / kSamplesPerTick120), 1e-4f);
  EXPECT_LT(gainAt(restart - 1), 0.002f);
  for (size_t k = fade + 1; k < restart; ++k) {
    ASSERT_GE(At(mark, k), 0.0f) << k;
    ASSERT_LT(gainAt(k), gainAt(k - 1)) << k;
  }
  // Restarted from its beginning at full gain, then played to its end.
  for (size_t k = 0; k < 20000; ++k) ASSERT_EQ(At(mark, restart + k), Full(ramp[k])) << k;
  EXPECT_EQ(At(mark, restart + 20000), 0.0f);
}

TEST_F(DrumsTest, WithGate0And1Slot0CutsSlot1AndWinsASharedStep) {
  WriteLevel(dir / "short.wav", 8192, 500);
  WriteLevel(dir / "long.wav", 4096, 30000);
  SetFile(0, dir / "short.wav");
  SetFile(1, dir / "long.wav");
  drums.Gates(0).SetValue(Steps({0, 4}));
  drums.Gates(1).SetValue(Steps({0, 2}));

  size_t mark = StartAt(0);
  h.Run(4);
  EXPECT_FLOAT_EQ(At(mark, 0), Full(8192) + Full(4096));  // both, without the gate

  drums.gate0And1.SetValue(true);
  mark = StartRound();
  RunToTick(40);
  const size_t step0 = SampleOfTick(0), step2 = SampleOfTick(12), fade = SampleOfTick(23),
               step4 = SampleOfTick(24);
  // Step 0: slot 0 alone.
  for (size_t k = 0; k < step0; ++k) ASSERT_EQ(At(mark, k), 0.0f) << k;
  for (size_t k = step0; k < step0 + 500; ++k) ASSERT_EQ(At(mark, k), Full(8192)) << k;
  for (size_t k = step0 + 500; k < step2; ++k) ASSERT_EQ(At(mark, k), 0.0f) << k;
  // Step 2: slot 1, fading over the last tick of step 3 because slot 0 starts on step 4.
  for (size_t k = step2; k <= fade; ++k) ASSERT_EQ(At(mark, k), Full(4096)) << k;
  EXPECT_LT(At(mark, step4 - 1), Full(4096) * 0.01f);
  EXPECT_GE(At(mark, step4 - 1), 0.0f);
  // Step 4: slot 0, and slot 1 is gone for good.
  for (size_t k = step4; k < step4 + 500; ++k) ASSERT_EQ(At(mark, k), Full(8192)) << k;
  EXPECT_EQ(Sounding(mark + step4 + 500), 0u);
}

TEST_F(DrumsTest, MutesTakeEffectOnlyAtStep0Or16) {
  WriteLevel(dir / "click.wav", 8192, 500);
  SetFile(0, dir / "click.wav");
  drums.Gates(0).SetValue(-1);  // every step
  const size_t mark = StartRound();

  RunToTick(31);  // step 5
  drums.SlotMute(0).SetValue(true);
  RunToTick(121);  // step 20
  drums.SlotMute(0).SetValue(false);
  RunToTick(192 + 19);  // step 3 of the next round
  drums.mute.SetValue(true);
  RunToTick(192 + 121);
  drums.mute.SetValue(false);
  RunToTick(192 * 2 + 40);

  std::vector<int> ticks;
  for (size_t onset : Onsets(mark))
    ticks.push_back(static_cast<int>(std::lround(onset / kSamplesPerTick120 - kLead)));
  std::vector<int> expected;
  for (int t = 0; t < 192 * 2 + 40; t += 6) {
    // Silent from the bar that begins on step 16 until the next round.
    if (t % 192 < 96) expected.push_back(t);
  }
  EXPECT_EQ(ticks, expected);
}

TEST_F(DrumsTest, AFadeAMasterMuteLeavesRunningStopsAtSilence) {
  WriteLevel(dir / "long.wav", 8192, 30000);
  SetFile(0, dir / "long.wav");
  drums.Gates(0).SetValue(Steps({15, 16}));
  const size_t mark = StartRound();
  RunToTick(60);
  drums.mute.SetValue(true);  // latched on step 16, just after the fade was armed
  RunToTick(140);
  const size_t fade = SampleOfTick(95), restart = SampleOfTick(96);
  EXPECT_EQ(At(mark, fade), Full(8192));
  EXPECT_GT(At(mark, restart - 1), 0.0f);
  // Held at 0 once there, never turned over.
  for (size_t k = fade; k < Out().size() - mark; ++k) ASSERT_GE(At(mark, k), 0.0f) << k;
  EXPECT_EQ(Sounding(mark + restart + 2), 0u);
}

TEST_F(DrumsTest, AVolumeChangeWaitsForTheNextStart) {
  const std::vector<int16_t> ramp = Ramp(20000);
  WriteWave(dir / "ramp.wav", 44100, 1, ramp);
  SetFile(0, dir / "ramp.wav");
  drums.Gates(0).SetValue(Steps({0}));
  const size_t mark = StartRound();
  h.Run(10);
  drums.SlotVolume(0).SetValue(0.5);
  drums.volume.SetValue(0.5);
  RunToTick(192 + 30);
  const size_t first = SampleOfTick(0), next = SampleOfTick(192);
  for (size_t k = 0; k < 20000; ++k) ASSERT_EQ(At(mark, first + k), Full(ramp[k])) << k;
  EXPECT_EQ(At(mark, next - 1), 0.0f);
  for (size_t k = 0; k < 20000; ++k)
    ASSERT_FLOAT_EQ(At(mark, next + k), static_cast<float>(ramp[k]) / 32768.0f * 0.1875f) << k;
}

TEST_F(DrumsTest, AStoppedClockSilencesAndThePlayersGoOnWhereTheyWere) {
  const std::vector<int16_t> ramp = Ramp(20000);
  WriteWave(dir / "ramp.wav", 44100, 1, ramp);
  SetFile(0, dir / "ramp.wav");
  drums.Gates(0).SetValue(Steps({0}));
  const size_t mark = StartAt(0);
  h.Run(10);
  Clock().SetRunning(false);  // a pause
  const double pausedAt = Clock().Position();
  h.Run(30);
  EXPECT_EQ(Clock().Position(), pausedAt);
  Clock().SetRunning(true);
  h.Run(10);
  const size_t played = 10 * kBlockSize, paused = 30 * kBlockSize;
  for (size_t k = 0; k < played; ++k) ASSERT_EQ(At(mark, k), Full(ramp[k])) << k;
  for (size_t k = played; k < played + paused; ++k) ASSERT_EQ(At(mark, k), 0.0f) << k;
  for (size_t k = 0; k < played; ++k)
    ASSERT_EQ(At(mark, played + paused + k), Full(ramp[played + k])) << k;

  // A stop returns the clock to tick 0, where step 0 starts the sample anew.
  Clock().SetRunning(false);
  Clock().SetPosition(0.0);
  h.Run(5);
  Clock().SetRunning(true);
  const size_t again = Out().size();
  h.Run(2);
  for (size_t k = 0; k < 2 * kBlockSize; ++k) ASSERT_EQ(At(again, k), Full(ramp[k])) << k;

  // A reset stops the players: silence until the next start.
  drums.Reset();
  const size_t afterReset = Out().size();
  h.Run(20);
  EXPECT_EQ(Sounding(afterReset), 0u);
}

TEST_F(DrumsTest, ASlowFileNeitherHoldsUpTheAudioNorSilencesTheOldSample) {
  WriteLevel(dir / "old.wav", 8192, 30000);
  WriteLevel(dir / "slow.wav", 4096, 30000);
  SetFile(0, dir / "old.wav");
  drums.Gates(0).SetValue(Steps({0}));
  const size_t mark = StartAt(0);
  h.Run(10);
  drums.File(0).SetValue(dir / "slow.wav");
  ASSERT_TRUE(disk.AwaitHeld());
  // The worker is stuck in the read; the blocks run on with the old sample.
  h.Run(40);
  EXPECT_TRUE(drums.SlotLoading(0));
  for (size_t k = 0; k < 50 * kBlockSize; ++k) ASSERT_EQ(At(mark, k), Full(8192)) << k;

  disk.Open();
  loader.WaitUntilIdle();
  EXPECT_FALSE(drums.SlotLoading(0));
  EXPECT_FALSE(drums.SlotLoadFailed(0));
  EXPECT_FALSE(disk.TimedOut());
  // The new sample stops the old one and waits for the slot's next step.
  const size_t arrived = Out().size();
  RunUntil(192 + 40);
  const std::vector<size_t> onsets = Onsets(arrived);
  ASSERT_EQ(onsets.size(), 1u);
  EXPECT_NEAR(static_cast<double>(arrived + onsets[0] - mark), 192 * kSamplesPerTick120, 1.0);
  EXPECT_EQ(Sounding(arrived), 30000u);
  EXPECT_EQ(At(arrived, onsets[0]), Full(4096));
}

TEST_F(DrumsTest, AFileThatCannotBeReadSilencesOnlyItsSlotOrKeepsItsOldSample) {
  WriteLevel(dir / "a.wav", 8192, 500);
  WriteLevel(dir / "c.wav", 4096, 500);
  test::WriteBytes(dir / "junk.wav", std::vector<uint8_t>(1000, 0x5A));
  drums.Gates(0).SetValue(Steps({0}));
  drums.Gates(2).SetValue(Steps({0}));
  SetFile(0, dir / "missing.wav");
  SetFile(2, dir / "c.wav");
  EXPECT_TRUE(drums.SlotLoadFailed(0));
  EXPECT_FALSE(drums.SlotLoadFailed(2));
  size_t mark = StartAt(0);
  h.Run(4);
  EXPECT_EQ(At(mark, 0), Full(4096));  // slot 2 alone
  EXPECT_EQ(Sounding(mark), 500u);

  SetFile(0, dir / "a.wav");
  EXPECT_FALSE(drums.SlotLoadFailed(0));
  for (const std::string& bad : {dir / "missing.wav", dir / "junk.wav"}) {
    SetFile(0, bad);
    EXPECT_TRUE(drums.SlotLoadFailed(0)) << bad;
    mark = StartAt(0);
    h.Run(4);
    EXPECT_FLOAT_EQ(At(mark, 0), Full(8192) + Full(4096)) << bad;  // a.wav still in place
  }
}

TEST_F(DrumsTest, FilesOfEveryFormatLoadIntoTheSlotsTable) {
  drums.Gates(0).SetValue(Steps({0}));
  auto play = [&](const std::string& name) {
    SetFile(0, name);
    EXPECT_FALSE(drums.SlotLoadFailed(0)) << name;
    const size_t mark = StartAt(0);
    h.Run(200);
    return mark;
  };

  // Stereo: (L + R) × 0.76.
  WriteWave(dir / "stereo.wav", 44100, 2, {8192, 4096, 8192, 4096, 8192, 4096});
  size_t mark = play(dir / "stereo.wav");
  EXPECT_FLOAT_EQ(At(mark, 0), (0.25f + 0.125f) * 0.76f * 0.75f);
  EXPECT_EQ(Sounding(mark), 3u);

  // 22050 Hz: stretched to twice its length by linear interpolation, and
  // played whole.
  const std::vector<int16_t> ramp = Ramp(1000);
  WriteWave(dir / "half.wav", 22050, 1, ramp);
  mark = play(dir / "half.wav");
  for (size_t k = 0; k < 999; ++k) {
    ASSERT_NEAR(At(mark, 2 * k), Full(ramp[k]), 1e-6f) << k;
    ASSERT_NEAR(At(mark, 2 * k + 1), (Full(ramp[k]) + Full(ramp[k + 1])) / 2, 1e-6f) << k;
  }
  EXPECT_EQ(Sounding(mark), 2000u);

  // Longer than a second: cut to 44100 entries.
  WriteLevel(dir / "long.wav", 8192, 50000);
  mark = play(dir / "long.wav");
  EXPECT_EQ(At(mark, 44099), Full(8192));
  EXPECT_EQ(Sounding(mark), 44100u);

  // Whatever the reader reads: 24-bit, float, FLAC.
  struct Case {
    const char* name;
    int format;
    float level;
  };
  for (const Case c : {Case{"pcm24.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 0.3f},
                       Case{"float.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, -0.4f},
                       Case{"pcm24.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 0.2f}}) {
    WriteWithSndfile(dir / c.name, c.format, c.level, 1000);
    mark = play(dir / c.name);
    EXPECT_NEAR(At(mark, 0), c.level * 0.75f, 1e-6f) << c.name;
    EXPECT_NEAR(At(mark, 999), c.level * 0.75f, 1e-6f) << c.name;
    EXPECT_EQ(Sounding(mark), 1000u) << c.name;
  }
}

// The user-interface thread edits everything while another thread plays:
// values cross without a lock, files through the loader.
TEST_F(DrumsTest, EditsWhilePlayingOnAnotherThread) {
  WriteLevel(dir / "a.wav", 8192, 3000);
  WriteLevel(dir / "b.wav", -4096, 3000);
  std::atomic<bool> stop{false};
  std::atomic<int> blocks{0};
  std::thread audio([&] {
    while (!stop.load()) {
      h.Run(1);
      blocks.fetch_add(1);
    }
  });
  Clock().SetSamplesPerClock(TempoClock::SamplesPerClockForTempo(240));
  for (int i = 0; i < 200; ++i) {
    const int slot = i % TGDrums::kSlots;
    drums.File(slot).SetValue(dir / (i % 2 == 0 ? "a.wav" : "b.wav"));
    drums.Gates(slot).SetValue(static_cast<int32_t>(0x9249'2492u * static_cast<uint32_t>(i + 1)));
    drums.SlotVolume(slot).SetValue((i % 7) / 7.0);
    drums.SlotMute(slot).SetValue(i % 5 == 0);
    drums.gate0And1.SetValue(i % 3 == 0);
    drums.mute.SetValue(i % 11 == 0);
    Clock().SetRunning(i % 13 != 0);
  }
  Clock().SetRunning(true);
  loader.WaitUntilIdle();
  const int seen = blocks.load();
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  while (blocks.load() < seen + 1000 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::yield();
  stop = true;
  audio.join();
  float peak = 0.0f;
  for (float v : Out()) {
    ASSERT_TRUE(std::isfinite(v));
    peak = std::max(peak, std::fabs(v));
  }
  EXPECT_GT(peak, 0.0f);
  EXPECT_LE(peak, 5 * 0.75f * 0.25f);
}

}  // namespace drums_test
}  // namespace tg
