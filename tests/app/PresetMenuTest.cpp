#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>

#include "forms/TPresetMenuForm.h"
#include "tests/controls/MouseHelpers.h"
#include "tests/support/EngineFixture.h"

namespace tg {
namespace preset_menu_test {

using test::Mouse;

class PresetMenuTest : public test::EngineFixture {};

TEST_F(PresetMenuTest, CellsAndHover) {
  TPresetMenuForm menu;
  EXPECT_EQ(menu.width(), 5 * menu.CellWidth() + 6);
  EXPECT_EQ(menu.height(), 4 * menu.CellHeight() + 6);
  EXPECT_EQ(menu.CellAt({4, 4}), 1);
  EXPECT_EQ(menu.CellAt({3 + menu.CellWidth() * 4 + 1, 3 + menu.CellHeight() * 3 + 1}), 20);
  EXPECT_EQ(menu.CellAt({3 + menu.CellWidth() + 1, 3 + menu.CellHeight() + 1}), 7);
  EXPECT_EQ(menu.CellAt({2, 10}), -1);
  EXPECT_EQ(menu.CellAt({menu.width() - 2, 10}), -1);
}

TEST_F(PresetMenuTest, TheRightButtonOffersWhatTheSlotAllows) {
  TPresetMenuForm menu;
  TPresetMenuForm::SlotFlags filled{};
  filled[2] = true;
  menu.Prepare(filled, false, {100, 100});
  EXPECT_EQ(menu.MenuEnabled(1), (std::array<bool, 6>{false, true, false, false, false, false}));
  EXPECT_EQ(menu.MenuEnabled(3), (std::array<bool, 6>{true, true, true, true, true, false}));
  menu.Prepare(filled, true, {100, 100});
  EXPECT_TRUE(menu.MenuEnabled(1)[5]);
}

TEST_F(PresetMenuTest, AClickRecallsOnlyAFilledSlot) {
  TPresetMenuForm menu;
  TPresetMenuForm::SlotFlags filled{};
  filled[6] = true;  // cell 7
  menu.Prepare(filled, false, {100, 100});
  menu.show();
  const QPoint cell7(3 + menu.CellWidth() + 2, 3 + menu.CellHeight() + 2);
  Mouse(&menu, QEvent::MouseButtonPress, {5, 5});  // cell 1 is empty
  EXPECT_EQ(menu.Result().action, TPresetMenuForm::kNone);
  EXPECT_FALSE(menu.isVisible());
  menu.show();
  Mouse(&menu, QEvent::MouseMove, cell7, Qt::NoButton);
  EXPECT_EQ(menu.Hovered(), 7);
  Mouse(&menu, QEvent::MouseButtonPress, cell7);
  EXPECT_EQ(menu.Result().action, TPresetMenuForm::kRecall);
  EXPECT_EQ(menu.Result().slot, 6);
}

TEST_F(PresetMenuTest, ChoicesAreCarriedOutOnTheContraption) {
  TGardeningContraption& c = Make("RingAM");
  TPresetMenuForm::Apply({TPresetMenuForm::kStore, 4}, c);
  EXPECT_TRUE(c.HasPreset(4));
  EXPECT_EQ(c.CurrentPreset(), 4);
  TPresetMenuForm::Apply({TPresetMenuForm::kCopy, 4}, c);
  TPresetMenuForm::Apply({TPresetMenuForm::kPaste, 9}, c);
  EXPECT_TRUE(c.HasPreset(9));
  TPresetMenuForm::Apply({TPresetMenuForm::kCut, 4}, c);
  EXPECT_FALSE(c.HasPreset(4));
  EXPECT_EQ(c.CurrentPreset(), -1);
}

TEST_F(PresetMenuTest, PlacedBelowTheButtonAndOnScreen) {
  QScreen* screen = QGuiApplication::primaryScreen();
  ASSERT_NE(screen, nullptr);
  const QRect area = screen->geometry();
  TPresetMenuForm menu;
  menu.Prepare({}, false, {area.left() + 50, area.top() + 40});
  EXPECT_EQ(menu.pos(), QPoint(area.left() + 49, area.top() + 40));  // one pixel left of the button
  menu.Prepare({}, false, {area.right() - 5, area.bottom() - 5});
  EXPECT_LE(menu.pos().x() + menu.width(), area.right() + 1);
  EXPECT_LE(menu.pos().y() + menu.height(), area.bottom() + 1);
  menu.Prepare({}, false, {area.left() - 30, area.top()});
  EXPECT_EQ(menu.pos().x(), area.left());
}

}  // namespace preset_menu_test
}  // namespace tg
