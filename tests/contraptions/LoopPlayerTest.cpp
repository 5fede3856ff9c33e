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

#include "contraptions/generators/loopplayer/TGLoopPlayer.h"
#include "files/SoundFilePaths.h"
#include "files/loading/SoundData.h"
#include "files/loading/SoundLoader.h"
#include "files/wavefiles/TGWaveOutFile.h"
#include "graph/TempoClock.h"
#include "tests/support/GraphHarness.h"
#include "tests/support/SlowDisk.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestSoundFiles.h"

namespace tg {
namespace loop_player_test {

using namespace std::chrono_literals;

constexpr auto kPatience = 30s;  // generous: the machines are shared
constexpr double kSamplesPerTick120 = 918.75;
// 256 / 1024 is exact in binary: at this tempo every block starts a whole
// number of samples into the loop, and files play frame for frame.
constexpr double kExact = 1024.0;
constexpr size_t kExactBar = 96 * 1024;
constexpr size_t kFade = TGLoopPlayer::kFadeSamples;

float Value(int16_t sample) { return static_cast<float>(sample) / 32768.0f; }

using test::Ramp;
using test::SlowDisk;
using test::WriteLevel;
using test::WriteWave;

class LoopPlayerTest : public ::testing::Test {
 protected:
  LoopPlayerTest() : loop(h.Place<TGLoopPlayer>(loader)) {
    loader.SetReadHook([this](const std::string& path) { disk.Read(path); });
    Clock().SetRunning(true);
  }
  ~LoopPlayerTest() override { disk.Open(); }

  TempoClock& Clock() { return h.context.Clock(); }
  void SetFile(const std::string& name) {
    loop.file.SetValue(name);
    loader.WaitUntilIdle();
  }
  // Sets the clock and answers where the recording stands.
  size_t StartAt(double position, double samplesPerTick = kSamplesPerTick120) {
    Clock().SetPosition(position);
    Clock().SetSamplesPerClock(samplesPerTick);
    return L().size();
  }
  void RunUntil(double position) {
    while (Clock().Position() < position) h.Run(1);
  }
  const std::vector<float>& L() const { return h.Out(0); }
  const std::vector<float>& R() const { return h.Out(1); }
  size_t Sounding(size_t from, size_t to) const {
    size_t n = 0;
    for (size_t i = from; i < to; ++i) n += L()[i] != 0.0f;
    return n;
  }
  // The loudest sample of every run of sound from a mark on: where a click
  // at frame 0 of the file is heard.
  std::vector<size_t> Clicks(size_t mark, float above = 0.3f) const {
    std::vector<size_t> at;
    for (size_t i = mark; i < L().size(); ++i) {
      if (L()[i] <= above) continue;
      size_t top = i;
      for (; i < L().size() && L()[i] > above; ++i) {
        if (L()[i] > L()[top]) top = i;
      }
      at.push_back(top - mark);
    }
    return at;
  }

