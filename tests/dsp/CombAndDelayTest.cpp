#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "dsp/QSAllpass.h"
#include "dsp/QSComb.h"
#include "dsp/QSDelayLine.h"
#include "dsp/QSVInterp.h"

namespace tg {
namespace comb_and_delay_test {

// Runs a filter over a whole signal, block by block.
template <typename Process>
std::vector<float> RunBlocks(const std::vector<float>& in, Process&& process) {
  std::vector<float> out(in.size());
  for (size_t at = 0; at + kBlockSize <= in.size(); at += kBlockSize) {
    process(in.data() + at, out.data() + at);
  }
  return out;
}

std::vector<float> Impulse(int blocks) {
  std::vector<float> s(static_cast<size_t>(blocks) * kBlockSize, 0.0f);
  s[0] = 1.0f;
  return s;
}

TEST(QSVInterpTest, FirstSetJumpsLaterSetsGlideOverOneBlock) {
  QSVInterp ramp;
  EXPECT_EQ(ramp.Count(), -1);
  ramp.Set(5.0);
  ramp.Step();
  EXPECT_EQ(ramp.Value(), 5.0);  // at the very next sample

  ramp.Set(7.0);
  for (int i = 0; i < kBlockSize - 1; ++i) ramp.Step();
  EXPECT_LT(ramp.Value(), 7.0);
  ramp.Step();
  EXPECT_NEAR(ramp.Value(), 7.0, 1e-12);  // the last sample of the block
  ramp.Step();
  EXPECT_NEAR(ramp.Value(), 7.0, 1e-12);

  QSVInterp blockRate;
  blockRate.Set(1.0);
  blockRate.Set(3.0);
  blockRate.StepBlock();
  EXPECT_NEAR(blockRate.Value(), 3.0, 1e-12);  // held for the whole block
  EXPECT_EQ(blockRate.Count(), 0);
}

TEST(QSCombTest, IntegralAndFractionalDelaysWithoutFeedback) {
  std::vector<float> ramp(kBlockSize * 4);
  for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<float>(i);
  QSComb comb(0.01);
  comb.delay.Set(10.0);
  comb.feedback.Set(0.0);
  auto out = RunBlocks(ramp, [&](const float* in, float* o) { comb.Process(in, o); });
  for (size_t i = 10; i < out.size(); ++i) ASSERT_EQ(out[i], ramp[i - 10]) << i;

  QSComb half(0.01);
  half.delay.Set(10.5);
  half.feedback.Set(0.0);
  out = RunBlocks(ramp, [&](const float* in, float* o) { half.Process(in, o); });
  for (size_t i = 11; i < out.size(); ++i) ASSERT_EQ(out[i], ramp[i - 11] + 0.5f) << i;
}

TEST(QSCombTest, EchoesDecayGeometricallyAcrossRingWraps) {
  // A short ring (L = 512) so that the echoes cross many wraps.
  constexpr int kDelay = 37;
  constexpr float kGain = 0.9f;
  QSComb comb(0.008);
  ASSERT_EQ(comb.Length(), 512);
  comb.delay.Set(kDelay);
  comb.feedback.Set(kGain);
  const auto out = RunBlocks(Impulse(40), [&](const float* in, float* o) { comb.Process(in, o); });
  for (size_t i = 0; i < out.size(); ++i) {
    if (i % kDelay == 0 && i > 0) {
      const int k = static_cast<int>(i / kDelay);
      ASSERT_NEAR(out[i], std::pow(kGain, k - 1), 1e-5) << "echo " << k;
    } else {
      ASSERT_EQ(out[i], 0.0f) << i;
    }
  }
}

TEST(QSCombTest, BlockRateDelayAndAccumulatingFormsAgree) {
  QSComb a(0.05), b(0.05), c(0.05);
  for (QSComb* comb : {&a, &b, &c}) {
    comb->delay.Set(100.25);
    comb->feedback.Set(0.5);
  }
  const auto in = Impulse(8);
  const auto perSample = RunBlocks(in, [&](const float* i, float* o) { a.Process(i, o); });
  const auto blockRate =
      RunBlocks(in, [&](const float* i, float* o) { b.ProcessBlockDelay(i, o); });
  std::vector<float> added(in.size(), 1.0f);
  for (size_t at = 0; at < in.size(); at += kBlockSize) c.ProcessAdd(&in[at], &added[at], 2.0f);
  for (size_t i = 0; i < in.size(); ++i) {
    ASSERT_EQ(perSample[i], blockRate[i]) << i;
    ASSERT_FLOAT_EQ(added[i], 1.0f + 2.0f * perSample[i]) << i;
  }
}

TEST(QSAllpassTest, ImpulseResponse) {
  constexpr int kDelay = 50;
  QSAllpass allpass(0.01);
  allpass.delay.Set(kDelay);
  allpass.feedback.Set(0.7);
  const auto out =
      RunBlocks(Impulse(30), [&](const float* in, float* o) { allpass.Process(in, o); });
  EXPECT_EQ(out[0], -1.0f);
  for (size_t i = 1; i < out.size(); ++i) {
    if (i % kDelay == 0) {
      const int k = static_cast<int>(i / kDelay);
      ASSERT_NEAR(out[i], 0.51 * std::pow(0.7, k - 1), 1e-5) << k;
    } else {
      ASSERT_EQ(out[i], 0.0f) << i;
    }
  }
}

TEST(QSDelayLineTest, LengthAndDelayedReads) {
  EXPECT_EQ(QSDelayLine(2.1).Length(), 92928);

  QSDelayLine line(0.1);  // 4410 samples: L = 17 × 256 + 512
  ASSERT_EQ(line.Length(), 4864);
  std::vector<float> block(kBlockSize), out(kBlockSize);
  const double delay = 300.5 / kSampleRate;
  std::vector<float> history;
  for (int b = 0; b < 60; ++b) {  // many wraps
    for (int i = 0; i < kBlockSize; ++i)
      block[static_cast<size_t>(i)] = static_cast<float>((b * kBlockSize + i) % 1000);
    line.Read(out.data(), delay);
    line.Write(block.data());
    if (b >= 2) {
      for (int i = 0; i < kBlockSize; ++i) {
        const int now = b * kBlockSize + i;
        // Halfway between the samples 300 and 301 back (both on the same side of a 1000 wrap).
        const float a = static_cast<float>((now - 300) % 1000);
        const float c = static_cast<float>((now - 301) % 1000);
        if (std::abs(a - c) == 1.0f) {
          ASSERT_FLOAT_EQ(out[static_cast<size_t>(i)], (a + c) / 2) << now;
        }
      }
    }
  }
}

TEST(QSDelayLineTest, ReadMovingGlidesAndMovesTheDelay) {
  QSDelayLine line(1.0);
  std::vector<float> block(kBlockSize), out(kBlockSize);
  for (int b = 0; b < 100; ++b) {
    for (int i = 0; i < kBlockSize; ++i)
      block[static_cast<size_t>(i)] = static_cast<float>(b * kBlockSize + i);
    line.Write(block.data());
  }
  // Written through 25599; a delay of 1000 samples starts reading at 24600.
  double delay = 1000.0 / kSampleRate;
  line.ReadMoving(out.data(), delay, 0.5);
  EXPECT_FLOAT_EQ(out[0], 24600.0f);
  EXPECT_FLOAT_EQ(out[1], 24600.5f);
  EXPECT_FLOAT_EQ(out[255], 24600.0f + 127.5f);
  EXPECT_NEAR(delay * kSampleRate, 1000.0 + 128.0, 1e-9);
}

TEST(QSDelayLineTest, WildDelaysAndRatesStayInsideTheRing) {
  QSDelayLine line(0.1);
  std::vector<float> block(kBlockSize, 0.5f), out(kBlockSize);
  line.Write(block.data());
  // Whatever is read lies in the ring: the block written or the silence
  // around it, never a value from outside the buffer.
  auto fromTheRing = [&out] {
    return std::all_of(out.begin(), out.end(), [](float v) { return v >= 0.0f && v <= 0.5f; });
  };
  for (double delay : {1e15, -1e15, std::nan(""), 1e300}) {
    line.Read(out.data(), delay);
    EXPECT_TRUE(fromTheRing()) << delay;
    double moving = delay;
    line.ReadMoving(out.data(), moving, 1.0);
    EXPECT_TRUE(fromTheRing()) << delay;
  }
  double d = 0.01;
  line.ReadMoving(out.data(), d, 1e9);
  EXPECT_TRUE(fromTheRing());

  // And the line works on as before.
  std::fill(block.begin(), block.end(), 0.25f);
  line.Write(block.data());
  auto all = [&out](float v) {
    return std::all_of(out.begin(), out.end(), [v](float x) { return std::abs(x - v) < 1e-5f; });
  };
  line.Read(out.data(), kBlockSize / kSampleRate);
  EXPECT_TRUE(all(0.25f));
  line.Read(out.data(), 2 * kBlockSize / kSampleRate);
  EXPECT_TRUE(all(0.5f));
}

}  // namespace comb_and_delay_test
}  // namespace tg
