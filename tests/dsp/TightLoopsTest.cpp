// The block loops against plain per-sample loops (the way they were written
// before they were made fast): the output must be the very same bits.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <type_traits>
#include <utility>
#include <vector>

#include "contraptions/effects/sdelay/TGSDelay.h"
#include "contraptions/generators/testgen/TGTestSignalGenerator.h"
#include "contraptions/mixers/mixers/TGMixers.h"
#include "dsp/DcBlocker.h"
#include "dsp/DenormalNoise.h"
#include "dsp/EqualPowerMix.h"
#include "dsp/GainLimiter.h"
#include "dsp/GainSmoother.h"
#include "dsp/Interpolation.h"
#include "dsp/NonFinite.h"
#include "dsp/QSAllpass.h"
#include "dsp/QSComb.h"
#include "dsp/QSDelayLine.h"
#include "dsp/QSFunctionTable.h"
#include "dsp/QSNoiseSource.h"
#include "dsp/QSOscillator.h"
#include "dsp/QSSineRotor.h"
#include "dsp/QSVInterp.h"
#include "dsp/SampleConversion.h"
#include "dsp/SineRotorBank.h"
#include "tests/support/GraphHarness.h"

namespace tg {
namespace tight_loops_test {

using Block = std::array<float, kBlockSize>;
using test::GraphHarness;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

bool SameBits(const float* a, const float* b, size_t n) {
  return n == 0 || std::memcmp(a, b, n * sizeof(float)) == 0;
}
bool SameBits(float a, float b) { return std::bit_cast<uint32_t>(a) == std::bit_cast<uint32_t>(b); }
bool SameBits(const std::vector<float>& a, const std::vector<float>& b) {
  return a.size() == b.size() && SameBits(a.data(), b.data(), a.size());
}

// The first index where two runs differ, for the failure message.
size_t FirstDifference(const std::vector<float>& a, const std::vector<float>& b) {
  for (size_t i = 0; i < std::min(a.size(), b.size()); ++i) {
    if (!SameBits(a[i], b[i])) return i;
  }
  return std::min(a.size(), b.size());
}

// The program's LCG, written out: every block of noise must be this sequence.
struct PlainNoise {
  uint32_t seed;
  double offset;
  double scale;
  double Next() {
    const uint32_t s = seed;
    seed = s * 1103515245u + 12345u;
    return static_cast<double>((s >> 16) & 0x7FFFu) * (1.0 / 32768.0) * scale + offset;
  }
};

Block Noise(uint32_t seed, double offset = -1.0, double scale = 2.0) {
  PlainNoise n{seed, offset, scale};
  Block b;
  for (float& s : b) s = static_cast<float>(n.Next());
  return b;
}

std::vector<float> NoiseRun(uint32_t seed, size_t length, double offset, double scale) {
  PlainNoise n{seed, offset, scale};
  std::vector<float> v(length);
  for (float& s : v) s = static_cast<float>(n.Next());
  return v;
}

// ---------------------------------------------------------------- smoother

struct PlainSmoother {
  explicit PlainSmoother(const GainSmoother& like) : p(like.Pole()), a(1.0f - like.Pole()) {}
  void Apply(const float* in, float* out) {
    for (int i = 0; i < kBlockSize; ++i) {
      y = a * target + p * y;
      out[i] = y * in[i];
    }
    if (y > -1e-8f && y < 1e-7f) y = 0.0f;
  }
  void ApplyAdd(const float* in, float* out) {
    for (int i = 0; i < kBlockSize; ++i) {
      y = a * target + p * y;
      out[i] += y * in[i];
    }
    if (y > -1e-8f && y < 1e-7f) y = 0.0f;
  }
  bool AtFixedPoint() const { return a * target + p * y == y; }
  float p;
  float a;
  float y = 0.0f;
  float target = 0.0f;
};

TEST(TightLoopsTest, SmootherRisesSettlesFallsToZeroAndAddsLikeThePlainLoop) {
  GainSmoother smoother(static_cast<float>(kSampleRate), 20.0);
  PlainSmoother plain(smoother);
  struct Stretch {
    double target;
    int blocks;
  };
  // Rising to a fixed point, a new target on the way, down to zero and
  // resting there, negative, and one block per target for a while.
  const Stretch stretches[] = {{0.1, 40},  {0.7, 5}, {0.25, 40}, {0.0, 60}, {-0.5, 40},
                               {1.0, 1},   {0.3, 1}, {0.9, 1},   {1.0, 30}, {1e-9, 10},
                               {-0.0, 10}, {0.5, 3}, {0.5, 30}};
  int settledBlocks = 0;
  int zeroBlocks = 0;
  uint32_t seed = 1;
  for (const Stretch& s : stretches) {
    smoother.SetTarget(s.target);
    plain.target = static_cast<float>(s.target);
    for (int b = 0; b < s.blocks; ++b, ++seed) {
      settledBlocks += plain.AtFixedPoint();
      zeroBlocks += plain.AtFixedPoint() && plain.y == 0.0f;
      const Block in = Noise(seed);
      // Apart, in place, and adding (apart and in place), by turns.
      Block out{};
      Block want{};
      Block base = Noise(seed + 1000);
      switch (seed % 4) {
        case 0:
          smoother.Apply(in.data(), out.data());
          plain.Apply(in.data(), want.data());
          break;
        case 1:
          out = in;
          want = in;
          smoother.Apply(out.data(), out.data());
          plain.Apply(want.data(), want.data());
          break;
        case 2:
          out = base;
          want = base;
          smoother.ApplyAdd(in.data(), out.data());
          plain.ApplyAdd(in.data(), want.data());
          break;
        default:
          out = in;
          want = in;
          smoother.ApplyAdd(out.data(), out.data());
          plain.ApplyAdd(want.data(), want.data());
          break;
      }
      ASSERT_TRUE(SameBits(out.data(), want.data(), kBlockSize))
          << "target " << s.target << " block " << b;
      ASSERT_TRUE(SameBits(smoother.Value(), plain.y)) << "target " << s.target << " block " << b;
    }
  }
  // Both paths ran: whole blocks at the fixed point, at zero too.
  EXPECT_GT(settledBlocks, 100);
  EXPECT_GT(zeroBlocks, 20);
}

// ---------------------------------------------------------------- ramps

TEST(TightLoopsTest, RampGainsMatchStepByStepWhileRampingAndSettled) {
  QSVInterp ramp;
  uint32_t seed = 7;
  // Each entry: a new target (or none), and steps taken one by one before
  // the block, which leaves part of a ramp for it.
  struct Move {
    bool set;
    double target;
    int singleSteps;
  };
  const Move moves[] = {{false, 0, 0},  {true, 0.5, 0},   {false, 0, 0}, {true, 0.8, 0},
                        {false, 0, 0},  {true, 0.1, 100}, {false, 0, 0}, {true, -0.3, 255},
                        {true, 2.0, 0}, {true, 0.25, 1},  {false, 0, 3}, {true, 0.0, 0},
                        {false, 0, 0},  {true, 0.6, 17}};
  int ramping = 0;
  int settled = 0;
  for (const Move& m : moves) {
    if (m.set) ramp.Set(m.target);
    for (int k = 0; k < m.singleSteps; ++k) ramp.Step();
    (ramp.Count() > 0 ? ramping : settled) += 1;
    // Each way of applying the gain, from the same point of the ramp.
    QSVInterp plain = ramp;
    for (int variant = 0; variant < 4; ++variant, ++seed) {
      QSVInterp tested = ramp;
      plain = ramp;
      const bool inPlace = variant >= 2;
      const Block in = Noise(seed);
      Block out = inPlace ? in : Noise(seed + 500);
      Block want = out;
      const float* source = inPlace ? out.data() : in.data();
      const float* plainSource = inPlace ? want.data() : in.data();
      if (variant % 2 == 0) {
        tested.ApplyGain(source, out.data());
        for (int i = 0; i < kBlockSize; ++i) {
          plain.Step();
          want[i] = plainSource[i] * static_cast<float>(plain.Value());
        }
      } else {
        tested.AccumulateGain(source, out.data());
        for (int i = 0; i < kBlockSize; ++i) {
          plain.Step();
          want[i] += plainSource[i] * static_cast<float>(plain.Value());
        }
      }
      ASSERT_TRUE(SameBits(out.data(), want.data(), kBlockSize)) << m.target << " " << variant;
      ASSERT_EQ(tested.Count(), plain.Count());
      ASSERT_EQ(std::bit_cast<uint64_t>(tested.Value()), std::bit_cast<uint64_t>(plain.Value()));
    }
    ramp = plain;
  }
  EXPECT_GE(ramping, 5);
  EXPECT_GE(settled, 5);

  // StepGains gives what Step and Value give, sample by sample.
  QSVInterp a;
  a.Set(0.2);
  a.Set(0.9);
  for (int k = 0; k < 40; ++k) a.Step();
  QSVInterp b = a;
  alignas(64) float gains[kBlockSize];
  a.StepGains(gains);
  for (int i = 0; i < kBlockSize; ++i) {
    b.Step();
    ASSERT_TRUE(SameBits(gains[i], static_cast<float>(b.Value()))) << i;
  }
  EXPECT_TRUE(a.Settled());

  // Several ramps stepped together: whole-block ones side by side, the rest
  // (part of a ramp left, settled, never set) one by one.
  const int partial[] = {0, 0, 0, 0, 156, 0, 0, 0, 0, -1, 255, 0, 0, -2};
  constexpr int kRamps = static_cast<int>(std::size(partial));
  std::array<QSVInterp, kRamps> ramps;
  std::array<QSVInterp, kRamps> plainRamps;
  std::vector<Block> together(kRamps);
  QSVInterp* rampPointers[kRamps];
  float* gainPointers[kRamps];
  for (int j = 0; j < kRamps; ++j) {
    QSVInterp& r = ramps[static_cast<size_t>(j)];
    if (partial[j] != -2) r.Set(0.1 * j);
    if (partial[j] >= 0) r.Set(1.0 - 0.07 * j);
    for (int k = 0; k < partial[j]; ++k) r.Step();
    plainRamps[static_cast<size_t>(j)] = r;
    rampPointers[j] = &r;
    gainPointers[j] = together[static_cast<size_t>(j)].data();
  }
  QSVInterp::StepGains(rampPointers, gainPointers, kRamps);
  for (int j = 0; j < kRamps; ++j) {
    QSVInterp& plainRamp = plainRamps[static_cast<size_t>(j)];
    for (int i = 0; i < kBlockSize; ++i) {
      plainRamp.Step();
      ASSERT_TRUE(SameBits(together[static_cast<size_t>(j)][static_cast<size_t>(i)],
                           static_cast<float>(plainRamp.Value())))
          << j << " " << i;
    }
    ASSERT_EQ(ramps[static_cast<size_t>(j)].Count(), plainRamp.Count()) << j;
    ASSERT_EQ(ramps[static_cast<size_t>(j)].Value(), plainRamp.Value()) << j;
  }
}

// ---------------------------------------------------------------- delay line

// The line's ring, kept beside it the way the line keeps it.
struct ShadowRing {
  explicit ShadowRing(int32_t ringLength)
      : length(ringLength), ring(static_cast<size_t>(ringLength) + 1) {}
  void Write(const float* in) {
    std::copy(in, in + kBlockSize, ring.begin() + write);
    if (write == 0) ring[static_cast<size_t>(length)] = ring[0];
    write += kBlockSize;
    if (write >= length) write = 0;
  }
  static double Wrap(double p, int32_t length) {
    p = std::fmod(p, static_cast<double>(length));
    if (p < 0) p += length;
    return p >= 0 && p < length ? p : 0.0;
  }
  void Read(float* out, double delaySeconds) const {
    const double p = Wrap(write - delaySeconds * kSampleRate, length);
    auto i = static_cast<int32_t>(p);
    const auto frac = static_cast<float>(p - i);
    const float* b = ring.data();
    int k = 0;
    while (k < kBlockSize) {
      const int run = std::min(kBlockSize - k, length - i);
      const float* from = b + i;
      for (int j = 0; j < run; ++j) out[k + j] = from[j] + (from[j + 1] - from[j]) * frac;
      k += run;
      i = 0;
    }
  }
  void ReadMoving(float* out, double& delaySeconds, double rate) const {
    const double d = delaySeconds;
    delaySeconds = d - (rate - 1.0) * kBlockSize / kSampleRate;
    double p = Wrap(write - d * kSampleRate, length);
    for (int k = 0; k < kBlockSize; ++k) {
      out[k] = QSInterpLookup(ring.data(), static_cast<float>(p));
      p += rate;
      if (p >= length) p -= length;
      if (!(p >= 0 && p < length)) p = Wrap(p, length);
    }
  }
  int32_t length;
  int32_t write = 0;
  std::vector<float> ring;
};

TEST(TightLoopsTest, DelayLineReadsLikeThePlainLoopAcrossTheRingsWrap) {
  QSDelayLine line(0.05);
  ShadowRing shadow(line.Length());
  const double ringSeconds = line.Length() / kSampleRate;
  int wrapped = 0;
  for (uint32_t b = 0; b < 40; ++b) {
    const Block in = Noise(b + 3);
    line.Write(in.data());
    shadow.Write(in.data());
    ASSERT_EQ(line.WriteIndex(), shadow.write);
    // Delays whose block runs over the end of the ring, ones that start
    // before position 0, whole samples, and the longest the line allows.
    const double delays[] = {
        (kBlockSize / 2 + 0.37) / kSampleRate,
        (line.WriteIndex() + 100.5) / kSampleRate,
        (line.WriteIndex() + kBlockSize - 0.25) / kSampleRate,
        300.0 / kSampleRate,
        ringSeconds - (kBlockSize + 0.5) / kSampleRate,
        0.0123456,
    };
    for (double d : delays) {
      const double p = ShadowRing::Wrap(shadow.write - d * kSampleRate, shadow.length);
      wrapped += p + kBlockSize > shadow.length;
      Block out{};
      Block want{};
      line.Read(out.data(), d);
      shadow.Read(want.data(), d);
      ASSERT_TRUE(SameBits(out.data(), want.data(), kBlockSize)) << "block " << b << " delay " << d;
    }
    for (double rate : {1.0, 1.5, 0.5, -2.0, 3.75}) {
      double d = 0.02 + 0.001 * b;
      double plainD = d;
      Block out{};
      Block want{};
      line.ReadMoving(out.data(), d, rate);
      shadow.ReadMoving(want.data(), plainD, rate);
      ASSERT_TRUE(SameBits(out.data(), want.data(), kBlockSize))
          << "block " << b << " rate " << rate;
      ASSERT_EQ(d, plainD);
    }
  }
  EXPECT_GT(wrapped, 20);
}

// ---------------------------------------------------------------- noise

TEST(TightLoopsTest, NoiseBlocksAreTheSequenceOfNext) {
  // Ranges whose values are exact as floats, and one whose are not.
  const std::array<std::pair<double, double>, 3> ranges{{{-1.0, 2.0}, {-0.125, 0.25}, {0.1, 0.3}}};
  for (const uint32_t seed : {0u, 1u, 0x7FFFFFFFu, 0x80000000u, 0xDEADBEEFu, 12345u}) {
    const auto [offset, scale] = ranges[seed % ranges.size()];
    QSNoiseSource noise(static_cast<int32_t>(seed), offset, scale);
    PlainNoise plain{seed, offset, scale};
    for (int i = 0; i < 300; ++i) ASSERT_EQ(noise.Next(), plain.Next()) << seed << " " << i;
    for (int b = 0; b < 4; ++b) {
      alignas(64) double values[kBlockSize];
      noise.NextBlock(values);
      for (int i = 0; i < kBlockSize; ++i) ASSERT_EQ(values[i], plain.Next()) << seed << " " << i;
      Block out{};
      noise.Fill(out.data());
      for (int i = 0; i < kBlockSize; ++i) {
        ASSERT_TRUE(SameBits(out[i], static_cast<float>(plain.Next()))) << seed << " " << i;
      }
      ASSERT_EQ(static_cast<uint32_t>(noise.Seed()), plain.seed);
    }

    // The denormal noise added to a signal, in runs that are not whole blocks.
    DenormalNoise denormal(static_cast<int32_t>(seed));
    PlainNoise plainDenormal{seed, DenormalNoise::kOffset, DenormalNoise::kAmplitude};
    for (const int count : {kBlockSize, 100, 1, 700, 0, 3 * kBlockSize}) {
      // Signals of every size, from the smallest denormal up to far past
      // full scale, of either sign.
      std::vector<float> samples = NoiseRun(seed + 9, static_cast<size_t>(count), 1.0, 1.0);
      for (size_t i = 0; i < samples.size(); ++i) {
        const int exponent = static_cast<int>(i % 190) - 150;
        samples[i] = std::ldexp(samples[i], exponent) * (i % 2 == 0 ? 1.0f : -1.0f);
      }
      samples.push_back(123.0f);  // past the end: untouched
      std::vector<float> want = samples;
      for (int i = 0; i < count; ++i) {
        want[static_cast<size_t>(i)] =
            static_cast<float>(want[static_cast<size_t>(i)] + plainDenormal.Next());
      }
      denormal.AddTo(samples.data(), count);
      ASSERT_TRUE(SameBits(samples, want)) << seed << " " << count;
      ASSERT_EQ(static_cast<uint32_t>(denormal.Seed()), plainDenormal.seed);
    }
  }
}

// ---------------------------------------------------------------- non-finite

TEST(TightLoopsTest, NonFiniteSamplesAreFoundWhereverTheyAre) {
  const float finite[] = {0.0f,
                          -0.0f,
                          1.0f,
                          -3.5f,
                          std::numeric_limits<float>::max(),
                          -std::numeric_limits<float>::max(),
                          std::numeric_limits<float>::denorm_min(),
                          std::numeric_limits<float>::min()};
  const float bad[] = {kNaN,
                       -kNaN,
                       kInf,
                       -kInf,
                       std::bit_cast<float>(0x7F800001u),
                       std::bit_cast<float>(0xFFC00000u)};
  for (const int count : {kBlockSize, 13, 1, 0}) {
    std::vector<float> block(static_cast<size_t>(count));
    for (size_t i = 0; i < block.size(); ++i) block[i] = finite[i % std::size(finite)];
    std::vector<float> copy = block;
    EXPECT_FALSE(SilenceNonFinite(block.data(), count));
    EXPECT_TRUE(SameBits(block, copy));
    for (int at : {0, count / 2, count - 1}) {
      if (count == 0) break;
      for (float b : bad) {
        std::vector<float> s = copy;
        s[static_cast<size_t>(at)] = b;
        s[static_cast<size_t>(count - 1 - at)] = b;
        std::vector<float> want = s;
        bool any = false;
        for (float& x : want) {
          if (!std::isfinite(x)) {
            x = 0.0f;
            any = true;
          }
        }
        ASSERT_EQ(SilenceNonFinite(s.data(), count), any);
        ASSERT_TRUE(SameBits(s, want)) << count << " " << at;
      }
    }
  }
}

// ---------------------------------------------------------------- 16 bits

TEST(TightLoopsTest, SixteenBitConversionMatchesThePlainLoopsAtEveryEdge) {
  const float edges[] = {kNaN,
                         -kNaN,
                         kInf,
                         -kInf,
                         1.0f,
                         -1.0f,
                         0.0f,
                         -0.0f,
                         1.0001f,
                         -1.0001f,
                         0.99999994f,
                         -0.99999994f,
                         32766.5f / 32767.0f,
                         -32766.5f / 32767.0f,
                         1e30f,
                         -1e30f,
                         std::numeric_limits<float>::denorm_min(),
                         0.5f / 32767.0f,
                         -1.5f / 32767.0f};
  for (const int count : {kBlockSize, 13, 8, 21}) {
    for (int shift = 0; shift < 3; ++shift) {
      std::vector<float> left =
          NoiseRun(static_cast<uint32_t>(count + shift), kBlockSize, -1.3, 2.6);
      std::vector<float> right = NoiseRun(static_cast<uint32_t>(99 + shift), kBlockSize, -0.2, 0.4);
      for (size_t e = 0; e < std::size(edges); ++e) {
        left[(e * 7 + static_cast<size_t>(shift)) % static_cast<size_t>(count)] = edges[e];
        right[(e * 5 + 3 + static_cast<size_t>(shift)) % static_cast<size_t>(count)] =
            edges[std::size(edges) - 1 - e];
      }
      std::vector<int16_t> out(2 * kBlockSize + 2, 7);
      std::vector<int16_t> want = out;
      int peakLeft = 0;
      int peakRight = 0;
      for (int i = 0; i < count; ++i) {
        const int16_t l = ToSample16(left[static_cast<size_t>(i)]);
        const int16_t r = ToSample16(right[static_cast<size_t>(i)]);
        want[2 * static_cast<size_t>(i)] = l;
        want[2 * static_cast<size_t>(i) + 1] = r;
        peakLeft = std::max(peakLeft, l < 0 ? -l : static_cast<int>(l));
        peakRight = std::max(peakRight, r < 0 ? -r : static_cast<int>(r));
      }
      const Peaks16 peaks = ToSamples16(left.data(), right.data(), out.data(), count);
      ASSERT_EQ(out, want) << count << " " << shift;
      EXPECT_EQ(peaks.left, peakLeft);
      EXPECT_EQ(peaks.right, peakRight);
    }
  }
  // The quiet case: a peak of zero.
  const Block silence{};
  std::vector<int16_t> out(2 * kBlockSize);
  const Peaks16 none = ToSamples16(silence.data(), silence.data(), out.data(), kBlockSize);
  EXPECT_EQ(none.left, 0);
  EXPECT_EQ(none.right, 0);

  // And back: interleaved frames to floats, the peak of -32768 included.
  for (const int count : {kBlockSize, 13}) {
    std::vector<int16_t> frames(2 * static_cast<size_t>(count));
    PlainNoise n{5u, 0.0, 1.0};
    for (int16_t& f : frames) {
      f = static_cast<int16_t>(n.seed >> 16);
      n.Next();
    }
    frames[4] = -32768;
    frames[7] = 32767;
    Block left{};
    Block right{};
    Block wantLeft{};
    Block wantRight{};
    int peakLeft = 0;
    int peakRight = 0;
    const int16_t* frame = frames.data();
    for (int i = 0; i < count; ++i, frame += 2) {
      wantLeft[static_cast<size_t>(i)] = static_cast<float>(frame[0]) * (1.0f / 32768.0f);
      wantRight[static_cast<size_t>(i)] = static_cast<float>(frame[1]) * (1.0f / 32768.0f);
      peakLeft = std::max(peakLeft, std::abs(static_cast<int>(frame[0])));
      peakRight = std::max(peakRight, std::abs(static_cast<int>(frame[1])));
    }
    const Peaks16 peaks =
        FromSamples16(frames.data(), 1.0f / 32768.0f, left.data(), right.data(), count);
    EXPECT_TRUE(SameBits(left.data(), wantLeft.data(), kBlockSize));
    EXPECT_TRUE(SameBits(right.data(), wantRight.data(), kBlockSize));
    EXPECT_EQ(peaks.left, peakLeft);
    EXPECT_EQ(peaks.right, peakRight);
    EXPECT_EQ(peaks.left, 32768);
  }
}

// ---------------------------------------------------------------- recursions

struct PlainDcBlocker {
  float Tick(float x) {
    const float y = DcBlocker::kA * x - DcBlocker::kA * x1 + DcBlocker::kP * y1;
    x1 = x;
    y1 = y;
    return y;
  }
  float x1 = 0.0f;
  float y1 = 0.0f;
};

struct PlainLimiter {
  using State = GainLimiter::State;
  void Process(float* samples, int count) {
    for (int i = 0; i < count; ++i) {
      const float x = samples[i];
      const float m = x < 0.0f ? -x : x;
      if (countdown > -1) --countdown;
      if (m * (static_cast<float>(countdown) * increment + gain) > threshold) {
        increment = (1.0f / m - gain) / static_cast<float>(attack);
        countdown = attack;
        state = State::Attack;
      } else if (countdown <= 0) {
        switch (state) {
          case State::Attack:
            increment = 0.0f;
            countdown = hold;
            state = State::Hold;
            break;
          case State::Hold:
            increment = (1.0f - gain) / static_cast<float>(attack);
            countdown = release;
            state = State::Release;
            break;
          case State::Release:
            increment = 0.0f;
            countdown = release;
            state = State::Idle;
            break;
          case State::Idle:
            break;
        }
      }
      float out = x * gain;
      if (out > ceiling) out = ceiling;
      if (out < -ceiling) out = -ceiling;
      samples[i] = out;
      gain += increment;
    }
  }
  float threshold = 1.0f;
  float ceiling = 2.0f;
  int32_t attack = static_cast<int32_t>(kSampleRate * 0.05);
  int32_t hold = 0;
  int32_t release = static_cast<int32_t>(kSampleRate * 0.05);
  State state = State::Idle;
  float gain = 1.0f;
  float increment = 0.0f;
  int32_t countdown = 0;
};

struct PlainRotor {
  void Fill(float* out) {
    for (int i = 0; i < kBlockSize; ++i) {
      const float nx = cosW * x - sinW * y;
      const float ny = x * sinW + cosW * y;
      x = nx;
      y = ny;
      out[i] = ny;
    }
  }
  float sinW;
  float cosW;
  float x = 1.0f;
  float y = 0.0f;
};

struct PlainOscillator {
  float Tick() {
    const float v = QSInterpLookup(table->Data(), static_cast<float>(phase));
    phase += increment;
    const double size = table->Size();
    if (phase > size) phase -= size;
    if (!(phase >= 0.0 && phase <= size)) {
      const double r = std::isfinite(phase) ? std::fmod(phase, size) : 0.0;
      phase = r < 0.0 ? r + size : r;
    }
    return v;
  }
  const QSFunctionTable* table;
  double phase = 0.0;
  double increment = 1.0;
};

// The comb loop with its delay and feedback ramps stepped through the members.
struct PlainComb {
  explicit PlainComb(double maxSeconds) {
    const auto n = static_cast<int32_t>(maxSeconds * kSampleRate);
    length = n / kBlockSize * kBlockSize + kBlockSize;
    buffer.assign(static_cast<size_t>(length) + 1, 0.0f);
  }
  template <bool kBlockRateDelay, typename Output>
  void Run(const float* in, Output&& output) {
    float d = 0.0f;
    if constexpr (kBlockRateDelay) {
      delay.StepBlock();
      d = static_cast<float>(delay.Value());
    }
    float* b = buffer.data();
    for (int i = 0; i < kBlockSize; ++i) {
      if constexpr (!kBlockRateDelay) {
        delay.Step();
        d = static_cast<float>(delay.Value());
      }
      const int32_t c = QSTruncate(d + 1.0f);
      int32_t idx = write - c;
      if (idx < 0) idx += length;
      const float out = b[idx] + (b[idx + 1] - b[idx]) * (static_cast<float>(c) - d);
      feedback.Step();
      const auto g = static_cast<float>(feedback.Value());
      const float x = in[i];
      if (write == length || write == 0) {
        b[0] = b[length] = g * out + x;
        write = 1;
      } else {
        b[write] = g * out + x;
        ++write;
      }
      output(i, out, x, g);
    }
  }
  QSVInterp delay;
  QSVInterp feedback;
  int32_t length;
  int32_t write = 0;
  std::vector<float> buffer;
};

TEST(TightLoopsTest, RecursiveFiltersAndOscillatorsMatchThePlainLoops) {
  // DC blocker, apart and in place.
  DcBlocker dc;
  PlainDcBlocker plainDc;
  for (uint32_t b = 0; b < 20; ++b) {
    const Block in = Noise(b, 0.3, 1.0);
    Block out{};
    Block want{};
    if (b % 2 == 0) {
      dc.Process(in.data(), out.data(), kBlockSize);
    } else {
      out = in;
      dc.Process(out.data(), kBlockSize);
    }
    // Grouped, the sums round otherwise: far below a 16-bit step.
    for (int i = 0; i < kBlockSize; ++i) {
      want[i] = plainDc.Tick(in[i]);
      ASSERT_NEAR(out[i], want[i], 2e-6) << b << " " << i;
    }
  }

  // The limiter through attack, hold, release and idle, in uneven runs.
  GainLimiter limiter(1.0f, 2.0f, 0.05, 0.0, 0.05);
  PlainLimiter plainLimiter;
  const size_t length = 44100;
  std::vector<float> signal = NoiseRun(31, length, -0.5, 1.0);
  for (size_t i = 4000; i < 9000; ++i) signal[i] *= 6.0f;
  for (size_t i = 20000; i < 20100; ++i) signal[i] *= 40.0f;
  std::vector<float> want = signal;
  for (size_t at = 0; at < length;) {
    const int count = static_cast<int>(std::min<size_t>(at % 3 == 0 ? 256 : 77, length - at));
    limiter.Process(signal.data() + at, count);
    plainLimiter.Process(want.data() + at, count);
    at += static_cast<size_t>(count);
  }
  EXPECT_TRUE(SameBits(signal, want)) << FirstDifference(signal, want);
  EXPECT_EQ(limiter.GetState(), plainLimiter.state);
  EXPECT_TRUE(SameBits(limiter.Gain(), plainLimiter.gain));

  // The sine rotor, with a new step on the way.
  QSSineRotor rotor;
  rotor.SetStep(0.0627);
  PlainRotor plainRotor{static_cast<float>(std::sin(0.0627)), static_cast<float>(std::cos(0.0627))};
  for (int b = 0; b < 50; ++b) {
    if (b == 25) {
      rotor.SetStep(0.31);
      plainRotor.sinW = static_cast<float>(std::sin(0.31));
      plainRotor.cosW = static_cast<float>(std::cos(0.31));
    }
    Block out{};
    Block wantRotor{};
    rotor.Fill(out.data());
    plainRotor.Fill(wantRotor.data());
    ASSERT_TRUE(SameBits(out.data(), wantRotor.data(), kBlockSize)) << b;
  }

  // The table oscillator: ordinary, exactly on entries, and broken increments.
  QSFunctionTable table(1024);
  table.AddSine(1, 1, 0, 0);
  for (const double increment : {10.34, 4.0, 1023.999, -3.5, 5000.0, 0.0}) {
    QSOscillator osc(table);
    osc.SetIncrement(increment);
    osc.SetPhase(1000.0);
    PlainOscillator plainOsc{&table, 1000.0, increment};
    for (int b = 0; b < 6; ++b) {
      Block out{};
      Block wantOsc{};
      osc.Fill(out.data());
      for (float& s : wantOsc) s = plainOsc.Tick();
      ASSERT_TRUE(SameBits(out.data(), wantOsc.data(), kBlockSize)) << increment;
      ASSERT_EQ(osc.Phase(), plainOsc.phase);
    }
  }

  // Combs and allpasses with their delay and feedback ramps moving.
  QSComb comb(0.05);
  QSAllpass allpass(0.05);
  PlainComb plainComb(0.05);
  PlainComb plainAllpass(0.05);
  for (QSCombFilter* f :
       {static_cast<QSCombFilter*>(&comb), static_cast<QSCombFilter*>(&allpass)}) {
    f->delay.Set(700.25);
    f->feedback.Set(0.6);
  }
  for (PlainComb* f : {&plainComb, &plainAllpass}) {
    f->delay.Set(700.25);
    f->feedback.Set(0.6);
  }
  for (uint32_t b = 0; b < 60; ++b) {
    if (b % 7 == 3) {
      const double d = 300.0 + 31.7 * b;
      const double g = 0.2 + 0.01 * b;
      for (QSCombFilter* f :
           {static_cast<QSCombFilter*>(&comb), static_cast<QSCombFilter*>(&allpass)}) {
        f->delay.Set(d);
        f->feedback.Set(g);
      }
      for (PlainComb* f : {&plainComb, &plainAllpass}) {
        f->delay.Set(d);
        f->feedback.Set(g);
      }
    }
    const Block in = Noise(b + 77);
    Block out = Noise(b + 78);
    Block wantComb = out;
    Block outAll = out;
    Block wantAll = out;
    switch (b % 3) {
      case 0:
        comb.Process(in.data(), out.data());
        plainComb.Run<false>(in.data(), [&](int i, float y, float, float) { wantComb[i] = y; });
        allpass.Process(in.data(), outAll.data());
        plainAllpass.Run<false>(in.data(), [&](int i, float y, float x, float g) {
          wantAll[i] = y * (1.0f - g * g) - x;
        });
        break;
      case 1:
        comb.ProcessAdd(in.data(), out.data(), 0.3f);
        plainComb.Run<false>(in.data(),
                             [&](int i, float y, float, float) { wantComb[i] += 0.3f * y; });
        allpass.ProcessAdd(in.data(), outAll.data());
        plainAllpass.Run<false>(in.data(), [&](int i, float y, float x, float g) {
          wantAll[i] += y * (1.0f - g * g) - x;
        });
        break;
      default:
        comb.ProcessBlockDelay(in.data(), out.data());
        plainComb.Run<true>(in.data(), [&](int i, float y, float, float) { wantComb[i] = y; });
        allpass.ProcessBlockDelay(in.data(), outAll.data());
        plainAllpass.Run<true>(in.data(), [&](int i, float y, float x, float g) {
          wantAll[i] = y * (1.0f - g * g) - x;
        });
        break;
    }
    ASSERT_TRUE(SameBits(out.data(), wantComb.data(), kBlockSize)) << b;
    ASSERT_TRUE(SameBits(outAll.data(), wantAll.data(), kBlockSize)) << b;
  }

  // The wet/dry mix.
  EqualPowerMix mix;
  mix.Recompute(0.37);
  const Block dry = Noise(5);
  Block wet = Noise(6);
  Block wantWet = wet;
  mix.Apply(dry.data(), wet.data());
  for (int i = 0; i < kBlockSize; ++i) wantWet[i] = wantWet[i] * mix.Wet() + dry[i] * mix.Dry();
  EXPECT_TRUE(SameBits(wet.data(), wantWet.data(), kBlockSize));
}

// ---------------------------------------------------------------- processors

// Two graphs, one with the processor under test and one with its plain
// counterpart, built alike from the same fixed seeds, fed the same inputs.
// Two graphs, one with the processor under test and one with its plain
// counterpart, fed the same inputs. Every change is made to both alike with
// the same fixed seeds, so the noise of SDelay and of the loops' conditioners
// is the same on both sides.
template <typename Processor, typename Plain>
struct Pair {
  explicit Pair(uint32_t base) : seedBase(base) {
    Both([](GraphHarness& h, auto*& p) {
      p = &h.Place<std::remove_pointer_t<std::remove_reference_t<decltype(p)>>>();
    });
  }
  template <typename Change>
  void Both(Change&& change) {
    QSNoiseSource::FixSeeds(seedBase + changes);
    change(fast, tested);
    QSNoiseSource::FixSeeds(seedBase + changes);
    change(plain, reference);
    ++changes;
  }
  void Feed(int inlet, const std::vector<float>& samples) {
    Both([&](GraphHarness& h, auto* p) { h.Feed(*p, inlet, samples); });
  }
  // Connects the processor's outlet back to its own inlet.
  void Loop(int outlet, int inlet) {
    Both([&](GraphHarness& h, auto* p) { h.context.Connect(p, outlet, p, inlet, false); });
  }
  void Run(int blocks) {
    fast.Run(blocks);
    plain.Run(blocks);
  }
  void ExpectSame(const char* what) const {
    for (int o = 0; o < tested->OutletCount(); ++o) {
      ASSERT_GT(fast.Out(o).size(), 0u);
      ASSERT_TRUE(SameBits(fast.Out(o), plain.Out(o)))
          << what << ": outlet " << o << " differs at "
          << FirstDifference(fast.Out(o), plain.Out(o));
    }
  }
  uint32_t seedBase;
  uint32_t changes = 0;
  GraphHarness fast;
  GraphHarness plain;
  Processor* tested = nullptr;
  Plain* reference = nullptr;
};

class PlainTestGen final : public QSSignalProcessor {
 public:
  explicit PlainTestGen(QSDynSigContext* context)
      : QSSignalProcessor(context, 0, 1),
        noise_{static_cast<uint32_t>(QSNoiseSource::ClockSeed()), -1.0, 2.0},
        smoother_(GainSmoother(static_cast<float>(kSampleRate), 20.0)) {
    SetOutletSignal(0, &out_);
    SetStep(2764.601402282715 / kSampleRate);
  }
  void Process() override {
    if (waveform == 1) {
      if (frequencyChanged) {
        SetStep(static_cast<float>(static_cast<float>(frequency) * 6.283185 / kSampleRate));
        frequencyChanged = false;
      }
      rotor_.Fill(out_.Data());
    } else {
      for (int i = 0; i < kBlockSize; ++i) out_[i] = static_cast<float>(noise_.Next());
    }
    if (amplitudeChanged) smoother_.target = static_cast<float>(amplitude);
    amplitudeChanged = false;
    smoother_.Apply(out_.Data(), out_.Data());
  }
  double amplitude = 0.0;
  double frequency = 440.0;
  int waveform = 1;
  bool amplitudeChanged = true;
  bool frequencyChanged = true;

