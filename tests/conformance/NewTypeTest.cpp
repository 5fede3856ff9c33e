// A type added through its descriptor alone reaches the New menu, the help
// contents and its editor window; the conformance suites take it too (it is
// among the types they run over).
#include <QAction>
#include <QMenu>

#include "app/help/THelpBrowser.h"
#include "forms/ContraptionWindowHost.h"
#include "framework/TGardeningContraption.h"
#include "shell/patch/PatchModel.h"
#include "tests/app/MainWindowFixture.h"
#include "tests/conformance/ConformanceHarness.h"
#include "tests/conformance/throwaway/TThrowAwayForm.h"

namespace tg {
namespace new_type_test {

class NewTypeTest : public test::MainWindowFixture {
 protected:
  NewTypeTest() { program.factory.Register(test::ThrowAwayType()); }
};

TEST_F(NewTypeTest, ADescriptorAloneBringsATypeIntoTheProgram) {
  QAction* item = nullptr;
  for (QAction* sub : Form().NewMenu()->actions()) {
    if (sub->menu() == nullptr || sub->text() != "Test Bench") continue;
    for (QAction* a : sub->menu()->actions()) {
      if (a->text() == "ThrowAway") item = a;
    }
  }
  ASSERT_NE(item, nullptr) << "no New menu item";
  EXPECT_EQ(Form().NewMenu()->actions().last()->text(), "Test Bench");  // a new category goes last

  EXPECT_TRUE(Form().Help().TypeList().contains("<a href=\"throwaway.html\">ThrowAway</a>"));
  Form().Help().ShowTopic(4711);
  EXPECT_EQ(Form().Help().CurrentTitle(), "ThrowAway");

  test::RegisterThrowAwayWindows(Form().WindowHost(), test::ThrowAwayType());
  item->trigger();
  ASSERT_EQ(Form().Model().NodeCount(), 1);
  TGardeningContraption& c = *Form().Model().NodeAt(0).contraption;
  EXPECT_EQ(c.Name(), "ThrowAway_1");
  c.ShowWindow();
  EXPECT_NE(dynamic_cast<test::TThrowAwayForm*>(Form().WindowHost().WindowOf(c)), nullptr);

  const std::vector<std::string> types = test::RegisteredTypeNames();
  EXPECT_NE(std::find(types.begin(), types.end(), "ThrowAway"), types.end());
}

}  // namespace new_type_test
}  // namespace tg
