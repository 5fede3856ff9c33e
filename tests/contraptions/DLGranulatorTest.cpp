#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <sstream>
#include <vector>

#include "contraptions/effects/dlgranulator/TGDLGranulator.h"
#include "dsp/QSNoiseSource.h"
#include "dsp/granular/GrainPan.h"
#include "graph/TempoClock.h"
#include "tests/contraptions/NotchProbe.h"
#include "tests/support/GraphHarness.h"

namespace tg {
namespace dlgranulator_test {

using test::GraphHarness;

constexpr size_t kSecond = static_cast<size_t>(kSampleRate);
constexpr float kHeard = 1e-3f;

size_t Blocks(size_t samples) { return (samples + kBlockSize - 1) / kBlockSize; }

void Collapse(QSRangeProperty& p, float v) { p.SetValue(FloatRange{v, v}); }

// Short, almost square grains that all look alike, far apart, straight from
// the line: each one is a separate burst in the output.
void Regular(TGDLGranulator& g, float iotMs) {
  Collapse(g.interonsetTime, iotMs);
  Collapse(g.grainDuration, 10.0f);
  Collapse(g.attDecRatio, 0.9f);
  Collapse(g.grainSkew, 0.05f);
  Collapse(g.panning, 0.5f);
  Collapse(g.delayTime, 0.0f);
  Collapse(g.pitchScaler, 1.0f);
  Collapse(g.amplitude, 1.0f);
  g.wetDryMix.SetValue(1.0);
}

// Every sample loud: the top of the band, which the line's filters let through.
std::vector<float> Buzz(size_t length, float level = 0.5f) {
  std::vector<float> s(length);
  for (size_t i = 0; i < length; ++i) s[i] = i % 2 ? -level : level;
  return s;
}

std::vector<float> Sine(size_t length, double hz, float level = 0.5f, size_t from = 0) {
  std::vector<float> s(length, 0.0f);
  for (size_t i = from; i < length; ++i)
    s[i] = level *
           static_cast<float>(std::sin(2.0 * M_PI * hz * static_cast<double>(i) / kSampleRate));
  return s;
}

struct Render {
  std::vector<float> left, right;
};

Render Granulate(const std::function<void(TGDLGranulator&, GraphHarness&)>& setup,
                 const std::vector<float>& in,
                 const std::function<void(TGDLGranulator&, size_t block)>& each = nullptr) {
  GraphHarness h;
  auto& g = h.Place<TGDLGranulator>();
  setup(g, h);
  h.Feed(g, 0, in);
  for (size_t b = 0; b < Blocks(in.size()); ++b) {
    if (each) each(g, b);
    h.Run(1);
  }
  return {h.Out(0), h.Out(1)};
}

// Where bursts begin: the first loud sample after a quiet stretch.
std::vector<size_t> BurstStarts(const std::vector<float>& s, size_t quiet = 64) {
  std::vector<size_t> at;
  size_t silent = quiet;
  for (size_t i = 0; i < s.size(); ++i) {
    if (std::fabs(s[i]) > kHeard) {
      if (silent >= quiet) at.push_back(i);
      silent = 0;
    } else {
      ++silent;
    }
  }
  return at;
}

// Each burst's energy on one side, from its start for `length` samples.
std::vector<double> BurstEnergies(const std::vector<float>& s, const std::vector<size_t>& starts,
                                  size_t length) {
  std::vector<double> e;
  for (size_t at : starts) {
    double sum = 0.0;
    for (size_t i = at; i < std::min(at + length, s.size()); ++i) sum += double{s[i]} * s[i];
    e.push_back(sum);
  }
  return e;
}

double Energy(const std::vector<float>& s, size_t from, size_t to) {
  double sum = 0.0;
  for (size_t i = from; i < to; ++i) sum += double{s[i]} * s[i];
  return sum;
}

// Power summed over frames of s[from, to) in a band, as a share of the whole.
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

TEST(DLGranulatorTest, CollapsedRangesGiveARegularStreamOfLikeGrains) {
  const auto out =
      Granulate([](TGDLGranulator& g, GraphHarness&) { Regular(g, 50.0f); }, Buzz(20 * kSecond));
  auto starts = BurstStarts(out.left);
  // The first grain begins before the line holds anything.
  ASSERT_GT(starts.size(), 10u);
  EXPECT_EQ(starts.front(), static_cast<size_t>(kBlockSize));
  starts.erase(starts.begin());
  EXPECT_NEAR(static_cast<double>(starts.size()), 20.0 / 0.05 - 1, 1.0);
  // Every 50 ms to the sample (heard one sample late: the rise starts from silence).
  for (size_t k = 0; k < starts.size(); ++k) ASSERT_EQ(starts[k], (k + 1) * 2205 + 1) << k;
  starts.pop_back();  // cut short by the end of the render
  const auto energies = BurstEnergies(out.left, starts, 441);
  const auto [lo, hi] = std::minmax_element(energies.begin(), energies.end());
  EXPECT_GT(*lo, 0.0);
  EXPECT_LT(*hi / *lo, 1.01);
  // Centred grains: the same on both sides.
  EXPECT_NEAR(Energy(out.right, 0, out.right.size()) / Energy(out.left, 0, out.left.size()), 1.0,
              1e-4);
}

constexpr double kSamplesPerTick = 918.75;  // 120 beats a minute
constexpr double kBeat = 24 * kSamplesPerTick;

std::vector<size_t> GridOnsets(double amount) {
  const auto out = Granulate(
      [amount](TGDLGranulator& g, GraphHarness& h) {
        Regular(g, 130.0f);
        // One grain a line: grains pulled onto one line read their own
        // places in the buzz, where they may cancel.
        if (amount == 1.0) g.maxGrains.SetValue(1);
        g.quantizeAmount.SetValue(amount);
        g.quantizeClocks.SetValue(24);
        h.context.Clock().SetSamplesPerClock(kSamplesPerTick);
        h.context.Clock().SetRunning(true);
      },
      Buzz(30 * kSecond));
  auto starts = BurstStarts(out.left);
  starts.erase(starts.begin());  // the grain that read the empty line
  return starts;
}

TEST(DLGranulatorTest, OnsetsSnapToTheBeatOrMoveHalfwayToIt) {
  const auto snapped = GridOnsets(1.0);
  ASSERT_GT(snapped.size(), 50u);
  for (size_t at : snapped) {
    const double beats = static_cast<double>(at) / kBeat;
    ASSERT_NEAR(beats, std::round(beats), 1.5 / kBeat) << at;
  }
  // Every beat after the first has a grain: one onset or more fell before it.
  EXPECT_EQ(snapped.size(), 60u);  // beats 1 to 60: the render ends a few samples after it

  // Halfway: onset k, due at 130 ms · k, starts halfway to the next beat.
  const auto halfway = GridOnsets(0.5);
  ASSERT_GT(halfway.size(), 200u);
  for (size_t k = 0; k < halfway.size(); ++k) {
    const double due = 5733.0 * static_cast<double>(k + 1);
    const double line = std::ceil(due / kBeat) * kBeat;
    ASSERT_NEAR(static_cast<double>(halfway[k]), due + (line - due) / 2, 1.5) << k;
  }
}

// RMS and peak of s[from, to).
std::pair<double, double> Level(const std::vector<float>& s, size_t from, size_t to) {
  double peak = 0.0;
  for (size_t i = from; i < to; ++i) peak = std::max(peak, double{std::fabs(s[i])});
  return {std::sqrt(Energy(s, from, to) / static_cast<double>(to - from)), peak};
}

TEST(DLGranulatorTest, AQuantisedTextureIsAsLoudAsAFreeOne) {
  // Every grain of a beat moves onto its line; read from right behind the
  // write point, they would all read the same sound in phase.
  const auto noise = test::WhiteNoise(20 * kSecond);
  const auto render = [&](double quantize) {
    // Both textures draw the same grains; over thirty seeds the beat's peak
    // came to 1.5-1.9 times the free one's, 1.65 with this one.
    QSNoiseSource::FixSeeds(1);
    return Granulate(
        [quantize](TGDLGranulator& g, GraphHarness& h) {
          g.quantizeAmount.SetValue(quantize);
          h.context.Clock().SetRunning(true);
        },
        noise);
  };
  const auto [freeRms, freePeak] = Level(render(0.0).left, 2 * kSecond, 20 * kSecond);
  const auto [gridRms, gridPeak] = Level(render(1.0).left, 2 * kSecond, 20 * kSecond);
  std::printf("free: RMS %.3f, peak %.2f; on the beat: RMS %.3f, peak %.2f\n", freeRms, freePeak,
              gridRms, gridPeak);
  EXPECT_NEAR(20.0 * std::log10(gridRms / freeRms), 0.0, 3.0);
  // The grains of a beat roll in rather than start together, which would
  // reach some four times the peak of a free texture (eleven in phase).
  EXPECT_LT(gridPeak, 2.0 * freePeak);
}

TEST(DLGranulatorTest, TheLevelStaysWhereItIsFromSparseToDenseTextures) {
  // 100 ms grains of noise, 10 to 500 a second: from one at a time to far
  // more than MaxGrains.
  const auto noise = test::WhiteNoise(12 * kSecond);
  double sparse = 0.0;  // the level of the first, one grain at a time
  for (float gapMs : {100.0f, 30.0f, 10.0f, 5.0f, 2.0f}) {
    const auto out = Granulate(
        [gapMs](TGDLGranulator& g, GraphHarness&) {
          Collapse(g.grainDuration, 100.0f);
          Collapse(g.interonsetTime, gapMs);
          g.delayTime.SetValue(FloatRange{0.0f, 5000.0f});
        },
        noise);
    const double rms = std::sqrt((Energy(out.left, 6 * kSecond, 12 * kSecond) +
                                  Energy(out.right, 6 * kSecond, 12 * kSecond)) /
                                 static_cast<double>(6 * kSecond));
    std::printf("%.0f grains a second: RMS %.3f\n", 1000.0 / gapMs, rms);
    if (sparse == 0.0) sparse = rms;
    EXPECT_NEAR(20.0 * std::log10(rms / sparse), 0.0, 3.0) << rms;
  }
}

TEST(DLGranulatorTest, TranspositionsStayWithinTheRange) {
  constexpr double kHz = 1000.0;
  const auto through = [](float lo, float hi) {
    return Granulate(
        [lo, hi](TGDLGranulator& g, GraphHarness&) {
          g.pitchScaler.SetValue(FloatRange{lo, hi});
          g.interonsetTime.SetValue(FloatRange{20.0f, 25.0f});
          g.grainDuration.SetValue(FloatRange{100.0f, 150.0f});
          g.delayTime.SetValue(FloatRange{100.0f, 500.0f});
        },
        Sine(12 * kSecond, kHz));
  };
  {
    const auto out = through(2.0f, 2.0f);
    EXPECT_GT(BandShare(out.left, 2 * kSecond, out.left.size(), 1900, 2100), 0.98);
  }
  {
    const auto out = through(0.5f, 1.5f);
    const size_t from = 2 * kSecond, to = out.left.size();
    EXPECT_GT(BandShare(out.left, from, to, 0.45 * kHz, 1.6 * kHz), 0.99);
    // Spread over the whole range, not stuck at one rate.
    EXPECT_GT(BandShare(out.left, from, to, 0.5 * kHz, 0.8 * kHz), 0.15);
    EXPECT_GT(BandShare(out.left, from, to, 1.2 * kHz, 1.5 * kHz), 0.15);
  }
}

TEST(DLGranulatorTest, PanPositionsStayWithinTheRange) {
  const auto panned = [](float lo, float hi) {
    return Granulate(
        [lo, hi](TGDLGranulator& g, GraphHarness&) {
          Regular(g, 50.0f);
          g.panning.SetValue(FloatRange{lo, hi});
        },
        Buzz(20 * kSecond));
  };
  {
    // The ends are held a hair inside: the far side all but silent.
    const auto left = panned(0.0f, 0.0f);
    EXPECT_LT(Energy(left.right, 0, left.right.size()),
              1e-3 * Energy(left.left, 0, left.left.size()));
    const auto right = panned(1.0f, 1.0f);
    EXPECT_LT(Energy(right.left, 0, right.left.size()),
              1e-3 * Energy(right.right, 0, right.right.size()));
  }
  const auto out = panned(0.3f, 0.7f);
  auto starts = BurstStarts(out.left);
  starts.erase(starts.begin());
  const auto l = BurstEnergies(out.left, starts, 441);
  const auto r = BurstEnergies(out.right, starts, 441);
  GrainPan::Prepare();
  const double widest = GrainPan::Gain(0.3) / GrainPan::Gain(0.7);
  int leftish = 0, rightish = 0;
  for (size_t k = 0; k < starts.size(); ++k) {
    const double ratio = std::sqrt(r[k] / l[k]);
    ASSERT_GT(ratio, 1.0 / widest - 1e-3) << k;
    ASSERT_LT(ratio, widest + 1e-3) << k;
    leftish += ratio < 0.8;
    rightish += ratio > 1.25;
  }
  EXPECT_GT(leftish, 50);
  EXPECT_GT(rightish, 50);
}

void ExpectFiniteAndBounded(const Render& out, float bound, const char* what) {
  for (const auto* s : {&out.left, &out.right}) {
    for (size_t i = 0; i < s->size(); ++i) {
      ASSERT_TRUE(std::isfinite((*s)[i]) && std::fabs((*s)[i]) <= bound)
          << what << " sample " << i << " is " << (*s)[i];
    }
  }
}

TEST(DLGranulatorTest, EndsOfEveryRangeAndHighestFeedbackStayBounded) {
  const auto ends = [](bool low, bool high) {
    return [low, high](TGDLGranulator& g, GraphHarness& h) {
      const auto set = [&](QSRangeProperty& p, float lo, float hi) {
        p.SetValue(FloatRange{low ? lo : hi, high ? hi : lo});
      };
      set(g.amplitude, 0.0f, 1.0f);
      set(g.panning, 0.0f, 1.0f);
      set(g.delayTime, 0.0f, 9500.0f);
      set(g.pitchScaler, 0.25f, 4.0f);
      set(g.interonsetTime, 2.0f, 2000.0f);
      set(g.grainDuration, 5.0f, 500.0f);
      set(g.attDecRatio, 0.0f, 0.9f);
      set(g.grainSkew, 0.05f, 0.95f);
      g.feedback.SetValue(0.9);
      g.inputGain.SetValue(1.5);
      g.quantizeAmount.SetValue(1.0);
      g.quantizeClocks.SetValue(2);
      h.context.Clock().SetRunning(true);
    };
  };
  const auto noise = test::WhiteNoise(30 * kSecond);
  // The whole of every range, all at the low ends, all at the high ends.
  for (const auto& [low, high] : {std::pair{true, true}, {true, false}, {false, true}}) {
    const auto out = Granulate(ends(low, high), noise);
    ExpectFiniteAndBounded(out, 16.0f,
                           low && high ? "whole ranges"
                           : low       ? "low ends"
                                       : "high ends");
  }
  // Dense, long, transposed-up grains feeding back, frozen halfway.
  const auto frozen = Granulate(
      [](TGDLGranulator& g, GraphHarness&) {
        Collapse(g.interonsetTime, 2.0f);
        Collapse(g.grainDuration, 500.0f);
        Collapse(g.pitchScaler, 4.0f);
        g.feedback.SetValue(0.9);
      },
      noise, [](TGDLGranulator& g, size_t b) { g.freeze.SetValue(b >= Blocks(15 * kSecond)); });
  ExpectFiniteAndBounded(frozen, 16.0f, "frozen");
  EXPECT_GT(test::PeakOf(frozen.left, 25 * kSecond, 30 * kSecond), 0.01f);
}

TEST(DLGranulatorTest, ValuesOutsideTheRangesAreHeldToThem) {
  const auto sounding = std::make_shared<int>(0);
  const auto out = Granulate(
      [](TGDLGranulator& g, GraphHarness& h) {
        g.amplitude.SetValue(FloatRange{NAN, 1e9f});
        g.panning.SetValue(FloatRange{-5.0f, NAN});
        g.delayTime.SetValue(FloatRange{-100.0f, 1e9f});
        g.pitchScaler.SetValue(FloatRange{0.0f, 1e6f});
        g.interonsetTime.SetValue(FloatRange{0.0f, 0.0f});
        g.grainDuration.SetValue(FloatRange{0.0f, 1e9f});
        g.attDecRatio.SetValue(FloatRange{-1.0f, 7.0f});
        g.grainSkew.SetValue(FloatRange{NAN, NAN});
        g.feedback.SetValue(1e9);
        g.inputGain.SetValue(NAN);
        g.wetDryMix.SetValue(-3.0);
        g.quantizeAmount.SetValue(5.0);
        g.quantizeClocks.SetValue(-24);
        g.maxGrains.SetValue(1000);
        h.context.Clock().SetRunning(true);
      },
      test::WhiteNoise(20 * kSecond),
      [sounding](TGDLGranulator& g, size_t b) {
        *sounding = std::max(*sounding, g.SoundingGrains());
        if (b == Blocks(10 * kSecond)) {
          g.maxGrains.SetValue(0);
          g.quantizeClocks.SetValue(100000);
        }
        if (b > Blocks(11 * kSecond)) {
          ASSERT_LE(g.SoundingGrains(), 1);
        }
      });
  EXPECT_LE(*sounding, TGDLGranulator::kVoices);
  EXPECT_GT(*sounding, 1);
  ExpectFiniteAndBounded(out, 16.0f, "held");
  EXPECT_GT(test::PeakOf(out.left, 15 * kSecond, 20 * kSecond), 0.01f);
}

TEST(DLGranulatorTest, FreezeKeepsTheLineAndIgnoresTheInput) {
  // The grains' gaps are random: seeded from the clock, the thawed tone's
  // share once fell just short of its bound (0.9885). One seed for every run.
  QSNoiseSource::FixSeeds(1);
  constexpr double kOld = 500.0, kNew = 1500.0;
  constexpr size_t kFreezeAt = 3 * kSecond;
  std::vector<float> in = Sine(25 * kSecond, kOld);
  const auto later = Sine(in.size(), kNew);
  std::copy(later.begin() + kFreezeAt, later.end(), in.begin() + kFreezeAt);
  const auto out = Granulate(
      [](TGDLGranulator& g, GraphHarness&) {
        g.delayTime.SetValue(FloatRange{100.0f, 1000.0f});
        g.grainDuration.SetValue(FloatRange{50.0f, 100.0f});
      },
      in,
      [](TGDLGranulator& g, size_t b) {
        // Frozen from the moment the input changes until 20 s, longer than the line.
        g.freeze.SetValue(b >= Blocks(kFreezeAt) && b < Blocks(20 * kSecond));
      });
  const size_t frozenFrom = kFreezeAt + kSecond;  // the last unfrozen grains are over
  EXPECT_GT(BandShare(out.left, frozenFrom, 20 * kSecond, kOld - 30, kOld + 30), 0.99);
  EXPECT_LT(BandShare(out.left, frozenFrom, 20 * kSecond, kNew - 200, kNew + 200), 1e-4);
  // Still sounding at the end, as loud as before.
  const double before = Energy(out.left, kSecond, 3 * kSecond);
  EXPECT_GT(Energy(out.left, 18 * kSecond, 20 * kSecond), 0.5 * before);
  // Thawed, the new input comes through.
  EXPECT_GT(BandShare(out.left, 22 * kSecond, 25 * kSecond, kNew - 30, kNew + 30), 0.99);
}

// Clicks: samples where the curve bends more than any grain of a steady
// tone does (a sine of 0.5 at 440 Hz bends by 0.002 at most).
size_t Clicks(const std::vector<float>& s, size_t from, size_t to) {
  size_t clicks = 0;
  for (size_t i = std::max<size_t>(from, 2); i < to; ++i)
    clicks += std::fabs(s[i] - 2.0f * s[i - 1] + s[i - 2]) > 0.02f;
  return clicks;
}

TEST(DLGranulatorTest, GrainsReachingTheFrozenWritePointNeverClick) {
  // Long grains from right behind the write point, as a new granulator
  // reads: once frozen, the grains sounding then run into the line's end.
  constexpr size_t kFreezeAt = 2 * kSecond;
  const auto out =
      Granulate([](TGDLGranulator& g, GraphHarness&) { Collapse(g.grainDuration, 500.0f); },
                Sine(4 * kSecond, 440.0),
                [](TGDLGranulator& g, size_t b) { g.freeze.SetValue(b >= Blocks(kFreezeAt)); });
  const size_t before = Clicks(out.left, kSecond, kFreezeAt);
  const size_t frozen = Clicks(out.left, kFreezeAt, 4 * kSecond);
  std::printf("clicks: %zu in the second before the freeze, %zu in the two after\n", before,
              frozen);
  EXPECT_EQ(before, 0u);
  EXPECT_EQ(frozen, 0u);
  EXPECT_GT(Energy(out.left, 3 * kSecond, 4 * kSecond), 1.0);  // still sounding
}

TEST(DLGranulatorTest, AResetLeavesNothingInTheLineToReplay) {
  // Frozen, with feedback: without the reset the old sine would play on.
  const auto out = Granulate(
      [](TGDLGranulator& g, GraphHarness&) {
        g.delayTime.SetValue(FloatRange{100.0f, 1000.0f});
        g.feedback.SetValue(0.9);
        g.wetDryMix.SetValue(1.0);
      },
      Sine(4 * kSecond, 500.0, 0.5f, 0),
      [](TGDLGranulator& g, size_t b) {
        g.freeze.SetValue(b >= Blocks(kSecond));
        if (b == Blocks(2 * kSecond)) g.Reset();
      });
  EXPECT_GT(Energy(out.left, kSecond, 2 * kSecond), 1.0);
  EXPECT_LT(Energy(out.left, 2 * kSecond + kBlockSize, 4 * kSecond), 1e-6);
}

TEST(DLGranulatorTest, FastGrainsNeverReadPastTheLinesEnds) {
  // The line ends up holding 300 Hz in its oldest part and 2000 Hz in its
  // newest: grains four times as fast, frozen, waiting up to a bar for the
  // grid, play 8000 Hz and never what lies beyond the newest sample.
  std::vector<float> in = Sine(20 * kSecond, 300.0);
  const auto newer = Sine(in.size(), 2000.0);
  constexpr size_t kChange = 3 * kSecond, kFreezeAt = 11 * kSecond + kSecond / 2;
  std::copy(newer.begin() + kChange, newer.end(), in.begin() + kChange);
  for (const bool grid : {false, true}) {
    const auto out = Granulate(
        [grid](TGDLGranulator& g, GraphHarness& h) {
          g.delayTime.SetValue(FloatRange{0.0f, 50.0f});
          Collapse(g.pitchScaler, 4.0f);
          g.grainDuration.SetValue(FloatRange{200.0f, 500.0f});
          g.interonsetTime.SetValue(FloatRange{20.0f, 60.0f});
          if (grid) {
            g.quantizeAmount.SetValue(1.0);
            g.quantizeClocks.SetValue(96);
            h.context.Clock().SetRunning(true);
          }
        },
        in, [](TGDLGranulator& g, size_t b) { g.freeze.SetValue(b >= Blocks(kFreezeAt)); });
    EXPECT_GT(Energy(out.left, kFreezeAt + kSecond, out.left.size()), 1.0) << grid;
    EXPECT_LT(BandShare(out.left, kFreezeAt, out.left.size(), 1000, 1400), 1e-4) << grid;
    EXPECT_LT(BandShare(out.left, 5 * kSecond, kFreezeAt, 1000, 1400), 1e-4) << grid;
  }
}

TEST(DLGranulatorTest, FreezeIsNeverStoredSoADocumentOpensUnfrozen) {
  GraphHarness h;
  auto& g = h.Place<TGDLGranulator>();
  g.freeze.SetValue(true);
  QSPropertyTable& table = *g.GetPropertyTable();
  const char* names[] = {"InputGain",      "Amplitude",      "Panning",       "DelayTime",
                         "Feedback",       "WetDryMix",      "PitchScaler",   "InteronsetTime",
                         "QuantizeAmount", "QuantizeClocks", "GrainDuration", "AttDecRatio",
                         "GrainSkew",      "MaxGrains"};
  ASSERT_EQ(table.Count(), 14);
  for (int i = 0; i < 14; ++i) EXPECT_EQ(table.InfoAt(i).name, names[i]);
  std::ostringstream written;
  g.WriteProperties(written);
  EXPECT_EQ(written.str(),
            "{ 1, 1 1, 0 1, 0 0, 0, 1, 1 1, 20 25, 0, 24, 30 40, 0.5 0.5, 0.5 0.5, 20 }");

  auto& reopened = h.Place<TGDLGranulator>();
  std::istringstream in(written.str());
  reopened.ReadProperties(in);
  EXPECT_FALSE(reopened.freeze.Value());
  // Reading values into a frozen one leaves it frozen: only a new one is thawed.
  std::istringstream again(written.str());
  g.ReadProperties(again);
  EXPECT_TRUE(g.freeze.Value());
}

}  // namespace dlgranulator_test
}  // namespace tg
