#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <numbers>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "files/wavefiles/SoundFileReader.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/SourceTree.h"
#include "tests/support/TempDir.h"
#include "tools/drumkit/DrumKit.h"
#include "tools/drumkit/DrumKitFiles.h"
#include "tools/drumkit/Loops.h"

namespace tg {
namespace drum_kit_test {

namespace fs = std::filesystem;
using test::ReadBytes;

std::set<std::string> Names(const std::string& commaSeparated) {
  std::set<std::string> names;
  std::stringstream list(commaSeparated);
  for (std::string name; std::getline(list, name, ',');) names.insert(name);
  return names;
}

// The files the build lists as the generator's outputs: the kit's sounds,
// its loops, and both.
std::set<std::string> BuildListsTheseFiles() { return Names(TONEGARDEN_DRUM_SAMPLE_NAMES); }
std::set<std::string> BuildListsTheseLoops() { return Names(TONEGARDEN_DRUM_LOOP_NAMES); }
std::set<std::string> BuildListsEverything() {
  std::set<std::string> names = BuildListsTheseFiles();
  names.merge(BuildListsTheseLoops());
  return names;
}

std::set<std::string> FilesIn(const std::string& directory) {
  std::set<std::string> names;
  for (const fs::directory_entry& entry : fs::directory_iterator(directory))
    names.insert(entry.path().filename().string());
  return names;
}

struct WrittenSound {
  std::vector<uint8_t> bytes;
  WaveInfo info;
  std::vector<double> samples;  // interleaved, full scale ±1.0

  int FormatTag() const { return bytes.size() < 44 ? 0 : bytes[20] | bytes[21] << 8; }
  int Bits() const { return bytes.size() < 44 ? 0 : bytes[34] | bytes[35] << 8; }
  double Peak() const {
    double peak = 0.0;
    for (double x : samples) peak = std::max(peak, std::abs(x));
    return peak;
  }
  std::vector<double> Channel(int c) const {
    std::vector<double> one;
    for (size_t i = static_cast<size_t>(c); i < samples.size(); i += info.channels)
      one.push_back(samples[i]);
    return one;
  }
};

// Read back through the program's own reader, as a patch would hear it.
WrittenSound ReadBack(const std::string& file) {
  WrittenSound sound;
  sound.bytes = ReadBytes(file);
  SoundFileReader reader;
  if (!reader.Open(file)) return sound;
  sound.info = reader.Info();
  std::vector<int16_t> pcm(static_cast<size_t>(sound.info.frames * sound.info.channels));
  const int64_t got = reader.ReadFrames16(pcm.data(), sound.info.frames);
  pcm.resize(static_cast<size_t>(got * sound.info.channels));
  for (int16_t v : pcm) sound.samples.push_back(v / 32768.0);
  return sound;
}

// Powers of the bins from 0 Hz to half the rate, the samples zero-padded to n.
class Spectrum {
 public:
  explicit Spectrum(const std::vector<double>& samples, size_t n = 65536) : n_(n) {
    std::vector<std::complex<double>> x(n);
    for (size_t i = 0; i < std::min(n, samples.size()); ++i) x[i] = samples[i];
    Transform(x);
    power_.resize(n / 2 + 1);
    for (size_t k = 0; k <= n / 2; ++k) power_[k] = std::norm(x[k]);
  }

  double Hz(size_t bin) const { return static_cast<double>(bin) * drumkit::kSampleRate / n_; }
  // The share of the energy in [fromHz, toHz).
  double Share(double fromHz, double toHz) const {
    double in = 0.0, all = 0.0;
    for (size_t k = 0; k < power_.size(); ++k) {
      all += power_[k];
      if (Hz(k) >= fromHz && Hz(k) < toHz) in += power_[k];
    }
    return in / all;
  }
  double StrongestHzBelow(double hz) const {
    size_t best = 1;
    for (size_t k = 1; k < power_.size() && Hz(k) < hz; ++k)
      if (power_[k] > power_[best]) best = k;
    return Hz(best);
  }

