#include <gtest/gtest.h>

#include <QImage>
#include <QPaintEvent>
#include <QSignalSpy>
#include <QTest>
#include <set>
#include <utility>

#include "controls/KWStepGrid.h"
#include "tests/controls/MouseHelpers.h"

namespace tg {
namespace step_grid_test {

using test::Mouse;

// A grid shaped like the bass line's: 16 columns of 22 pixels, rows of 8, 8,
// 8 and 17 pixels, a label column of 40.
class StepGridTest : public ::testing::Test {
 protected:
  StepGridTest() {
    grid.SetColumns(16, 22);
    grid.SetRows({8, 8, 8, 17}, {"On/Off", "Accent", "Ties", "Notes"});
    grid.SetLabelWidth(40);
    grid.SetLook([this](int column, int row) {
      if (row == 3) return KWStepGrid::CellLook{.text = "c3"};
      return KWStepGrid::CellLook{.set = set.contains({column, row})};
    });
  }
  QPoint Origin() const { return {40, grid.HeadingHeight()}; }

  KWStepGrid grid;
  std::set<std::pair<int, int>> set;
};

TEST_F(StepGridTest, PointsFindTheirCellsAndNothingOutsideTheCells) {
  const QPoint o = Origin();
  EXPECT_EQ(grid.size(), QSize(40 + 16 * 22, o.y() + 41));
  EXPECT_EQ(grid.CellAt(o), QPoint(0, 0));
  EXPECT_EQ(grid.CellAt(o + QPoint(21, 7)), QPoint(0, 0));
  EXPECT_EQ(grid.CellAt(o + QPoint(22, 8)), QPoint(1, 1));
  EXPECT_EQ(grid.CellAt(o + QPoint(15 * 22 + 21, 24)), QPoint(15, 3));
  EXPECT_EQ(grid.CellAt(o + QPoint(5, 40)), QPoint(0, 3));  // the tall last row
  EXPECT_EQ(grid.CellAt(o + QPoint(5, 41)), QPoint(-1, -1));
  EXPECT_EQ(grid.CellAt(o + QPoint(-1, 3)), QPoint(-1, -1));       // a label
  EXPECT_EQ(grid.CellAt(o + QPoint(3, -1)), QPoint(-1, -1));       // a heading
  EXPECT_EQ(grid.CellAt(o + QPoint(16 * 22, 3)), QPoint(-1, -1));  // past the last column
  for (int row = 0; row < grid.Rows(); ++row) {
    for (int column = 0; column < grid.Columns(); ++column) {
      const QRect r = grid.CellRect(column, row);
      EXPECT_EQ(grid.CellAt(r.topLeft()), QPoint(column, row));
      EXPECT_EQ(grid.CellAt(r.bottomRight()), QPoint(column, row));
    }
  }
  EXPECT_EQ(grid.CellRect(3, 3), QRect(o.x() + 66, o.y() + 24, 22, 17));
}

TEST_F(StepGridTest, BeatHeadingsNumberTheBeatsWithEachBarsFirstInBold) {
  grid.SetColumns(32, 11);
  grid.SetBeats(4, 4);
  EXPECT_EQ(grid.HeadingText(0), "| 1");
  EXPECT_TRUE(grid.HeadingIsBold(0));
  EXPECT_EQ(grid.HeadingText(4), "| 2");
  EXPECT_FALSE(grid.HeadingIsBold(4));
  EXPECT_EQ(grid.HeadingText(12), "| 4");
  EXPECT_EQ(grid.HeadingText(16), "| 1");  // the second bar
  EXPECT_TRUE(grid.HeadingIsBold(16));
  EXPECT_EQ(grid.HeadingText(5), "");
  EXPECT_EQ(grid.HeadingText(32), "");
}

TEST_F(StepGridTest, PressesAndReleasesTellTheCellAndThePosition) {
  QSignalSpy pressed(&grid, &KWStepGrid::CellPressed);
  QSignalSpy released(&grid, &KWStepGrid::CellReleased);
  const QPoint at = Origin() + QPoint(2 * 22 + 5, 16 + 3);
  Mouse(&grid, QEvent::MouseButtonPress, at);
  Mouse(&grid, QEvent::MouseButtonRelease, at, Qt::NoButton);
  ASSERT_EQ(pressed.count(), 1);
  EXPECT_EQ(pressed.at(0).at(0).toInt(), 2);
  EXPECT_EQ(pressed.at(0).at(1).toInt(), 2);
  EXPECT_EQ(pressed.at(0).at(2).toPoint(), at);
  ASSERT_EQ(released.count(), 1);
  EXPECT_EQ(released.at(0).at(2).toPoint(), at);
  EXPECT_EQ(grid.FocusedCell(), QPoint(2, 2));  // the pressed cell takes the focus frame

  Mouse(&grid, QEvent::MouseButtonPress, {3, Origin().y() + 3});  // on a label
  QTest::mouseClick(&grid, Qt::RightButton, {}, Origin() + QPoint(3, 3));
  EXPECT_EQ(pressed.count(), 1);
}

TEST_F(StepGridTest, ArrowsMoveTheFocusedCellWithinTheGridAndSpaceTogglesIt) {
  QSignalSpy toggled(&grid, &KWStepGrid::CellKeyToggled);
  EXPECT_EQ(grid.FocusedCell(), QPoint(0, 0));
  QTest::keyClick(&grid, Qt::Key_Left);
  QTest::keyClick(&grid, Qt::Key_Up);
  EXPECT_EQ(grid.FocusedCell(), QPoint(0, 0));  // held at the edges
  QTest::keyClick(&grid, Qt::Key_Right);
  QTest::keyClick(&grid, Qt::Key_Right);
  QTest::keyClick(&grid, Qt::Key_Down);
  EXPECT_EQ(grid.FocusedCell(), QPoint(2, 1));
  QTest::keyClick(&grid, Qt::Key_Space);
  ASSERT_EQ(toggled.count(), 1);
  EXPECT_EQ(toggled.at(0).at(0).toInt(), 2);
  EXPECT_EQ(toggled.at(0).at(1).toInt(), 1);
  for (int i = 0; i < 20; ++i) QTest::keyClick(&grid, Qt::Key_Right);
  for (int i = 0; i < 5; ++i) QTest::keyClick(&grid, Qt::Key_Down);
  EXPECT_EQ(grid.FocusedCell(), QPoint(15, 3));
}

// Records the region of every paint.
class PaintRecorder : public QObject {
 public:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint)
      regions.push_back(static_cast<QPaintEvent*>(event)->region());
    return false;
  }
  std::vector<QRegion> regions;
};

