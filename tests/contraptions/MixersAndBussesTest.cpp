#include <gtest/gtest.h>

#include "contraptions/mixers/busses/TGBusses.h"
#include "contraptions/mixers/mixers/TGMixers.h"
#include "tests/support/GraphHarness.h"

namespace tg {
namespace mixers_and_busses_test {

using test::Constant;
using test::GraphHarness;

constexpr size_t kLength = kBlockSize * 8;

TEST(MixerTest, PropertiesAreNamedByChannelInTableOrder) {
  TGP3Mixer p(nullptr);
  QSPropertyTable& table = *p.GetPropertyTable();
  ASSERT_EQ(table.Count(), 7);
  EXPECT_EQ(table.InfoAt(0).name, "MasterGain");
  EXPECT_EQ(table.InfoAt(5).name, "Gain_2");
  EXPECT_EQ(table.InfoAt(6).name, "Pan_2");
  EXPECT_EQ(&table.PropertyAt(6), &p.panProperty(2));
  EXPECT_EQ(p.panProperty(1).Value(), 0.5);
  TGS12Mixer s(nullptr);
  EXPECT_EQ(s.GetPropertyTable()->Count(), 13);
  EXPECT_EQ(s.InletCount(), 24);
  EXPECT_EQ(TGM6Mixer(nullptr).OutletCount(), 1);
}

TEST(MixerTest, NewMixersAreSilentAndUnconnectedOnesOutputExactZeros) {
  GraphHarness h;
  auto& mixer = h.Place<TGS2Mixer>();
  h.Feed(mixer, 0, Constant(kLength, 0.5f));
  h.Run(4);
  for (float v : h.Out(0)) ASSERT_EQ(v, 0.0f);

  GraphHarness empty;
  auto& m = empty.Place<TGM4Mixer>();
  m.masterGain.SetValue(1.0);
  m.gainProperty(0).SetValue(1.0);
  empty.Run(2);
  for (float v : empty.Out(0)) ASSERT_EQ(v, 0.0f);
}

TEST(MixerTest, StereoChannelWithOneInletSendsItToBothSides) {
  GraphHarness h;
  auto& mixer = h.Place<TGS2Mixer>();
  mixer.masterGain.SetValue(1.0);
  mixer.gainProperty(0).SetValue(0.5);
  mixer.gainProperty(1).SetValue(1.0);
  h.Feed(mixer, 1, Constant(kLength, 0.8f));   // channel 0, right only
  h.Feed(mixer, 2, Constant(kLength, 0.25f));  // channel 1, left only
  h.Run(2);
  EXPECT_FLOAT_EQ(h.Out(0)[300], 0.8f * 0.5f + 0.25f);
  EXPECT_FLOAT_EQ(h.Out(1)[300], 0.8f * 0.5f + 0.25f);
}

TEST(MixerTest, PanLawGivesTheseGains) {
  struct Case {
    double pan;
    float left, right;
  };
  for (const Case& c : {Case{0.5, 1.0f, 1.0f}, Case{0.0, 1.0f, 0.0f}, Case{0.25, 1.2071f, 0.5f}}) {
    GraphHarness h;
    auto& mixer = h.Place<TGP2Mixer>();
    mixer.masterGain.SetValue(1.0);
    mixer.gainProperty(0).SetValue(1.0);
    mixer.panProperty(0).SetValue(c.pan);
    h.Feed(mixer, 0, Constant(kLength, 1.0f));
    h.Run(2);
    EXPECT_NEAR(h.Out(0)[400], c.left, 1e-3f) << c.pan;
    EXPECT_NEAR(h.Out(1)[400], c.right, 1e-3f) << c.pan;
  }
}

TEST(MixerTest, MasterGainRampsLinearlyOverTheNextBlock) {
  GraphHarness h;
  auto& mixer = h.Place<TGM2Mixer>();
  mixer.gainProperty(1).SetValue(1.0);
  h.Feed(mixer, 1, Constant(kLength, 1.0f));
  h.Run(1);  // first set: jumps to 0
  mixer.masterGain.SetValue(1.0);
  h.Run(2);
  const auto& out = h.Out(0);
  for (int i = 0; i < kBlockSize; ++i) {
    ASSERT_NEAR(out[kBlockSize + i], (i + 1) / 256.0f, 1e-6f) << i;
  }
  EXPECT_EQ(out[2 * kBlockSize + 10], 1.0f);
}

TEST(BussTest, ExactSumsOfWhatIsConnected) {
  GraphHarness h;
  auto& buss = h.Place<TGMonoBuss>(4);
  h.Feed(buss, 1, Constant(kLength, 0.125f));
  h.Feed(buss, 3, Constant(kLength, 0.5f));
  h.Run(1);
  EXPECT_EQ(h.Out(0)[7], 0.625f);

  GraphHarness s;
  auto& stereo = s.Place<TGStereoBuss>(2);
  s.Feed(stereo, 0, Constant(kLength, 0.3f));  // pair 0, left only
  s.Feed(stereo, 2, Constant(kLength, 0.1f));
  s.Feed(stereo, 3, Constant(kLength, 0.2f));
  s.Run(1);
  EXPECT_EQ(s.Out(0)[9], 0.3f + 0.1f);
  EXPECT_EQ(s.Out(1)[9], 0.3f + 0.2f);

  GraphHarness none;
  none.Place<TGStereoBuss>(3);
  none.Run(1);
  for (float v : none.Out(1)) ASSERT_EQ(v, 0.0f);
}

}  // namespace mixers_and_busses_test
}  // namespace tg
