#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <vector>

#include "contraptions/effects/nastyreverb/TGCmixReverb.h"
#include "dsp/QSNoiseSource.h"
#include "tests/support/GraphHarness.h"

namespace tg {
namespace nasty_reverb_test {

using test::GraphHarness;

size_t Samples(double seconds) { return static_cast<size_t>(seconds * kSampleRate); }
int Blocks(double seconds) { return static_cast<int>(seconds * kSampleRate / kBlockSize) + 1; }

double Rms(const std::vector<float>& s, size_t from, size_t count) {
  double sum = 0.0;
  for (size_t i = from; i < from + count; ++i) sum += static_cast<double>(s[i]) * s[i];
  return std::sqrt(sum / static_cast<double>(count));
}

double Decibels(double x) { return 20.0 * std::log10(x); }

double Peak(const std::vector<float>& s, size_t from, size_t to) {
  double peak = 0.0;
  for (size_t i = from; i < to; ++i) peak = std::max(peak, std::fabs(static_cast<double>(s[i])));
  return peak;
}

std::vector<float> Noise(size_t length, int32_t seed) {
  QSNoiseSource noise(seed, -0.5, 1.0);
  std::vector<float> s(length);
  for (float& v : s) v = static_cast<float>(noise.Next());
  return s;
}

// The fall of an impulse's wet tail, in dB, from a window just after the
// first echoes to the same window `seconds` later (each window 0.2 s, so that
// the combs' echoes average out). Measured between about 140 and 560 Hz: the
// combs' interpolated delays take a little more of the highs on every round,
// so their broadband tail falls somewhat faster than the set time, and the
// input's DC blocker leaves a slow tail of its own at the lowest frequencies.
double TailFall(double reverbTime, double seconds, int outlet = 0) {
  GraphHarness h;
  auto& reverb = h.Place<TGCmixReverb>();
  reverb.reverbTime.SetValue(reverbTime);
  reverb.wetDryMix.SetValue(1.0);
  h.Feed(reverb, 0, test::Impulse(kBlockSize));
  h.Run(Blocks(0.3 + seconds + 0.2));
  std::vector<float> band = h.Out(outlet);
  float slow = 0.0f, fast = 0.0f;
  for (float& v : band) {
    slow += 0.02f * (v - slow);
    fast += 0.08f * (v - fast);
    v = fast - slow;
  }
  return Decibels(Rms(band, Samples(0.3 + seconds), Samples(0.2))) -
         Decibels(Rms(band, Samples(0.3), Samples(0.2)));
}

TEST(NastyReverbTest, AnImpulsesTailFallsSixtyDecibelsInTheReverbTime) {
  for (double rt : {0.5, 1.0, 2.5}) {
    EXPECT_NEAR(TailFall(rt, rt), -60.0, 2.0) << rt;
    EXPECT_NEAR(TailFall(rt, rt / 2, 1), -30.0, 2.0) << rt;
  }
}

TEST(NastyReverbTest, TheMixRunsFromTheDryInputToTheTailAlone) {
  const std::vector<float> in = Noise(Samples(0.5), 3);
  {
    GraphHarness h;
    auto& reverb = h.Place<TGCmixReverb>();
    reverb.wetDryMix.SetValue(0.0);
    h.Feed(reverb, 0, in);
    h.Run(Blocks(1.0));
    for (int o = 0; o < 2; ++o) {
      double worst = 0.0;
      for (size_t i = 0; i < in.size(); ++i)
        worst = std::max(worst, std::fabs(h.Out(o)[i] - 0.99985 * in[i]));
      EXPECT_LT(worst, 1e-5) << o;
      // Once the input stops, the tail is there only at about −136 dB.
      EXPECT_LT(Peak(h.Out(o), in.size(), h.Out(o).size()), 1e-5) << o;
    }
  }
  {
    GraphHarness h;
    auto& reverb = h.Place<TGCmixReverb>();
    reverb.wetDryMix.SetValue(1.0);
    h.Feed(reverb, 0, test::Impulse(kBlockSize));
    h.Run(Blocks(1.0));
    for (int o = 0; o < 2; ++o) {
      // Nothing before the shortest comb's first echo (29.7 ms), then the tail.
      EXPECT_LT(Peak(h.Out(o), 0, Samples(0.029)), 1e-5) << o;
      EXPECT_GT(Peak(h.Out(o), Samples(0.029), Samples(0.1)), 0.05) << o;
    }
  }
}

TEST(NastyReverbTest, LeftAndRightDifferButAreEquallyLoud) {
  GraphHarness h;
  auto& reverb = h.Place<TGCmixReverb>();
  reverb.wetDryMix.SetValue(1.0);
  reverb.reverbTime.SetValue(2.0);
  h.Feed(reverb, 0, Noise(Samples(2.0), 5));
  h.Run(Blocks(2.0));
  const std::vector<float>& l = h.Out(0);
  const std::vector<float>& r = h.Out(1);
  const size_t from = Samples(0.5);
  const size_t n = Samples(1.5);
  const double rl = Rms(l, from, n), rr = Rms(r, from, n);
  // The right's last allpass has a slightly lower gain: a third of a dB quieter.
  EXPECT_NEAR(Decibels(rl / rr), 0.0, 0.5);
  double cross = 0.0;
  for (size_t i = from; i < from + n; ++i) cross += static_cast<double>(l[i]) * r[i];
  const double correlation = cross / (static_cast<double>(n) * rl * rr);
  EXPECT_LT(correlation, 0.9);
}

TEST(NastyReverbTest, SilenceLeavesOnlyATinyNormalNoise) {
  GraphHarness h;
  auto& reverb = h.Place<TGCmixReverb>();
  reverb.reverbTime.SetValue(10.0);
  reverb.wetDryMix.SetValue(1.0);
  h.Run(Blocks(20.0));
  const std::vector<float>& out = h.Out(0);
  const double peak = Peak(out, Samples(10.0), out.size());
  EXPECT_LT(peak, 1e-5);
  EXPECT_GT(peak, 0.0);
  for (size_t i = Samples(10.0); i < out.size(); ++i)
    ASSERT_TRUE(out[i] == 0.0f || std::fabs(out[i]) >= FLT_MIN) << i;
}

TEST(NastyReverbTest, ReverbTimesBeyondTheRangeStillDecay) {
  // From a document: no growing tail at zero or below, no endless one above.
  for (double rt : {0.0, -1.0, 1e9}) {
    GraphHarness h;
    auto& reverb = h.Place<TGCmixReverb>();
    reverb.reverbTime.SetValue(rt);
    reverb.wetDryMix.SetValue(1.0);
    h.Feed(reverb, 0, test::Impulse(kBlockSize));
    h.Run(Blocks(25.0));
    const std::vector<float>& out = h.Out(0);
    for (float v : out) ASSERT_TRUE(std::isfinite(v)) << rt;
    const double start = Rms(out, Samples(0.05), Samples(0.2));
    const double end = Rms(out, Samples(24.0), Samples(0.5));
    EXPECT_LT(Decibels(end / start), -90.0) << rt;  // at most 10 s for 60 dB
  }
}

TEST(NastyReverbTest, ResetCutsTheTailAndAnswersLikeANewOne) {
  const int blocks = Blocks(1.0);
  const size_t half = static_cast<size_t>(blocks) * kBlockSize;
  std::vector<float> twice = test::Impulse(half);
  twice.insert(twice.end(), twice.begin(), twice.end());
  GraphHarness h;
  auto& reverb = h.Place<TGCmixReverb>();
  reverb.reverbTime.SetValue(3.0);
  reverb.wetDryMix.SetValue(1.0);
  h.Feed(reverb, 0, twice);
  h.Run(blocks);
  reverb.Reset();
  h.Run(blocks);
  const std::vector<float>& out = h.Out(0);
  EXPECT_GT(Peak(out, half - Samples(0.1), half), 0.003);  // the tail still rang
  double worst = 0.0;
  for (size_t i = 0; i < half; ++i)
    worst = std::max(worst, std::fabs(static_cast<double>(out[half + i] - out[i])));
  EXPECT_LT(worst, 1e-5);
}

}  // namespace nasty_reverb_test
}  // namespace tg
