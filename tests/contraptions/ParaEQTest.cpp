#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <sstream>

#include "contraptions/filters/paraeq/TGParametric.h"
#include "tests/contraptions/NotchProbe.h"
#include "tests/support/GraphHarness.h"

namespace tg {
namespace para_eq_test {

using test::GraphHarness;
using test::TransferEstimate;

// About a second, in whole blocks: the input never stops inside a block.
constexpr size_t kSecond = 172 * kBlockSize;
constexpr size_t kSettle = 8192;

std::vector<float> Sine(double hz, size_t length, double amplitude = 0.5) {
  std::vector<float> s(length);
  for (size_t i = 0; i < length; ++i)
    s[i] = static_cast<float>(amplitude *
                              std::sin(2.0 * M_PI * hz * static_cast<double>(i) / kSampleRate));
  return s;
}

double Rms(const std::vector<float>& s, size_t from) {
  double sum = 0.0;
  for (size_t i = from; i < s.size(); ++i) sum += static_cast<double>(s[i]) * s[i];
  return std::sqrt(sum / static_cast<double>(s.size() - from));
}

// Renders one channel through MParaEQ set up by setup.
std::vector<float> RenderMono(const std::function<void(TGParametric&)>& setup,
                              const std::vector<float>& in) {
  GraphHarness h;
  auto& eq = h.Place<TGMonoParametric>();
  setup(eq);
  h.Feed(eq, 0, in);
  h.Run(static_cast<int>((in.size() + kBlockSize - 1) / kBlockSize));
  return h.Out(0);
}

TransferEstimate Measure(const std::function<void(TGParametric&)>& setup) {
  const auto in = test::WhiteNoise(4 * kSecond);
  return TransferEstimate(in, RenderMono(setup, in), kSettle);
}

TEST(ParaEQTest, PeakingBandsRaiseNoiseAtTheirCentreOnly) {
  for (int b : {0, 1}) {
    const auto t = Measure([b](TGParametric& eq) {
      eq.bands[static_cast<size_t>(b)].centre.SetValue(2000.0);
      eq.bands[static_cast<size_t>(b)].bandwidth.SetValue(400.0);
      eq.bands[static_cast<size_t>(b)].gain.SetValue(12.0);
    });
    EXPECT_NEAR(t.DecibelsAt(2000.0), 12.0, 0.5) << "band " << b;
    EXPECT_NEAR(t.DecibelsAt(500.0), 0.0, 1.0) << "band " << b;
    EXPECT_NEAR(t.DecibelsAt(8000.0), 0.0, 1.0) << "band " << b;
    EXPECT_NEAR(t.HighestBetween(1000.0, 4000.0), 2000.0, 2 * TransferEstimate::BinHz());
  }
}

TEST(ParaEQTest, ShelvesRaiseTheirSideOnly) {
  const auto low = Measure([](TGParametric& eq) {
    eq.lsCutoff.SetValue(200.0);
    eq.lsGain.SetValue(12.0);
  });
  EXPECT_NEAR(low.DecibelsAt(40.0), 12.0, 0.5);
  EXPECT_NEAR(low.DecibelsAt(800.0), 0.0, 1.0);
  const auto high = Measure([](TGParametric& eq) {
    eq.hsCutoff.SetValue(4000.0);
    eq.hsGain.SetValue(12.0);
  });
  EXPECT_NEAR(high.DecibelsAt(19000.0), 12.0, 0.5);
  EXPECT_NEAR(high.DecibelsAt(1000.0), 0.0, 1.0);
  const auto cut = Measure([](TGParametric& eq) {
    eq.hsCutoff.SetValue(4000.0);
    eq.hsGain.SetValue(-12.0);
  });
  EXPECT_NEAR(cut.DecibelsAt(19000.0), -12.0, 0.5);
  EXPECT_LT(cut.DecibelsAt(2000.0), 0.1);  // no bump below the corner
}

TEST(ParaEQTest, AllGainsAtZeroPassTheInputUnchanged) {
  const auto t = Measure([](TGParametric&) {});
  for (double hz = 100.0; hz < 20000.0; hz *= 1.3) EXPECT_NEAR(t.DecibelsAt(hz), 0.0, 0.01) << hz;
  // Sample by sample too, but for the DC blocker's phase lead (about 2.4 mrad
  // at 1 kHz).
  const auto in = Sine(1000.0, kSecond);
  const auto out = RenderMono([](TGParametric&) {}, in);
  for (size_t i = kSettle; i < in.size(); ++i) ASSERT_NEAR(out[i], in[i], 1.5e-3) << i;
}

TEST(ParaEQTest, ANarrowBandAmplifiesItsSineOnly) {
  auto boost = [](TGParametric& eq) { eq.bands[0].gain.SetValue(12.0); };  // 1000 Hz, 20 Hz wide
  const double at1000 = Rms(RenderMono(boost, Sine(1000.0, kSecond)), kSecond / 2);
  EXPECT_NEAR(at1000 / Rms(Sine(1000.0, kSecond), 0), 3.98, 0.03);
  const double at100 = Rms(RenderMono(boost, Sine(100.0, kSecond)), kSecond / 2);
  EXPECT_NEAR(at100 / Rms(Sine(100.0, kSecond), 0), 1.0, 0.01);
}

TEST(ParaEQTest, ConstantInputDecaysToSilence) {
  const auto out = RenderMono(
      [](TGParametric& eq) {
        eq.lsGain.SetValue(30.0);
        eq.lsCutoff.SetValue(20.0);
      },
      test::Constant(10 * kSecond, 0.5f));
  EXPECT_LT(std::fabs(out.back()), 1e-3);
}

TEST(ParaEQTest, StereoChannelsMatchMonoAndStayApart) {
  auto setup = [](TGParametric& eq) {
    eq.hsGain.SetValue(-6.0);
    eq.lsGain.SetValue(9.0);
    eq.bands[0].gain.SetValue(12.0);
    eq.bands[0].bandwidth.SetValue(300.0);
    eq.bands[1].centre.SetValue(5000.0);
    eq.bands[1].gain.SetValue(-20.0);
  };
  const auto noise = test::WhiteNoise(kSecond);
  const auto mono = RenderMono(setup, noise);
  GraphHarness h;
  auto& stereo = h.Place<TGStereoParametric>();
  setup(stereo);
  h.Feed(stereo, 0, noise);
  h.Run(static_cast<int>(noise.size() / kBlockSize));
  for (size_t i = 0; i < mono.size(); ++i)
    ASSERT_NEAR(h.Out(0)[i], mono[i], 1e-4) << i;  // only the tiny noise differs
  // An unconnected right inlet is silence, not a copy of the left.
  double peak = 0.0;
  for (float v : h.Out(1)) peak = std::max(peak, std::fabs(static_cast<double>(v)));
  EXPECT_LT(peak, 1e-5);
  // The right channel filters as the left does (half the level in, half out).
  std::vector<float> half(noise);
  for (float& v : half) v *= 0.5f;
  GraphHarness both;
  auto& pair = both.Place<TGStereoParametric>();
  setup(pair);
  both.Feed(pair, 0, noise);
  both.Feed(pair, 1, half);
  both.Run(static_cast<int>(noise.size() / kBlockSize));
  for (size_t i = 0; i < mono.size(); ++i) {
    ASSERT_NEAR(both.Out(0)[i], mono[i], 1e-4) << i;
    ASSERT_NEAR(both.Out(1)[i], 0.5f * mono[i], 1e-4) << i;
  }
}

TEST(ParaEQTest, ADocumentRestoresTheBandsInTableOrder) {
  QSDynSigContext context;
  auto* a = new TGStereoParametric(&context);
  a->bands[0].centre.SetValue(1234.0);
  a->bands[0].bandwidth.SetValue(321.0);
  a->bands[0].gain.SetValue(-7.0);
  a->bands[1].centre.SetValue(4321.0);
  a->bands[1].bandwidth.SetValue(123.0);
  a->bands[1].gain.SetValue(5.0);
  std::stringstream text;
  a->WriteProperties(text);
  auto* b = new TGStereoParametric(&context);
  b->ReadProperties(text);
  EXPECT_EQ(b->bands[0].centre.Value(), 1234.0);
  EXPECT_EQ(b->bands[0].bandwidth.Value(), 321.0);
  EXPECT_EQ(b->bands[0].gain.Value(), -7.0);
  EXPECT_EQ(b->bands[1].centre.Value(), 4321.0);
  EXPECT_EQ(b->bands[1].bandwidth.Value(), 123.0);
  EXPECT_EQ(b->bands[1].gain.Value(), 5.0);
}

}  // namespace para_eq_test
}  // namespace tg
