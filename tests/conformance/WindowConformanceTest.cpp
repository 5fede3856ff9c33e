// What every contraption type's window and help must do, for each registered
// type.
#include <QApplication>
#include <QFile>
#include <QRegularExpression>
#include <QScrollArea>

#include "app/help/ExampleFiles.h"
#include "app/help/THelpBrowser.h"
#include "forms/ContraptionWindowHost.h"
#include "forms/TContraptionForm.h"
#include "tests/conformance/ConformanceHarness.h"
#include "tests/conformance/throwaway/TThrowAwayForm.h"

namespace tg {
namespace window_conformance_test {

class WindowConformance : public test::ConformanceFixture {
 protected:
  WindowConformance() {
    pane.resize(800, 600);
    pane.setWidget(new QWidget);
    pane.widget()->resize(2000, 2000);
    RegisterContraptionWindows(host);
    test::RegisterThrowAwayWindows(host, test::ThrowAwayType());
    engine.Host().windows = &host;
  }
  ~WindowConformance() override {
    for (auto& c : owned) engine.DestroyContraption(std::move(c));
    owned.clear();
    engine.Host().windows = nullptr;
  }
  const ContraptionDescriptor& Type() const { return *factory.FindMaker(GetParam())->Descriptor(); }

  QScrollArea pane;
  ContraptionWindowHost host{&pane};
};

// Its page is shipped, has a title, is what its help number opens, and the
// contents link to it.
TEST_P(WindowConformance, HasAHelpPageListedInTheContents) {
  const ContraptionDescriptor& type = Type();
  ASSERT_FALSE(type.helpPage.empty());
  EXPECT_TRUE(QFile::exists(":/help/" + QString::fromStdString(type.helpPage))) << type.helpPage;
  THelpBrowser help(factory);
  EXPECT_TRUE(help.TypeList().contains("href=\"" + QString::fromStdString(type.helpPage) + "\""));
  const QString page = "qrc:/help/" + QString::fromStdString(type.helpPage);
  if (type.helpNumber != 0) {
    help.ShowTopic(type.helpNumber);
    EXPECT_EQ(help.CurrentPage(), page);
    EXPECT_FALSE(help.CurrentTitle().isEmpty());
    EXPECT_NE(help.CurrentTitle(), "Tonegarden Help");
  }
  // The window's "?" asks by type name, so types without a number are found.
  for (const std::string& name : type.TypeNames()) {
    help.ShowTypeHelp(name);
    EXPECT_EQ(help.CurrentPage(), page) << name;
  }
  // It links to an example that uses the type, and the example is there.
  QFile file(":/help/" + QString::fromStdString(type.helpPage));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QString html = QString::fromUtf8(file.readAll());
  auto links = QRegularExpression("href=\"example:([^\"]+)\"").globalMatch(html);
  int examples = 0;
  for (; links.hasNext(); ++examples) {
    const QString name = links.next().captured(1);
    EXPECT_FALSE(ExampleFile(name).isEmpty()) << name.toStdString();
  }
  if (type.typeName != "ThrowAway") {
    EXPECT_GT(examples, 0) << type.helpPage;
  }
}

TEST_P(WindowConformance, ItsWindowOpensAndCloses) {
  TGardeningContraption& c = Make();
  c.ShowWindow();
  TContraptionForm* window = host.WindowOf(c);
  if (!host.HasWindow(GetParam())) {
    EXPECT_EQ(window, nullptr);  // a buss has none
    EXPECT_FALSE(c.WindowState().windowOpen);
    return;
  }
  ASSERT_NE(window, nullptr);
  pane.show();
  QApplication::processEvents();
  EXPECT_TRUE(window->isVisible());
  EXPECT_TRUE(c.WindowState().windowOpen);
  // Every control fits: the window is at least as large as its layout asks.
  EXPECT_GE(window->width(), window->minimumSizeHint().width());
  window->close();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(host.WindowOf(c), nullptr);
  EXPECT_FALSE(c.WindowState().windowOpen);
}

INSTANTIATE_TEST_SUITE_P(EveryType, WindowConformance,
                         ::testing::ValuesIn(test::RegisteredTypeNames()), test::TestNameOf);

}  // namespace window_conformance_test
}  // namespace tg
