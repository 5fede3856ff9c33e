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

#include "engine/wavefiles/SoundFileReader.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/TempDir.h"
#include "tools/drumkit/DrumKit.h"
#include "tools/drumkit/DrumKitFiles.h"

namespace tg {
namespace {

namespace fs = std::filesystem;
using test::ReadBytes;

// The files the build lists as the generator's outputs.
std::set<std::string> BuildListsTheseFiles() {
  std::set<std::string> names;
  std::stringstream list(TONEGARDEN_DRUM_SAMPLE_NAMES);
  for (std::string name; std::getline(list, name, ',');) names.insert(name);
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
  std::vector<double> samples;  // full scale ±1.0

  int FormatTag() const { return bytes.size() < 44 ? 0 : bytes[20] | bytes[21] << 8; }
  int Bits() const { return bytes.size() < 44 ? 0 : bytes[34] | bytes[35] << 8; }
  double Peak() const {
    double peak = 0.0;
    for (double x : samples) peak = std::max(peak, std::abs(x));
    return peak;
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
  // Exactly those files: none missing, no temporary left behind.
  EXPECT_EQ(FilesIn(kit), listed);
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
    EXPECT_LT(std::abs(sound.samples.front()), 0.01);
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
  for (const std::string& name : BuildListsTheseFiles()) {
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
  const std::string command =
      Quoted(TONEGARDEN_DRUMKIT_PROGRAM) + " " + arguments + " 2>" + Quoted(errors);
  const int status = std::system(command.c_str());
  const std::vector<uint8_t> text = ReadBytes(errors);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, std::string(text.begin(), text.end())};
}

TEST_F(DrumKitTest, TheProgramWritesTheKitAndExplainsWhatItCannotDo) {
  const auto [made, quiet] = RunProgram(Quoted(dir / "out"), dir);
  EXPECT_EQ(made, 0);
  EXPECT_EQ(quiet, "");
  EXPECT_EQ(FilesIn(dir / "out"), BuildListsTheseFiles());

  const auto [noArgument, usage] = RunProgram("", dir);
  EXPECT_EQ(noArgument, 2);
  EXPECT_NE(usage.find("usage: tonegarden-drumkit DIRECTORY"), std::string::npos) << usage;

  // A directory inside a plain file cannot be made.
  test::WriteBytes(dir / "plain", {'x'});
  const auto [failed, why] = RunProgram(Quoted(dir / "plain/kit"), dir);
  EXPECT_EQ(failed, 1);
  EXPECT_NE(why.find(dir / "plain/kit"), std::string::npos) << why;
}

}  // namespace
}  // namespace tg
