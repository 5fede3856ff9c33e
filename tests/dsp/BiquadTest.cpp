#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>
#include <vector>

#include "dsp/BlockConstants.h"
#include "dsp/QSBiquad.h"

namespace tg {
namespace biquad_test {

constexpr int kResponseLength = 1 << 16;

// A section's impulse response, long enough for the narrowest band to die.
template <typename Coefficients>
std::vector<float> ImpulseResponse(const Coefficients& k, int length = kResponseLength) {
  std::vector<float> s(static_cast<size_t>(length), 0.0f);
  s[0] = 1.0f;
  BiquadHistory h;
  for (int at = 0; at < length; at += kBlockSize)
    h.Process(k, s.data() + at, std::min(kBlockSize, length - at));
  return s;
}

// The gain at a frequency, in dB, from the response's transform at that frequency.
double GainDb(const std::vector<float>& response, double hz) {
  const std::complex<double> step = std::polar(1.0, -2.0 * M_PI * hz / kSampleRate);
  std::complex<double> z = 1.0, sum = 0.0;
  for (float v : response) {
    sum += static_cast<double>(v) * z;
    z *= step;
  }
  return 20.0 * std::log10(std::abs(sum));
}

TEST(BiquadTest, PeakingBandReachesItsGainAtTheCentreAndUnityFarAway) {
  for (double db : {12.0, -12.0, 30.0, -30.0}) {
    const auto r = ImpulseResponse(PeakingCoefficients::Make(1000.0, 200.0, db));
    EXPECT_NEAR(GainDb(r, 1000.0), db, 0.01) << db;
    // A big boost widens the skirts (the width is set where the allpass is a
    // quarter turn off); a cut narrows them.
    const double far = db > 12.0 ? 6.5 : 0.3;
    EXPECT_NEAR(GainDb(r, 250.0), 0.0, far) << db;
    EXPECT_NEAR(GainDb(r, 4000.0), 0.0, far) << db;
  }
  // Half a bandwidth either side of the centre the allpass is a quarter turn
  // off, so the power gain there is the mean of K² and 1.
  const auto r = ImpulseResponse(PeakingCoefficients::Make(4000.0, 400.0, 12.0));
  const double k = std::pow(10.0, 12.0 / 20.0);
  const double edge = 10.0 * std::log10((1.0 + k * k) / 2.0);
  EXPECT_NEAR(GainDb(r, 4200.0), edge, 0.3);
  EXPECT_NEAR(GainDb(r, 3800.0), edge, 0.3);
}

TEST(BiquadTest, ShelvesReachTheirGainAndLeaveTheOtherSideAlone) {
  for (double db : {12.0, -12.0}) {
    const auto low = ImpulseResponse(ShelfCoefficients::Low(200.0, db));
    EXPECT_NEAR(GainDb(low, 20.0), db, 0.1) << db;
    EXPECT_NEAR(GainDb(low, 200.0), db / 2.0, 0.1) << db;
    EXPECT_NEAR(GainDb(low, 800.0), 0.0, 1.0) << db;
    const auto high = ImpulseResponse(ShelfCoefficients::High(4000.0, db));
    EXPECT_NEAR(GainDb(high, 20000.0), db, 0.1) << db;
    EXPECT_NEAR(GainDb(high, 4000.0), db / 2.0, 0.1) << db;
    EXPECT_NEAR(GainDb(high, 1000.0), 0.0, 1.0) << db;
  }
}

TEST(BiquadTest, ACutShelfNeitherBoostsNorOvershoots) {
  for (double corner : {3000.0, 10000.0}) {
    const auto high = ImpulseResponse(ShelfCoefficients::High(corner, -12.0));
    const auto low = ImpulseResponse(ShelfCoefficients::Low(corner / 20.0, -12.0));
    for (double hz = 20.0; hz < 21000.0; hz *= 1.05) {
      for (const auto* r : {&high, &low}) {
        const double g = GainDb(*r, hz);
        EXPECT_LE(g, 0.01) << corner << " at " << hz;
        EXPECT_GE(g, -12.01) << corner << " at " << hz;
      }
    }
  }
}

TEST(BiquadTest, ZeroDecibelsIsTheIdentity) {
  for (const auto& r : {ImpulseResponse(ShelfCoefficients::Low(100.0, 0.0), 64),
                        ImpulseResponse(ShelfCoefficients::High(10000.0, 0.0), 64),
                        ImpulseResponse(PeakingCoefficients::Make(1000.0, 20.0, 0.0), 64)}) {
    EXPECT_NEAR(r[0], 1.0f, 1e-6f);
    for (size_t i = 1; i < r.size(); ++i) EXPECT_NEAR(r[i], 0.0f, 1e-6f) << i;
  }
}

// Every section decays and stays finite for what a document may hold.
TEST(BiquadTest, OutOfRangeSettingsStayStableAndFinite) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const double frequencies[] = {0.0, -50.0, 22050.0, 30000.0, 1e9, nan, inf};
  const double widths[] = {0.0, -10.0, 22050.0, 1e9, nan};
  const double gains[] = {1e6, -1e6, nan, inf, -inf};
  auto expectDecays = [](const std::vector<float>& r, const char* what, double v) {
    double tail = 0.0;
    for (size_t i = 0; i < r.size(); ++i) {
      ASSERT_TRUE(std::isfinite(r[i])) << what << " " << v << " at " << i;
      if (i >= r.size() - 4096) tail = std::max(tail, std::fabs(static_cast<double>(r[i])));
    }
    EXPECT_LT(tail, 1e-3) << what << " " << v;
  };
  for (double f : frequencies) {
    expectDecays(ImpulseResponse(ShelfCoefficients::Low(f, 12.0)), "low shelf at", f);
    expectDecays(ImpulseResponse(ShelfCoefficients::High(f, 12.0)), "high shelf at", f);
    expectDecays(ImpulseResponse(PeakingCoefficients::Make(f, 100.0, 12.0)), "band at", f);
  }
  for (double w : widths)
    expectDecays(ImpulseResponse(PeakingCoefficients::Make(1000.0, w, 12.0)), "width", w);
  for (double g : gains) {
    expectDecays(ImpulseResponse(ShelfCoefficients::Low(100.0, g)), "low shelf gain", g);
    expectDecays(ImpulseResponse(ShelfCoefficients::High(10000.0, g)), "high shelf gain", g);
    expectDecays(ImpulseResponse(PeakingCoefficients::Make(1000.0, 100.0, g)), "gain", g);
  }
}

// The four sections in one block: the shared coefficients, each channel's history.
TEST(BiquadTest, FourBandChannelsShareSettingsButNotHistory) {
  QSFourBandEq eq;
  eq.SetHighShelf(8000.0, 6.0);
  eq.SetLowShelf(100.0, -6.0);
  eq.SetBand(0, 1000.0, 100.0, 12.0);
  eq.SetBand(1, 3000.0, 300.0, -12.0);
  QSFourBandEq::Channel left, right;
  std::vector<float> a(kResponseLength, 0.0f), b(kResponseLength, 0.0f);
  a[0] = 1.0f;
  b[100] = 1.0f;  // the same impulse, later, on the other channel
  for (int at = 0; at < kResponseLength; at += kBlockSize) {
    left.Process(eq, a.data() + at, kBlockSize);
    right.Process(eq, b.data() + at, kBlockSize);
  }
  for (size_t i = 0; i + 100 < a.size(); ++i) ASSERT_EQ(a[i], b[i + 100]) << i;
  EXPECT_NEAR(GainDb(a, 1000.0), 12.0, 0.2);
  EXPECT_NEAR(GainDb(a, 3000.0), -12.0, 0.2);
  EXPECT_NEAR(GainDb(a, 20.0), -6.0, 0.2);
  EXPECT_NEAR(GainDb(a, 20000.0), 6.0, 0.3);
}

}  // namespace biquad_test
}  // namespace tg
