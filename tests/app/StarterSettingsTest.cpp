#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "files/SoundFilePaths.h"
#include "framework/TGardeningContraption.h"
#include "properties/QSCStringProperty.h"
#include "properties/QSPropertyTable.h"
#include "shell/patch/StarterSettings.h"
#include "tests/support/DocumentFixture.h"
#include "tests/support/SourceTree.h"

namespace tg {
namespace starter_settings_test {

std::string PropertyText(TGardeningContraption& c, const std::string& name) {
  std::ostringstream out;
  c.Processor().GetPropertyTable()->PropertyByName(name).WriteTo(out);
  return out.str();
}

StarterSettings OurStarters() { return StarterSettings(test::SourceDir() + "/examples/samples"); }

// Every type the factory knows that a user's new contraption starts otherwise.
std::vector<std::string> TypesWithStarters() {
  TContraptionFactory factory;
  RegisterContraptionTypes(factory);
  const StarterSettings starters = OurStarters();
  std::vector<std::string> types;
  for (int i = 0; i < factory.MakerCount(); ++i) {
    const std::string type = factory.MakerAt(i)->TypeName();
    if (!starters.For(type).empty()) types.push_back(type);
  }
  return types;
}

class StarterSettingsTest : public test::DocumentFixture,
                            public ::testing::WithParamInterface<std::string> {};

TEST_P(StarterSettingsTest, NewStartsFromItUndoRemovesItAndDocumentsKeepDefaults) {
  const std::string type = GetParam();
  const StarterSettings starters = OurStarters();
  auto fresh = factory.Create(engine, type, "");
  ASSERT_NE(fresh, nullptr);

  PatchNode* node = patch.NewContraption(type, 40, 40, &starters);
  ASSERT_NE(node, nullptr);
  TGardeningContraption& made = *node->contraption;
  std::vector<std::string> startText;
  for (const StarterSettings::Value& v : starters.For(type)) {
    const std::string text = PropertyText(made, v.property);
    EXPECT_NE(text, PropertyText(*fresh, v.property)) << v.property << " kept its default";
    auto& property = made.Processor().GetPropertyTable()->PropertyByName(v.property);
    if (auto* name = dynamic_cast<QSCStringProperty*>(&property)) {
      EXPECT_TRUE(SoundFileExists(name->Value())) << name->Value();
    }
    startText.push_back(text);
  }

  // Making it and its starting values are one step.
  EXPECT_EQ(patch.UndoName(), "New " + made.Name());
  patch.Undo();
  EXPECT_EQ(model.NodeCount(), 0);
  EXPECT_FALSE(patch.CanUndo());
  patch.Redo();
  ASSERT_EQ(model.NodeCount(), 1);
  TGardeningContraption& again = *model.NodeAt(0).contraption;
  size_t k = 0;
  for (const StarterSettings::Value& v : starters.For(type))
    EXPECT_EQ(PropertyText(again, v.property), startText[k++]) << v.property;

  // A document that leaves the values out reads the type's defaults.
  patch.Clear();
  std::istringstream in(".tgh 0.5\ncontraptions:\n\t" + type + "\tOld_1\t{ }\t{ }{ }{ }\nend\n");
  ASSERT_TRUE(document.ReadFrom(in));
  ASSERT_EQ(model.NodeCount(), 1);
  TGardeningContraption& read = *model.NodeAt(0).contraption;
  for (const StarterSettings::Value& v : starters.For(type))
    EXPECT_EQ(PropertyText(read, v.property), PropertyText(*fresh, v.property)) << v.property;
}

INSTANTIATE_TEST_SUITE_P(EveryTypeWithAStarter, StarterSettingsTest,
                         ::testing::ValuesIn(TypesWithStarters()),
                         [](const ::testing::TestParamInfo<std::string>& type) {
                           return "t" + type.param;
                         });

}  // namespace starter_settings_test
}  // namespace tg
