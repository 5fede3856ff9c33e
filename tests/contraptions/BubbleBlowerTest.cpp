#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "contraptions/generators/bubbleblower/TGBubbleBlower.h"
#include "dsp/granular/GrainPan.h"
#include "files/loading/SoundLoader.h"
#include "graph/TempoClock.h"
#include "properties/NumberText.h"
#include "tests/contraptions/NotchProbe.h"
#include "tests/support/GraphHarness.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestSoundFiles.h"

namespace tg {
namespace bubble_blower_test {

constexpr size_t kSecond = static_cast<size_t>(kSampleRate);
constexpr int kBlocksPerSecond = static_cast<int>(kSampleRate / kBlockSize) + 1;

void Collapse(QSRangeProperty& p, float v) { p.SetValue(FloatRange{v, v}); }

std::vector<int16_t> SineSamples(double hz, int frames, int32_t rate, int channels = 1) {
  std::vector<int16_t> s;
  for (int k = 0; k < frames; ++k) {
    const auto v = static_cast<int16_t>(16000.0 * std::sin(2.0 * M_PI * hz * k / rate));
    for (int c = 0; c < channels; ++c) s.push_back(v);
  }
  return s;
}

std::vector<int16_t> NoiseSamples(int frames, int channels, int16_t level = 32767) {
  std::vector<int16_t> s;
  uint32_t x = 12345;
  for (int k = 0; k < frames * channels; ++k) {
    x = x * 1664525u + 1013904223u;
    s.push_back(static_cast<int16_t>(static_cast<int32_t>(x >> 16) % (level + 1) *
                                     ((x & 1u) != 0u ? 1 : -1)));
  }
  return s;
}

class BubbleBlowerTest : public ::testing::Test {
 protected:
  BubbleBlowerTest() : bb(h.Place<TGBubbleBlower>(loader)) { GrainPan::Prepare(); }

  void SetFile(const std::string& name) {
    bb.file.SetValue(name);
    loader.WaitUntilIdle();
  }
  // A level throughout: every grain is its envelope times that level.
  std::string LevelFile(int16_t level = 8192, int frames = 3 * static_cast<int>(kSecond)) {
    const std::string name = dir / ("level" + std::to_string(level) + ".wav");
    test::WriteLevel(name, level, frames);
    return name;
  }
  // Short grains that rise fast and fall slowly, centred, at full amplitude.
  void Spikes(double density, float durationMs = 5.0f) {
    bb.density.SetValue(density);
    Collapse(bb.grainDuration, durationMs);
    Collapse(bb.attDecRatio, 0.0f);
    Collapse(bb.grainSkew, 0.05f);
    Collapse(bb.panning, 0.5f);
    Collapse(bb.amplitude, 1.0f);
    Collapse(bb.pitchScaler, 1.0f);
    Collapse(bb.inskip, 0.0f);
  }
  void Seconds(double s) { h.Run(static_cast<int>(s * kSampleRate / kBlockSize)); }
  const std::vector<float>& L() const { return h.Out(0); }
  const std::vector<float>& R() const { return h.Out(1); }

