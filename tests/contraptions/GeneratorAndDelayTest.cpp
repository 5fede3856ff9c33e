#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "contraptions/effects/sdelay/TGSDelay.h"
#include "contraptions/generators/testgen/TGTestSignalGenerator.h"
#include "tests/support/GraphHarness.h"

namespace tg {
namespace generator_and_delay_test {

using test::GraphHarness;

float Peak(const std::vector<float>& s, size_t from, size_t to) {
  float peak = 0;
  for (size_t i = from; i < to && i < s.size(); ++i) peak = std::max(peak, std::abs(s[i]));
  return peak;
}

TEST(TestGenTest, SilentUntilRaisedThenGlidesUpWithoutAClick) {
  GraphHarness h;
  auto& gen = h.Place<TGTestSignalGenerator>();
  h.Run(10);
  EXPECT_EQ(Peak(h.Out(0), 0, h.Out(0).size()), 0.0f);

  gen.amplitude.SetValue(1.0);
  gen.frequency.SetValue(441.0);
  h.Run(200);
  const auto& out = h.Out(0);
  // The 20 Hz glide: about 1 − 1/e of the way after 1/(2π·20) s.
  const size_t start = 10 * kBlockSize;
  const size_t tau = start + static_cast<size_t>(kSampleRate / (2 * 3.14159265 * 20));
  EXPECT_NEAR(Peak(out, tau - 60, tau + 60), 1.0 - std::exp(-1.0), 0.05);
  for (size_t i = start + 1; i < start + 4000; ++i)
    ASSERT_LT(std::abs(out[i] - out[i - 1]), 0.07f) << i;
  EXPECT_NEAR(Peak(out, out.size() - 4410, out.size()), 1.0f, 0.01f);

  // The frequency, from upward zero crossings over one second.
  int crossings = 0;
  for (size_t i = out.size() - 44100; i < out.size(); ++i)
    crossings += out[i - 1] < 0 && out[i] >= 0;
  EXPECT_NEAR(crossings, 441, 1);
}

TEST(TestGenTest, FrequencyChangesContinueThePhaseAndSilenceEndsAtExactZero) {
  GraphHarness h;
  auto& gen = h.Place<TGTestSignalGenerator>();
  gen.amplitude.SetValue(0.5);
  h.Run(100);
  gen.frequency.SetValue(100.0);
  h.Run(5);
  const auto& out = h.Out(0);
  const size_t at = 100 * kBlockSize;
  EXPECT_LT(std::abs(out[at] - out[at - 1]), 0.05f);  // no jump at the change

  gen.amplitude.SetValue(0.0);
  h.Run(200);
  EXPECT_EQ(h.Out(0).back(), 0.0f);
  EXPECT_EQ(Peak(h.Out(0), h.Out(0).size() - kBlockSize, h.Out(0).size()), 0.0f);
}

TEST(TestGenTest, NoiseStaysWithinTheAmplitude) {
  GraphHarness h;
  auto& gen = h.Place<TGTestSignalGenerator>();
  gen.waveform.SetValue(0);
  gen.amplitude.SetValue(0.3);
  h.Run(400);
  const auto& out = h.Out(0);
  float lo = 1, hi = -1;
  for (size_t i = out.size() - 44100; i < out.size(); ++i) {
    lo = std::min(lo, out[i]);
    hi = std::max(hi, out[i]);
  }
  EXPECT_GE(lo, -0.3f);
  EXPECT_LT(hi, 0.3f);
  EXPECT_LT(lo, -0.29f);
  EXPECT_GT(hi, 0.29f);
}

size_t FirstNonZero(const std::vector<float>& s, size_t from = 0) {
  for (size_t i = from; i < s.size(); ++i) {
    if (std::abs(s[i]) > 1e-3f) return i;
  }
  return s.size();
}

TEST(SDelayTest, DelaysAreClampedTo20And2000Milliseconds) {
  GraphHarness h;
  auto& delay = h.Place<TGSDelay>();
  delay.leftDelay.SetValue(5);
  delay.rightDelay.SetValue(3000);
  delay.feedback.SetValue(0.0);
  h.Feed(delay, 0, test::Impulse(kBlockSize * 400, 0));
  h.Run(400);
  EXPECT_EQ(FirstNonZero(h.Out(0)), 882u);      // 20 ms
  EXPECT_EQ(FirstNonZero(h.Out(1)), 88200u);    // 2000 ms
  EXPECT_NEAR(h.Out(0)[882], 0.99985f, 1e-5f);  // the wet coefficient at mix 1
}

TEST(SDelayTest, MonoInputFeedsBothLinesAndStereoInputsCrossOver) {
  {
    GraphHarness h;
    auto& delay = h.Place<TGSDelay>();
    delay.leftDelay.SetValue(100);
    delay.rightDelay.SetValue(300);
    delay.feedback.SetValue(0.0);
    h.Feed(delay, 0, test::Impulse(kBlockSize * 80, 0));
    h.Run(80);
    EXPECT_EQ(FirstNonZero(h.Out(0)), 4410u);
    EXPECT_EQ(FirstNonZero(h.Out(1)), 13230u);
  }
  {
    GraphHarness h;
    auto& delay = h.Place<TGSDelay>();
    delay.leftDelay.SetValue(100);
    delay.rightDelay.SetValue(300);
    delay.feedback.SetValue(0.0);
    h.Feed(delay, 0, test::Impulse(kBlockSize * 80, 0, 1.0f));
    h.Feed(delay, 1, test::Impulse(kBlockSize * 80, 10, -0.5f));
    h.Run(80);
    EXPECT_EQ(FirstNonZero(h.Out(0)), 4420u);  // the right input, left delay
    EXPECT_NEAR(h.Out(0)[4420], -0.5f * 0.99985f, 1e-5f);
    EXPECT_EQ(FirstNonZero(h.Out(1)), 13230u);  // the left input, right delay
  }
}

TEST(SDelayTest, FeedbackEchoesDecayByTheFeedback) {
  GraphHarness h;
  auto& delay = h.Place<TGSDelay>();
  delay.rightDelay.SetValue(100);
  delay.feedback.SetValue(0.5);
  h.Feed(delay, 0, test::Impulse(kBlockSize * 80, 0));
  h.Run(80);
  const auto& right = h.Out(1);
  for (int k = 1; k <= 3; ++k) {
    EXPECT_NEAR(right[4410u * k], std::pow(0.5f, k - 1) * 0.99985f, 1e-4f) << k;
  }
}

TEST(SDelayTest, SemiquaversFollowTheTempoAndDryMixPassesTheInput) {
  EXPECT_DOUBLE_EQ(TGSDelay::MillisecondsPerSemiquaver(918.75), 125.0);
  GraphHarness h;
  auto& delay = h.Place<TGSDelay>();
  delay.delayUnits.SetValue(1);
  delay.leftDelay.SetValue(1);    // 125 ms at 120 beats a minute
  delay.rightDelay.SetValue(17);  // more than 2000 ms: clamped
  delay.feedback.SetValue(0.0);
  h.Feed(delay, 0, test::Impulse(kBlockSize * 400, 0));
  h.Run(400);
  EXPECT_EQ(FirstNonZero(h.Out(0)), 5512u);
  EXPECT_EQ(FirstNonZero(h.Out(1)), 88200u);

  GraphHarness dry;
  auto& d = dry.Place<TGSDelay>();
  d.wetDryMix.SetValue(0.0);
  dry.Feed(d, 0, test::Constant(kBlockSize * 4, 0.5f));
  dry.Run(4);
  EXPECT_NEAR(dry.Out(0)[100], 0.5f * 0.99985f, 1e-5f);
  EXPECT_NEAR(dry.Out(1)[100], 0.5f * 0.99985f, 1e-5f);
}

}  // namespace generator_and_delay_test
}  // namespace tg