 private:
  void SetStep(double w) {
    rotor_.sinW = static_cast<float>(std::sin(w));
    rotor_.cosW = static_cast<float>(std::cos(w));
  }
  QSSignal out_;
  PlainRotor rotor_{0.0f, 1.0f};
  PlainNoise noise_;
  PlainSmoother smoother_;
};

// The steady paths (ramps at rest, rotors side by side) give every bit the
// ramped and one-at-a-time paths give: combs and allpasses with delays
// shorter and longer than a block, across the ring's wrap, and a bank of
// ten rotors summed with gains, one of them silent.
TEST(TightLoopsTest, SteadyCombsAndRotorBanksMatchTheirGeneralPaths) {
  QSNoiseSource noise(5);
  for (const double delay : {25.3, 255.5, 256.0, 257.25, 1310.9}) {
    SCOPED_TRACE(delay);
    QSComb steady(0.05), ramped(0.05);
    QSAllpass steadyAllpass(0.05), rampedAllpass(0.05);
    for (QSCombFilter* f :
         std::initializer_list<QSCombFilter*>{&steady, &ramped, &steadyAllpass, &rampedAllpass}) {
      f->delay.Set(delay);
      f->feedback.Set(0.7);
    }
    for (int b = 0; b < 40; ++b) {  // several times round the ring
      Block in{}, a{}, r{}, aa{}, ra{};
      for (float& x : in) x = static_cast<float>(noise.Next());
      for (QSCombFilter* f : std::initializer_list<QSCombFilter*>{&ramped, &rampedAllpass}) {
        f->delay.Set(delay);  // a ramp to where it is: the general path
        f->feedback.Set(0.7);
      }
      if (b % 2 == 0) {
        steady.Process(in.data(), a.data());
        ramped.Process(in.data(), r.data());
        steadyAllpass.Process(in.data(), aa.data());
        rampedAllpass.Process(in.data(), ra.data());
      } else {
        steady.ProcessBlockDelay(in.data(), a.data());
        ramped.ProcessBlockDelay(in.data(), r.data());
        steadyAllpass.ProcessBlockDelay(in.data(), aa.data());
        rampedAllpass.ProcessBlockDelay(in.data(), ra.data());
      }
      ASSERT_TRUE(SameBits(a.data(), r.data(), kBlockSize)) << "comb, block " << b;
      ASSERT_TRUE(SameBits(aa.data(), ra.data(), kBlockSize)) << "allpass, block " << b;
    }
  }

  SineRotorBank<10> bank;
  std::array<QSSineRotor, 10> rotors;
  std::array<float, 10> gains{};
  for (int k = 0; k < 10; ++k) {
    bank.SetStep(k, 0.011 * (k + 1));
    rotors[static_cast<size_t>(k)].SetStep(0.011 * (k + 1));
    gains[static_cast<size_t>(k)] = k == 7 ? 0.0f : 0.5f / static_cast<float>(k + 1);
  }
  for (int b = 0; b < 30; ++b) {
    Block sum{}, want{}, partial{};
    bank.FillSum(gains.data(), sum.data());
    bank.Renormalise();
    for (size_t k = 0; k < 10; ++k) {
      rotors[k].Fill(partial.data());
      rotors[k].Renormalise();
      if (k == 7) partial.fill(0.0f);
      for (int i = 0; i < kBlockSize; ++i) {
        const float p = partial[static_cast<size_t>(i)] * gains[k];
        want[static_cast<size_t>(i)] = k == 0 ? p : want[static_cast<size_t>(i)] + p;
      }
    }
    ASSERT_TRUE(SameBits(sum.data(), want.data(), kBlockSize)) << "block " << b;
  }
}

TEST(TightLoopsTest, TestGenMatchesThePlainGeneratorSineAndNoise) {
  for (const int waveform : {1, 0}) {
    Pair<TGTestSignalGenerator, PlainTestGen> p(40);
    p.tested->waveform.SetValue(waveform);
    p.reference->waveform = waveform;
    const double amplitudes[] = {0.1, 0.1, 0.8, 0.0, 0.3};
    const double frequencies[] = {250.0, 250.0, 1000.0, 99.0, 5000.0};
    for (int stage = 0; stage < 5; ++stage) {
      if (stage == 0 || amplitudes[stage] != amplitudes[stage - 1]) {
        p.tested->amplitude.SetValue(amplitudes[stage]);
        p.reference->amplitude = amplitudes[stage];
        p.reference->amplitudeChanged = true;
      }
      if (stage == 0 || frequencies[stage] != frequencies[stage - 1]) {
        p.tested->frequency.SetValue(frequencies[stage]);
        p.reference->frequency = frequencies[stage];
        p.reference->frequencyChanged = true;
      }
      p.Run(stage == 3 ? 120 : 40);
    }
    p.ExpectSame(waveform == 1 ? "sine" : "noise");
  }
}

// SDelay as it was: the noise drawn sample by sample in the feedback loop.
class PlainSDelay final : public QSSignalProcessor {
 public:
  explicit PlainSDelay(QSDynSigContext* context) : QSSignalProcessor(context, 2, 2) {
    SetOutletSignal(0, &leftOut_);
    SetOutletSignal(1, &rightOut_);
  }
  void Process() override {
    double l = leftDelay;
    double r = rightDelay;
    if (delayUnits == 1) {
      const double m = TGSDelay::MillisecondsPerSemiquaver(Context()->Clock().SamplesPerClock());
      l = std::trunc(l * m);
      r = std::trunc(r * m);
    }
    l = std::clamp(l, 20.0, 2000.0);
    r = std::clamp(r, 20.0, 2000.0);
    leftLine_.Read(leftOut_.Data(), l * 0.001);
    rightLine_.Read(rightOut_.Data(), r * 0.001);
    dry0_.CopyFrom(InletSignal(0));
    if (feedbackChanged) feedbackRamp_.Set(feedback);
    feedbackChanged = false;
    const bool stereo = IsInletConnected(1);
    if (stereo) {
      dry1_.CopyFrom(InletSignal(1));
      for (int i = 0; i < kBlockSize; ++i) {
        feedbackRamp_.Step();
        const double c = noise_.Next() + rightOut_[i] * feedbackRamp_.Value();
        feedA_[i] = static_cast<float>(dry0_[i] + c);
        feedB_[i] = static_cast<float>(dry1_[i] + c);
      }
      Silence(feedA_);
      Silence(feedB_);
      rightLine_.Write(feedA_.Data());
      leftLine_.Write(feedB_.Data());
    } else {
      for (int i = 0; i < kBlockSize; ++i) {
        feedbackRamp_.Step();
        feedA_[i] =
            static_cast<float>(noise_.Next() + dry0_[i] + rightOut_[i] * feedbackRamp_.Value());
      }
      Silence(feedA_);
      rightLine_.Write(feedA_.Data());
      leftLine_.Write(feedA_.Data());
    }
    mix_.NextBlock();
    if (mixChanged) mix_.Recompute(wetDryMix);
    mixChanged = false;
    mix_.Apply(dry0_.Data(), leftOut_.Data());
    mix_.Apply(stereo ? dry1_.Data() : dry0_.Data(), rightOut_.Data());
  }
  double leftDelay = 200;
  double rightDelay = 200;
  double feedback = 0.3;
  double wetDryMix = 1.0;
  int delayUnits = 0;
  bool mixChanged = true;
  bool feedbackChanged = true;

