#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <string>

#include "contraptions/mixers/matrices/TGGateMatrix.h"
#include "tests/support/GraphHarness.h"

namespace tg {
namespace gate_matrix_test {

using test::Constant;
using test::GraphHarness;

constexpr size_t kSecond = static_cast<size_t>(kSampleRate);
constexpr int kSecondBlocks = static_cast<int>(kSecond / kBlockSize) + 1;

// A matrix fed a different constant on every input: 1, 2, 4, 8, …
template <typename Matrix>
Matrix& PlaceFed(GraphHarness& h, size_t length) {
  auto& m = h.Place<Matrix>();
  for (int i = 0; i < m.Size(); ++i) h.Feed(m, i, Constant(length, static_cast<float>(1 << i)));
  return m;
}

// The first sample at which a rising gain passes a level.
size_t Crossing(const std::vector<float>& s, size_t from, float level) {
  for (size_t i = from; i < s.size(); ++i) {
    if (s[i] >= level) return i;
  }
  return s.size();
}

TEST(GateMatrixTest, ParametersInTheirStoredOrder) {
  GraphHarness h;
  QSPropertyTable* four = h.Place<TG4x4Matrix>().GetPropertyTable();
  QSPropertyTable* eight = h.Place<TG8x8Matrix>().GetPropertyTable();
  ASSERT_EQ(four->Count(), 17);
  ASSERT_EQ(eight->Count(), 65);
  for (QSPropertyTable* t : {four, eight}) {
    EXPECT_EQ(t->InfoAt(0).name, "FadeTime");
    EXPECT_EQ(t->InfoAt(0).defaultValue, 50.0);
    EXPECT_EQ(t->InfoAt(0).maximum, 100000.0);
  }
  EXPECT_EQ(four->InfoAt(1).name, "Gate0_0");
  EXPECT_EQ(four->InfoAt(2).name, "Gate0_1");
  EXPECT_EQ(four->InfoAt(5).name, "Gate1_0");  // input-major
  EXPECT_EQ(four->InfoAt(16).name, "Gate3_3");
  EXPECT_EQ(eight->InfoAt(1 + 8 * 5 + 6).name, "Gate5_6");
}

TEST(GateMatrixTest, EveryOutputIsTheSumOfTheInputsGatedToItOnceSettled) {
  GraphHarness h;
  auto& m = PlaceFed<TG4x4Matrix>(h, 2 * kSecond);
  h.Run(4);
  for (int j = 0; j < 4; ++j) {
    for (size_t n = 0; n < h.Out(j).size(); ++n) ASSERT_EQ(h.Out(j)[n], 0.0f) << j;  // all off
  }
  m.gate(0, 0).SetValue(true);  // two inputs into one output add
  m.gate(1, 0).SetValue(true);
  m.gate(2, 1).SetValue(true);  // one input to two outputs
  m.gate(2, 3).SetValue(true);
  m.gate(3, 2).SetValue(true);
  h.Run(kSecondBlocks);
  const float sums[4] = {1 + 2, 4, 8, 4};
  for (int j = 0; j < 4; ++j) EXPECT_NEAR(h.Out(j).back(), sums[j], 2e-6f * sums[j]) << j;
}

TEST(GateMatrixTest, AGateFadesInOverTheFadeTimeAndOutToExactZero) {
  for (double ms : {50.0, 200.0}) {
    GraphHarness h;
    auto& m = PlaceFed<TG4x4Matrix>(h, 4 * kSecond);
    m.fadeTime.SetValue(ms);
    m.gate(0, 0).SetValue(true);
    h.Run(kSecondBlocks);
    const std::vector<float>& out = h.Out(0);
    // A one-pole rise with a cutoff of 1000 / ms Hz: 63 % after ms / 2π.
    const double expected = ms / 1000.0 / (2.0 * std::numbers::pi) * kSampleRate;
    EXPECT_NEAR(static_cast<double>(Crossing(out, 0, 0.632f)), expected, 0.02 * expected) << ms;
    for (size_t n = 1; n < out.size(); ++n) {
      ASSERT_GE(out[n], out[n - 1]) << n;
      ASSERT_LE(out[n], 1.0f) << n;
    }
    EXPECT_LT(out[0], 0.01f);  // no step

    // Off again: the gain falls the same way and ends as exact silence.
    const size_t off = out.size();
    m.gate(0, 0).SetValue(false);
    h.Run(kSecondBlocks);
    const size_t fallen = off + static_cast<size_t>(expected);
    EXPECT_NEAR(h.Out(0)[fallen], 0.368f, 0.02f) << ms;
    EXPECT_EQ(h.Out(0).back(), 0.0f) << ms;
    EXPECT_EQ(m.GateLevel(0, 0), 0.0f);
  }
}

// The editor offers nothing under a millisecond: a shorter fade time from a
// document (none, negative, not a number) sounds exactly as 1 ms does, a
// fade of a few dozen samples rather than a click.
TEST(GateMatrixTest, AFadeTimeUnderOneMillisecondFadesAsOneMillisecond) {
  auto switched = [](double ms) {
    GraphHarness h;
    auto& m = PlaceFed<TG4x4Matrix>(h, kSecond);
    m.fadeTime.SetValue(ms);
    h.Run(1);
    m.gate(3, 1).SetValue(true);
    h.Run(1);
    m.gate(3, 1).SetValue(false);
    h.Run(2);
    return h.Out(1);
  };
  const std::vector<float> oneMs = switched(1.0);
  EXPECT_EQ(oneMs[kBlockSize - 1], 0.0f);
  EXPECT_LT(oneMs[kBlockSize], 8.0f * 0.2f) << "no step";
  EXPECT_GT(oneMs[2 * kBlockSize - 1], 8.0f * 0.99f);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (double ms : {0.0, -10.0, 0.3, nan}) {
    EXPECT_EQ(switched(ms), oneMs) << ms;
    EXPECT_EQ(TGGateMatrix::FadePole(ms), TGGateMatrix::FadePole(1.0)) << ms;
  }
  EXPECT_GT(TGGateMatrix::FadePole(1e12), 0.999998f);
  EXPECT_LT(TGGateMatrix::FadePole(1e12), 1.0f);
}

TEST(GateMatrixTest, EightByEightRoutesEveryInputToEveryOutputWithAllGatesOn) {
  GraphHarness h;
  auto& m = PlaceFed<TG8x8Matrix>(h, kSecond);
  // Gates into outputs 4 … 7 reach outlets 4 … 7 only.
  m.gate(3, 5).SetValue(true);
  m.gate(7, 6).SetValue(true);
  h.Run(kSecondBlocks / 2);
  for (int j = 0; j < 8; ++j) {
    const float expected = j == 5 ? 8.0f : j == 6 ? 128.0f : 0.0f;
    EXPECT_NEAR(h.Out(j).back(), expected, 1e-5f * (expected + 1)) << j;
  }
  for (int i = 0; i < 8; ++i) {
    for (int j = 0; j < 8; ++j) m.gate(i, j).SetValue(true);
  }
  h.Run(kSecondBlocks / 2);
  for (int j = 0; j < 8; ++j) EXPECT_NEAR(h.Out(j).back(), 255.0f, 255 * 4e-6f) << j;
}

TEST(GateMatrixTest, ResetStartsEveryGateFromSilence) {
  GraphHarness h;
  auto& m = PlaceFed<TG4x4Matrix>(h, kSecond);
  m.gate(1, 2).SetValue(true);
  h.Run(kSecondBlocks / 2);
  EXPECT_NEAR(m.GateLevel(1, 2), 1.0f, 1e-6f);
  m.Reset();
  EXPECT_EQ(m.GateLevel(1, 2), 0.0f);
  h.Run(1);
  const std::vector<float>& out = h.Out(2);
  EXPECT_LT(out[out.size() - kBlockSize], 0.01f);  // fading in again
}

}  // namespace gate_matrix_test
}  // namespace tg