  test::TempDir dir;
  SlowDisk disk;
  SoundLoader loader;
  test::GraphHarness h;
  TGLoopPlayer& loop;
};

// A file that is silent but for a click of 0.5 at its start and one of 0.25
// halfway.
void WriteClicks(const std::string& name, int frames) {
  std::vector<int16_t> s(static_cast<size_t>(frames), 0);
  s[0] = 16384;
  s[static_cast<size_t>(frames / 2)] = 8192;
  WriteWave(name, 44100, 1, s);
}

TEST_F(LoopPlayerTest, AStretchedLoopLastsExactlyItsBarsAndFollowsATempoChange) {
  WriteClicks(dir / "clicks.wav", 30000);
  SetFile(dir / "clicks.wav");
  const double start = 37.4;
  const size_t mark = StartAt(start);
  RunUntil(96 * 3 + 1);
  // The tempo changes between blocks; from there the bars are longer.
  const double switchedAt = Clock().Position();
  const size_t switchSample = L().size() - mark;
  const double slower = TempoClock::SamplesPerClockForTempo(97);
  Clock().SetSamplesPerClock(slower);
  RunUntil(96 * 6 + 1);

  auto sampleOfTick = [&](double tick) {
    return tick < switchedAt ? (tick - start) * kSamplesPerTick120
                             : static_cast<double>(switchSample) + (tick - switchedAt) * slower;
  };
  std::vector<double> expected;  // the start clicks on the bar lines, the middle ones between
  for (int tick = 48; tick <= 96 * 6; tick += 48) {
    if (tick > start) expected.push_back(sampleOfTick(tick));
  }
  const std::vector<size_t> clicks = Clicks(mark, 0.15f);
  ASSERT_EQ(clicks.size(), expected.size());
  for (size_t i = 0; i < clicks.size(); ++i) {
    EXPECT_NEAR(static_cast<double>(clicks[i]), expected[i], 1.0) << i;
    // Interpolated, a click spreads over a few samples, the loudest by its tick.
    const float peak = L()[mark + clicks[i]];
    if (i % 2 == 0) {
      EXPECT_LE(peak, 0.25f) << i;
    } else {
      EXPECT_GT(peak, 0.4f) << i;
      // The loop's last frame leads into its first just before the bar line,
      // and the loop starts again right there, mid-block.
      const auto bar = mark + static_cast<size_t>(expected[i]);
      EXPECT_GT(L()[bar], 0.3f) << i;
      EXPECT_EQ(L()[bar + 9], 0.0f) << i;
    }
  }
}

TEST_F(LoopPlayerTest, UnstretchedTheFilePlaysAtItsOwnSpeedThenSilenceUntilTheLoopComesRound) {
  loop.stretch.SetValue(false);
  const std::vector<int16_t> ramp = Ramp(20000);
  WriteWave(dir / "ramp.wav", 44100, 1, ramp);
  SetFile(dir / "ramp.wav");
  size_t mark = StartAt(0.0, kExact);
  RunUntil(96 + 30);
  const size_t bar = kExactBar;
  for (size_t k = 0; k < 20000; ++k) {
    ASSERT_NEAR(L()[mark + k], Value(ramp[k]), 1e-6f) << k;
    ASSERT_NEAR(L()[mark + bar + k], Value(ramp[k]), 1e-6f) << k;
  }
  EXPECT_EQ(Sounding(mark + 20000, mark + bar), 0u);

  // A file longer than the loop starts again where the loop does, here in
  // the middle of a block: 128 samples a tick, 12288 a bar.
  mark = StartAt(1.0, 128.0);
  RunUntil(96 * 3);
  for (size_t k = 0; k < 2 * 12288; ++k)
    ASSERT_NEAR(L()[mark + k], Value(ramp[(128 + k) % 12288]), 1e-6f) << k;

  // A file at half the rate keeps its pitch: twice as many samples, the
  // frames between interpolated.
  const std::vector<int16_t> slow = Ramp(1000);
  WriteWave(dir / "half.wav", 22050, 1, slow);
  SetFile(dir / "half.wav");
  mark = StartAt(0.0, kExact);
  RunUntil(40);
  for (size_t k = 0; k < 999; ++k) {
    ASSERT_NEAR(L()[mark + 2 * k], Value(slow[k]), 1e-6f) << k;
    ASSERT_NEAR(L()[mark + 2 * k + 1], (Value(slow[k]) + Value(slow[k + 1])) / 2, 1e-6f) << k;
  }
  EXPECT_EQ(Sounding(mark, L().size()), 2000u);
}

TEST_F(LoopPlayerTest, PhaseMovesTheLoopAgainstTheBarLineAndWrapsBeyondTheLoop) {
  WriteClicks(dir / "clicks.wav", 30000);
  SetFile(dir / "clicks.wav");
  struct Case {
    int phase, bars, firstClickTick;
  };
  // The start click falls where (tick + phase × 6) is a whole loop.
  for (const Case c :
       {Case{4, 1, 96 + 72}, Case{-4, 1, 96 + 24}, Case{20, 1, 96 + 72}, Case{-20, 1, 96 + 24},
        Case{16, 1, 192}, Case{-512, 1, 192}, Case{512, 3, 96 * 4}, Case{-1, 2, 192 + 6}}) {
    loop.phase.SetValue(c.phase);
    loop.barCount.SetValue(c.bars);
    const double start = 96.3;
    const size_t mark = StartAt(start);
    RunUntil(c.firstClickTick + 1);
    const std::vector<size_t> clicks = Clicks(mark, 0.3f);  // the start click alone
    ASSERT_EQ(clicks.size(), 1u) << c.phase << " " << c.bars;
    EXPECT_NEAR(static_cast<double>(clicks[0]), (c.firstClickTick - start) * kSamplesPerTick120,
                1.0)
        << c.phase << " " << c.bars;
  }
}

TEST_F(LoopPlayerTest, MuteAndUnmuteWaitForTheNextBarLine) {
  WriteLevel(dir / "level.wav", 8192, 10000);
  SetFile(dir / "level.wav");
  const double start = 10.3;
  const size_t mark = StartAt(start);
  auto barSample = [&](int tick) {
    return mark + static_cast<size_t>(std::ceil((tick - start) * kSamplesPerTick120));
  };
  h.Run(4);
  loop.mute.SetValue(true);
  RunUntil(96 + 40);
  EXPECT_FALSE(loop.Playing());
  loop.mute.SetValue(false);
  RunUntil(96 + 80);
  EXPECT_FALSE(loop.Playing());  // not before the bar line
  RunUntil(192 + 40);
  EXPECT_TRUE(loop.Playing());

  EXPECT_EQ(Sounding(mark, barSample(96)), barSample(96) - mark);
  // Faded out after the bar line; in again at once, the loop starting there.
  EXPECT_EQ(Sounding(barSample(96) + kFade, barSample(192)), 0u);
  EXPECT_EQ(Sounding(barSample(192), L().size()), L().size() - barSample(192));
}

TEST_F(LoopPlayerTest, AMuteAndAStoppingClockFadeOutInAFewMilliseconds) {
  WriteLevel(dir / "level.wav", 16384, 200000);
  SetFile(dir / "level.wav");
  // How the sound ends after a sample: the largest step between two
  // samples, and how long the fall from its level lasts.
  const auto ending = [&](size_t from) {
    float step = 0.0f;
    size_t silent = from;
    for (size_t i = from; i < L().size(); ++i) {
      step = std::max(step, std::abs(L()[i] - L()[i - 1]));
      if (L()[i] != 0.0f) silent = i + 1;
    }
    std::printf("largest step %.4f of 0.5, silent %zu samples on\n", step, silent - from);
    EXPECT_LT(step, 0.5f / 80);
    EXPECT_GE(silent - from, static_cast<size_t>(0.002 * kSampleRate));
    EXPECT_LE(silent - from, static_cast<size_t>(0.005 * kSampleRate));
  };
  const double start = 10.3;
  const size_t mark = StartAt(start);
  loop.mute.SetValue(true);  // at the bar line, between two blocks' samples
  RunUntil(96 + 40);
  ending(mark + static_cast<size_t>(std::ceil((96 - start) * kSamplesPerTick120)));

  loop.mute.SetValue(false);
  RunUntil(192 + 30);
  ASSERT_TRUE(loop.Playing());
  const size_t stopped = L().size();
  Clock().SetRunning(false);
  h.Run(20);
  ending(stopped);
}

TEST_F(LoopPlayerTest, AMonoFileSoundsAlikeOnBothOutletsAStereoFileKeepsItsSides) {
  loop.stretch.SetValue(false);
  WriteWave(dir / "mono.wav", 44100, 1, Ramp(5000));
  SetFile(dir / "mono.wav");
  size_t mark = StartAt(0.0, kExact);
  h.Run(30);
  EXPECT_GT(Sounding(mark, L().size()), 4000u);
  EXPECT_TRUE(std::equal(L().begin() + static_cast<ptrdiff_t>(mark), L().end(),
                         R().begin() + static_cast<ptrdiff_t>(mark)));

  std::vector<int16_t> stereo;
  for (int k = 0; k < 5000; ++k) {
    stereo.push_back(static_cast<int16_t>(1000 + k));
    stereo.push_back(static_cast<int16_t>(-2000 - 3 * k));
  }
  WriteWave(dir / "stereo.wav", 44100, 2, stereo);
  SetFile(dir / "stereo.wav");
  mark = StartAt(0.0, kExact);
  h.Run(30);
  for (size_t k = 0; k < 4999; ++k) {
    ASSERT_NEAR(L()[mark + k], Value(stereo[2 * k]), 1e-6f) << k;
    ASSERT_NEAR(R()[mark + k], Value(stereo[2 * k + 1]), 1e-6f) << k;
  }
}

TEST_F(LoopPlayerTest, AStoppedOrPausedClockIsSilentAndTheLoopGoesOnWithTheClock) {
  loop.stretch.SetValue(false);
  const std::vector<int16_t> ramp = Ramp(30000);
  WriteWave(dir / "ramp.wav", 44100, 1, ramp);
  SetFile(dir / "ramp.wav");
  const size_t mark = StartAt(0.0, kExact);
  h.Run(10);
  Clock().SetRunning(false);
  h.Run(20);
  Clock().SetRunning(true);
  h.Run(10);
  const size_t played = 10 * kBlockSize, paused = 20 * kBlockSize;
  EXPECT_EQ(Sounding(mark + played + kFade, mark + played + paused), 0u);
  for (size_t k = 0; k < played; ++k) {
    ASSERT_NEAR(L()[mark + k], Value(ramp[k]), 1e-6f) << k;
    // Resumed halfway through the file: faded in.
    const float resumed = L()[mark + played + paused + k];
    if (k < kFade) {
      ASSERT_LE(resumed, Value(ramp[played + k])) << k;
    } else {
      ASSERT_NEAR(resumed, Value(ramp[played + k]), 1e-6f) << k;
    }
  }
}

// The frequency of a steady sine from its upward zero crossings.
double MeasuredHz(const std::vector<float>& s, size_t from, size_t to) {
  double first = -1.0, last = -1.0;
  int crossings = 0;
  for (size_t i = from + 1; i < to; ++i) {
    if (s[i - 1] < 0.0f && s[i] >= 0.0f) {
      const double at = static_cast<double>(i - 1) + s[i - 1] / (s[i - 1] - s[i]);
      if (first < 0.0) first = at;
      last = at;
      ++crossings;
    }
  }
  return crossings > 1 ? (crossings - 1) * kSampleRate / (last - first) : 0.0;
}

TEST_F(LoopPlayerTest, TwentySecondsStretchedOverTenBarsKeepTheirPitchAtAnyFileRate) {
  // Ten bars at 120 beats a minute last twenty seconds: the file fits as it is.
  loop.barCount.SetValue(10);
  for (const int32_t rate : {44100, 22050}) {
    std::vector<int16_t> sine(static_cast<size_t>(20 * rate));
    for (size_t k = 0; k < sine.size(); ++k)
      sine[k] = static_cast<int16_t>(16000.0 * std::sin(2.0 * M_PI * 1000.0 * k / rate));
    const std::string name = dir / ("twenty-" + std::to_string(rate) + ".wav");
    WriteWave(name, rate, 1, sine);
    SetFile(name);
    StartAt(0.0);
    RunUntil(96 * 9 + 48);  // into the tenth bar
    const double hz = MeasuredHz(L(), L().size() - 22050, L().size());
    std::printf("a %d Hz file plays its 1000 Hz at %.1f Hz\n", rate, hz);
    EXPECT_NEAR(hz, 1000.0, 1.0) << rate;
  }
}

TEST_F(LoopPlayerTest, AFileLongerThanTenMinutesIsCutAndSaysSo) {
  // Ten and a half minutes at a thousand frames a second: the cut counts at
  // the program's rate.
  WriteLevel(dir / "long.wav", 8192, 630000, 1000);
  SetFile(dir / "long.wav");
  EXPECT_TRUE(loop.LoadCut());
  const std::string document = SoundFilePaths::Instance().DocumentDirectory();
  SoundFilePaths::Instance().SetDocumentDirectory(dir / "song.tgh");
  EXPECT_EQ(loop.ReadProblem(), "File: \"long.wav\" lasts 10:30; only its first 10:00 play");
  SoundFilePaths::Instance().SetDocumentDirectory(document);
  const auto data =
      SoundData::Read(dir / "long.wav", SoundConversion::Frames(TGLoopPlayer::kMaxFrames));
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(data->Frames(), TGLoopPlayer::kMaxFrames);
  EXPECT_TRUE(data->Cut());
  // Ten minutes exactly are kept whole.
  WriteLevel(dir / "ten.wav", 8192, 600000, 1000);
  SetFile(dir / "ten.wav");
  EXPECT_FALSE(loop.LoadCut());
  EXPECT_EQ(loop.ReadProblem(), "");
}

TEST_F(LoopPlayerTest, AFileThatCannotBeReadLeavesTheOldLoopAndOtherFormatsPlay) {
  loop.stretch.SetValue(false);
  WriteLevel(dir / "a.wav", 8192, 30000);
  test::WriteBytes(dir / "junk.wav", std::vector<uint8_t>(1000, 0x5A));
  SetFile(dir / "a.wav");
  EXPECT_FALSE(loop.LoadFailed());
  for (const std::string& bad : {dir / "missing.wav", dir / "junk.wav"}) {
    SetFile(bad);
    EXPECT_TRUE(loop.LoadFailed()) << bad;
    const size_t mark = StartAt(0.0, kExact);
    h.Run(4);
    EXPECT_EQ(L()[mark + 100], 0.25f) << bad;
  }

  SF_INFO info{};
  info.samplerate = 44100;
  info.channels = 1;
  info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_24;
  SNDFILE* f = sf_open((dir / "loop.flac").c_str(), SFM_WRITE, &info);
  ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
  const std::vector<float> samples(3000, -0.3f);
  sf_writef_float(f, samples.data(), 3000);
  sf_close(f);
  SetFile(dir / "loop.flac");
  EXPECT_FALSE(loop.LoadFailed());
  const size_t mark = StartAt(0.0, kExact);
  h.Run(20);
  EXPECT_NEAR(L()[mark + 100], -0.3f, 1e-6f);
  EXPECT_EQ(Sounding(mark, L().size()), 3000u);
}

TEST_F(LoopPlayerTest, ANewFileArrivesWithoutHoldingUpTheAudio) {
  loop.stretch.SetValue(false);
  WriteLevel(dir / "old.wav", 8192, 100000);
  WriteLevel(dir / "slow.wav", 4096, 100000);
  SetFile(dir / "old.wav");
  const size_t mark = StartAt(0.0, kExact);
  h.Run(10);
  loop.file.SetValue(dir / "slow.wav");
  ASSERT_TRUE(disk.AwaitHeld());
  h.Run(40);  // the worker is stuck in the read; the old loop plays on
  EXPECT_TRUE(loop.Loading());
  for (size_t k = 0; k < 50 * kBlockSize; ++k) ASSERT_EQ(L()[mark + k], 0.25f) << k;

  disk.Open();
  loader.WaitUntilIdle();
  EXPECT_FALSE(loop.Loading());
  EXPECT_FALSE(disk.TimedOut());
  const size_t arrived = L().size();
  h.Run(1);
  EXPECT_EQ(L()[arrived], 0.125f);  // in place from the next block, at the clock's position
}

// Edits on one thread while another plays: values cross without a lock.
TEST_F(LoopPlayerTest, EditsWhilePlayingOnAnotherThread) {
  WriteLevel(dir / "a.wav", 8192, 3000);
  std::vector<int16_t> stereo(6000, -4096);
  WriteWave(dir / "b.wav", 44100, 2, stereo);
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
    loop.file.SetValue(dir / (i % 2 == 0 ? "a.wav" : "b.wav"));
    loop.barCount.SetValue(1 + i % 4);
    loop.phase.SetValue((i * 37) % 1025 - 512);
    loop.stretch.SetValue(i % 3 != 0);
    loop.mute.SetValue(i % 7 == 0);
    Clock().SetRunning(i % 13 != 0);
  }
  Clock().SetRunning(true);
  loop.mute.SetValue(false);
  loader.WaitUntilIdle();
  const int seen = blocks.load();
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  while (blocks.load() < seen + 1000 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::yield();
  stop = true;
  audio.join();
  float peak = 0.0f;
  for (const auto* out : {&L(), &R()}) {
    for (float v : *out) {
      ASSERT_TRUE(std::isfinite(v));
      peak = std::max(peak, std::fabs(v));
    }
  }
  EXPECT_GT(peak, 0.0f);
  EXPECT_LE(peak, 0.25f);
}

}  // namespace loop_player_test
}  // namespace tg
