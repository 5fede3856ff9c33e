#include <QApplication>
#include <QImage>
#include <QScrollBar>
#include <QTest>
#include <sstream>

#include "forms/ContraptionWindowHost.h"
#include "forms/TContraptionForm.h"
#include "forms/TPatternedScrollBox.h"
#include "framework/TGardeningContraption.h"
#include "shell/document/TGDocument.h"
#include "shell/patch/PatchEditor.h"
#include "tests/app/MainWindowFixture.h"
#include "tests/support/SourceTree.h"

namespace tg {
namespace properties_pane_test {

class PropertiesPaneTest : public test::MainWindowFixture {
 protected:
  static std::string Demo() { return test::SourceDir() + "/examples/demo.tgh"; }
  TPatternedScrollBox& Pane() { return *Form().PropertiesPane(); }
  // Every open window's header strip is inside the pane's view.
  bool HeadersInView() {
    for (QObject* child : Pane().widget()->children()) {
      auto* window = qobject_cast<TContraptionForm*>(child);
      if (window == nullptr || window->isHidden()) continue;
      const QPoint top = window->mapTo(Pane().viewport(), QPoint(0, 0));
      if (top.y() < 0 || top.x() < 0) return false;
    }
    return true;
  }
  bool AtTopLeft() {
    return Pane().verticalScrollBar()->value() == 0 && Pane().horizontalScrollBar()->value() == 0 &&
           Pane().widget()->pos() == QPoint(0, 0);
  }
  static int Lightness(QRgb c) { return (qRed(c) * 299 + qGreen(c) * 587 + qBlue(c) * 114) / 1000; }
};

// A document opens with the pane at its top-left corner, whether it is
// opened at start-up (before the window shows) or into a shown window.
TEST_F(PropertiesPaneTest, ADocumentOpensWithThePaneAtItsTopLeft) {
  Form().Reopen(Demo());
  Form().resize(640, 400);
  Form().show();
  QApplication::processEvents();
  EXPECT_TRUE(AtTopLeft());
  EXPECT_TRUE(HeadersInView());

  Pane().verticalScrollBar()->setValue(Pane().verticalScrollBar()->maximum());
  Form().Reopen(Demo());
  QApplication::processEvents();
  EXPECT_TRUE(AtTopLeft());
  EXPECT_TRUE(HeadersInView());
}

// The thumb must be told from the groove at a glance, even when it fills
// nearly all of it; otherwise the pane seems to scroll backwards.
TEST_F(PropertiesPaneTest, TheScrollBarsThumbStandsOutFromItsGroove) {
  Form().resize(640, 400);
  Form().show();
  QApplication::processEvents();
  QScrollBar* bar = Pane().verticalScrollBar();
  auto* far = new QWidget(Pane().widget());  // content four views tall
  far->setGeometry(0, Pane().viewport()->height() * 4, 10, 10);
  far->show();
  QApplication::processEvents();
  ASSERT_GT(bar->maximum(), 0);
  bar->setValue(0);
  const QImage image = bar->grab().toImage();
  const int x = image.width() / 2;
  const int thumb = Lightness(image.pixel(x, image.height() / 8));
  const int groove = Lightness(image.pixel(x, image.height() * 7 / 8));
  EXPECT_GT(std::abs(thumb - groove), 100) << "thumb " << thumb << ", groove " << groove;
}

// An open window stays where the user put it: saving keeps that place, and
// showing it again (double-click, Edit) raises it where it is.
TEST_F(PropertiesPaneTest, AnOpenWindowKeepsItsPlace) {
  Form().show();
  QApplication::processEvents();
  Form().NewContraption("TestGen", {20, 20});
  TGardeningContraption& gen = *Form().Model().NodeAt(0).contraption;
  gen.ShowWindow();
  TContraptionForm* window = Form().WindowHost().WindowOf(gen);
  ASSERT_NE(window, nullptr);
  const QPoint start = window->pos();
  window->BeginHeaderDrag({5, 5});
  window->ContinueHeaderDrag({5 + 40, 5 + 30});
  const QPoint moved = window->pos();
  ASSERT_EQ(moved, start + QPoint(40, 30));

  std::ostringstream text;
  Form().Document().WriteTo(text);
  const std::string where =
      " Z Z " + std::to_string(moved.y()) + " " + std::to_string(moved.x()) + " Z Z Z Z  }";
  EXPECT_NE(text.str().find(where), std::string::npos) << text.str();

  gen.ShowWindow();
  EXPECT_EQ(window->pos(), moved);
  EXPECT_EQ(Form().WindowHost().WindowOf(gen), window);
}

}  // namespace properties_pane_test
}  // namespace tg
