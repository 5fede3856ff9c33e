#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <vector>

#include "contraptions/effects/ringam/TGRingAM.h"
#include "tests/support/GraphHarness.h"

namespace tg {
namespace ring_am_test {

using test::GraphHarness;

constexpr double kPi = 3.14159265358979323846;
constexpr int kSecond = static_cast<int>(kSampleRate);
// Two seconds of blocks: the DC blockers settle in the first, the second is measured.
constexpr int kBlocks = 2 * kSecond / kBlockSize + 1;
constexpr size_t kMeasureFrom = static_cast<size_t>(kSecond) / 2;

std::vector<float> Sine(double hz, double amplitude, size_t length = kBlocks * kBlockSize) {
  std::vector<float> s(length);
  for (size_t i = 0; i < length; ++i)
    s[i] = static_cast<float>(amplitude *
                              std::sin(2.0 * kPi * hz * static_cast<double>(i) / kSampleRate));
  return s;
}

// The amplitude of the component at hz over one second (whole cycles of
// every whole-hertz frequency, so the bins do not leak into each other).
double AmplitudeAt(const std::vector<float>& s, double hz, size_t from = kMeasureFrom) {
  std::complex<double> sum = 0.0;
  for (size_t i = 0; i < static_cast<size_t>(kSecond); ++i) {
    const double phase = 2.0 * kPi * hz * static_cast<double>(i) / kSampleRate;
    sum += static_cast<double>(s[from + i]) * std::polar(1.0, -phase);
  }
  return 2.0 * std::abs(sum) / kSecond;
}

double Mean(const std::vector<float>& s, size_t from = kMeasureFrom) {
  double sum = 0.0;
  for (size_t i = 0; i < static_cast<size_t>(kSecond); ++i) sum += s[from + i];
  return sum / kSecond;
}

double Peak(const std::vector<float>& s, size_t from, size_t to) {
  double peak = 0.0;
  for (size_t i = from; i < to; ++i) peak = std::max(peak, std::fabs(static_cast<double>(s[i])));
  return peak;
}

// The output of one RingAM over kBlocks, with the sine's frequency and mode
// and the signal (and, if given, the modulator) on its inlets.
std::vector<float> Render(double hz, bool am, const std::vector<float>& signal,
                          const std::vector<float>* modulator = nullptr) {
  GraphHarness h;
  auto& ring = h.Place<TGRingAM>();
  ring.frequency.SetValue(hz);
  ring.am.SetValue(am);
  h.Feed(ring, 0, signal);
  if (modulator != nullptr) h.Feed(ring, 1, *modulator);
  h.Run(kBlocks);
  return h.Out(0);
}

TEST(RingAMTest, RingModulationGivesTheSumAndDifferenceWithoutTheCarrier) {
  const std::vector<float> out = Render(1000.0, false, Sine(300.0, 0.5));
  EXPECT_NEAR(AmplitudeAt(out, 700.0), 0.25, 0.003);
  EXPECT_NEAR(AmplitudeAt(out, 1300.0), 0.25, 0.003);
  EXPECT_LT(AmplitudeAt(out, 300.0), 1e-3);   // the input is gone
  EXPECT_LT(AmplitudeAt(out, 1000.0), 1e-3);  // and so is the sine
  EXPECT_LT(std::fabs(Mean(out)), 1e-3);

  // A sine at the sine's own frequency: a constant plus the octave.
  const std::vector<float> same = Render(440.0, false, Sine(440.0, 0.5));
  EXPECT_NEAR(std::fabs(Mean(same)), 0.25, 0.003);
  EXPECT_NEAR(AmplitudeAt(same, 880.0), 0.25, 0.003);
  EXPECT_LT(AmplitudeAt(same, 440.0), 1e-3);
}

TEST(RingAMTest, AmplitudeModulationKeepsTheCarrierAndNeverTurnsItOver) {
  const std::vector<float> in = Sine(300.0, 0.5);
  const std::vector<float> out = Render(1000.0, true, in);
  EXPECT_NEAR(AmplitudeAt(out, 300.0), 0.25, 0.003);
  EXPECT_NEAR(AmplitudeAt(out, 700.0), 0.125, 0.003);
  EXPECT_NEAR(AmplitudeAt(out, 1300.0), 0.125, 0.003);

  // The gain (output over input where the input is well away from zero)
  // runs from 0 to 1 with amplitude modulation and from −1 to 1 without.
  auto gainRange = [&](const std::vector<float>& o) {
    double lo = 2.0, hi = -2.0;
    for (size_t i = kMeasureFrom; i < kMeasureFrom + kSecond; ++i) {
      if (std::fabs(in[i]) < 0.3f) continue;
      lo = std::min(lo, static_cast<double>(o[i] / in[i]));
      hi = std::max(hi, static_cast<double>(o[i] / in[i]));
    }
    return std::pair{lo, hi};
  };
  const auto [amLo, amHi] = gainRange(out);
  // (Up to 2 % off for the blocker's slight phase shift.)
  EXPECT_GT(amLo, -0.02);
  EXPECT_LT(amLo, 0.02);
  EXPECT_NEAR(amHi, 1.0, 0.02);
  const auto [ringLo, ringHi] = gainRange(Render(1000.0, false, in));
  EXPECT_NEAR(ringLo, -1.0, 0.02);
  EXPECT_NEAR(ringHi, 1.0, 0.02);
}

TEST(RingAMTest, ASecondInputIsMultipliedInAndTheSineIsNotUsed) {
  const std::vector<float> in = Sine(300.0, 0.5);
  const std::vector<float> modulator = Sine(500.0, 0.8);
  for (bool am : {false, true}) {
    const std::vector<float> out = Render(1000.0, am, in, &modulator);
    double worst = 0.0;
    for (size_t i = kMeasureFrom; i < out.size(); ++i)
      worst = std::max(worst, std::fabs(static_cast<double>(out[i] - in[i] * modulator[i])));
    EXPECT_LT(worst, 0.01) << am;  // the blockers' slight phase shift
    EXPECT_NEAR(AmplitudeAt(out, 200.0), 0.2, 0.003) << am;
    EXPECT_NEAR(AmplitudeAt(out, 800.0), 0.2, 0.003) << am;
    EXPECT_LT(AmplitudeAt(out, 700.0), 1e-3) << am;
  }
  // A silent modulator silences everything, whatever the mode.
  const std::vector<float> zero = test::Constant(in.size(), 0.0f);
  EXPECT_LT(Peak(Render(1000.0, true, in, &zero), kMeasureFrom, in.size()), 1e-6);
}

TEST(RingAMTest, ConstantsAreBlockedOnEitherInlet) {
  const std::vector<float> dc = test::Constant(kBlocks * kBlockSize, 0.5f);
  // The blocker settles with a time constant of about 66 ms: a second is plenty.
  EXPECT_LT(Peak(Render(440.0, false, dc), kSecond, dc.size()), 1e-4);
  EXPECT_LT(Peak(Render(440.0, true, dc), kSecond, dc.size()), 1e-4);
  const std::vector<float> in = Sine(300.0, 0.5);
  EXPECT_LT(Peak(Render(440.0, false, in, &dc), kSecond, dc.size()), 1e-4);
}

TEST(RingAMTest, FrequenciesBeyondTheRangeAreHeldAtItsEnds) {
  const std::vector<float> in = Sine(2000.0, 0.5);
  const std::vector<float> low = Render(0.0, false, in);  // 20 Hz
  EXPECT_NEAR(AmplitudeAt(low, 1980.0), 0.25, 0.003);
  EXPECT_NEAR(AmplitudeAt(low, 2020.0), 0.25, 0.003);
  const std::vector<float> below = Render(-300.0, false, in);
  EXPECT_NEAR(AmplitudeAt(below, 2020.0), 0.25, 0.003);
  const std::vector<float> high = Render(1e9, false, in);  // 1500 Hz
  EXPECT_NEAR(AmplitudeAt(high, 500.0), 0.25, 0.003);
  EXPECT_NEAR(AmplitudeAt(high, 3500.0), 0.25, 0.003);
  for (float v : high) ASSERT_TRUE(std::isfinite(v));
}

TEST(RingAMTest, ModeChangesCrossfadeThroughTheNextBlockWithTheSinesPhaseKept) {
  // One switched from ring to AM after ten blocks sounds, once the next
  // block has crossfaded, like one that was always AM: the sine ran on
  // undisturbed.
  const std::vector<float> in = Sine(300.0, 0.5, 40 * kBlockSize);
  GraphHarness switched;
  auto& a = switched.Place<TGRingAM>();
  switched.Feed(a, 0, in);
  GraphHarness always;
  auto& b = always.Place<TGRingAM>();
  b.am.SetValue(true);
  always.Feed(b, 0, in);
  switched.Run(10);
  always.Run(10);
  a.am.SetValue(true);
  switched.Run(30);
  always.Run(30);
  const auto& x = switched.Out(0);
  const auto& y = always.Out(0);
  auto difference = [&](size_t from, size_t to) {
    double d = 0.0;
    for (size_t i = from; i < to; ++i) d = std::max(d, std::fabs(static_cast<double>(x[i] - y[i])));
    return d;
  };
  EXPECT_GT(difference(0, 10 * kBlockSize), 0.1);  // ring modulation until the switch
  EXPECT_LT(difference(11 * kBlockSize, x.size()), 1e-5);
}

TEST(RingAMTest, ResetStartsTheSineAgainAndNaNPassesWithoutTrace) {
  std::vector<float> in = Sine(300.0, 0.5, 20 * kBlockSize);
  std::vector<float> poisoned = in;
  std::fill(poisoned.begin(), poisoned.begin() + kBlockSize, NAN);
  GraphHarness h;
  auto& ring = h.Place<TGRingAM>();
  ring.frequency.SetValue(700.0);
  h.Feed(ring, 0, in);
  h.Feed(ring, 1, poisoned);
  h.Run(20);
  for (size_t i = 0; i < h.Out(0).size(); ++i) ASSERT_TRUE(std::isfinite(h.Out(0)[i])) << i;

  // The same input twice, with a reset between: the same output twice.
  std::vector<float> twice = in;
  twice.insert(twice.end(), in.begin(), in.end());
  GraphHarness fresh;
  auto& f = fresh.Place<TGRingAM>();
  f.frequency.SetValue(700.0);
  fresh.Feed(f, 0, twice);
  fresh.Run(20);
  f.Reset();
  fresh.Run(20);
  const auto& out = fresh.Out(0);
  const size_t half = in.size();
  EXPECT_GT(Peak(out, 0, half), 0.2);
  double worst = 0.0;
  for (size_t i = 0; i < half; ++i)
    worst = std::max(worst, std::fabs(static_cast<double>(out[half + i] - out[i])));
  EXPECT_LT(worst, 1e-5);
}

}  // namespace ring_am_test
}  // namespace tg
