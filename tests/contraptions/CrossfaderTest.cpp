#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "contraptions/mixers/crossfader/TGCrossfader.h"
#include "dsp/GainSmoother.h"
#include "tests/support/GraphHarness.h"

namespace tg {
namespace crossfader_test {

using test::Constant;
using test::GraphHarness;

constexpr int kSettleBlocks = 200;  // over a second: far past the smoother

struct Levels {
  float left, right;
};

// The settled output for constant inputs on the given inlets (others unconnected).
Levels Settled(const std::function<void(TGCrossfader&)>& setup,
               std::initializer_list<std::pair<int, float>> inputs) {
  GraphHarness h;
  auto& x = h.Place<TGCrossfader>();
  setup(x);
  for (const auto& [inlet, value] : inputs)
    h.Feed(x, inlet, Constant(kSettleBlocks * kBlockSize, value));
  h.Run(kSettleBlocks);
  return {h.Out(0).back(), h.Out(1).back()};
}

TEST(CrossfaderTest, FadeLawAtTheEndsTheCentreAndTheQuarters) {
  struct Point {
    double fade, a, b;
  };
  for (const Point& p : {Point{0.0, 1.0, 0.0}, Point{0.25, 1.0, 0.5}, Point{0.5, 1.0, 1.0},
                         Point{0.75, 0.5, 1.0}, Point{1.0, 0.0, 1.0}}) {
    auto setup = [&p](TGCrossfader& x) { x.fade.SetValue(p.fade); };
    // Source A alone, left and right apart, then source B alone.
    const Levels a = Settled(setup, {{0, 0.5f}, {1, 0.25f}});
    EXPECT_NEAR(a.left, 0.5 * p.a, 1e-4) << p.fade;
    EXPECT_NEAR(a.right, 0.25 * p.a, 1e-4) << p.fade;
    const Levels b = Settled(setup, {{2, 0.5f}, {3, 0.25f}});
    EXPECT_NEAR(b.left, 0.5 * p.b, 1e-4) << p.fade;
    EXPECT_NEAR(b.right, 0.25 * p.b, 1e-4) << p.fade;
    // Both together add.
    const Levels both = Settled(setup, {{0, 0.5f}, {1, 0.25f}, {2, 0.2f}, {3, 0.1f}});
    EXPECT_NEAR(both.left, 0.5 * p.a + 0.2 * p.b, 1e-4) << p.fade;
    EXPECT_NEAR(both.right, 0.25 * p.a + 0.1 * p.b, 1e-4) << p.fade;
  }
}

TEST(CrossfaderTest, TrimsAndMasterScaleTheirSources) {
  auto setup = [](TGCrossfader& x) {
    x.fade.SetValue(0.5);
    x.trimA.SetValue(0.8);
    x.trimB.SetValue(1.5);
    x.masterGain.SetValue(0.5);
  };
  const Levels l = Settled(setup, {{0, 0.5f}, {1, 0.5f}, {2, 0.1f}, {3, 0.1f}});
  EXPECT_NEAR(l.left, 0.5 * 0.8 * 0.5 + 0.1 * 1.5 * 0.5, 1e-4);
  EXPECT_NEAR(l.right, l.left, 1e-6);
}

TEST(CrossfaderTest, PastEitherEndTheFaderHolds) {
  for (double beyond : {-1.0, 2.0, static_cast<double>(NAN)}) {
    const double end = beyond > 1.0 ? 1.0 : 0.0;
    auto out = [](double f) {
      return Settled([f](TGCrossfader& x) { x.fade.SetValue(f); }, {{0, 0.5f}, {2, 0.25f}});
    };
    EXPECT_NEAR(out(beyond).left, out(end).left, 1e-6) << beyond;
  }
  // Gains from a hand-edited document are held at their ends too; 1e39 as a
  // float gain would be infinite and stick in the smoothers.
  auto gains = [](double g) {
    return Settled(
        [g](TGCrossfader& x) {
          x.trimA.SetValue(g);
          x.trimB.SetValue(g);
          x.masterGain.SetValue(g);
        },
        {{0, 0.1f}, {2, 0.1f}});
  };
  EXPECT_NEAR(gains(1e39).left, gains(1.5).left, 1e-6);
  EXPECT_NEAR(gains(-1e39).left, 0.0, 1e-6);
}

TEST(CrossfaderTest, AMonoSourceOnEitherInletFeedsBothOutlets) {
  const Levels a = Settled([](TGCrossfader&) {}, {{1, 0.3f}});
  EXPECT_NEAR(a.left, 0.3, 1e-4);
  EXPECT_NEAR(a.right, 0.3, 1e-4);
  const Levels b = Settled([](TGCrossfader& x) { x.fade.SetValue(1.0); }, {{2, 0.3f}});
  EXPECT_NEAR(b.left, 0.3, 1e-4);
  EXPECT_NEAR(b.right, 0.3, 1e-4);
}

TEST(CrossfaderTest, AFastMoveGlidesWithoutSteps) {
  GraphHarness h;
  auto& x = h.Place<TGCrossfader>();
  h.Feed(x, 0, Constant(2 * kSettleBlocks * kBlockSize, 1.0f));
  h.Feed(x, 1, Constant(2 * kSettleBlocks * kBlockSize, 1.0f));
  h.Run(kSettleBlocks);
  x.fade.SetValue(1.0);
  h.Run(kSettleBlocks);
  const auto& left = h.Out(0);
  const auto& right = h.Out(1);
  const size_t move = kSettleBlocks * kBlockSize;
  ASSERT_NEAR(left[move - 1], 1.0f, 1e-4f);  // the float recursion's resting point
  // Every sample moves at most one smoother step towards the target.
  const float step = 1.0f - GainSmoother(kSampleRate, TGCrossfader::kSmootherCutoffHz).Pole();
  double largest = 0.0;
  for (size_t i = move; i < left.size(); ++i) {
    largest = std::max(largest, std::fabs(static_cast<double>(left[i] - left[i - 1])));
    ASSERT_EQ(left[i], right[i]) << i;  // both channels on one trajectory
  }
  EXPECT_LE(largest, step * 1.001);
  EXPECT_GT(largest, step * 0.99);
  // A few tens of milliseconds: still audible after 5 ms, gone after 100 ms.
  EXPECT_GT(left[move + 220], 0.5f);
  EXPECT_LT(left[move + 4410], 0.01f);
  EXPECT_EQ(left.back(), 0.0f);  // flushed to exact silence
}

TEST(CrossfaderTest, UnconnectedInletsGiveExactSilence) {
  GraphHarness h;
  h.Place<TGCrossfader>();
  h.Run(4);
  for (int o : {0, 1})
    for (float v : h.Out(o)) ASSERT_EQ(v, 0.0f);
}

}  // namespace crossfader_test
}  // namespace tg