 private:
  // In-place radix-2 transform; the size is a power of two.
  static void Transform(std::vector<std::complex<double>>& x) {
    const size_t n = x.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
      size_t bit = n >> 1;
      for (; j & bit; bit >>= 1) j ^= bit;
      j ^= bit;
      if (i < j) std::swap(x[i], x[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
      const std::complex<double> step = std::polar(1.0, -2.0 * std::numbers::pi / len);
      for (size_t i = 0; i < n; i += len) {
        std::complex<double> w = 1.0;
        for (size_t k = 0; k < len / 2; ++k) {
          const std::complex<double> a = x[i + k];
          const std::complex<double> b = x[i + k + len / 2] * w;
          x[i + k] = a + b;
          x[i + k + len / 2] = a - b;
          w *= step;
        }
      }
    }
  }

  size_t n_;
  std::vector<double> power_;
};

class DrumKitTest : public ::testing::Test {
 protected:
  // Writes a fresh kit and reads back one of its sounds.
  WrittenSound Written(const std::string& name) {
    if (!written_) {
      EXPECT_EQ(WriteDrumKit(dir / "kit"), "");
      written_ = true;
    }
    return ReadBack(dir / ("kit/" + name));
  }

  test::TempDir dir;

 private:
  bool written_ = false;
};

TEST_F(DrumKitTest, WritesTheFilesTheBuildListsAsSixteenBitMonoOfAtMostOneSecond) {
  // A directory that is not there yet is made.
  const std::string kit = dir / "not/there/yet";
  ASSERT_EQ(WriteDrumKit(kit), "");

  const std::set<std::string> listed = BuildListsTheseFiles();
  EXPECT_GE(listed.size(), 6u);
  // Exactly those files and the loops: none missing, no temporary left behind.
  EXPECT_EQ(FilesIn(kit), BuildListsEverything());
  std::set<std::string> made;
  for (const DrumSound& sound : MakeDrumKit()) made.insert(sound.fileName);
  EXPECT_EQ(made, listed);

  for (const std::string& name : listed) {
    SCOPED_TRACE(name);
    const WrittenSound sound = ReadBack(kit + "/" + name);
    ASSERT_TRUE(sound.info.valid);
    EXPECT_EQ(sound.FormatTag(), 1);
    EXPECT_EQ(sound.Bits(), 16);
    EXPECT_EQ(sound.info.channels, 1);
    EXPECT_EQ(sound.info.sampleRate, 44100.0);
    EXPECT_GT(sound.info.frames, 0);
    EXPECT_LE(sound.info.frames, 44100);
    EXPECT_EQ(sound.samples.size(), static_cast<size_t>(sound.info.frames));
  }
  // The closed hat is a short burst, the open one rings on.
  EXPECT_LE(ReadBack(kit + "/hihat-closed.wav").info.frames, 44100 * 80 / 1000);
  EXPECT_GE(ReadBack(kit + "/hihat-closed.wav").info.frames, 44100 * 60 / 1000);
  EXPECT_GE(ReadBack(kit + "/hihat-open.wav").info.frames, 44100 * 300 / 1000);
}

TEST_F(DrumKitTest, EachPeaksNearMinusThreeDecibelsWithoutDcAndEndsInSilence) {
  for (const std::string& name : BuildListsTheseFiles()) {
    SCOPED_TRACE(name);
    const WrittenSound sound = Written(name);
    ASSERT_GT(sound.samples.size(), 441u);
    const double peakDb = 20.0 * std::log10(sound.Peak());
    EXPECT_GE(peakDb, -6.0);
    EXPECT_LE(peakDb, -1.0);

    double sum = 0.0;
    for (double x : sound.samples) sum += x;
    EXPECT_LT(std::abs(sum / static_cast<double>(sound.samples.size())), 0.002);

    // Starts from silence and fades to it: no click either side.
    EXPECT_EQ(sound.samples.front(), 0.0);
    EXPECT_EQ(sound.samples.back(), 0.0);
    double tail = 0.0;
    for (size_t i = sound.samples.size() - 441; i < sound.samples.size(); ++i)
      tail = std::max(tail, std::abs(sound.samples[i]));
    EXPECT_LT(tail, 0.003) << "the last 10 ms are not near silence";
  }
}

TEST_F(DrumKitTest, TwoRunsWriteTheSameBytes) {
  ASSERT_EQ(WriteDrumKit(dir / "first"), "");
  ASSERT_EQ(WriteDrumKit(dir / "second"), "");
  // Writing again over a kit replaces it with the same bytes too.
  ASSERT_EQ(WriteDrumKit(dir / "second"), "");
  for (const std::string& name : BuildListsEverything()) {
    SCOPED_TRACE(name);
    const std::vector<uint8_t> first = ReadBytes(dir / ("first/" + name));
    ASSERT_GT(first.size(), 44u);
    EXPECT_EQ(first, ReadBytes(dir / ("second/" + name)));
  }
}

TEST_F(DrumKitTest, KickSitsLowHatsHighSnareRingsAtItsPitchClapInTheMiddle) {
  const Spectrum kick(Written("kick.wav").samples);
  EXPECT_GT(kick.Share(0.0, 150.0), 0.7);
  EXPECT_GE(kick.StrongestHzBelow(1000.0), drumkit::kKickEndHz - 5.0);
  EXPECT_LE(kick.StrongestHzBelow(1000.0), drumkit::kKickStartHz);

  for (const char* hat : {"hihat-closed.wav", "hihat-open.wav"}) {
    SCOPED_TRACE(hat);
    EXPECT_GT(Spectrum(Written(hat).samples).Share(5000.0, 22050.0), 0.9);
  }

  // A tone at the shell's pitch, and noise spread far above it.
  const Spectrum snare(Written("snare.wav").samples);
  EXPECT_NEAR(snare.StrongestHzBelow(1000.0), drumkit::kSnareToneHz, 10.0);
  EXPECT_GT(snare.Share(0.0, 1000.0), 0.15);
  EXPECT_GT(snare.Share(1000.0, 22050.0), 0.3);
  EXPECT_GT(snare.Share(5000.0, 22050.0), 0.05);

  const Spectrum clap(Written("clap.wav").samples);
  EXPECT_GT(clap.Share(700.0, 3000.0), 0.6);

  EXPECT_GT(Spectrum(Written("rim.wav").samples).Share(1000.0, 22050.0), 0.6);
}

TEST_F(DrumKitTest, AFailedWriteKeepsTheOldFileAndLeavesNoTemporary) {
  const std::string kit = dir / "kit";
  fs::create_directories(kit);
  const std::vector<uint8_t> old = {'o', 'l', 'd'};
  test::WriteBytes(kit + "/kick.wav", old);
  // One of a writer that was killed, one of a writer still at work (pid 1 runs).
  const std::string stale = kit + "/snare.wav.drumkit-999999999";
  const std::string busy = kit + "/clap.wav.drumkit-1";
  test::WriteBytes(stale, old);
  test::WriteBytes(busy, old);

  // The kick is written first, and too long for the limit, like a full disk.
  EXPECT_EQ(test::WithFileSizeLimit(8192,
                                    [&kit] {
                                      const std::string error = WriteDrumKit(kit);
                                      return error.find("kick.wav") == std::string::npos
                                                 ? "no failure named the kick: " + error
                                                 : std::string();
                                    }),
            "");
  EXPECT_EQ(ReadBytes(kit + "/kick.wav"), old);
  EXPECT_FALSE(fs::exists(stale));
  EXPECT_EQ(FilesIn(kit), (std::set<std::string>{"kick.wav", "clap.wav.drumkit-1"}));

  ASSERT_EQ(WriteDrumKit(kit), "");
  EXPECT_TRUE(ReadBack(kit + "/kick.wav").info.valid);
  EXPECT_TRUE(fs::exists(busy));
}

// The loops: how long each is, and what they must be.
constexpr size_t kBar = 88200;  // 4/4 at 120 beats a minute
struct LoopShape {
  const char* name;
  size_t frames;
  int channels;
};
constexpr LoopShape kLoopShapes[] = {
    {"loop-drums-1bar.wav", kBar, 2},    {"loop-drums-2bar.wav", 2 * kBar, 2},
    {"loop-bass-2bar.wav", 2 * kBar, 1}, {"loop-chords-2bar.wav", 2 * kBar, 2},
    {"loop-perc-1bar.wav", kBar, 1},
};

double Rms(const std::vector<double>& x) {
  double sum = 0.0;
  for (double v : x) sum += v * v;
  return std::sqrt(sum / static_cast<double>(x.size()));
}

TEST_F(DrumKitTest, LoopsAreWholeBarsOfSixteenBitSoundNearMinusThreeDecibelsWithoutDc) {
  std::set<std::string> shaped;
  for (const LoopShape& shape : kLoopShapes) {
    shaped.insert(shape.name);
    SCOPED_TRACE(shape.name);
    const WrittenSound loop = Written(shape.name);
    ASSERT_TRUE(loop.info.valid);
    EXPECT_EQ(loop.FormatTag(), 1);
    EXPECT_EQ(loop.Bits(), 16);
    EXPECT_EQ(loop.info.sampleRate, 44100.0);
    EXPECT_EQ(loop.info.channels, shape.channels);
    EXPECT_EQ(loop.info.frames, static_cast<int64_t>(shape.frames));
    ASSERT_EQ(loop.samples.size(), shape.frames * static_cast<size_t>(shape.channels));

    const double peakDb = 20.0 * std::log10(loop.Peak());
    EXPECT_GE(peakDb, -6.0);
    EXPECT_LE(peakDb, -1.0);
    for (int c = 0; c < shape.channels; ++c) {
      const std::vector<double> channel = loop.Channel(c);
      double sum = 0.0;
      for (double x : channel) sum += x;
      EXPECT_LT(std::abs(sum / static_cast<double>(channel.size())), 0.002) << "channel " << c;
      EXPECT_GT(Rms(channel), 0.01) << "channel " << c;
    }
  }
  EXPECT_EQ(shaped, BuildListsTheseLoops());
  std::set<std::string> made;
  for (const LoopSound& loop : MakeLoops(MakeDrumKit())) made.insert(loop.fileName);
  EXPECT_EQ(made, shaped);
}

TEST_F(DrumKitTest, EachLoopsEndFlowsIntoItsStartWithoutAClick) {
  for (const LoopShape& shape : kLoopShapes) {
    SCOPED_TRACE(shape.name);
    const WrittenSound loop = Written(shape.name);
    for (int c = 0; c < loop.info.channels; ++c) {
      const std::vector<double> x = loop.Channel(c);
      ASSERT_GT(x.size(), 4410u);
      double inside = 0.0;
      for (size_t i = x.size() - 4410 + 1; i < x.size(); ++i)
        inside = std::max(inside, std::abs(x[i] - x[i - 1]));
      const double across = std::abs(x.front() - x.back());
      EXPECT_LE(across, inside) << "channel " << c;
      EXPECT_LT(across, 0.5 * Rms(x)) << "channel " << c;
    }
  }
}

// How sharply the sound changes at each frame: the second difference
// squared, summed over the channels, round the loop. A kick's body hardly
// shows in it; every attack does.
std::vector<double> AttackEnergy(const std::vector<std::vector<double>>& channels) {
  const size_t n = channels[0].size();
  std::vector<double> e(n);
  for (const std::vector<double>& x : channels)
    for (size_t i = 0; i < n; ++i) {
      const double d = x[i] - 2.0 * x[(i + n - 1) % n] + x[(i + n - 2) % n];
      e[i] += d * d;
    }
  return e;
}

// The mean of e over frames [from, to), which may lie either side of the wrap.
double MeanAround(const std::vector<double>& e, long from, long to) {
  const long n = static_cast<long>(e.size());
  double sum = 0.0;
  for (long i = from; i < to; ++i) sum += e[static_cast<size_t>(((i % n) + n) % n)];
  return sum / static_cast<double>(to - from);
}

// Where step k of a loop starts: k × 5512.5 frames, halves rounded up.
long StepStart(int step) { return static_cast<long>(std::floor(step * 5512.5 + 0.5)); }

struct GridCheck {
  int silentHits = 0;  // steps said to be hit whose sound does not rise there
  int offGrid = 0;     // rises away from any hit step
  std::string detail;
};

// Whether the sound rises exactly at the given steps: within a few
// milliseconds after each, and nowhere else.
GridCheck CheckOnsets(const std::vector<std::vector<double>>& channels,
                      const std::vector<int>& hitSteps) {
  constexpr long kMs = 44;  // frames, near enough
  const std::vector<double> e = AttackEnergy(channels);
  const long n = static_cast<long>(e.size());
  GridCheck check;
  for (int step : hitSteps) {
    const long at = StepStart(step);
    const double after = MeanAround(e, at, at + 3 * kMs);
    const double before = MeanAround(e, at - 10 * kMs, at - kMs);
    if (!(after > 3.0 * before)) {
      ++check.silentHits;
      check.detail +=
          " hit " + std::to_string(step) + " rises only " + std::to_string(after / before) + "x;";
    }
  }
  // Rises: a 0.7 ms window well above the 10 ms before it.
  constexpr long kWindow = 32, kHop = 16;
  double loudest = 0.0;
  for (long j = 0; j < n; j += kHop) loudest = std::max(loudest, MeanAround(e, j, j + kWindow));
  for (long j = 0; j < n; j += kHop) {
    const double now = MeanAround(e, j, j + kWindow);
    if (now < 1e-3 * loudest || now < 6.0 * MeanAround(e, j - 10 * kMs, j - kWindow)) continue;
    bool near = false;
    for (int step : hitSteps) {
      long d = (j - StepStart(step)) % n;
      if (d > n / 2) d -= n;
      if (d < -n / 2) d += n;
      near = near || (d >= -2 * kMs && d <= 3 * kMs);
    }
    if (!near) {
      ++check.offGrid;
      check.detail += " rise at frame " + std::to_string(j) + ";";
    }
    j += 20 * kMs;  // one attack, not every window of it
  }
  return check;
}

TEST_F(DrumKitTest, DrumAndPercussionLoopsStrikeOnTheSixteenthGrid) {
  const std::vector<LoopSound> loops = MakeLoops(MakeDrumKit());
  int silentBefore = 0;
  for (const char* name : {"loop-drums-1bar.wav", "loop-drums-2bar.wav", "loop-perc-1bar.wav"}) {
    SCOPED_TRACE(name);
    const auto made = std::find_if(loops.begin(), loops.end(),
                                   [name](const LoopSound& loop) { return loop.fileName == name; });
    ASSERT_NE(made, loops.end());
    const std::vector<int>& hits = made->hitSteps;
    const int steps = static_cast<int>(made->Frames() / kBar) * 16;
    EXPECT_GE(hits.size(), static_cast<size_t>(steps / 2));
    for (int step : hits) EXPECT_TRUE(step >= 0 && step < steps) << step;

    const WrittenSound loop = Written(name);
    std::vector<std::vector<double>> channels;
    for (int c = 0; c < loop.info.channels; ++c) channels.push_back(loop.Channel(c));
    const long n = static_cast<long>(channels[0].size());
    const GridCheck check = CheckOnsets(channels, hits);
    EXPECT_EQ(check.silentHits, 0) << check.detail;
    EXPECT_EQ(check.offGrid, 0) << check.detail;

    // Where the loop was silent, its next sound starts exactly on its step.
    for (int step : hits) {
      const long at = StepStart(step);
      bool quiet = true;
      for (long i = at - 5 * 44; i < at && quiet; ++i)
        for (const std::vector<double>& x : channels)
          quiet = quiet && x[static_cast<size_t>((i + n) % n)] == 0.0;
      if (!quiet) continue;
      ++silentBefore;
      long first = at - 5 * 44;
      while (first < at + 44 && std::all_of(channels.begin(), channels.end(), [&](const auto& x) {
               return x[static_cast<size_t>((first + n) % n)] == 0.0;
             }))
        ++first;
      // Every sound of the kit fades in from an exact zero, so the first
      // sample heard is the step's second.
      EXPECT_EQ(first, at + 1) << "step " << step;
    }

    // The hats are panned a little: some attacks are louder on one side,
    // none by more than 6 dB.
    if (channels.size() == 2) {
      const std::vector<double> left = AttackEnergy({channels[0]});
      const std::vector<double> right = AttackEnergy({channels[1]});
      double widest = 1.0;
      for (int step : hits) {
        const long at = StepStart(step);
        const double ratio = MeanAround(right, at, at + 3 * 44) / MeanAround(left, at, at + 3 * 44);
        widest = std::max({widest, ratio, 1.0 / ratio});
      }
      EXPECT_GT(widest, 1.5);
      EXPECT_LT(widest, 4.0);
    }

    // The same loop 4 ms late is caught.
    for (std::vector<double>& x : channels) std::rotate(x.begin(), x.end() - 4 * 44, x.end());
    EXPECT_GT(CheckOnsets(channels, hits).offGrid, 0);
  }

  // Rests long enough for that (in the percussion) are there.
  EXPECT_GE(silentBefore, 4);

  // The two-bar groove ends in a fill: every sixteenth of its last beat is hit.
  const auto twoBars = std::find_if(loops.begin(), loops.end(), [](const LoopSound& loop) {
    return loop.fileName == "loop-drums-2bar.wav";
  });
  ASSERT_NE(twoBars, loops.end());
  for (int step = 28; step < 32; ++step)
    EXPECT_NE(std::find(twoBars->hitSteps.begin(), twoBars->hitSteps.end(), step),
              twoBars->hitSteps.end())
        << step;
}

// A minor's notes (A B C D E F G), counted in semitones from A.
bool InAMinor(int semitonesFromA) {
  static constexpr bool kInScale[12] = {true,  false, true, true,  false, true,
                                        false, true,  true, false, true,  false};
  return kInScale[((semitonesFromA % 12) + 12) % 12];
}

// The pitch of x[from, to) between 35 and 130 Hz, by autocorrelation
// (perhaps an octave low, which keeps its note's name).
double PitchHz(const std::vector<double>& x, size_t from, size_t to) {
  const size_t shortest = 44100 / 130, longest = 44100 / 35;
  size_t best = shortest;
  double bestScore = -1.0;
  for (size_t lag = shortest; lag <= longest; ++lag) {
    double xy = 0.0, xx = 0.0, yy = 0.0;
    for (size_t i = from; i + lag < to; ++i) {
      xy += x[i] * x[i + lag];
      xx += x[i] * x[i];
      yy += x[i + lag] * x[i + lag];
    }
    const double score = xy / std::sqrt(xx * yy + 1e-30);
    if (score > bestScore) {
      bestScore = score;
      best = lag;
    }
  }
  return 44100.0 / static_cast<double>(best);
}

TEST_F(DrumKitTest, BassPlaysAMinorLowChordsAreSoftAndDarkPercussionIsBright) {
  const WrittenSound bass = Written("loop-bass-2bar.wav");
  const Spectrum bassSpectrum(bass.samples, 262144);
  EXPECT_GT(bassSpectrum.Share(0.0, 400.0), 0.7);
  EXPECT_LT(bassSpectrum.StrongestHzBelow(1000.0), 120.0);
  // Each sixteenth that sounds plays a note of A minor, and the line moves.
  std::set<int> notes;
  for (size_t at = 0; at + 5513 <= bass.samples.size(); at += 5512) {
    const size_t from = at + 661, to = at + 5292;  // past an attack, before the next
    if (Rms({bass.samples.begin() + static_cast<long>(from),
             bass.samples.begin() + static_cast<long>(to)}) < 0.02)
      continue;
    const double semitones = 12.0 * std::log2(PitchHz(bass.samples, from, to) / 440.0);
    const int nearest = static_cast<int>(std::lround(semitones));
    EXPECT_NEAR(semitones, nearest, 0.35) << "at frame " << at;
    EXPECT_TRUE(InAMinor(nearest)) << "at frame " << at << ": " << nearest;
    notes.insert(((nearest % 12) + 12) % 12);
  }
  EXPECT_GE(notes.size(), 4u);

  const WrittenSound chords = Written("loop-chords-2bar.wav");
  std::vector<double> mid = chords.Channel(0);
  const std::vector<double> right = chords.Channel(1);
  for (size_t i = 0; i < mid.size(); ++i) mid[i] = 0.5 * (mid[i] + right[i]);
  const Spectrum pad(mid, 262144);
  EXPECT_GT(pad.Share(150.0, 1500.0), 0.8);
  EXPECT_LT(pad.Share(4000.0, 22050.0), 0.01);
  // Soft: from one 50 ms to the next the level never leaps.
  double rise = 0.0, last = 0.0;
  for (auto at = mid.begin(); mid.end() - at >= 2205; at += 2205) {
    const double level = Rms({at, at + 2205});
    if (at != mid.begin()) rise = std::max(rise, level / last);
    last = level;
  }
  EXPECT_LT(rise, 1.5);

  EXPECT_GT(Spectrum(Written("loop-perc-1bar.wav").samples, 131072).Share(3000.0, 22050.0), 0.6);
}

TEST_F(DrumKitTest, ALoopThatCannotBeWrittenIsNamedAndTheKitStays) {
  const std::string kit = dir / "kit";
  // Room for every sound of the kit, not for the first loop.
  EXPECT_EQ(test::WithFileSizeLimit(100000,
                                    [&kit] {
                                      const std::string error = WriteDrumKit(kit);
                                      return error.find("loop-drums-1bar.wav") == std::string::npos
                                                 ? "no failure named the first loop: " + error
                                                 : std::string();
                                    }),
            "");
  EXPECT_EQ(FilesIn(kit), BuildListsTheseFiles());
  for (const std::string& name : BuildListsTheseFiles())
    EXPECT_TRUE(ReadBack(kit + "/" + name).info.valid) << name;
}

TEST_F(DrumKitTest, ValuesBeyondFullScaleOrNotNumbersStayInRange) {
  EXPECT_EQ(ToPcm16({1.5, -2.0, std::numeric_limits<double>::quiet_NaN(),
                     std::numeric_limits<double>::infinity(), 0.5, -0.5}),
            (std::vector<int16_t>{32767, -32767, 0, 0, 16384, -16384}));
}

std::string Quoted(const std::string& text) {
  std::string quoted(1, '\'');
  quoted += text;
  quoted += '\'';
  return quoted;
}

// Runs the program; answers its exit status and what it wrote to stderr.
std::pair<int, std::string> RunProgram(const std::string& arguments, const test::TempDir& dir) {
  const std::string errors = dir / "stderr.txt";
  const std::string command = Quoted(test::BesideTestProgram(TONEGARDEN_DRUMKIT_PROGRAM)) + " " +
                              arguments + " 2>" + Quoted(errors);
  const int status = std::system(command.c_str());
  const std::vector<uint8_t> text = ReadBytes(errors);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, std::string(text.begin(), text.end())};
}

TEST_F(DrumKitTest, TheProgramWritesTheKitAndExplainsWhatItCannotDo) {
  const auto [made, quiet] = RunProgram(Quoted(dir / "out"), dir);
  EXPECT_EQ(made, 0);
  EXPECT_EQ(quiet, "");
  EXPECT_EQ(FilesIn(dir / "out"), BuildListsEverything());

  const auto [noArgument, usage] = RunProgram("", dir);
  EXPECT_EQ(noArgument, 2);
  EXPECT_NE(usage.find("usage: tonegarden-drumkit DIRECTORY"), std::string::npos) << usage;

  // A directory inside a plain file cannot be made.
  test::WriteBytes(dir / "plain", {'x'});
  const auto [failed, why] = RunProgram(Quoted(dir / "plain/kit"), dir);
  EXPECT_EQ(failed, 1);
  EXPECT_NE(why.find(dir / "plain/kit"), std::string::npos) << why;
}

}  // namespace drum_kit_test
}  // namespace tg
