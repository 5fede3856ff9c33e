#include <gtest/gtest.h>

#include <set>
#include <string>

#include "framework/ContraptionDescriptor.h"
#include "shell/patch/WireRules.h"
#include "tests/support/EngineFixture.h"

namespace tg {
namespace port_names_test {

class PortNamesTest : public test::EngineFixture {};

// Every registered type names every port it has, with names a hand can tell
// apart, and never one of the stand-in names.
TEST_F(PortNamesTest, EveryTypeNamesEveryPortOnceOnEachSide) {
  int checked = 0;
  for (const auto& descriptor : factory.Descriptors()) {
    for (const std::string& type : descriptor->TypeNames()) {
      TGardeningContraption& c = Make(type);
      const PortNames names = PortNamesOf(c.Maker());
      EXPECT_EQ(static_cast<int>(names.inlets.size()), c.Processor().InletCount()) << type;
      EXPECT_EQ(static_cast<int>(names.outlets.size()), c.Processor().OutletCount()) << type;
      for (bool outlet : {false, true}) {
        const int count = outlet ? c.Processor().OutletCount() : c.Processor().InletCount();
        std::set<std::string> seen;
        for (int port = 0; port < count; ++port) {
          const std::string name = PortName(c, outlet, port);
          EXPECT_FALSE(name.empty()) << type << " port " << port;
          EXPECT_NE(name, DefaultPortName(outlet, port)) << type << " leaves a port unnamed";
          EXPECT_TRUE(seen.insert(name).second) << type << " names two ports " << name;
        }
      }
      Delete(c);
      ++checked;
    }
  }
  EXPECT_GE(checked, 50);  // the families count one type per size
}

TEST_F(PortNamesTest, FamiliesNameByChannelAndOthersBySide) {
  TGardeningContraption& mixer = Make("S3Mixer");
  EXPECT_EQ(PortName(mixer, false, 0), "Channel 1 left");
  EXPECT_EQ(PortName(mixer, false, 5), "Channel 3 right");
  EXPECT_EQ(PortName(mixer, true, 1), "Right out");
  EXPECT_EQ(PortName(Make("M12Buss"), false, 11), "Channel 12");
  EXPECT_EQ(PortName(Make("S6Buss"), false, 10), "Channel 6 left");
  EXPECT_EQ(PortName(Make("8x8Matrix"), true, 7), "Output 8");
  TGardeningContraption& ring = Make("RingAM");
  EXPECT_EQ(PortName(ring, false, 1), "Modulator in");
  EXPECT_EQ(PortName(Make("SSpat"), true, 2), "Reverb send");
  // Past the end, or a type that names nothing: counted from 1.
  EXPECT_EQ(PortName(ring, false, 2), "Inlet 3");
  EXPECT_EQ(PortName(Make("TestRingAM"), true, 0), "Outlet 1");
}

// The reasons the pane gives for a wire it will not make.
TEST_F(PortNamesTest, WireRulesSayWhyAWireCannotBeMade) {
  TGardeningContraption& delay = Make("SDelay");
  TGardeningContraption& ring = Make("RingAM");
  PatchModel model;
  PatchNode& d = model.AddNode(0, 0, delay.Name(), 2, 2, &delay);
  PatchNode& r = model.AddNode(100, 0, ring.Name(), 2, 1, &ring);
  EXPECT_EQ(WireRefusal(model, d, 0, r, 1), "");
  EXPECT_EQ(WireRefusal(model, d, 0, d, 1), "A contraption cannot feed itself");
  model.AddConnection(r, 0, d, 0);
  EXPECT_EQ(WireRefusal(model, r, 0, d, 0), "Inlet 'Left in' of SDelay_1 already has a wire");
  EXPECT_EQ(WireRefusal(model, r, 0, d, 1), "");  // an outlet may feed many
  EXPECT_EQ(WireRefusal(model, d, 2, r, 0), "SDelay_1 has no outlet 3");
  EXPECT_EQ(WireRefusal(model, d, 0, r, 2), "RingAM_1 has no inlet 3");
  EXPECT_EQ(QuotedPort(d, true, 1), "'Right out' of SDelay_1");
  // A box without a contraption still gets words.
  PatchNode& bare = model.AddNode(0, 80, "Bare", 1, 1, nullptr);
  model.AddConnection(d, 0, bare, 0);
  EXPECT_EQ(WireRefusal(model, d, 1, bare, 0), "Inlet 'Inlet 1' of Bare already has a wire");
}

}  // namespace port_names_test
}  // namespace tg