  test::TempDir dir;
  SoundLoader loader;
  test::GraphHarness h;
  TGBubbleBlower& bb;
};

// Grain onsets in a render of grains from a steady level: only an attack
// makes the sum rise, so each rising run is one onset (or several at once).
// The rise of an attack's first sample is far above the threshold; the
// rounding of a decay's last sample, around silence, far below it.
std::vector<size_t> Onsets(const std::vector<float>& s, size_t from = 0) {
  std::vector<size_t> at;
  bool rising = false;
  for (size_t i = from; i < s.size(); ++i) {
    const bool up = s[i] > (i > 0 ? s[i - 1] : 0.0f) + 1e-4f;
    if (up && !rising) at.push_back(i);
    rising = up;
  }
  return at;
}

double Energy(const std::vector<float>& s, size_t from = 0) {
  double sum = 0.0;
  for (auto it = s.begin() + static_cast<std::ptrdiff_t>(std::min(from, s.size())); it != s.end();
       ++it)
    sum += double{*it} * *it;
  return sum;
}

// Power of s[from, to) in a band, as a share of the whole.
double BandShare(const std::vector<float>& s, size_t from, size_t to, double lo, double hi) {
  constexpr size_t kFrame = 8192;
  double band = 0.0, all = 0.0;
  for (size_t at = from; at + kFrame <= to; at += kFrame / 2) {
    const auto p = test::PowerSpectrum(s, at, kFrame);
    for (size_t k = 1; k < p.size(); ++k) {
      const double hz = static_cast<double>(k) * kSampleRate / kFrame;
      all += p[k];
      if (hz >= lo && hz <= hi) band += p[k];
    }
  }
  return band / std::max(all, 1e-30);
}

void ExpectFiniteAndBounded(const std::vector<float>& s, float bound, const std::string& what) {
  for (size_t i = 0; i < s.size(); ++i)
    ASSERT_TRUE(std::isfinite(s[i]) && std::fabs(s[i]) <= bound)
        << what << ": sample " << i << " is " << s[i];
}

TEST_F(BubbleBlowerTest, OnsetsFormARandomStreamOfTheSetDensity) {
  SetFile(LevelFile());
  Spikes(10.0);
  constexpr double kSeconds = 300.0;
  Seconds(kSeconds);
  const auto on = Onsets(L());
  // Poisson: 3000 expected, a standard deviation of about 55.
  EXPECT_NEAR(static_cast<double>(on.size()), 10.0 * kSeconds, 250.0);
  std::vector<double> gaps;
  for (size_t k = 1; k < on.size(); ++k) gaps.push_back(static_cast<double>(on[k] - on[k - 1]));
  double mean = 0.0, square = 0.0;
  for (double g : gaps) mean += g;
  mean /= static_cast<double>(gaps.size());
  for (double g : gaps) square += (g - mean) * (g - mean);
  const double cv = std::sqrt(square / static_cast<double>(gaps.size())) / mean;
  // Exponential gaps vary as much as they are long; even ones would not.
  EXPECT_NEAR(cv, 1.0, 0.12);
  // And without memory: as many short gaps as the exponential law has.
  const double shortShare =
      static_cast<double>(
          std::count_if(gaps.begin(), gaps.end(), [mean](double g) { return g < 0.5 * mean; })) /
      static_cast<double>(gaps.size());
  EXPECT_NEAR(shortShare, 1.0 - std::exp(-0.5), 0.04);

  // A hundred times denser, still the density asked for (grains overlap, so
  // count sounding ones: density × duration on average).
  Spikes(1000.0, 10.0f);
  bb.maxGrains.SetValue(20);
  h.Run(8);
  double sounding = 0.0;
  constexpr int kBlocks = 4000;
  for (int b = 0; b < kBlocks; ++b) {
    h.Run(1);
    sounding += bb.SoundingGrains();
  }
  EXPECT_NEAR(sounding / kBlocks, 1000.0 * 0.010, 1.0);
}

TEST_F(BubbleBlowerTest, WithFullQuantizeEveryGrainStartsOnAGridLine) {
  SetFile(LevelFile());
  Spikes(10.0);
  bb.quantizeAmount.SetValue(1.0);
  bb.quantizeClocks.SetValue(24);
  TempoClock& clock = h.context.Clock();
  clock.SetSamplesPerClock(918.75);  // 120 beats a minute: a beat is 22050 samples
  clock.SetRunning(true);
  Seconds(60.0);
  const auto on = Onsets(L());
  ASSERT_GT(on.size(), 100u);
  // The first grain of a beat starts on its line; the others roll in after
  // it, each a third of a grain (5 ms grains, far shorter than the gaps)
  // after the one before.
  size_t beats = 0, first = 0;
  int rolled = 0;
  for (size_t at : on) {
    if (beats == 0 || at - first >= 22050) {
      ASSERT_EQ(at % 22050, 0u) << at;
      ++beats;
      first = at;
      rolled = 0;
    } else {
      ++rolled;
      ASSERT_EQ(at - first, static_cast<size_t>(rolled * 220.5 / 3.0)) << at;
    }
  }
  // Ten grains a second leave hardly a beat without one.
  EXPECT_GT(beats, 110u);

  // Without the clock the grid is gone: grains start anywhere.
  clock.SetRunning(false);
  const size_t mark = L().size();
  Seconds(30.0);
  const auto free = Onsets(L(), mark);
  const auto off =
      std::count_if(free.begin(), free.end(), [](size_t at) { return at % 22050 != 0; });
  EXPECT_GT(off, 200);
}

TEST_F(BubbleBlowerTest, AQuantisedTextureIsAsLoudAsAFreeOne) {
  // Every grain starts at the file's start: moved onto one line, they
  // would all play the same sound in phase.
  const std::string noise = dir / "noise.wav";
  test::WriteWave(noise, 44100, 1, NoiseSamples(5 * static_cast<int>(kSecond), 1, 16384));
  SetFile(noise);
  bb.density.SetValue(50.0);
  TempoClock& clock = h.context.Clock();
  clock.SetRunning(true);
  const auto level = [&](double quantize) {
    bb.quantizeAmount.SetValue(quantize);
    Seconds(1.0);
    const size_t from = L().size();
    Seconds(20.0);
    double sum = 0.0, peak = 0.0;
    for (size_t i = from; i < L().size(); ++i) {
      sum += double{L()[i]} * L()[i];
      peak = std::max(peak, double{std::fabs(L()[i])});
    }
    return std::pair{std::sqrt(sum / static_cast<double>(L().size() - from)), peak};
  };
  const auto [freeRms, freePeak] = level(0.0);
  const auto [gridRms, gridPeak] = level(1.0);
  std::printf("free: RMS %.3f, peak %.2f; on the beat: RMS %.3f, peak %.2f\n", freeRms, freePeak,
              gridRms, gridPeak);
  EXPECT_NEAR(20.0 * std::log10(gridRms / freeRms), 0.0, 3.0);
  // The grains of a beat roll in rather than start together.
  EXPECT_LT(gridPeak, 2.0 * freePeak);
}

TEST_F(BubbleBlowerTest, TheLevelStaysWhereItIsFromSparseToDenseTextures) {
  // 100 ms grains of noise: from one at a time to far more than MaxGrains.
  const std::string noise = dir / "noise.wav";
  test::WriteWave(noise, 44100, 1, NoiseSamples(5 * static_cast<int>(kSecond), 1, 16384));
  SetFile(noise);
  Collapse(bb.grainDuration, 100.0f);
  bb.inskip.SetValue(FloatRange{0.0f, 4000.0f});
  double sparse = 0.0;  // the level of the first, one grain at a time
  for (double density : {10.0, 30.0, 100.0, 200.0, 600.0, 2000.0}) {
    bb.density.SetValue(density);
    Seconds(1.0);
    const size_t from = L().size();
    Seconds(density < 50.0 ? 40.0 : 5.0);
    double sum = 0.0;
    for (size_t i = from; i < L().size(); ++i)
      sum += double{L()[i]} * L()[i] + double{R()[i]} * R()[i];
    const double rms = std::sqrt(sum / static_cast<double>(L().size() - from));
    std::printf("%.0f grains a second: RMS %.3f\n", density, rms);
    if (sparse == 0.0) sparse = rms;
    EXPECT_NEAR(20.0 * std::log10(rms / sparse), 0.0, 3.0) << rms;
  }
}

TEST_F(BubbleBlowerTest, TranspositionsStayWithinTheRangeAndFilesKeepTheirPitch) {
  constexpr double kHz = 1000.0;
  const std::string native = dir / "sine44.wav";
  test::WriteWave(native, 44100, 1, SineSamples(kHz, 3 * 44100, 44100));
  // Half the rate: the loader converts it, so it still sounds at 1000 Hz.
  const std::string half = dir / "sine22.wav";
  test::WriteWave(half, 22050, 1, SineSamples(kHz, 3 * 22050, 22050));
  const auto render = [&](const std::string& file, float lo, float hi) {
    SetFile(file);
    bb.density.SetValue(40.0);
    bb.inskip.SetValue(FloatRange{0.0f, 1000.0f});
    bb.grainDuration.SetValue(FloatRange{60.0f, 100.0f});
    bb.pitchScaler.SetValue(FloatRange{lo, hi});
    const size_t from = L().size();
    Seconds(10.0);
    return from;
  };
  size_t from = render(native, 2.0f, 2.0f);
  EXPECT_GT(BandShare(L(), from, L().size(), 1900, 2100), 0.97);
  from = render(half, 1.0f, 1.0f);
  EXPECT_GT(BandShare(L(), from, L().size(), 950, 1050), 0.97);
  from = render(native, 0.5f, 1.5f);
  EXPECT_GT(BandShare(L(), from, L().size(), 0.45 * kHz, 1.6 * kHz), 0.98);
  // Spread over the range, not stuck at one rate.
  EXPECT_GT(BandShare(L(), from, L().size(), 0.5 * kHz, 0.8 * kHz), 0.15);
  EXPECT_GT(BandShare(L(), from, L().size(), 1.2 * kHz, 1.5 * kHz), 0.15);
}

TEST_F(BubbleBlowerTest, PanPositionsStayWithinTheRange) {
  SetFile(LevelFile());
  Spikes(20.0, 20.0f);
  Collapse(bb.panning, 0.0f);
  Seconds(5.0);
  EXPECT_GT(Energy(L()), 1.0);
  EXPECT_LT(Energy(R()), 1e-9 * Energy(L()));

  bb.panning.SetValue(FloatRange{0.3f, 0.7f});
  // Grains of the old range still sounding are left out.
  const size_t mark = L().size() + 4096;
  Seconds(30.0);
  // From a steady level every sample's right-to-left ratio is a blend of
  // its grains' pan ratios.
  const double widest = GrainPan::Gain(0.3) / GrainPan::Gain(0.7);
  int leftish = 0, rightish = 0;
  for (size_t i = mark; i < L().size(); ++i) {
    if (L()[i] < 1e-3f) continue;
    const double ratio = R()[i] / L()[i];
    ASSERT_GT(ratio, 1.0 / widest - 1e-3) << i;
    ASSERT_LT(ratio, widest + 1e-3) << i;
    leftish += ratio < 0.8;
    rightish += ratio > 1.25;
  }
  EXPECT_GT(leftish, 1000);
  EXPECT_GT(rightish, 1000);
}

TEST_F(BubbleBlowerTest, AMonoFileSoundsAlikeOnBothSidesAStereoFileKeepsItsSides) {
  const std::string mono = dir / "mono.wav";
  test::WriteWave(mono, 44100, 1, NoiseSamples(2 * 44100, 1));
  SetFile(mono);
  bb.inskip.SetValue(FloatRange{0.0f, 1500.0f});
  bb.pitchScaler.SetValue(FloatRange{0.5f, 2.0f});
  Collapse(bb.panning, 0.5f);
  bb.density.SetValue(200.0);
  Seconds(5.0);
  EXPECT_GT(Energy(L()), 10.0);
  EXPECT_EQ(L(), R());

  // Left channel a sine, right silent: the right outlet stays silent.
  const std::string stereo = dir / "stereo.wav";
  std::vector<int16_t> s = SineSamples(500.0, 2 * 44100, 44100, 2);
  for (size_t k = 1; k < s.size(); k += 2) s[k] = 0;
  test::WriteWave(stereo, 44100, 2, s);
  const size_t mark = L().size();
  SetFile(stereo);
  Seconds(5.0);
  EXPECT_GT(Energy(L(), mark), 10.0);
  EXPECT_EQ(Energy(R(), mark), 0.0);
}

TEST_F(BubbleBlowerTest, ANewFileStopsEveryGrainAtOnce) {
  SetFile(LevelFile(8192));
  Spikes(40.0, 500.0f);
  Collapse(bb.attDecRatio, 0.9f);
  Seconds(2.0);
  // Some twenty overlap on average; the draws leave as few as seven.
  ASSERT_GE(bb.SoundingGrains(), 4);
  ASSERT_GT(L().back(), 0.1f);
  // The new file is negative throughout: from the block that takes it on,
  // nothing of the old file's long grains is left.
  SetFile(LevelFile(-8192));
  const size_t mark = L().size();
  h.Run(1);
  EXPECT_LT(L()[mark], 0.0f);  // the first new grain starts at once
  Seconds(2.0);
  const auto highest =
      *std::max_element(L().begin() + static_cast<std::ptrdiff_t>(mark), L().end());
  EXPECT_LE(highest, 0.0f);
}

TEST_F(BubbleBlowerTest, AnUnreadableOrMissingFileSilencesTheGrains) {
  const std::string good = LevelFile();
  SetFile(good);
  Spikes(100.0, 50.0f);
  Seconds(1.0);
  ASSERT_GT(Energy(L()), 1.0);
  const std::string garbage = dir / "garbage.wav";
  test::WriteBytes(garbage, std::vector<uint8_t>(5000, 0x5a));
  for (const std::string& bad : {garbage, dir / "missing.wav"}) {
    SetFile(bad);
    EXPECT_TRUE(bb.LoadFailed()) << bad;
    const size_t mark = L().size();
    Seconds(1.0);
    EXPECT_EQ(Energy(L(), mark), 0.0) << bad;
    EXPECT_EQ(Energy(R(), mark), 0.0) << bad;
    EXPECT_EQ(bb.SoundingGrains(), 0);
    SetFile(good);
    EXPECT_FALSE(bb.LoadFailed());
    Seconds(1.0);
    EXPECT_GT(Energy(L(), mark), 1.0) << "after " << bad;
  }
}

TEST_F(BubbleBlowerTest, GrainsBeyondTheFilesEndAreSilentButRunTheirCourse) {
  SetFile(LevelFile(8192, static_cast<int>(kSecond)));
  Spikes(10.0, 300.0f);
  Collapse(bb.inskip, 5000.0f);
  Collapse(bb.pitchScaler, 4.0f);
  int mostSounding = 0;
  for (int b = 0; b < 5 * kBlocksPerSecond; ++b) {
    h.Run(1);
    mostSounding = std::max(mostSounding, bb.SoundingGrains());
  }
  EXPECT_EQ(Energy(L()), 0.0);
  EXPECT_GT(mostSounding, 0);

  // Starting 100 ms before the end, a grain sounds for 100 ms at most.
  Collapse(bb.inskip, 900.0f);
  Collapse(bb.pitchScaler, 1.0f);
  Collapse(bb.attDecRatio, 0.9f);
  bb.maxGrains.SetValue(1);
  const size_t mark = L().size();
  Seconds(20.0);
  size_t longest = 0, run = 0;
  for (size_t i = mark; i < L().size(); ++i) {
    run = L()[i] != 0.0f ? run + 1 : 0;
    longest = std::max(longest, run);
  }
  EXPECT_GT(longest, kSecond / 20);
  EXPECT_LE(longest, kSecond / 10 + 1);
}

TEST_F(BubbleBlowerTest, AGrainThatReachesTheFilesEndFadesOut) {
  // Grains of a level held to the end of a one-second file, from 100 ms
  // before it, at the file's speed and twice it.
  SetFile(LevelFile(16384, static_cast<int>(kSecond)));
  Spikes(5.0, 300.0f);
  Collapse(bb.attDecRatio, 0.9f);
  Collapse(bb.grainSkew, 0.5f);
  Collapse(bb.inskip, 900.0f);
  bb.maxGrains.SetValue(1);
  for (float rate : {1.0f, 2.0f}) {
    Collapse(bb.pitchScaler, rate);
    const size_t mark = L().size();
    Seconds(5.0);
    float step = 0.0f, level = 0.0f;
    size_t fall = 0, longestFall = 0;
    for (size_t i = mark + 1; i < L().size(); ++i) {
      step = std::max(step, std::abs(L()[i] - L()[i - 1]));
      level = std::max(level, L()[i]);
      fall = L()[i] < L()[i - 1] ? fall + 1 : 0;
      longestFall = std::max(longestFall, fall);
    }
    std::printf("rate %.0f: largest step %.4f of a level of %.3f, falling for %zu samples\n", rate,
                step, level, longestFall);
    ASSERT_GT(level, 0.1f);
    EXPECT_LT(step, level / 40);
    EXPECT_GE(longestFall, static_cast<size_t>(0.001 * kSampleRate));
  }
}

TEST_F(BubbleBlowerTest, EveryRangeAtItsEndsStaysFiniteAndBounded) {
  const std::string loud = dir / "loud.wav";
  test::WriteWave(loud, 44100, 2, NoiseSamples(static_cast<int>(kSecond), 2));
  SetFile(loud);
  for (int corner = 0; corner < 8; ++corner) {
    const bool low = (corner & 1) != 0, high = (corner & 2) != 0, dense = (corner & 4) != 0;
    const auto set = [&](QSRangeProperty& p, float lo, float hi) {
      p.SetValue(FloatRange{low ? lo : hi, high ? hi : lo});
    };
    set(bb.amplitude, 0.0f, 1.0f);
    set(bb.panning, 0.0f, 1.0f);
    set(bb.inskip, 0.0f, 15000.0f);
    set(bb.pitchScaler, 0.25f, 4.0f);
    set(bb.grainDuration, 5.0f, 500.0f);
    set(bb.attDecRatio, 0.0f, 0.9f);
    set(bb.grainSkew, 0.05f, 0.95f);
    bb.density.SetValue(dense ? 2000.0 : 0.1);
    const size_t mark = L().size();
    Seconds(3.0);
    const std::vector<float> l(L().begin() + static_cast<std::ptrdiff_t>(mark), L().end());
    const std::vector<float> r(R().begin() + static_cast<std::ptrdiff_t>(mark), R().end());
    ExpectFiniteAndBounded(l, 8.0f, "corner " + std::to_string(corner));
    ExpectFiniteAndBounded(r, 8.0f, "corner " + std::to_string(corner));
  }
}

TEST_F(BubbleBlowerTest, StoredValuesOutsideTheRangesAreHeldToThem) {
  const std::string loud = dir / "loud.wav";
  test::WriteWave(loud, 44100, 1, NoiseSamples(static_cast<int>(kSecond), 1));
  SetFile(loud);
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  for (QSRangeProperty* p : {&bb.amplitude, &bb.panning, &bb.inskip, &bb.pitchScaler,
                             &bb.grainDuration, &bb.attDecRatio, &bb.grainSkew}) {
    p->SetValue(FloatRange{nan, inf});
  }
  bb.quantizeAmount.SetValue(std::numeric_limits<double>::quiet_NaN());
  bb.quantizeClocks.SetValue(-5);
  h.context.Clock().SetRunning(true);
  const struct {
    double density;
    int maxGrains;
  } cases[] = {{std::numeric_limits<double>::quiet_NaN(), 0},
               {0.0, 1000},
               {-10.0, -3},
               {1e9, 1000},
               {std::numeric_limits<double>::infinity(), 20}};
  for (const auto& c : cases) {
    bb.density.SetValue(c.density);
    bb.maxGrains.SetValue(c.maxGrains);
    const size_t mark = L().size();
    int most = 0;
    // Grains of the case before may still ring out for their length (at most
    // half a second): count from a second on.
    for (int b = 0; b < 3 * kBlocksPerSecond; ++b) {
      h.Run(1);
      if (b >= kBlocksPerSecond) most = std::max(most, bb.SoundingGrains());
    }
    const std::string what = "density " + numbertext::Fixed(c.density, 6);
    EXPECT_LE(most, std::clamp(c.maxGrains, 1, 20)) << what;
    const std::vector<float> l(L().begin() + static_cast<std::ptrdiff_t>(mark), L().end());
    ExpectFiniteAndBounded(l, 8.0f, what);
    const std::vector<float> r(R().begin() + static_cast<std::ptrdiff_t>(mark), R().end());
    ExpectFiniteAndBounded(r, 8.0f, what);
  }
}

}  // namespace bubble_blower_test
}  // namespace tg
