#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <functional>
#include <limits>
#include <numbers>
#include <string>
#include <vector>

#include "contraptions/generators/additive10/TGAdditive10.h"
#include "framework/ContraptionDescriptor.h"
#include "tests/support/GraphHarness.h"

namespace tg {

const ContraptionDescriptor& Additive10Type();

namespace additive10_test {

using test::GraphHarness;

constexpr size_t kSecond = static_cast<size_t>(kSampleRate);
constexpr int kBlocksPerSecond = static_cast<int>(kSampleRate / kBlockSize);

// The amplitude of the component at hz in n samples from `from`. Whole
// periods of every harmonic fit the windows used here, so neighbours leave
// no trace.
double AmplitudeAt(const std::vector<float>& s, size_t from, size_t n, double hz) {
  std::complex<double> sum = 0.0;
  for (size_t i = 0; i < n; ++i) {
    const double phase = -2.0 * std::numbers::pi * hz * static_cast<double>(i) / kSampleRate;
    sum += static_cast<double>(s[from + i]) * std::polar(1.0, phase);
  }
  return 2.0 * std::abs(sum) / static_cast<double>(n);
}

float Peak(const std::vector<float>& s, size_t from, size_t to) {
  float peak = 0.0f;
  for (size_t i = from; i < to; ++i) peak = std::max(peak, std::abs(s[i]));
  return peak;
}

// The largest change from one sample to the next.
float LargestStep(const std::vector<float>& s) {
  float step = 0.0f;
  for (size_t i = 1; i < s.size(); ++i) step = std::max(step, std::abs(s[i] - s[i - 1]));
  return step;
}

// Upward zero crossings, at fractional sample positions.
std::vector<double> UpwardCrossings(const std::vector<float>& s) {
  std::vector<double> at;
  for (size_t i = 1; i < s.size(); ++i) {
    if (s[i - 1] < 0.0f && s[i] >= 0.0f) {
      at.push_back(static_cast<double>(i - 1) + s[i - 1] / (s[i - 1] - s[i]));
    }
  }
  return at;
}

size_t CrossingsBefore(const std::vector<double>& crossings, double sample) {
  return static_cast<size_t>(std::lower_bound(crossings.begin(), crossings.end(), sample) -
                             crossings.begin());
}

// Renders a new 10Harmonics set up as given; between(p) runs after `blocks` blocks
// and then `after` more are made.
std::vector<float> Render(const std::function<void(TGAdditive10&)>& setup, int blocks,
                          const std::function<void(TGAdditive10&)>& between = {}, int after = 0) {
  GraphHarness h;
  auto& p = h.Place<TGAdditive10>();
  setup(p);
  h.Run(blocks);
  if (between) {
    between(p);
    h.Run(after);
  }
  return h.Out(0);
}

void Only(TGAdditive10& p, int partial, double gain = 1.0) {
  for (auto& a : p.amp) a.SetValue(0.0);
  p.amp[static_cast<size_t>(partial)].SetValue(1.0);
  p.gain.SetValue(gain);
}

TEST(Additive10Test, TypeAndParametersInTheirStoredOrder) {
  const ContraptionDescriptor& type = Additive10Type();
  EXPECT_EQ(type.typeName, "10Harmonics");
  EXPECT_EQ(type.category, "Signal Generators");
  EXPECT_EQ(type.helpNumber, 1005);
  EXPECT_EQ(type.helpPage, "additive10.html");

  GraphHarness h;
  auto& p = h.Place<TGAdditive10>();
  EXPECT_EQ(p.InletCount(), 0);
  EXPECT_EQ(p.OutletCount(), 1);
  QSPropertyTable* table = p.GetPropertyTable();
  ASSERT_EQ(table->Count(), 12);
  struct Expected {
    std::string name;
    double value, min, max;
  };
  std::vector<Expected> expected = {{"FundamentalFrequency", 100.0, 20.0, 1000.0},
                                    {"Gain", 0.0, 0.0, 1.0}};
  for (int k = 0; k < 10; ++k)
    expected.push_back({"Amp_" + std::to_string(k), k == 0 ? 1.0 : 0.0, 0.0, 1.0});
  for (int i = 0; i < 12; ++i) {
    const QSPropertyInfo& info = table->InfoAt(i);
    const Expected& e = expected[static_cast<size_t>(i)];
    EXPECT_EQ(info.name, e.name);
    EXPECT_EQ(info.defaultValue, e.value) << e.name;
    EXPECT_EQ(info.minimum, e.min) << e.name;
    EXPECT_EQ(info.maximum, e.max) << e.name;
  }
}

TEST(Additive10Test, ANewOneIsAHundredHertzSineSilentUntilTheGainIsRaised) {
  const auto out = Render([](TGAdditive10&) {}, kBlocksPerSecond,
                          [](TGAdditive10& p) { p.gain.SetValue(1.0); }, 2 * kBlocksPerSecond);
  const size_t raised = static_cast<size_t>(kBlocksPerSecond) * kBlockSize;
  EXPECT_EQ(Peak(out, 0, raised), 0.0f);
  // Raised: half of full scale, all of it at 100 Hz.
  const size_t from = raised + kSecond / 2;
  EXPECT_NEAR(Peak(out, from, from + kSecond), 0.5f, 1e-4f);
  EXPECT_NEAR(AmplitudeAt(out, from, kSecond, 100.0), 0.5, 1e-4);
  for (int k = 2; k <= 10; ++k) EXPECT_LT(AmplitudeAt(out, from, kSecond, 100.0 * k), 1e-4) << k;
  const auto crossings = UpwardCrossings(std::vector<float>(out.begin() + from, out.end()));
  ASSERT_GE(crossings.size(), 100u);
  EXPECT_NEAR((crossings[100] - crossings[0]) / 100.0, kSampleRate / 100.0, 0.01);
  // A new gain comes in over a few milliseconds, not as a click (a step
  // there would be up to 0.5).
  EXPECT_LT(LargestStep(out), 2.0 * (0.5 * 2.0 * std::sin(std::numbers::pi * 100.0 / kSampleRate)));
}

TEST(Additive10Test, HarmonicsSoundAtTheirMultiplesInTheRatioOfTheirAmplitudes) {
  const double amps[10] = {1.0, 0.5, 0.0, 0.25, 0.8, 0.0, 0.1, 0.3, 0.0, 0.6};
  for (const double fundamental : {100.0, 147.0, 1000.0}) {
    SCOPED_TRACE(fundamental);
    const auto out = Render(
        [&](TGAdditive10& p) {
          p.fundamentalFrequency.SetValue(fundamental);
          p.gain.SetValue(0.8);
          for (size_t k = 0; k < 10; ++k) p.amp[k].SetValue(amps[k]);
        },
        3 * kBlocksPerSecond);
    const size_t from = kSecond;  // the glide from 100 Hz is over
    for (size_t k = 0; k < 10; ++k) {
      const double hz = fundamental * static_cast<double>(k + 1);
      EXPECT_NEAR(AmplitudeAt(out, from, kSecond, hz), 0.5 * 0.8 * amps[k], 2e-4) << hz;
      // Nothing between the harmonics (whole periods in the window here, too).
      EXPECT_LT(AmplitudeAt(out, from, kSecond, hz + std::floor(fundamental / 2)), 2e-4) << hz;
    }
    // The sum can never exceed the sum of the partials' levels.
    const double sum = 0.4 * (1.0 + 0.5 + 0.25 + 0.8 + 0.1 + 0.3 + 0.6);
    EXPECT_LE(Peak(out, 0, out.size()), sum + 1e-4);
  }
}

TEST(Additive10Test, ANewFundamentalGlidesWithoutAClickAndEveryHarmonicFollowsInTune) {
  // Each harmonic alone, so its frequency can be followed by its crossings.
  const int before = kBlocksPerSecond / 2;
  const size_t change = static_cast<size_t>(before) * kBlockSize;
  std::vector<std::vector<float>> partial;
  for (int k = 0; k < 10; ++k) {
    partial.push_back(Render([k](TGAdditive10& p) { Only(p, k); }, before,
                             [](TGAdditive10& p) { p.fundamentalFrequency.SetValue(1000.0); },
                             kBlocksPerSecond));
  }
  const std::vector<float>& first = partial[0];

  // No step beyond what a 1000 Hz sine of the same level makes.
  EXPECT_LT(LargestStep(first),
            0.5 * 2.0 * std::sin(std::numbers::pi * 1000.0 / kSampleRate) * (1.0 + 1e-4));

  // The frequency of each period moves steadily from 100 up to 1000 Hz,
  // most of the way within a fraction of a second, but not at once.
  const auto crossings = UpwardCrossings(first);
  double last = 0.0;
  double at20ms = 0.0, at250ms = 0.0;
  for (size_t i = 1; i < crossings.size(); ++i) {
    const double hz = kSampleRate / (crossings[i] - crossings[i - 1]);
    const double t = (crossings[i] - static_cast<double>(change)) / kSampleRate;
    if (t < 0.0) {
      ASSERT_NEAR(hz, 100.0, 0.05) << t;
      continue;
    }
    ASSERT_GE(hz, last - 0.05) << t;
    ASSERT_LE(hz, 1000.05) << t;
    last = hz;
    if (t <= 0.02) at20ms = hz;
    if (t <= 0.25) at250ms = hz;
  }
  EXPECT_GT(at20ms, 150.0);
  EXPECT_LT(at20ms, 800.0);
  EXPECT_GT(at250ms, 990.0);
  EXPECT_NEAR(last, 1000.0, 0.05);

  // Harmonic k completes k periods for each period of the fundamental, all
  // the way through the glide.
  for (size_t k = 1; k < 10; ++k) {
    const auto upper = UpwardCrossings(partial[k]);
    for (double t = 0.1; t < 1.45; t += 0.05) {
      const double sample = t * kSampleRate;
      // Counting whole periods of the fundamental leaves less than one of
      // them, k periods of harmonic k, uncounted.
      const double k1 = static_cast<double>(k + 1);
      const double ahead = static_cast<double>(CrossingsBefore(upper, sample)) -
                           k1 * static_cast<double>(CrossingsBefore(crossings, sample));
      ASSERT_GE(ahead, -1.0) << "harmonic " << k + 1 << " at " << t;
      ASSERT_LE(ahead, k1) << "harmonic " << k + 1 << " at " << t;
    }
    const size_t tail = partial[k].size() - kSecond / 2;
    EXPECT_NEAR(AmplitudeAt(partial[k], tail, kSecond / 2, 1000.0 * static_cast<double>(k + 1)),
                0.5, 1e-3)
        << "harmonic " << k + 1;
  }
}

TEST(Additive10Test, ADocumentsFrequencyPlaysFromTheStartWithoutAGlide) {
  GraphHarness h;
  auto& p = h.Place<TGAdditive10>();
  p.fundamentalFrequency.SetValue(500.0);
  p.gain.SetValue(1.0);
  p.Reset();  // as after reading a document
  h.Run(20);
  const auto crossings = UpwardCrossings(h.Out(0));
  ASSERT_GE(crossings.size(), 10u);
  EXPECT_NEAR(kSampleRate / (crossings[1] - crossings[0]), 500.0, 0.5);
  EXPECT_NEAR(Peak(h.Out(0), 0, 200), 0.5f, 1e-3f);
}

TEST(Additive10Test, StoredValuesBeyondTheRangesPlayAsTheRangesEnds) {
  const auto reference = [](double hz, double gain, double amp) {
    return Render(
        [=](TGAdditive10& p) {
          p.fundamentalFrequency.SetValue(hz);
          p.gain.SetValue(gain);
          for (auto& a : p.amp) a.SetValue(amp);
        },
        2 * kBlocksPerSecond);
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const auto top = reference(1000.0, 1.0, 1.0);
  EXPECT_TRUE(reference(5000.0, 1.0, 1.0) == top);
  EXPECT_TRUE(reference(inf, 1.0, 1.0) == top);
  EXPECT_TRUE(reference(1000.0, 50.0, 7.0) == top);
  EXPECT_TRUE(reference(1000.0, inf, inf) == top);
  const auto bottom = reference(20.0, 1.0, 1.0);
  EXPECT_TRUE(reference(-5.0, 1.0, 1.0) == bottom);
  EXPECT_TRUE(reference(nan, 1.0, 1.0) == bottom);
  const auto silent = Render([](TGAdditive10&) {}, 10);
  EXPECT_EQ(Peak(silent, 0, silent.size()), 0.0f);
  for (const auto& quiet : {reference(500.0, nan, 1.0), reference(500.0, 1.0, nan),
                            reference(500.0, -1.0, 1.0), reference(500.0, 1.0, -3.0)}) {
    EXPECT_EQ(Peak(quiet, 0, quiet.size()), 0.0f);
  }
  // Every partial at full level: the highest, 10 kHz, stays below Nyquist
  // and the sum within the ten levels.
  for (float x : top) ASSERT_TRUE(std::isfinite(x));
  EXPECT_LE(Peak(top, 0, top.size()), 5.0f);
  EXPECT_NEAR(AmplitudeAt(top, kSecond, kSecond / 2, 10000.0), 0.5, 1e-3);
}

TEST(Additive10Test, TenMinutesKeepEveryHarmonicsLevel) {
  GraphHarness h;
  auto& p = h.Place<TGAdditive10>();
  p.gain.SetValue(1.0);
  for (auto& a : p.amp) a.SetValue(1.0);
  p.fundamentalFrequency.SetValue(237.0);
  const auto levels = [&] {
    std::vector<double> db;
    for (int k = 1; k <= 10; ++k) {
      db.push_back(20.0 * std::log10(AmplitudeAt(h.Out(0), 0, kSecond, 237.0 * k)));
    }
    return db;
  };
  h.Run(kBlocksPerSecond);  // the glide from 100 Hz
  h.recorder->recorded[0].clear();
  h.Run(kBlocksPerSecond + 1);
  const auto start = levels();
  for (int minute = 0; minute < 10; ++minute) {
    h.recorder->recorded[0].clear();
    h.Run(60 * kBlocksPerSecond);
  }
  const auto end = levels();
  for (size_t k = 0; k < 10; ++k) {
    EXPECT_NEAR(start[k], 20.0 * std::log10(0.5), 0.01) << "harmonic " << k + 1;
    EXPECT_NEAR(end[k], start[k], 0.1) << "harmonic " << k + 1;
  }
}

}  // namespace additive10_test
}  // namespace tg
