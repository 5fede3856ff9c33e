#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

#include "dsp/EqualPowerMix.h"
#include "dsp/GainSmoother.h"
#include "dsp/QSFunctionTable.h"
#include "dsp/QSNoiseSource.h"
#include "dsp/QSOscillator.h"
#include "dsp/QSSineRotor.h"
#include "dsp/QSVoiceAllocator.h"

namespace tg {
namespace small_blocks_test {

TEST(EqualPowerMixTest, ProgramConstantsGiveTheseCoefficients) {
  EqualPowerMix mix;
  EXPECT_EQ(mix.Wet(), 1.0f);
  EXPECT_EQ(mix.Dry(), 0.0f);
  mix.Recompute(0.5);
  EXPECT_NEAR(mix.Wet(), 0.7070014f, 1e-7f);
  EXPECT_NEAR(mix.Dry(), 0.7069986f, 1e-7f);
  mix.Recompute(0.0);
  EXPECT_NEAR(mix.Wet(), 1.6e-7f, 0.1e-7f);
  EXPECT_NEAR(mix.Dry(), 0.99985f, 1e-5f);
  mix.Recompute(1.0);
  EXPECT_NEAR(mix.Wet(), 0.99985f, 1e-5f);
  EXPECT_NEAR(mix.Dry(), -3.8e-6f, 0.1e-6f);

  std::vector<float> dry(kBlockSize, 1.0f), wet(kBlockSize, 2.0f);
  mix.Recompute(0.5);
  mix.Apply(dry.data(), wet.data());
  EXPECT_FLOAT_EQ(wet[9], 2.0f * 0.7070014f + 0.7069986f);

  // A hand-edited document's mix is held at the ends, never made NaN.
  for (double outside : {1e39, 7.0, std::numeric_limits<double>::infinity()}) {
    mix.Recompute(outside);
    EXPECT_NEAR(mix.Wet(), 0.99985f, 1e-5f) << outside;
  }
  for (double outside : {-1e39, -2.0, std::numeric_limits<double>::quiet_NaN()}) {
    mix.Recompute(outside);
    EXPECT_NEAR(mix.Dry(), 0.99985f, 1e-5f) << outside;
  }
}

TEST(GainSmootherTest, ASnappingFadeOfAHundredSecondsEndsOnItsTargetWithoutAStep) {
  // At 0.01 Hz the float recursion stalls 2 % short of 1; the rest must not
  // come as one step.
  GainSmoother smoother(static_cast<float>(kSampleRate), 0.01);
  smoother.SetSnapToTarget(true);
  smoother.SetTarget(1.0);
  std::vector<float> ones(kBlockSize, 1.0f), out(kBlockSize);
  float last = 0.0f, largestStep = 0.0f;
  int blocks = 0;
  for (; blocks < 200000 && smoother.Value() != 1.0f; ++blocks) {
    smoother.Apply(ones.data(), out.data());
    for (float y : out) {
      largestStep = std::max(largestStep, std::fabs(y - last));
      last = y;
    }
  }
  EXPECT_EQ(smoother.Value(), 1.0f);
  EXPECT_LT(largestStep, 1e-5f);
  smoother.Apply(ones.data(), out.data());
  EXPECT_EQ(out.back(), 1.0f);

  // Where the recursion rests a float step beside the target, it still ends on it.
  for (double cutoff = 600.0; cutoff <= 1000.0; cutoff += 25.0) {
    GainSmoother fast(static_cast<float>(kSampleRate), cutoff);
    fast.SetSnapToTarget(true);
    fast.SetTarget(0.7071);
    for (int b = 0; b < 100 && fast.Value() != 0.7071f; ++b) fast.Apply(ones.data(), out.data());
    EXPECT_EQ(fast.Value(), 0.7071f) << cutoff;
    fast.Apply(ones.data(), out.data());
    EXPECT_EQ(out.front(), 0.7071f) << cutoff;
  }
}

TEST(GainSmootherTest, ApproachesTheTargetAndEndsAtExactZero) {
  GainSmoother smoother(static_cast<float>(kSampleRate), 20.0);
  std::vector<float> ones(kBlockSize, 1.0f), out(kBlockSize);
  smoother.SetTarget(0.8);
  for (int b = 0; b < 200; ++b) smoother.Apply(ones.data(), out.data());
  EXPECT_NEAR(out.back(), 0.8f, 1e-4f);
  // The time constant matches the cutoff: 1 − 1/e of the way in 1/(2π·20) s.
  GainSmoother fresh(static_cast<float>(kSampleRate), 20.0);
  fresh.SetTarget(1.0);
  std::vector<float> all;
  for (int b = 0; b < 4; ++b) {
    fresh.Apply(ones.data(), out.data());
    all.insert(all.end(), out.begin(), out.end());
  }
  const auto tau = static_cast<size_t>(kSampleRate / (2 * std::numbers::pi * 20.0));
  EXPECT_NEAR(all[tau], 1.0 - std::exp(-1.0), 0.01);

  smoother.SetTarget(0.0);
  for (int b = 0; b < 2000; ++b) smoother.Apply(ones.data(), out.data());
  EXPECT_EQ(smoother.Value(), 0.0f);
  smoother.ApplyAdd(ones.data(), out.data());
  EXPECT_EQ(out[0], 0.0f);
}

TEST(QSFunctionTableTest, SinesNormalizeAndPanLaw) {
  QSFunctionTable sine(1024);
  sine.AddSine(1, 1, 0, 0);
  EXPECT_NEAR(sine[256], 1.0f, 1e-6f);
  EXPECT_EQ(sine[1024], sine[0]);
  QSFunctionTable unipolar(1024);
  unipolar.AddSine(1, 0.5f, 0, 0.5f);
  EXPECT_NEAR(unipolar[768], 0.0f, 1e-6f);
  EXPECT_NEAR(unipolar[256], 1.0f, 1e-6f);

  QSFunctionTable wave(1024);
  wave.AddSine(1, 3, 0, 0);
  wave.AddSine(3, 1, 0, 0);
  wave.Normalize(0.55f);
  float peak = 0;
  for (int i = 0; i < 1024; ++i) peak = std::max(peak, std::abs(wave[i]));
  EXPECT_FLOAT_EQ(peak, 0.55f);

  QSFunctionTable zero(16);
  zero.Normalize(1.0f);
  for (int i = 0; i <= 16; ++i) EXPECT_EQ(zero[i], 0.0f);

  QSFunctionTable pan(1024);
  pan.FillPanLaw();
  EXPECT_NEAR(pan[0], 1.0f, 1e-6f);
  EXPECT_NEAR(pan[512], 1.0f, 1e-6f);
  EXPECT_NEAR(pan[256], 1.2071f, 1e-4f);
  EXPECT_NEAR(pan[1024], 0.0f, 1e-6f);
}

TEST(QSOscillatorTest, GuardEntryAndFrequency) {
  QSFunctionTable table(1024);
  for (int i = 0; i < 1024; ++i) table.Data()[i] = static_cast<float>(i);
  table.Data()[1024] = table[0];

  QSOscillator whole(table);
  whole.SetIncrement(1024.0);
  whole.Tick();
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(whole.Phase(), 1024.0);
    EXPECT_EQ(whole.Tick(), 0.0f);  // the guard entry, equal to entry 0
  }