TEST_F(StepGridTest, CellsAreDrawnInsetAndAChangeRepaintsOnlyItsCell) {
  set = {{1, 0}};
  const QImage image = grid.grab().toImage();
  const QRect on = grid.CellRect(1, 0);
  const QRect off = grid.CellRect(2, 0);
  const QRect note = grid.CellRect(0, 3);
  EXPECT_EQ(image.pixelColor(on.center()), QColor(Qt::black));
  EXPECT_EQ(image.pixelColor(on.topLeft() + QPoint(1, 1)), QColor(Qt::black));
  EXPECT_NE(image.pixelColor(on.topLeft()), QColor(Qt::black));  // the one-pixel inset
  EXPECT_NE(image.pixelColor(on.bottomRight()), QColor(Qt::black));
  EXPECT_EQ(image.pixelColor(off.center()), QColor(Qt::white));
  EXPECT_EQ(image.pixelColor(note.topLeft() + QPoint(1, 1)), QColor(Qt::white));
  bool inked = false;  // the note's text
  for (int x = note.left() + 1; x < note.right(); ++x) {
    inked = inked || image.pixelColor(x, note.center().y()) != QColor(Qt::white);
  }
  EXPECT_TRUE(inked);

  PaintRecorder recorder;
  grid.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid));
  QTest::qWait(0);
  grid.installEventFilter(&recorder);
  set.insert({5, 2});
  grid.UpdateCell(5, 2);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !recorder.regions.empty(); }, 10000));
  EXPECT_EQ(recorder.regions.front(), QRegion(grid.CellRect(5, 2)));
  grid.removeEventFilter(&recorder);
}

}  // namespace step_grid_test
}  // namespace tg
