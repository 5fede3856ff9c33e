#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "dsp/DcBlocker.h"
#include "dsp/DenormalNoise.h"
#include "dsp/GainLimiter.h"
#include "dsp/OutputLimiter.h"

namespace tg {
namespace limiter_blocks_test {

std::vector<float> Sine(double amplitude, double hz, int samples) {
  std::vector<float> s(static_cast<size_t>(samples));
  for (int i = 0; i < samples; ++i) {
    s[static_cast<size_t>(i)] =
        static_cast<float>(amplitude * std::sin(2.0 * std::numbers::pi * hz * i / 44100.0));
  }
  return s;
}

float Peak(const std::vector<float>& s, size_t from, size_t to) {
  float peak = 0.0f;
  for (size_t i = from; i < to; ++i) peak = std::max(peak, std::abs(s[i]));
  return peak;
}

GainLimiter FeedbackLimiter() { return GainLimiter(1.0f, 2.0f, 0.05, 0.0, 0.05); }

TEST(GainLimiterTest, FeedbackLimiterConstantsAreThoseOfTheGraph) {
  GainLimiter limiter = FeedbackLimiter();
  EXPECT_EQ(limiter.AttackLength(), 2205);
  EXPECT_EQ(limiter.ReleaseLength(), 2205);
}

TEST(GainLimiterTest, LoudSineIsClippedAtTheCeilingAndSettlesNearUnity) {
  GainLimiter limiter = FeedbackLimiter();
  std::vector<float> s = Sine(4.0, 441.0, 44100);
  for (size_t at = 0; at < s.size(); at += 256) {
    limiter.Process(s.data() + at, static_cast<int>(std::min<size_t>(256, s.size() - at)));
  }
  EXPECT_LE(Peak(s, 0, s.size()), 2.0f);
  // Within one attack time the peak is brought to about 1.0 and kept there.
  for (size_t from = 2300; from + 441 <= s.size(); from += 441) {
    const float peak = Peak(s, from, from + 441);
    ASSERT_GT(peak, 0.9f) << "at sample " << from;
    ASSERT_LT(peak, 1.1f) << "at sample " << from;
  }
}

TEST(GainLimiterTest, SignalsAtOrBelowTheThresholdPassUnchanged) {
  GainLimiter limiter = FeedbackLimiter();
  std::vector<float> s = Sine(1.0, 1000.0, 8192);
  s[100] = 1.0f;
  s[200] = -1.0f;
  const std::vector<float> original = s;
  limiter.Process(s.data(), static_cast<int>(s.size()));
  EXPECT_EQ(s, original);
  EXPECT_EQ(limiter.GetState(), GainLimiter::State::Idle);
}

TEST(GainLimiterTest, ReleasesBackToUnityAfterABurst) {
  GainLimiter limiter = FeedbackLimiter();
  std::vector<float> burst(2205 * 2, 3.0f);
  limiter.Process(burst.data(), static_cast<int>(burst.size()));
  EXPECT_NEAR(limiter.Gain(), 1.0f / 3.0f, 1e-3f);
  std::vector<float> quiet(2205 * 3, 0.1f);
  limiter.Process(quiet.data(), static_cast<int>(quiet.size()));
  EXPECT_NEAR(limiter.Gain(), 1.0f, 1e-4f);
  EXPECT_EQ(limiter.GetState(), GainLimiter::State::Idle);
}

// A sine with a loud stretch in its middle, a lone infinite sample and a
// stretch just below the threshold: nothing leaves above -0.3 dBFS, the
// release has no step, and outside the loud stretch and the 50 ms after it
// every sample leaves exactly as it came.
TEST(OutputLimiterTest, HoldsTheCeilingAndIsExactOnceQuietFor50Ms) {
  const int blocks = 120;
  std::vector<float> left = Sine(0.5, 441.0, blocks * kBlockSize);
  std::vector<float> right = Sine(0.4, 660.0, blocks * kBlockSize);
  const int loudFrom = 20 * kBlockSize + 77, loudTo = 40 * kBlockSize;
  for (int i = loudFrom; i < loudTo; ++i) left[static_cast<size_t>(i)] *= 3.0f;  // +3.5 dBFS
  right[static_cast<size_t>(10 * kBlockSize)] = INFINITY;
  for (int i = 80 * kBlockSize; i < 90 * kBlockSize; ++i)
    left[static_cast<size_t>(i)] = OutputLimiter::kThreshold * (i % 2 == 0 ? 1.0f : -1.0f);
  const std::vector<float> inLeft = left, inRight = right;
  OutputLimiter limiter;
  int reduced = 0;
  for (int b = 0; b < blocks; ++b) {
    const auto at = static_cast<size_t>(b * kBlockSize);
    reduced += limiter.Process(left.data() + at, right.data() + at);
  }
  int lastOver = 0;
  for (int i = loudFrom; i < loudTo; ++i)
    if (std::abs(inLeft[static_cast<size_t>(i)]) > OutputLimiter::kThreshold) lastOver = i;
  const int exactFrom = lastOver + OutputLimiter::kReleaseSamples;
  EXPECT_GT(reduced, loudTo - loudFrom - 100);
  EXPECT_LE(reduced, exactFrom - loudFrom);
  EXPECT_NEAR(20.0 * std::log10(limiter.LowestGain()), -20.0 * std::log10(1.5 / 0.96605), 0.01);
  float step = 0.0f;
  for (size_t i = 0; i < left.size(); ++i) {
    ASSERT_LE(std::abs(left[i]), OutputLimiter::kThreshold * (1.0f + 1e-6f)) << i;
    const bool exact = static_cast<int>(i) <= loudFrom || static_cast<int>(i) >= exactFrom;
    if (exact) {
      ASSERT_EQ(left[i], inLeft[i]) << i;
      ASSERT_EQ(right[i], inRight[i]) << i;
    } else if (static_cast<int>(i) > loudTo) {
      // The gain rises in a straight line, a 2205th of the way a sample.
      const float gain = left[i] / inLeft[i], before = left[i - 1] / inLeft[i - 1];
      if (std::abs(inLeft[i]) > 0.05f && std::abs(inLeft[i - 1]) > 0.05f)
        step = std::max(step, std::abs(gain - before));
    }
  }
  EXPECT_LT(step, 2.0f / OutputLimiter::kReleaseSamples);
}

TEST(DenormalNoiseTest, StaysWithinItsBoundsAndRepeatsForEqualSeeds) {
  DenormalNoise a(12345 << 16);
  DenormalNoise b(12345 << 16);
  double lowest = 1.0, highest = -1.0;
  for (int i = 0; i < 100000; ++i) {
    const double v = a.Next();
    ASSERT_EQ(v, b.Next());
    lowest = std::min(lowest, v);
    highest = std::max(highest, v);
  }
  EXPECT_GE(lowest, -3.0517578125e-08);
  EXPECT_LT(highest, 3.0517578125e-08);
  EXPECT_LT(lowest, -3.0e-08);  // and it spans the range
  EXPECT_GT(highest, 3.0e-08);
}

TEST(DenormalNoiseTest, FirstValueFollowsTheSequence) {
  DenormalNoise n(0);
  EXPECT_EQ(n.Next(), DenormalNoise::kOffset);  // (0 >> 16) & 0x7FFF is 0
  EXPECT_EQ(n.Seed(), 12345);
}

TEST(DcBlockerTest, RemovesAConstantAndPassesATone) {
  DcBlocker dc;
  std::vector<float> s(44100 * 2, 0.5f);
  dc.Process(s.data(), static_cast<int>(s.size()));
  EXPECT_LT(std::abs(s.back()), 0.01f);

  DcBlocker dc2;
  std::vector<float> tone = Sine(1.0, 1000.0, 44100);
  dc2.Process(tone.data(), static_cast<int>(tone.size()));
  EXPECT_NEAR(Peak(tone, 22050, 44100), 1.0f, 0.01f);
}

}  // namespace limiter_blocks_test
}  // namespace tg