  QSOscillator half(table);
  half.SetIncrement(0.5);
  EXPECT_EQ(half.Tick(), 0.0f);
  EXPECT_EQ(half.Tick(), 0.5f);

  QSFunctionTable sine(1024);
  sine.AddSine(1, 1, 0, 0);
  QSOscillator osc(sine);
  osc.SetFrequency(441.0);
  std::vector<float> out(44100);
  for (float& s : out) s = osc.Tick();
  int upward = 0;
  for (size_t i = 1; i < out.size(); ++i) upward += out[i - 1] < 0 && out[i] >= 0;
  EXPECT_NEAR(upward, 441, 1);
}

TEST(QSOscillatorTest, ABrokenIncrementNeitherHangsNorLeavesTheTable) {
  QSFunctionTable sine(1024);
  sine.AddSine(1, 1, 0, 0);
  for (double increment : {1e15, std::nan(""), std::numeric_limits<double>::infinity()}) {
    QSOscillator osc(sine);
    osc.SetIncrement(increment);
    for (int i = 0; i < 10; ++i) {
      osc.Tick();
      ASSERT_GE(osc.Phase(), 0.0);
      ASSERT_LE(osc.Phase(), 1024.0);
    }
  }
}

TEST(QSNoiseSourceTest, EqualSeedsGiveEqualSequencesInRange) {
  QSNoiseSource a(QSNoiseSource::ClockSeed(), -1.0, 2.0);
  QSNoiseSource b(a.Seed(), -1.0, 2.0);
  std::vector<float> x(kBlockSize), y(kBlockSize);
  double sum = 0;
  for (int block = 0; block < 100; ++block) {
    a.Fill(x.data());
    b.Fill(y.data());
    ASSERT_EQ(x, y);
    for (float v : x) {
      ASSERT_GE(v, -1.0f);
      ASSERT_LT(v, 1.0f);
      sum += v;
    }
  }
  EXPECT_NEAR(sum / (100 * kBlockSize), 0.0, 0.02);
}

TEST(QSSineRotorTest, RotatesAtTheStepAndContinuesAcrossChanges) {
  QSSineRotor rotor;
  rotor.SetStep(2 * std::numbers::pi * 1000.0 / kSampleRate);
  std::vector<float> out(kBlockSize);
  rotor.Fill(out.data());
  EXPECT_NEAR(out[0], std::sin(2 * std::numbers::pi * 1000.0 / kSampleRate), 1e-6);
  EXPECT_NEAR(out[99], std::sin(100 * 2 * std::numbers::pi * 1000.0 / kSampleRate), 1e-4);
  const float last = out.back();
  rotor.SetStep(2 * std::numbers::pi * 10.0 / kSampleRate);
  rotor.Fill(out.data());
  EXPECT_NEAR(out[0], last, 0.01);  // no jump
}

struct Voice {
  int id;
  bool finished = false;
};

TEST(QSVoiceAllocatorTest, OrderOfAllocationRetirementAndRelease) {
  Voice voices[3] = {{0}, {1}, {2}};
  QSVoiceAllocator<Voice> pool(voices, 3);
  EXPECT_EQ(pool.Allocate()->id, 2);  // the last of the array first
  EXPECT_EQ(pool.Allocate()->id, 1);
  EXPECT_EQ(pool.Allocate()->id, 0);
  EXPECT_EQ(pool.CurrentIndex(), 2);
  EXPECT_EQ(pool.Allocate(), nullptr);

  // Retiring position 0 moves position 2 there and visits it next.
  std::vector<int> visited;
  voices[2].finished = true;
  pool.VisitAndRetire([&](Voice& v) {
    visited.push_back(v.id);
    return v.finished;
  });
  EXPECT_EQ(visited, (std::vector<int>{2, 0, 1}));
  EXPECT_EQ(pool.ActiveCount(), 2);
  EXPECT_EQ(pool.ActiveAt(0)->id, 0);
  EXPECT_EQ(pool.ActiveCount() + pool.FreeTop() + 1, pool.Capacity());

  pool.ReleaseAll();
  EXPECT_EQ(pool.ActiveCount(), 0);
  EXPECT_EQ(pool.FreeTop(), 2);
  EXPECT_EQ(pool.Allocate()->id, 0);  // released last: position 0
}

// Sources made in the same second must not play the same sequence (two noise
// generators would sum coherently, left and right would be mono); fixed
// seeds give the same sequences again.
TEST(NoiseSeedTest, EverySourceGetsItsOwnSeedAndFixedSeedsRepeat) {
  std::vector<int32_t> seeds;
  for (int i = 0; i < 64; ++i) seeds.push_back(QSNoiseSource::ClockSeed());
  std::sort(seeds.begin(), seeds.end());
  EXPECT_EQ(std::adjacent_find(seeds.begin(), seeds.end()), seeds.end());

  QSNoiseSource::FixSeeds(7);
  const int32_t a = QSNoiseSource::ClockSeed(), b = QSNoiseSource::ClockSeed();
  QSNoiseSource::FixSeeds(7);
  EXPECT_EQ(QSNoiseSource::ClockSeed(), a);
  EXPECT_EQ(QSNoiseSource::ClockSeed(), b);
  QSNoiseSource::FixSeeds(8);
  EXPECT_NE(QSNoiseSource::ClockSeed(), a);

  QSNoiseSource left(a, -1.0, 2.0), right(b, -1.0, 2.0);
  double product = 0.0;
  for (int i = 0; i < 44100; ++i) product += left.Next() * right.Next();
  EXPECT_LT(std::fabs(product / 44100), 0.02);  // uncorrelated; one sequence twice gives 1/3
}

}  // namespace small_blocks_test
}  // namespace tg
