#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "tests/support/EngineFixture.h"

namespace tg {
namespace {

using test::TestRingAM;

class ContraptionTest : public test::EngineFixture {};

TEST_F(ContraptionTest, AutomaticNamesTakeTheLowestFreeNumber) {
  TGardeningContraption& a = Make("RingAM");
  TGardeningContraption& b = Make("RingAM");
  Make("RingAM");
  EXPECT_EQ(a.Name(), "RingAM_1");
  EXPECT_EQ(b.Name(), "RingAM_2");
  Delete(b);
  EXPECT_EQ(Make("RingAM").Name(), "RingAM_2");
  EXPECT_EQ(Make("RingAM").Name(), "RingAM_4");
  EXPECT_EQ(Make("AllKinds").Name(), "AllKinds_1");  // each type counts on its own
}

TEST_F(ContraptionTest, GivenNamesReserveTheirNumbers) {
  Make("RingAM", "RingAM_7");
  Make("RingAM", "Mix_12");
  Make("RingAM", "Plain");
  Make("RingAM", "Trailing_");
  Make("RingAM", "Huge_99999");
  Make("RingAM", "TooLongNumber_1234567890");
  TContraptionMaker& maker = *factory.FindMaker("RingAM");
  EXPECT_TRUE(maker.IsNumberUsed(7));
  EXPECT_TRUE(maker.IsNumberUsed(12));
  for (int k = 1; k <= 6; ++k) EXPECT_EQ(Make("RingAM").Name(), "RingAM_" + std::to_string(k));
  EXPECT_EQ(Make("RingAM").Name(), "RingAM_8");

  factory.ResetNumbering();
  EXPECT_FALSE(maker.IsNumberUsed(7));
}

TEST_F(ContraptionTest, WhenAllNumbersAreTakenTheNumberIsZero) {
  for (int k = 1; k <= TContraptionMaker::kMaxInstanceNumber; ++k) {
    Make("RingAM", "RingAM_" + std::to_string(k));
  }
  EXPECT_EQ(Make("RingAM").Name(), "RingAM_0");
}

TEST_F(ContraptionTest, FactoryListsTypesByCategoryAndFindsLiveContraptions) {
  // SoundIn, TestGen, LoopPlayer, Drums, 10Harmonics, Bassline, 12 busses, RingAM, SDelay,
  // NastyReverb, SSpat, 5Combs, Flanger, DLGranulator, Phaser, two ParaEQs, 18 mixers, Crossfader,
  // BubbleBlower, two matrices, SoundOut, and the two test types.
  EXPECT_EQ(factory.MakerCount(), 53);
  EXPECT_EQ(factory.MakerAt(0)->TypeName(), "SoundIn");
  EXPECT_EQ(factory.MakerAt(2)->TypeName(), "LoopPlayer");
  EXPECT_EQ(factory.MakerAt(3)->TypeName(), "Drums");
  EXPECT_EQ(factory.MakerAt(4)->TypeName(), "10Harmonics");
  EXPECT_EQ(factory.MakerAt(6)->TypeName(), "M2Buss");
  EXPECT_EQ(factory.MakerAt(18)->TypeName(), "RingAM");
  EXPECT_EQ(factory.MakerAt(22)->TypeName(), "5Combs");
  EXPECT_EQ(factory.MakerAt(24)->TypeName(), "DLGranulator");
  EXPECT_EQ(factory.MakerAt(46)->TypeName(), "Crossfader");
  EXPECT_EQ(factory.MakerAt(47)->TypeName(), "BubbleBlower");
  EXPECT_EQ(factory.MakerAt(50)->TypeName(), "SoundOut");
  EXPECT_EQ(factory.MakerAt(53), nullptr);
  EXPECT_EQ(factory.MakerAt(-1), nullptr);
  EXPECT_EQ(factory.Categories(),
            (std::vector<std::string>{"Input / Output", "Signal Generators", "Busses", "Effects",
                                      "Filters", "Mixers", "beta", "Test"}));
  ASSERT_EQ(factory.MakersInCategory("Input / Output").size(), 2u);
  EXPECT_EQ(factory.MakersInCategory("Input / Output")[1]->TypeName(), "SoundOut");
  const auto mixers = factory.MakersInCategory("Mixers");
  ASSERT_EQ(mixers.size(), 19u);
  EXPECT_EQ(mixers[5]->TypeName(), "S12Mixer");
  EXPECT_EQ(mixers[6]->TypeName(), "P2Mixer");
  EXPECT_EQ(mixers[17]->HelpNumber(), 1016);
  EXPECT_EQ(factory.Create(*engine, "ringam", ""), nullptr);

  TGardeningContraption& first = Make("RingAM", "Twin");
  Make("AllKinds", "Twin");
  EXPECT_EQ(factory.FindContraption("Twin"), &first);
  EXPECT_EQ(factory.FindContraption("twin"), nullptr);
  Delete(first);
  EXPECT_EQ(factory.FindContraption("Twin")->TypeName(), "AllKinds");
}

TEST_F(ContraptionTest, MarkChangedModifiesTheDocumentAndDropsTheCurrentPreset) {
  TGardeningContraption& c = Make("RingAM");
  EXPECT_EQ(c.CurrentPreset(), 0);
  EXPECT_FALSE(engine->IsDocumentModified());
  c.MarkChanged();
  EXPECT_TRUE(engine->IsDocumentModified());
  EXPECT_EQ(c.CurrentPreset(), -1);
}

TEST_F(ContraptionTest, HelpAsksForTheTypesPage) {
  Make("RingAM").Help();
  Make("AllKinds").Help();
  EXPECT_EQ(windows.help, (std::vector<std::string>{"RingAM", "AllKinds"}));
}

std::string EmptyPresets(int count) {
  std::string s = "{ ";
  for (int i = 0; i < count; ++i) s += i == 0 ? "{  }" : ", {  }";
  return s + " }";
}

TEST_F(ContraptionTest, ReadContraptionReadsTheWholeItem) {
  std::string presets = "{ { 330, 1 }, " + EmptyPresets(19).substr(2);
  std::istringstream in("TestRingAM\tRingAM_3\t{ 220, 1 }\t" + presets +
                        "{ }{ 40 30 T Z Z 10 20 Z Z Z Z  }\tnext");
  auto c = factory.ReadContraption(*engine, in);
  ASSERT_NE(c, nullptr);
  ASSERT_FALSE(in.fail());
  auto& ring = static_cast<TestRingAM&>(c->Processor());
  EXPECT_EQ(c->Name(), "RingAM_3");
  EXPECT_EQ(ring.frequency.Value(), 220.0);
  EXPECT_EQ(ring.am.Value(), 1);
  EXPECT_EQ(ring.resetCount, 1);
  EXPECT_TRUE(c->HasPreset(0));
  EXPECT_FALSE(c->HasPreset(1));
  EXPECT_EQ(c->WindowState().nodeX, 40);
  EXPECT_EQ(c->WindowState().nodeY, 30);
  EXPECT_EQ(c->WindowState().windowTop, 10);
  EXPECT_EQ(c->WindowState().windowLeft, 20);
  EXPECT_EQ(windows.shown, std::vector<TGardeningContraption*>{c.get()});
  std::string rest;
  in >> rest;
  EXPECT_EQ(rest, "next");
  owned.push_back(std::move(c));
}

TEST_F(ContraptionTest, ReadContraptionRefusesUnknownTypesAndOverlongNames) {
  std::istringstream unknown("Theremin Theremin_1 { 1 } rest");
  EXPECT_EQ(factory.ReadContraption(*engine, unknown), nullptr);

  std::istringstream longName("RingAM " + std::string(200, 'x') + " { 1, 0 }");
  EXPECT_EQ(factory.ReadContraption(*engine, longName), nullptr);
  EXPECT_TRUE(factory.Contraptions().empty());

  std::istringstream quoted("RingAM \"odd name\" { 1, 0 } {  } { } { 0 0 F Z Z 0 0 Z Z Z Z  }");
  auto c = factory.ReadContraption(*engine, quoted);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->Name(), "\"odd");  // names are bare words; the rest of the line is garbage
  EXPECT_TRUE(quoted.fail());
  owned.push_back(std::move(c));
}

TEST_F(ContraptionTest, ReadContraptionStopsAtTheEndOfAShortPresetBlockOrOfTheInput) {
  std::istringstream shortBlock("RingAM R_1 { 1, 0 } { { 5, 1 } } { } { 1 2 F Z Z 3 4 Z Z Z Z  }");
  auto c = factory.ReadContraption(*engine, shortBlock);
  ASSERT_NE(c, nullptr);
  EXPECT_FALSE(shortBlock.fail());
  EXPECT_TRUE(c->HasPreset(0));
  EXPECT_EQ(c->WindowState().windowLeft, 4);
  owned.push_back(std::move(c));

  const std::string whole =
      "RingAM R_2 { 1, 0 } " + EmptyPresets(20) + " { } { 1 2 F Z Z 3 4 Z Z Z Z  }";
  for (size_t cut = 10; cut < whole.size(); cut += 7) {
    std::istringstream truncated(whole.substr(0, cut));
    auto part = factory.ReadContraption(*engine, truncated);
    if (part) owned.push_back(std::move(part));
  }
  SUCCEED();  // no hang, no crash
}

}  // namespace
}  // namespace tg