 private:
  static void Silence(QSSignal& s) {
    for (int i = 0; i < kBlockSize; ++i) {
      if (!std::isfinite(s[i])) s[i] = 0.0f;
    }
  }
  QSSignal leftOut_, rightOut_, feedA_, feedB_, dry0_, dry1_;
  QSDelayLine leftLine_{2.1};
  QSDelayLine rightLine_{2.1};
  EqualPowerMix mix_;
  QSVInterp feedbackRamp_;
  PlainNoise noise_{static_cast<uint32_t>(QSNoiseSource::ClockSeed()), DenormalNoise::kOffset,
                    DenormalNoise::kAmplitude};
};

TEST(TightLoopsTest, SDelayMatchesThePlainProcessorWithMonoAndStereoInput) {
  const size_t length = kBlockSize * 400;
  std::vector<float> a = NoiseRun(1, length, -0.5, 1.0);
  std::vector<float> b = NoiseRun(2, length, -0.25, 0.5);
  // A burst that overflows the loop, and broken samples that must not echo.
  for (size_t i = 30000; i < 30300; ++i) a[i] = 3e38f;
  a[50001] = kNaN;
  b[50002] = kInf;
  b[60000] = -kInf;
  // Inlets: 0 only (mono), both, 1 only.
  for (const int inlets : {1, 3, 2}) {
    Pair<TGSDelay, PlainSDelay> p(77);
    if (inlets & 1) p.Feed(0, a);
    if (inlets & 2) p.Feed(1, b);
    struct Setting {
      int left, right;
      double feedback, mix;
      int units;
    };
    const Setting settings[] = {{300, 320, 0.5, 1.0, 0},
                                {25, 2000, 0.95, 0.4, 0},
                                {3, 5, 0.7, 0.8, 1},
                                {1, 32, 0.99, 0.0, 1}};
    for (const Setting& s : settings) {
      p.tested->leftDelay.SetValue(s.left);
      p.tested->rightDelay.SetValue(s.right);
      p.tested->feedback.SetValue(s.feedback);
      p.tested->wetDryMix.SetValue(s.mix);
      p.tested->delayUnits.SetValue(s.units);
      p.reference->leftDelay = s.left;
      p.reference->rightDelay = s.right;
      p.reference->feedback = s.feedback;
      p.reference->wetDryMix = s.mix;
      p.reference->mixChanged = true;
      p.reference->feedbackChanged = true;
      p.reference->delayUnits = s.units;
      p.Run(100);
    }
    p.ExpectSame(inlets == 1 ? "mono" : inlets == 3 ? "stereo" : "right only");
  }
}

// The mixers' channels as they were: a ramp stepped before every sample.
template <int N>
class PlainStereoMixer final : public QSSignalProcessor {
 public:
  explicit PlainStereoMixer(QSDynSigContext* context) : QSSignalProcessor(context, 2 * N, 2) {
    SetOutletSignal(0, &left_);
    SetOutletSignal(1, &right_);
  }
  void Process() override {
    const bool master = masterGain.TakeChanged();
    for (int i = 0; i < N; ++i) {
      if (gains[static_cast<size_t>(i)].TakeChanged() || master) {
        ramps_[static_cast<size_t>(i)].Set(masterGain.Value() *
                                           gains[static_cast<size_t>(i)].Value());
      }
    }
    bool first = true;
    for (int i = 0; i < N; ++i) {
      const bool l = IsInletConnected(2 * i);
      const bool r = IsInletConnected(2 * i + 1);
      if (!l && !r) continue;
      QSVInterp& ramp = ramps_[static_cast<size_t>(i)];
      for (int k = 0; k < kBlockSize; ++k) {
        ramp.Step();
        const auto g = static_cast<float>(ramp.Value());
        const float inL = l ? InletSignal(2 * i)[k] : InletSignal(2 * i + 1)[k];
        const float inR = r ? InletSignal(2 * i + 1)[k] : inL;
        left_[k] = first ? inL * g : left_[k] + inL * g;
        right_[k] = first ? inR * g : right_[k] + inR * g;
      }
      first = false;
    }
    if (first) {
      left_.Fill(0.0f);
      right_.Fill(0.0f);
    }
  }
  QSDoubleProperty masterGain{0.0};
  std::array<QSDoubleProperty, N> gains;

