#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <functional>
#include <limits>
#include <numbers>
#include <string>

#include "contraptions/filters/combs5/TG5Combs.h"
#include "tests/contraptions/NotchProbe.h"
#include "tests/support/GraphHarness.h"

namespace tg {
namespace combs_test {

using test::GraphHarness;
using test::TransferEstimate;

constexpr size_t kSecond = static_cast<size_t>(kSampleRate);

int Blocks(size_t samples) { return static_cast<int>((samples + kBlockSize - 1) / kBlockSize); }

// Runs the combs over an input; between(harness, combs) is called after the
// first block, for changes made while sound runs.
std::vector<float> Render(const std::function<void(TG5Combs&)>& setup, const std::vector<float>& in,
                          const std::function<void(TG5Combs&)>& afterFirstBlock = {}) {
  GraphHarness h;
  auto& combs = h.Place<TG5Combs>();
  setup(combs);
  h.Feed(combs, 0, in);
  if (afterFirstBlock) {
    h.Run(1);
    afterFirstBlock(combs);
    h.Run(Blocks(in.size()) - 1);
  } else {
    h.Run(Blocks(in.size()));
  }
  return h.Out(0);
}

// Only comb i sounds, tuned and timed as given.
void Solo(TG5Combs& c, int i, double hz, double seconds) {
  c.inputGain.SetValue(1.0);
  for (auto& g : c.gain) g.SetValue(0.0);
  c.gain[static_cast<size_t>(i)].SetValue(1.0);
  c.frequency[static_cast<size_t>(i)].SetValue(hz);
  c.reverbTime[static_cast<size_t>(i)].SetValue(seconds);
}

// The level in decibels of one partial in the 40 ms around a time (a Hann
// window keeps the neighbouring partials out). The interpolated loop damps
// the upper partials of a ringing comb faster; the reverb time is the
// fundamental's.
double ToneLevelAt(const std::vector<float>& s, double seconds, double hz) {
  const auto centre = static_cast<size_t>(seconds * kSampleRate);
  const size_t n = kSecond / 25;
  std::complex<double> sum = 0.0;
  for (size_t i = 0; i < n; ++i) {
    const double w = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * static_cast<double>(i) / n);
    const double phase = -2.0 * std::numbers::pi * hz * static_cast<double>(i) / kSampleRate;
    sum += w * static_cast<double>(s[centre - n / 2 + i]) * std::polar(1.0, phase);
  }
  return 20.0 * std::log10(std::abs(sum));
}

double Rms(const std::vector<float>& s, size_t from) {
  double sum = 0.0;
  for (size_t i = from; i < s.size(); ++i) sum += static_cast<double>(s[i]) * s[i];
  return std::sqrt(sum / static_cast<double>(s.size() - from));
}

TEST(CombsTest, ParametersInTheirStoredOrderWithTheirDefaults) {
  GraphHarness h;
  QSPropertyTable* table = h.Place<TG5Combs>().GetPropertyTable();
  ASSERT_EQ(table->Count(), 16);
  const std::string names[] = {"InputGain", "Frequency_", "ReverbTime_", "Gain_"};
  EXPECT_EQ(table->InfoAt(0).name, names[0]);
  const double defaults[3][5] = {
      {110, 220, 440, 880, 1760}, {1, 2, 3, 4, 5}, {1, 0.5, 0.25, 0.125, 0.0625}};
  const double ranges[3][2] = {{16.0, 2000.0}, {0.02, 10.0}, {0.0, 1.5}};
  for (int group = 0; group < 3; ++group) {
    for (int i = 0; i < 5; ++i) {
      const QSPropertyInfo& info = table->InfoAt(1 + group * 5 + i);
      EXPECT_EQ(info.name, names[group + 1] + std::to_string(i));
      EXPECT_EQ(info.defaultValue, defaults[group][i]) << info.name;
      EXPECT_EQ(info.minimum, ranges[group][0]) << info.name;
      EXPECT_EQ(info.maximum, ranges[group][1]) << info.name;
    }
  }
}

TEST(CombsTest, NoiseRingsAtTheFiveFrequenciesAndTheirHarmonics) {
  const double tuning[5] = {180.0, 275.0, 395.0, 520.0, 730.0};
  const auto in = test::WhiteNoise(8 * kSecond);
  const auto out = Render(
      [&](TG5Combs& c) {
        c.inputGain.SetValue(1.0);
        for (size_t i = 0; i < 5; ++i) {
          c.frequency[i].SetValue(tuning[i]);
          c.reverbTime[i].SetValue(2.0);  // peaks far narrower than a bin: the bin holds them
          c.gain[i].SetValue(1.0);
        }
      },
      in);
  const TransferEstimate h(in, out, kSecond);
  const double trough = h.DecibelsAt(1725.0, 0.0);  // 65 Hz from every multiple
  for (double f : tuning) {
    EXPECT_NEAR(h.HighestBetween(f - 25, f + 25), f, 2 * h.BinHz()) << f;
    EXPECT_GT(h.DecibelsAt(h.HighestBetween(f - 25, f + 25), 0.0), trough + 15) << f;
  }
  // Each comb rings at every multiple of its pitch, too.
  EXPECT_NEAR(h.HighestBetween(1440 - 8, 1440 + 8), 1440.0, 2 * h.BinHz());  // 8 × 180
  EXPECT_NEAR(h.HighestBetween(2920 - 8, 2920 + 8), 2920.0, 2 * h.BinHz());  // 4 × 730
  EXPECT_GT(h.DecibelsAt(1440.0, 0.0), trough + 10);
}

TEST(CombsTest, AnImpulseEchoesEveryPeriodAndFallsBySixtyDecibelsInTheReverbTime) {
  // 440 Hz at 44100 Hz is a loop of 100.23 samples: the first echo lands
  // between samples 100 and 101, three quarters on the first.
  const auto out =
      Render([](TG5Combs& c) { Solo(c, 2, 440.0, 0.5); }, test::Impulse(kSecond + kSecond / 2));
  for (size_t i = 0; i < 100; ++i) ASSERT_LT(std::abs(out[i]), 1e-5f) << i;
  EXPECT_NEAR(out[100], 0.7727f, 2e-3f);
  EXPECT_NEAR(out[101], 0.2273f, 2e-3f);
  // 0.3 s later the ringing is 36 dB down (60 dB in 0.5 s).
  EXPECT_NEAR(ToneLevelAt(out, 0.1, 440.0) - ToneLevelAt(out, 0.4, 440.0), 36.0, 1.5);
  // Every one of the five rings out in its own time.
  for (int k = 0; k < 5; ++k) {
    const double hz = 220.0 + 110.0 * k, time = 0.25 + 0.25 * k;
    const auto alone =
        Render([&](TG5Combs& c) { Solo(c, k, hz, time); }, test::Impulse(kSecond + kSecond / 2));
    EXPECT_NEAR(ToneLevelAt(alone, 0.1, hz) - ToneLevelAt(alone, 0.4, hz), 18.0 / time, 1.5)
        << "comb " << k;
  }

  // Longer times ring longer; the longest still dies away.
  const auto longer =
      Render([](TG5Combs& c) { Solo(c, 2, 440.0, 2.0); }, test::Impulse(3 * kSecond));
  EXPECT_NEAR(ToneLevelAt(longer, 0.1, 440.0) - ToneLevelAt(longer, 1.1, 440.0), 30.0, 1.5);
}

TEST(CombsTest, ANewFrequencyKeepsTheLoopGainUntilTheTimeIsSetAgain) {
  const auto impulse = test::Impulse(kSecond, 2 * kBlockSize);
  const auto drop = [](const std::vector<float>& s, double hz) {
    return ToneLevelAt(s, 0.1, hz) - ToneLevelAt(s, 0.3, hz);
  };
  const auto at110 = Render([](TG5Combs& c) { Solo(c, 0, 110.0, 1.0); }, impulse);
  EXPECT_NEAR(drop(at110, 110.0), 12.0, 1.0);  // 60 dB a second
  // An octave up, the same loop gain comes round twice as often.
  const auto at220 = Render([](TG5Combs& c) { Solo(c, 0, 110.0, 1.0); }, impulse,
                            [](TG5Combs& c) { c.frequency[0].SetValue(220.0); });
  EXPECT_NEAR(drop(at220, 220.0), 24.0, 1.5);
  // Setting the time again makes the loop ring for it at the new pitch.
  const auto retimed = Render([](TG5Combs& c) { Solo(c, 0, 110.0, 1.0); }, impulse,
                              [](TG5Combs& c) {
                                c.frequency[0].SetValue(220.0);
                                c.reverbTime[0].SetValue(1.0);
                              });
  EXPECT_NEAR(drop(retimed, 220.0), 12.0, 1.0);
}

TEST(CombsTest, TheInputGainScalesAllFiveAndStartsAtSilence) {
  const auto in = test::WhiteNoise(2 * kSecond);
  const auto all = [](double inputGain) {
    return [inputGain](TG5Combs& c) {
      c.inputGain.SetValue(inputGain);
      for (auto& g : c.gain) g.SetValue(1.0);
    };
  };
  const double full = Rms(Render(all(1.0), in), kSecond);
  const double quarter = Rms(Render(all(0.25), in), kSecond);
  EXPECT_GT(full, 1.0);
  EXPECT_NEAR(quarter / full, 0.25, 0.0025);
  // A new one is silent: only the anti-denormal noise goes round.
  const auto fresh = Render([](TG5Combs&) {}, in);
  EXPECT_LT(test::PeakOf(fresh, 0, fresh.size()), 1e-5f);
}

TEST(CombsTest, StoredValuesAtAndBeyondTheEndsKeepTheOutputFiniteAndBounded) {
  // The lowest pitch fits its ring: a loop of 2756.25 samples at 16 Hz.
  // A frequency of 0 (or less, or not a number) plays as the lowest.
  for (double hz : {16.0, 0.0, -50.0, std::numeric_limits<double>::quiet_NaN()}) {
    const auto out = Render([hz](TG5Combs& c) { Solo(c, 1, hz, 1.0); }, test::Impulse(kSecond));
    for (size_t i = 0; i < 2756; ++i) ASSERT_LT(std::abs(out[i]), 1e-5f) << hz << " " << i;
    EXPECT_NEAR(out[2756], 0.75f, 2e-3f) << hz;
    EXPECT_NEAR(out[2757], 0.25f, 2e-3f) << hz;
  }
  // Times at and past both ends, wild gains: the loops stay below 1.
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  auto noise = test::WhiteNoise(2 * kSecond);
  noise.resize(4 * kSecond, 0.0f);  // then silence, to ring out
  const auto out = Render(
      [&](TG5Combs& c) {
        c.inputGain.SetValue(inf);
        const double times[5] = {0.0, -1.0, 10.0, 1e12, nan};
        const double pitches[5] = {2000.0, 5000.0, 2000.0, 1e9, 16.0};
        for (size_t i = 0; i < 5; ++i) {
          c.reverbTime[i].SetValue(times[i]);
          c.frequency[i].SetValue(pitches[i]);
          c.gain[i].SetValue(i == 4 ? nan : 1e9);
        }
      },
      noise);
  for (size_t i = 0; i < out.size(); ++i) ASSERT_TRUE(std::isfinite(out[i])) << i;
  const float loud = test::PeakOf(out, 0, 2 * kSecond);
  EXPECT_LT(loud, 1e5f);
  // Even the longest time (10 s, the two loops past it held there) dies down.
  EXPECT_LT(test::PeakOf(out, 3 * kSecond + kSecond / 2, 4 * kSecond), loud * 0.5f);
}

TEST(CombsTest, ResetSilencesTheRingingAndTunesAgain) {
  GraphHarness h;
  auto& combs = h.Place<TG5Combs>();
  Solo(combs, 0, 110.0, 10.0);
  h.Feed(combs, 0, test::Impulse(4 * kBlockSize));
  h.Run(2);
  EXPECT_GT(test::PeakOf(h.Out(0), 0, 2 * kBlockSize), 0.5f);
  combs.Reset();
  h.Run(2);
  EXPECT_LT(test::PeakOf(h.Out(0), 2 * kBlockSize, 4 * kBlockSize), 1e-5f);
  EXPECT_DOUBLE_EQ(combs.LoopDelay(0), kSampleRate / 110.0);
}

}  // namespace combs_test
}  // namespace tg
