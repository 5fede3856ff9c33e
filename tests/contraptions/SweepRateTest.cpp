// The Flanger's and the Phaser's sweeps run at their own rate up to the
// fastest one, 100 Hz: a steady sine comes out with its modulation sidebands
// that far from it, not folded back by a sweep stepped once a block.
#include <gtest/gtest.h>

#include <cmath>

#include "contraptions/effects/flanger/TGFlanger.h"
#include "contraptions/effects/phaser/TGPhaser.h"
#include "tests/contraptions/NotchProbe.h"
#include "tests/support/GraphHarness.h"

namespace tg {
namespace sweep_rate_test {

constexpr double kToneHz = 1000.0;
constexpr double kRateHz = 100.0;
constexpr size_t kFrame = 32768;

// Narrow sweeps, so the first sidebands are the strongest.
void Sweep(TGFlanger& f) {
  f.minFrequency.SetValue(780.0);
  f.maxFrequency.SetValue(800.0);
  f.feedback.SetValue(0.0);
  f.wetDryMix.SetValue(1.0);
  f.rate.SetValue(kRateHz);
}

void Sweep(TGPhaser& p) {
  p.minFrequency.SetValue(1000.0);
  p.maxFrequency.SetValue(1100.0);
  p.feedback.SetValue(0.0);
  p.rate.SetValue(kRateHz);
}

template <typename Processor>
class SweepRateTest : public ::testing::Test {};
using Sweepers = ::testing::Types<TGFlanger, TGPhaser>;
TYPED_TEST_SUITE(SweepRateTest, Sweepers);

TYPED_TEST(SweepRateTest, AHundredHertzSweepPutsTheSidebandsAHundredHertzAway) {
  test::GraphHarness h;
  auto& p = h.Place<TypeParam>();
  Sweep(p);
  std::vector<float> tone(2 * kFrame);
  for (size_t n = 0; n < tone.size(); ++n)
    tone[n] = static_cast<float>(0.5 * std::sin(2.0 * M_PI * kToneHz * n / kSampleRate));
  h.Feed(p, 0, tone);
  h.Run(static_cast<int>(tone.size() / kBlockSize));
  const auto power = test::PowerSpectrum(h.Out(0), kFrame, kFrame);
  const double binHz = kSampleRate / kFrame;
  // The strongest line between 30 and 200 Hz from the tone, on either side.
  auto strongest = [&](double from, double to) {
    size_t best = static_cast<size_t>(from / binHz);
    for (size_t k = best; k <= static_cast<size_t>(to / binHz); ++k)
      if (power[k] > power[best]) best = k;
    return static_cast<double>(best) * binHz;
  };
  const double above = strongest(kToneHz + 30.0, kToneHz + 200.0);
  const double below = strongest(kToneHz - 200.0, kToneHz - 30.0);
  std::printf("sidebands at %+.1f and %+.1f Hz from the tone\n", above - kToneHz, below - kToneHz);
  EXPECT_NEAR(above - kToneHz, kRateHz, 2 * binHz);
  EXPECT_NEAR(below - kToneHz, -kRateHz, 2 * binHz);
}

}  // namespace sweep_rate_test
}  // namespace tg
