#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>

#include "contraptions/effects/flanger/TGFlanger.h"
#include "tests/contraptions/NotchProbe.h"
#include "tests/support/GraphHarness.h"

namespace tg {
namespace flanger_test {

using test::GraphHarness;
using test::TransferEstimate;

constexpr size_t kSecond = static_cast<size_t>(kSampleRate);

size_t Blocks(size_t samples) { return (samples + kBlockSize - 1) / kBlockSize; }

std::vector<float> Render(const std::function<void(TGFlanger&)>& setup,
                          const std::vector<float>& in) {
  GraphHarness h;
  auto& flanger = h.Place<TGFlanger>();
  setup(flanger);
  h.Feed(flanger, 0, in);
  h.Run(static_cast<int>(Blocks(in.size())));
  return h.Out(0);
}

void Static(TGFlanger& f, double hz, double feedback, double mix) {
  f.minFrequency.SetValue(hz);
  f.maxFrequency.SetValue(hz);
  f.feedback.SetValue(feedback);
  f.wetDryMix.SetValue(mix);
}

TEST(FlangerTest, AStillCombDelaysByOnePeriodOfItsFrequency) {
  // 441 Hz is 100 samples: an impulse comes out once, exactly that much later.
  const auto out =
      Render([](TGFlanger& f) { Static(f, 441.0, 0.0, 1.0); }, test::Impulse(4 * kBlockSize, 10));
  EXPECT_NEAR(out[110], 0.99985f, 1e-3f);
  for (size_t i = 0; i < out.size(); ++i) {
    if (i != 110) {
      ASSERT_LT(std::abs(out[i]), 1e-3f) << i;
    }
  }
}

TEST(FlangerTest, StillNotchesSitHalfwayBetweenTheCombsPitchMultiples) {
  const auto in = test::WhiteNoise(10 * kSecond);
  // Half wet, no feedback: the input plus itself one period of 1 kHz later,
  // cancelling at 500, 1500, 2500 Hz (a fractional delay of 44.1 samples).
  {
    const auto out = Render([](TGFlanger& f) { Static(f, 1000.0, 0.0, 0.5); }, in);
    const TransferEstimate h(in, out, kSecond);
    for (double notch : {500.0, 1500.0, 2500.0}) {
      EXPECT_NEAR(h.DeepestBetween(notch - 150, notch + 150), notch, 2 * h.BinHz());
      EXPECT_LT(h.DecibelsAt(notch), h.DecibelsAt(notch + 500) - 25) << notch;
    }
  }
  // With feedback the loop rings at the pitch and its multiples; the notches stay.
  {
    const auto out = Render([](TGFlanger& f) { Static(f, 1000.0, 0.9, 0.7); }, in);
    const TransferEstimate h(in, out, kSecond);
    for (double peak : {1000.0, 2000.0, 3000.0}) {
      EXPECT_NEAR(h.HighestBetween(peak - 300, peak + 300), peak, 2 * h.BinHz());
      EXPECT_GT(h.DecibelsAt(peak, 0.0), h.DecibelsAt(peak - 500) + 20) << peak;
    }
    EXPECT_NEAR(h.DeepestBetween(1200, 1800), 1500.0, 2 * h.BinHz());
  }
}

TEST(FlangerTest, RunningSweepMovesTheNotchBetweenItsEndsAtTheRate) {
  constexpr size_t kFrame = 2048;
  const auto in = test::ImpulseTrain(220, kFrame);
  const auto out = Render(
      [](TGFlanger& f) {
        f.minFrequency.SetValue(400.0);
        f.maxFrequency.SetValue(800.0);
        f.rate.SetValue(0.5);
        f.feedback.SetValue(0.0);
        f.wetDryMix.SetValue(0.5);
      },
      in);
  // The first notch is half the comb frequency: 200 … 400 Hz.
  const auto track = test::NotchTrack(out, kFrame, 150.0, 450.0);
  const auto [lo, hi] = std::minmax_element(track.begin(), track.end());
  EXPECT_NEAR(*lo, 200.0, 8.0);
  EXPECT_NEAR(*hi, 400.0, 8.0);
  const double period = kSampleRate / 0.5 / kFrame;  // 43.07 frames
  EXPECT_NEAR(test::RepeatLag(track, 25, 65), period, 1.0);
}

TEST(FlangerTest, HighestFeedbackAndEndSettingsStayBoundedOverAMinute) {
  const auto in = test::WhiteNoise(60 * kSecond);
  const std::function<void(TGFlanger&)> settings[] = {
      [](TGFlanger& f) { Static(f, 4000.0, 0.95, 1.0); },
      [](TGFlanger& f) {
        f.minFrequency.SetValue(20.0);
        f.maxFrequency.SetValue(4000.0);
        f.rate.SetValue(100.0);
        f.feedback.SetValue(0.95);
      },
      [](TGFlanger& f) {
        f.rate.SetValue(0.001);
        f.feedback.SetValue(0.95);
      },
      // What only a hand-edited document holds is taken within the ranges.
      [](TGFlanger& f) {
        f.minFrequency.SetValue(0.0);
        f.maxFrequency.SetValue(1e9);
        f.rate.SetValue(0.0);
        f.feedback.SetValue(1.5);
        f.wetDryMix.SetValue(NAN);
      },
  };
  for (const auto& setup : settings) {
    const auto out = Render(setup, in);
    const float middle = test::PeakOf(out, 20 * kSecond, 40 * kSecond);
    const float last = test::PeakOf(out, 40 * kSecond, out.size());
    EXPECT_LT(middle, 40.0f);  // a loop gain of 0.95 resonates at most 20-fold
    EXPECT_LT(last, 40.0f);
    EXPECT_LT(last, middle * 1.5f);
  }
}

TEST(FlangerTest, DryMixPassesTheInputAndResetPlaysTheSameAgain) {
  const auto in = test::WhiteNoise(172 * kBlockSize);
  const auto dry = Render([](TGFlanger& f) { f.wetDryMix.SetValue(0.0); }, in);
  for (size_t i = 0; i < in.size(); ++i) ASSERT_NEAR(dry[i], in[i] * 0.99985f, 1e-4f) << i;

  GraphHarness h;
  auto& flanger = h.Place<TGFlanger>();
  auto twice = in;
  twice.insert(twice.end(), in.begin(), in.end());
  h.Feed(flanger, 0, twice);
  const int blocks = static_cast<int>(in.size() / kBlockSize);
  h.Run(blocks);
  flanger.Reset();
  h.Run(blocks);
  const auto& out = h.Out(0);
  const size_t n = static_cast<size_t>(blocks) * kBlockSize;
  float worst = 0.0f;
  for (size_t i = 0; i < n; ++i) worst = std::max(worst, std::abs(out[n + i] - out[i]));
  EXPECT_LT(worst, 1e-4f);  // only the denormal noise differs
  EXPECT_GT(test::PeakOf(out, 0, n), 0.5f);
}

}  // namespace flanger_test
}  // namespace tg
