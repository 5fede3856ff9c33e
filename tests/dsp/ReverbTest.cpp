#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "dsp/QSCmixReverb.h"
#include "dsp/QSNoiseSource.h"

namespace tg {
namespace reverb_test {

struct Stereo {
  std::vector<float> left, right;
};

Stereo Render(QSCmixReverb& reverb, const std::vector<float>& in) {
  Stereo out{std::vector<float>(in.size()), std::vector<float>(in.size())};
  for (size_t at = 0; at + kBlockSize <= in.size(); at += kBlockSize) {
    reverb.Process(&in[at], &out.left[at], &out.right[at]);
  }
  return out;
}

double RmsDb(const std::vector<float>& s, double fromSeconds, double toSeconds) {
  const auto from = static_cast<size_t>(fromSeconds * kSampleRate);
  const auto to = static_cast<size_t>(toSeconds * kSampleRate);
  double sum = 0;
  for (size_t i = from; i < to; ++i) sum += static_cast<double>(s[i]) * s[i];
  return 10.0 * std::log10(sum / static_cast<double>(to - from));
}

TEST(QSCmixReverbTest, AllpassGainsAndDelays) {
  QSCmixReverb reverb;
  EXPECT_NEAR(reverb.AllpassAt(0).feedback.Value(), 0.7, 1e-5);
  EXPECT_NEAR(reverb.AllpassAt(1).feedback.Value(), 0.7, 1e-5);
  EXPECT_NEAR(reverb.AllpassAt(2).feedback.Value(), 0.6975, 1e-4);
  EXPECT_NEAR(reverb.AllpassAt(2).delay.Value() / reverb.AllpassAt(1).delay.Value(), 1.01, 1e-9);
  EXPECT_NEAR(reverb.CombAt(0).delay.Value(), 0.0297 * kSampleRate, 1e-3);
}

TEST(QSCmixReverbTest, DecaysSixtyDecibelsInTheReverbTime) {
  for (double rt : {1.0, 2.0}) {
    QSCmixReverb reverb;
    reverb.SetReverbTime(rt);
    std::vector<float> in(static_cast<size_t>((rt + 2.0) * kSampleRate) / kBlockSize * kBlockSize);
    in[0] = 1.0f;
    const Stereo out = Render(reverb, in);
    // Measured late in the tail: the interpolating combs lose treble on every
    // trip, so the early, bright part of the tail falls faster than 60 dB.
    const double drop = RmsDb(out.left, 1.0, 1.2) - RmsDb(out.left, 1.0 + rt, 1.2 + rt);
    EXPECT_NEAR(drop, 60.0, 3.0) << "reverb time " << rt;
  }
}

TEST(QSCmixReverbTest, LeftAndRightAreDecorrelated) {
  QSCmixReverb reverb;
  QSNoiseSource noise(12345, -1.0, 2.0);
  std::vector<float> in(kBlockSize * 400);
  for (size_t at = 0; at < in.size(); at += kBlockSize) noise.Fill(&in[at]);
  const Stereo out = Render(reverb, in);
  double lr = 0, ll = 0, rr = 0;
  for (size_t i = in.size() / 2; i < in.size(); ++i) {
    lr += static_cast<double>(out.left[i]) * out.right[i];
    ll += static_cast<double>(out.left[i]) * out.left[i];
    rr += static_cast<double>(out.right[i]) * out.right[i];
  }
  const double correlation = lr / std::sqrt(ll * rr);
  // Only the 1 % longer last allpass tells them apart: clearly apart, not independent.
  EXPECT_LT(std::abs(correlation), 0.9) << correlation;
  EXPECT_GT(std::abs(correlation), 0.5) << correlation;
  EXPECT_NEAR(10 * std::log10(ll / rr), 0.0, 1.0);  // equally loud
}

TEST(QSCmixReverbTest, InPlaceProcessingGivesTheSameOutput) {
  QSCmixReverb a, b;
  QSNoiseSource noise(99, -1.0, 2.0);
  std::vector<float> in(kBlockSize * 20);
  for (size_t at = 0; at < in.size(); at += kBlockSize) noise.Fill(&in[at]);
  const Stereo expected = Render(a, in);
  std::vector<float> io = in, right(in.size());
  for (size_t at = 0; at < io.size(); at += kBlockSize) b.Process(&io[at], &io[at], &right[at]);
  EXPECT_EQ(io, expected.left);
  EXPECT_EQ(right, expected.right);
}

}  // namespace reverb_test
}  // namespace tg
