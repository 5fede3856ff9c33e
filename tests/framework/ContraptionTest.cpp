#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>

#include "framework/ContraptionDescriptor.h"
#include "shell/RegisterContraptions.h"
#include "tests/support/EngineFixture.h"

namespace tg {
namespace contraption_test {

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
  // Every type the descriptors name, in their order, then the fixture's two.
  std::vector<std::pair<std::string, const ContraptionDescriptor*>> expected;
  for (const ContraptionDescriptor* type : ContraptionTypes()) {
    for (const std::string& name : type->TypeNames()) expected.emplace_back(name, type);
  }
  expected.emplace_back("TestRingAM", nullptr);
  expected.emplace_back("AllKinds", nullptr);
  ASSERT_EQ(factory.MakerCount(), static_cast<int>(expected.size()));
  std::vector<std::string> categories;
  for (int i = 0; i < factory.MakerCount(); ++i) {
    const TContraptionMaker& maker = *factory.MakerAt(i);
    const auto& [name, type] = expected[static_cast<size_t>(i)];
    EXPECT_EQ(maker.TypeName(), name);
    if (type != nullptr) {
      EXPECT_EQ(maker.Category(), type->category) << name;
      EXPECT_EQ(maker.HelpNumber(), type->helpNumber) << name;
    }
    if (std::find(categories.begin(), categories.end(), maker.Category()) == categories.end()) {
      categories.push_back(maker.Category());
    }
    const auto inCategory = factory.MakersInCategory(maker.Category());
    EXPECT_NE(std::find(inCategory.begin(), inCategory.end(), &maker), inCategory.end()) << name;
  }
  EXPECT_EQ(factory.MakerAt(factory.MakerCount()), nullptr);
  EXPECT_EQ(factory.MakerAt(-1), nullptr);
  EXPECT_EQ(factory.Categories(), categories);
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

}  // namespace contraption_test
}  // namespace tg
