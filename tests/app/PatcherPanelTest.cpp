#include <gtest/gtest.h>

#include <QTest>
#include <string>
#include <vector>

#include "app/patcher/KWPatcherPanel.h"
#include "tests/controls/MouseHelpers.h"

namespace tg {
namespace {

using test::Mouse;

// Records the pane's events and, like the main window, refuses a second wire
// into an inlet.
class EventLog final : public PatchModel::Listener {
 public:
  explicit EventLog(PatchModel& model) : model_(model) {}
  bool OnCreateConnection(PatchConnection& c) override {
    events.push_back("create " + c.source->caption + " -> " + c.destination->caption);
    return !model_.IsInletTaken(*c.destination, c.inlet);
  }
  bool OnDeleteConnection(PatchConnection& c) override {
    events.push_back("delete " + c.source->caption + " -> " + c.destination->caption);
    return true;
  }
  void OnDeleteNode(PatchNode& node) override { events.push_back("delete node " + node.caption); }
  std::vector<std::string> events;

 private:
  PatchModel& model_;
};

class PatcherPanelTest : public ::testing::Test {
 protected:
  PatcherPanelTest() {
    model.SetListener(&log);
    panel.resize(400, 300);
    a = &model.AddNode(20, 20, "A", 3, 1, nullptr);
    b = &model.AddNode(200, 150, "B", 2, 2, nullptr);
    panel.ModelChanged();
  }
  ~PatcherPanelTest() override { model.SetListener(nullptr); }
  QWidget* View() { return panel.viewport(); }
  QPoint Middle(const PatchNode& node) { return panel.NodeRect(node).center(); }
  void Click(QPoint at, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    Mouse(View(), QEvent::MouseButtonPress, at, Qt::LeftButton, modifiers);
    Mouse(View(), QEvent::MouseButtonRelease, at, Qt::NoButton, modifiers);
  }
  void DragTo(QPoint from, QPoint to) {
    Mouse(View(), QEvent::MouseButtonPress, from);
    Mouse(View(), QEvent::MouseMove, (from + to) / 2);
    Mouse(View(), QEvent::MouseMove, to);
    Mouse(View(), QEvent::MouseButtonRelease, to, Qt::NoButton);
  }

  PatchModel model;
  EventLog log{model};
  KWPatcherPanel panel{model};
  PatchNode* a = nullptr;
  PatchNode* b = nullptr;
};

TEST_F(PatcherPanelTest, NodeSizesPortsAndHits) {
  EXPECT_EQ(panel.NodeRect(*a).width(), 64);  // three inlets outweigh a short caption
  EXPECT_EQ(panel.InletPoint(*a, 2).x() - a->x, 52);
  const KWPatcherPanel::Hit top = panel.HitAt({a->x + 1, a->y + 2});
  EXPECT_EQ(top.part, KWPatcherPanel::Part::Inlet);
  EXPECT_EQ(top.port, 0);
  const QRect r = panel.NodeRect(*a);
  EXPECT_EQ(panel.HitAt({a->x + 30, r.bottom() - 1}).part,
            KWPatcherPanel::Part::Body);  // no outlet 1
  EXPECT_EQ(panel.HitAt({a->x + 10, r.bottom() - 1}).part, KWPatcherPanel::Part::Outlet);
  EXPECT_EQ(panel.HitAt({5, 5}).node, nullptr);
}

TEST_F(PatcherPanelTest, WiresRunFromAnOutletToAnotherNodesInlet) {
  const QPoint out = panel.OutletPoint(*a, 0) - QPoint(0, 2);
  // Its own inlets do not light up, and nothing comes of releasing there.
  DragTo(out, panel.InletPoint(*a, 1) + QPoint(0, 2));
  EXPECT_EQ(model.ConnectionCount(), 0);
  DragTo(out, panel.InletPoint(*b, 1) + QPoint(0, 2));
  ASSERT_EQ(model.ConnectionCount(), 1);
  EXPECT_EQ(model.ConnectionAt(0).inlet, 1);
  EXPECT_EQ(log.events, std::vector<std::string>{"create A -> B"});
  // From the inlet end backwards, into a taken inlet: refused.
  DragTo(panel.InletPoint(*b, 1) + QPoint(0, 2), out);
  EXPECT_EQ(model.ConnectionCount(), 1);
  EXPECT_EQ(log.events.size(), 2u);
}

TEST_F(PatcherPanelTest, ShiftSelectionAndRubberBand) {
  panel.setFocus();
  Click(Middle(*a));
  EXPECT_TRUE(a->selected);
  Click(Middle(*a), Qt::ShiftModifier);  // the only selected one stays selected
  EXPECT_TRUE(a->selected);
  Click(Middle(*b), Qt::ShiftModifier);
  EXPECT_TRUE(a->selected && b->selected);
  Click(Middle(*a), Qt::ShiftModifier);  // one of several: unselected
  EXPECT_FALSE(a->selected);
  EXPECT_TRUE(b->selected);

  // A band over part of a node selects it, and only it.
  DragTo({5, 5}, {30, 30});
  EXPECT_TRUE(a->selected);
  EXPECT_FALSE(b->selected);
}

TEST_F(PatcherPanelTest, DraggingMovesTheSelectionAndMarksTheModel) {
  model.SetModified(false);
  DragTo(Middle(*a), Middle(*a) + QPoint(30, 10));
  EXPECT_EQ(a->x, 50);
  EXPECT_EQ(a->y, 30);
  EXPECT_EQ(b->x, 200);
  EXPECT_TRUE(model.Modified());
  EXPECT_EQ(&model.NodeAt(model.NodeCount() - 1), a);  // pressed: brought on top
}

TEST_F(PatcherPanelTest, DeleteRemovesConnectionsBeforeTheirNodeAndCtrlASelectsAll) {
  model.AddConnection(*a, 0, *b, 0);
  model.AddConnection(*b, 1, *a, 2);
  panel.setFocus();
  Click(Middle(*a));
  QTest::keyClick(&panel, Qt::Key_Delete);
  EXPECT_EQ(log.events,
            (std::vector<std::string>{"delete B -> A", "delete A -> B", "delete node A"}));
  EXPECT_EQ(model.NodeCount(), 1);
  EXPECT_EQ(model.ConnectionCount(), 0);
  QTest::keyClick(&panel, Qt::Key_A, Qt::ControlModifier);
  EXPECT_TRUE(b->selected);
  model.Clear();
  EXPECT_EQ(model.NodeCount(), 0);
  EXPECT_TRUE(panel.ContentExtent().isEmpty());
}

TEST_F(PatcherPanelTest, ClickingAWireSelectsIt) {
  model.AddConnection(*a, 0, *b, 0);
  const QPoint from = panel.OutletPoint(*a, 0), to = panel.InletPoint(*b, 0);
  const QPoint middle = (from + to) / 2;
  EXPECT_EQ(panel.ConnectionAt(middle), &model.ConnectionAt(0));
  Click(middle);
  EXPECT_TRUE(model.ConnectionAt(0).selected);
  EXPECT_EQ(panel.ConnectionAt({middle.x() + 40, middle.y()}), nullptr);
}

}  // namespace
}  // namespace tg