 private:
  std::array<QSVInterp, N> ramps_;
  QSSignal left_, right_;
};

void StepRamp(QSVInterp& ramp, const QSSignal& in, QSSignal& out, bool first) {
  for (int i = 0; i < kBlockSize; ++i) {
    ramp.Step();
    const float v = in[i] * static_cast<float>(ramp.Value());
    out[i] = first ? v : out[i] + v;
  }
}

template <int N>
class PlainPanPotMixer final : public QSSignalProcessor {
 public:
  explicit PlainPanPotMixer(QSDynSigContext* context) : QSSignalProcessor(context, N, 2) {
    panLaw_.FillPanLaw();
    for (auto& pan : pans) pan.SetValue(0.5);
    SetOutletSignal(0, &left_);
    SetOutletSignal(1, &right_);
  }
  float PanLaw(double x) const {
    const double index = x * 1024.0;
    if (!(index >= 0.0)) return panLaw_[0];
    if (index < 1024.0) return QSInterpLookup(panLaw_.Data(), static_cast<float>(index));
    return panLaw_[1024];
  }
  void Process() override {
    const bool master = masterGain.TakeChanged();
    for (size_t i = 0; i < gains.size(); ++i) {
      const bool gain = gains[i].TakeChanged();
      const bool pan = pans[i].TakeChanged();
      if (gain || pan || master) {
        const double g = gains[i].Value() * masterGain.Value();
        const double p = pans[i].Value();
        leftRamps_[i].Set(PanLaw(p) * g);
        rightRamps_[i].Set(PanLaw(1.0 - p) * g);
      }
    }
    bool first = true;
    for (int i = 0; i < N; ++i) {
      if (!IsInletConnected(i)) continue;
      StepRamp(leftRamps_[static_cast<size_t>(i)], InletSignal(i), left_, first);
      StepRamp(rightRamps_[static_cast<size_t>(i)], InletSignal(i), right_, first);
      first = false;
    }
    if (first) {
      left_.Fill(0.0f);
      right_.Fill(0.0f);
    }
  }
  QSDoubleProperty masterGain{0.0};
  std::array<QSDoubleProperty, N> gains;
  std::array<QSDoubleProperty, N> pans;

