#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <functional>

#include "contraptions/effects/phaser/TGPhaser.h"
#include "tests/contraptions/NotchProbe.h"
#include "tests/support/GraphHarness.h"

namespace tg {
namespace phaser_test {

using test::GraphHarness;
using test::TransferEstimate;

constexpr size_t kSecond = static_cast<size_t>(kSampleRate);

std::vector<float> Render(const std::function<void(TGPhaser&)>& setup,
                          const std::vector<float>& in) {
  GraphHarness h;
  auto& phaser = h.Place<TGPhaser>();
  setup(phaser);
  h.Feed(phaser, 0, in);
  h.Run(static_cast<int>((in.size() + kBlockSize - 1) / kBlockSize));
  return h.Out(0);
}

void Static(TGPhaser& p, double hz, double feedback, double depth) {
  p.minFrequency.SetValue(hz);
  p.maxFrequency.SetValue(hz);
  p.feedback.SetValue(feedback);
  p.depth.SetValue(depth);
}

// The chain's response at a frequency: six first-order allpasses, two on
// each of the three coefficients.
std::complex<double> Chain(double hz, double breakHz) {
  const std::complex<double> z = std::polar(1.0, -2.0 * M_PI * hz / kSampleRate);
  std::complex<double> a = 1.0;
  for (float cf : TGPhaser::Coefficients(breakHz)) {
    const double c = cf;
    a *= ((z - c) / (1.0 - c * z)) * ((z - c) / (1.0 - c * z));
  }
  return a;
}

// Where the chain turns the phase by one, three and five half turns: added
// to its input it cancels there.
std::vector<double> HalfTurns(double breakHz) {
  std::vector<double> found;
  double previous = 0.0;
  for (double hz = 1.0; hz < kSampleRate / 2; hz += 0.25) {
    const std::complex<double> z = std::polar(1.0, -2.0 * M_PI * hz / kSampleRate);
    double phase = 0.0;  // each stage lags between 0 and a half turn
    for (float cf : TGPhaser::Coefficients(breakHz)) {
      const double c = cf;
      phase += 2.0 * std::arg((z - c) / (1.0 - c * z));
    }
    for (int k : {1, 3, 5}) {
      if (previous > -k * M_PI && phase <= -k * M_PI) found.push_back(hz);
    }
    previous = phase;
  }
  return found;
}

// With feedback g the chain's output comes round one sample later, and the
// deepest point of 1 + A / (1 − g·z⁻¹·A) near each half turn moves.
double DeepestWithFeedback(double nearHz, double breakHz, double g) {
  double best = nearHz, bestGain = 1e300;
  for (double hz = nearHz * 0.6; hz < nearHz * 1.4; hz += 0.25) {
    const std::complex<double> a = Chain(hz, breakHz);
    const std::complex<double> z = std::polar(1.0, -2.0 * M_PI * hz / kSampleRate);
    const double gain = std::abs(1.0 + a / (1.0 - g * z * a));
    if (gain < bestGain) {
      bestGain = gain;
      best = hz;
    }
  }
  return best;
}

TEST(PhaserTest, StillNotchesSitWhereTheChainTurnsByHalfTurns) {
  // The first section's stages turn by a quarter turn each exactly at the
  // break the Range slider shows.
  const std::complex<double> z = std::polar(1.0, -2.0 * M_PI * 1000.0 / kSampleRate);
  const double c = TGPhaser::Coefficients(1000.0)[0];
  EXPECT_NEAR(std::arg((z - c) / (1.0 - c * z)), -M_PI / 2, 1e-5);
  const auto notches = HalfTurns(1000.0);
  ASSERT_EQ(notches.size(), 3u);
  // About 294, 1097 and 4000 Hz.
  EXPECT_NEAR(notches[0], 294.0, 3.0);
  EXPECT_NEAR(notches[1], 1097.0, 3.0);
  EXPECT_NEAR(notches[2], 4000.0, 10.0);
  const auto in = test::WhiteNoise(10 * kSecond);
  {
    const auto out = Render([&](TGPhaser& p) { Static(p, 1000.0, 0.0, 1.0); }, in);
    const TransferEstimate h(in, out, kSecond);
    for (double notch : notches) {
      EXPECT_NEAR(h.DeepestBetween(notch * 0.7, notch * 1.3), notch, 2 * h.BinHz());
      EXPECT_LT(h.DecibelsAt(notch, h.BinHz()), -20.0) << notch;
    }
    EXPECT_NEAR(h.DecibelsAt(20000.0), 6.0, 0.5);  // between notches the chain adds up
  }
  {
    const auto out = Render([&](TGPhaser& p) { Static(p, 1000.0, 0.7, 1.0); }, in);
    const TransferEstimate h(in, out, kSecond);
    for (double notch : notches) {
      const double expected = DeepestWithFeedback(notch, 1000.0, 0.7);
      // The notch above 5 kHz is broad: half a percent there.
      EXPECT_NEAR(h.DeepestBetween(notch * 0.6, notch * 1.4), expected,
                  std::max(3 * h.BinHz(), 0.005 * expected));
    }
  }
  // A steady sine at the middle notch is all but cancelled.
  std::vector<float> sine(3 * kSecond);
  for (size_t i = 0; i < sine.size(); ++i)
    sine[i] = static_cast<float>(std::sin(2.0 * M_PI * notches[1] * i / kSampleRate));
  const auto out = Render([](TGPhaser& p) { Static(p, 1000.0, 0.0, 1.0); }, sine);
  EXPECT_LT(test::PeakOf(out, 2 * kSecond, sine.size()), 0.01f);
}

TEST(PhaserTest, RunningSweepMovesTheNotchBetweenItsEndsAtTheRate) {
  constexpr size_t kFrame = 2048;
  const auto in = test::ImpulseTrain(220, kFrame);
  const auto out = Render(
      [](TGPhaser& p) {
        p.minFrequency.SetValue(400.0);
        p.maxFrequency.SetValue(1000.0);
        p.rate.SetValue(0.5);
        p.feedback.SetValue(0.0);
        p.depth.SetValue(1.0);
      },
      in);
  // The middle notch: about 440 Hz at the bottom of the sweep, 1097 at the top.
  const double bottom = HalfTurns(400.0)[1], top = HalfTurns(1000.0)[1];
  const auto track = test::NotchTrack(out, kFrame, 350.0, 1250.0);
  const auto [lo, hi] = std::minmax_element(track.begin(), track.end());
  EXPECT_NEAR(*lo, bottom, 0.03 * bottom);
  EXPECT_NEAR(*hi, top, 0.03 * top);
  const double period = kSampleRate / 0.5 / kFrame;  // 43.07 frames
  EXPECT_NEAR(test::RepeatLag(track, 25, 65), period, 1.0);
}

TEST(PhaserTest, HighestFeedbackAndEndSettingsStayBoundedOverAMinute) {
  const auto in = test::WhiteNoise(60 * kSecond);
  const std::function<void(TGPhaser&)> settings[] = {
      [](TGPhaser& p) { Static(p, 20.0, 0.95, 1.0); },
      [](TGPhaser& p) { Static(p, 4000.0, 0.95, 1.0); },
      [](TGPhaser& p) {
        p.minFrequency.SetValue(20.0);
        p.maxFrequency.SetValue(4000.0);
        p.rate.SetValue(100.0);
        p.feedback.SetValue(0.95);
      },
      // What only a hand-edited document holds is taken within the ranges.
      [](TGPhaser& p) {
        p.minFrequency.SetValue(0.0);
        p.maxFrequency.SetValue(NAN);
        p.rate.SetValue(-1.0);
        p.feedback.SetValue(1.0);
        p.depth.SetValue(7.0);
      },
  };
  for (const auto& setup : settings) {
    const auto out = Render(setup, in);
    const float middle = test::PeakOf(out, 20 * kSecond, 40 * kSecond);
    const float last = test::PeakOf(out, 40 * kSecond, out.size());
    // A loop gain of 0.95 rings some twentyfold on full-scale noise.
    EXPECT_LT(middle, 100.0f);
    EXPECT_LT(last, 100.0f);
    EXPECT_LT(last, middle * 1.5f);
  }
}

TEST(PhaserTest, NoDepthPassesTheInputExactlyAndTheLoopHoldsNoDc) {
  const auto in = test::WhiteNoise(kSecond);
  const auto dry = Render([](TGPhaser& p) { p.depth.SetValue(0.0); }, in);
  for (size_t i = 0; i < in.size(); ++i) ASSERT_EQ(dry[i], in[i]) << i;

  // A constant input: once the blockers settle, the output is the constant
  // (the chain passes no DC), whatever the feedback.
  const auto out =
      Render([](TGPhaser& p) { p.feedback.SetValue(0.95); }, test::Constant(30 * kSecond, 0.5f));
  for (size_t i = 25 * kSecond; i < 30 * kSecond; ++i) ASSERT_NEAR(out[i], 0.5f, 2e-3f) << i;
}

TEST(PhaserTest, ResetPlaysTheSameAgain) {
  const auto in = test::WhiteNoise(172 * kBlockSize);
  GraphHarness h;
  auto& phaser = h.Place<TGPhaser>();
  auto twice = in;
  twice.insert(twice.end(), in.begin(), in.end());
  h.Feed(phaser, 0, twice);
  h.Run(172);
  phaser.Reset();
  h.Run(172);
  const auto& out = h.Out(0);
  const size_t n = in.size();
  float worst = 0.0f;
  for (size_t i = 0; i < n; ++i) worst = std::max(worst, std::abs(out[n + i] - out[i]));
  EXPECT_LT(worst, 1e-4f);  // only the denormal noise differs
}

}  // namespace phaser_test
}  // namespace tg