 private:
  std::array<QSVInterp, N> leftRamps_, rightRamps_;
  QSFunctionTable panLaw_{1024};
  QSSignal left_, right_;
};

template <int N>
class PlainMonoMixer final : public QSSignalProcessor {
 public:
  explicit PlainMonoMixer(QSDynSigContext* context) : QSSignalProcessor(context, N, 1) {
    SetOutletSignal(0, &out_);
  }
  void Process() override {
    const bool master = masterGain.TakeChanged();
    for (size_t i = 0; i < gains.size(); ++i) {
      if (gains[i].TakeChanged() || master) ramps_[i].Set(masterGain.Value() * gains[i].Value());
    }
    bool first = true;
    for (int i = 0; i < N; ++i) {
      if (!IsInletConnected(i)) continue;
      StepRamp(ramps_[static_cast<size_t>(i)], InletSignal(i), out_, first);
      first = false;
    }
    if (first) out_.Fill(0.0f);
  }
  QSDoubleProperty masterGain{0.0};
  std::array<QSDoubleProperty, N> gains;

 private:
  std::array<QSVInterp, N> ramps_;
  QSSignal out_;
};

// Gains that change every few blocks, some channels at a time, the master too.
template <typename PairT, typename SetGain>
void MoveGains(PairT& p, int channels, SetGain&& setGain) {
  for (int step = 0; step < 40; ++step) {
    if (step % 5 == 1) {
      const double m = 0.5 + 0.1 * (step % 3);
      p.tested->masterGain.SetValue(m);
      p.reference->masterGain.SetValue(m);
    }
    for (int c = 0; c < channels; ++c) {
      if ((step + c) % 3 == 0) setGain(c, 0.05 * ((step * 7 + c * 3) % 19));
    }
    p.Run(1 + step % 3);
  }
}

TEST(TightLoopsTest, MixersMatchThePlainProcessorsWithRampsInProgress) {
  const size_t length = kBlockSize * 100;
  std::vector<std::vector<float>> inputs;
  for (uint32_t i = 0; i < 8; ++i) inputs.push_back(NoiseRun(10 + i, length, -0.5, 1.0));

  {
    // Channels: both sides, left only, right only, none, fed back from its own
    // outlets (crossed), and one side fed back, the other from outside.
    Pair<TGS6Mixer, PlainStereoMixer<6>> p(91);
    p.Feed(0, inputs[0]);
    p.Feed(1, inputs[1]);
    p.Feed(2, inputs[2]);
    p.Feed(5, inputs[3]);
    p.Loop(1, 8);
    p.Loop(0, 9);
    p.Loop(0, 10);
    p.Feed(11, inputs[4]);
    p.tested->masterGain.SetValue(1.0);
    p.reference->masterGain.SetValue(1.0);
    MoveGains(p, 6, [&](int c, double g) {
      p.tested->gainProperty(c).SetValue(g);
      p.reference->gains[static_cast<size_t>(c)].SetValue(g);
    });
    p.ExpectSame("stereo");
  }
  {
    Pair<TGP4Mixer, PlainPanPotMixer<4>> p(92);
    p.Feed(0, inputs[5]);
    p.Feed(2, inputs[6]);
    p.Loop(0, 3);  // fed back from its own left outlet
    p.tested->masterGain.SetValue(0.8);
    p.reference->masterGain.SetValue(0.8);
    MoveGains(p, 4, [&](int c, double g) {
      p.tested->gainProperty(c).SetValue(g);
      p.reference->gains[static_cast<size_t>(c)].SetValue(g);
      p.tested->panProperty(c).SetValue(g);
      p.reference->pans[static_cast<size_t>(c)].SetValue(g);
    });
    p.ExpectSame("pan-pot");
  }
  {
    Pair<TGM3Mixer, PlainMonoMixer<3>> p(93);
    p.Feed(0, inputs[7]);
    p.Loop(0, 2);
    p.tested->masterGain.SetValue(0.9);
    p.reference->masterGain.SetValue(0.9);
    MoveGains(p, 3, [&](int c, double g) {
      p.tested->gainProperty(c).SetValue(g);
      p.reference->gains[static_cast<size_t>(c)].SetValue(g);
    });
    p.ExpectSame("mono");
  }
}

}  // namespace tight_loops_test
}  // namespace tg
