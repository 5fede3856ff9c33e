#include <gtest/gtest.h>

#include <QHelpEvent>
#include <QScrollBar>
#include <QTest>
#include <QToolTip>
#include <string>
#include <vector>

#include "app/patcher/KWPatcherPanel.h"
#include "engine/TAudioEngineModule.h"
#include "framework/TContraptionFactory.h"
#include "framework/TGardeningContraption.h"
#include "shell/RegisterContraptions.h"
#include "tests/controls/MouseHelpers.h"

namespace tg {
namespace patcher_panel_test {

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
  // The pane's status texts and reported moves, as they come.
  void Listen() {
    QObject::connect(&panel, &KWPatcherPanel::StatusMessage,
                     [this](const QString& text) { status.push_back(text.toStdString()); });
    QObject::connect(&panel, &KWPatcherPanel::NodesMoved,
                     [this](const std::vector<NodeMove>& m) { moves.push_back(m); });
  }
  // A port's drawn tab, and a point so far off its edge (up for an inlet,
  // down for an outlet), in the middle of it across.
  QPoint Off(const PatchNode& node, bool outlet, int port, int distance) {
    const QRect tab = panel.PortRect(node, outlet, port);
    return outlet ? QPoint(tab.center().x(), tab.bottom() + distance)
                  : QPoint(tab.center().x(), tab.top() - distance);
  }
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
  std::vector<std::string> status;
  std::vector<std::vector<NodeMove>> moves;
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
  // From the inlet end backwards, into a taken inlet: refused before the
  // owner is even asked.
  Listen();
  DragTo(panel.InletPoint(*b, 1) + QPoint(0, 2), out);
  EXPECT_EQ(model.ConnectionCount(), 1);
  EXPECT_EQ(log.events.size(), 1u);
  ASSERT_FALSE(status.empty());
  EXPECT_EQ(status.back(), "Inlet 'Inlet 2' of B already has a wire");
}

// A port answers a little beyond its tab, the nearest one winning; a box's
// body stays a body to drag by.
TEST_F(PatcherPanelTest, PortsAnswerSixPixelsBeyondTheirTabs) {
  const QPoint out = panel.OutletPoint(*a, 0) - QPoint(0, 2);
  DragTo(out, Off(*b, false, 0, 8));  // too far above: nothing
  EXPECT_EQ(model.ConnectionCount(), 0);
  DragTo(out, Off(*b, false, 0, 5));
  ASSERT_EQ(model.ConnectionCount(), 1);
  EXPECT_EQ(model.ConnectionAt(0).inlet, 0);
  // Sideways past the last inlet, and from an inlet back to below an outlet.
  const QRect last = panel.PortRect(*b, false, 1);
  DragTo(Off(*a, true, 0, 5), QPoint(last.right() + 5, last.center().y()));
  ASSERT_EQ(model.ConnectionCount(), 2);
  EXPECT_EQ(model.ConnectionAt(1).inlet, 1);
  DragTo(Off(*a, false, 2, 5), Off(*b, true, 1, 5));
  ASSERT_EQ(model.ConnectionCount(), 3);
  EXPECT_EQ(model.ConnectionAt(2).source, b);
  EXPECT_EQ(model.ConnectionAt(2).outlet, 1);
  DragTo(Off(*a, false, 1, 5), Off(*b, true, 0, 8));
  EXPECT_EQ(model.ConnectionCount(), 3);

  // Between two tabs the nearer answers.
  const QRect tab0 = panel.PortRect(*b, false, 0), tab1 = panel.PortRect(*b, false, 1);
  EXPECT_EQ(panel.PortAt({tab0.right() + 2, tab0.top() - 3}).port, 0);
  EXPECT_EQ(panel.PortAt({tab1.left() - 2, tab0.top() - 3}).port, 1);
  // Inside the box a press below the tab strip grabs the body, a drop the port.
  const QPoint below(tab0.center().x(), tab0.bottom() + 5);
  EXPECT_EQ(panel.HitAt(below).part, KWPatcherPanel::Part::Body);
  EXPECT_EQ(panel.PortAt(below).part, KWPatcherPanel::Part::Inlet);
}

TEST_F(PatcherPanelTest, HoverLightsAPortOrAWire) {
  Mouse(View(), QEvent::MouseMove, Off(*b, false, 1, 4), Qt::NoButton);
  EXPECT_EQ(panel.HitAt(Off(*b, false, 1, 4)).port, 1);
  EXPECT_EQ(panel.PortToolTip(Off(*b, false, 1, 4)), "Inlet 2");
  EXPECT_EQ(panel.PortToolTip(Off(*b, false, 1, 9)), "");
  model.AddConnection(*a, 0, *b, 0);
  const QPoint middle = (panel.OutletPoint(*a, 0) + panel.InletPoint(*b, 0)) / 2;
  Mouse(View(), QEvent::MouseMove, middle, Qt::NoButton);
  EXPECT_EQ(panel.HoveredConnection(), &model.ConnectionAt(0));
  Mouse(View(), QEvent::MouseMove, {380, 20}, Qt::NoButton);
  EXPECT_EQ(panel.HoveredConnection(), nullptr);
}

// Wires go beneath the boxes: where one passes behind a box, the box shows.
TEST_F(PatcherPanelTest, WiresAreDrawnBeneathTheBoxes) {
  model.AddConnection(*a, 0, *b, 0);
  const QPoint middle = (panel.OutletPoint(*a, 0) + panel.InletPoint(*b, 0)) / 2;
  const QImage bare = panel.viewport()->grab().toImage();
  const QColor wire = bare.pixelColor(middle);
  // Its fill, left of the caption, is where the wire would cross.
  PatchNode& c = model.AddNode(middle.x() - 2, middle.y() - 10, "Cover", 0, 0, nullptr);
  c.selected = false;
  panel.ModelChanged();
  const QImage covered = panel.viewport()->grab().toImage();
  EXPECT_NE(covered.pixelColor(middle), wire);
  EXPECT_EQ(covered.pixelColor(middle), panel.palette().color(QPalette::Button));
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

TEST_F(PatcherPanelTest, DraggingMovesTheSelectionAndTellsTheOwnerOnce) {
  std::vector<std::vector<NodeMove>> told;
  QObject::connect(&panel, &KWPatcherPanel::NodesMoved,
                   [&](const std::vector<NodeMove>& m) { told.push_back(m); });
  DragTo(Middle(*a), Middle(*a) + QPoint(30, 10));
  EXPECT_EQ(a->x, 50);
  EXPECT_EQ(a->y, 30);
  EXPECT_EQ(b->x, 200);
  ASSERT_EQ(told.size(), 1u);
  ASSERT_EQ(told[0].size(), 1u);
  EXPECT_EQ(told[0][0].from, QPoint(20, 20));
  EXPECT_EQ(told[0][0].to, QPoint(50, 30));
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

TEST_F(PatcherPanelTest, DraggingPastTheEdgeScrollsAndReportsTheMove) {
  Listen();
  const QPoint grip = Middle(*a);
  Mouse(View(), QEvent::MouseButtonPress, grip);
  Mouse(View(), QEvent::MouseMove, grip + QPoint(40, 0));
  const QPoint past(View()->width() + 30, grip.y());
  Mouse(View(), QEvent::MouseMove, past);
  // The pane scrolls on by itself while the box is held past the edge, and
  // the box keeps pace under the pointer.
  EXPECT_TRUE(panel.IsAutoScrolling());
  ASSERT_TRUE(QTest::qWaitFor([&] { return panel.horizontalScrollBar()->value() > 60; }, 5000));
  Mouse(View(), QEvent::MouseButtonRelease, past, Qt::NoButton);
  const int scrolled = panel.horizontalScrollBar()->value();
  EXPECT_EQ(a->x - 20, past.x() - grip.x() + scrolled);
  ASSERT_EQ(moves.size(), 1u);
  ASSERT_EQ(moves[0].size(), 1u);
  EXPECT_EQ(moves[0][0].node, a);
  EXPECT_EQ(moves[0][0].from, QPoint(20, 20));
  EXPECT_EQ(moves[0][0].to, QPoint(a->x, a->y));
  // Released, the pane stops scrolling.
  EXPECT_FALSE(panel.IsAutoScrolling());
  // A click without a move reports nothing.
  Click(Middle(*a) - panel.ScrollOffset());
  EXPECT_EQ(moves.size(), 1u);
}

TEST_F(PatcherPanelTest, AWireHeldPastTheEdgeScrollsOverTheContent) {
  PatchNode& far = model.AddNode(900, 100, "Far", 1, 0, nullptr);
  panel.ModelChanged();
  const QPoint out = panel.OutletPoint(*a, 0) - QPoint(0, 2);
  Mouse(View(), QEvent::MouseButtonPress, out);
  Mouse(View(), QEvent::MouseMove, {View()->width() + 20, 110});
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        return panel.horizontalScrollBar()->value() == panel.horizontalScrollBar()->maximum();
      },
      5000));
  // A wire scrolls as far as the content goes and no farther.
  EXPECT_LT(panel.horizontalScrollBar()->maximum(), 900);
  const QPoint drop = Off(far, false, 0, 3) - panel.ScrollOffset();
  Mouse(View(), QEvent::MouseMove, drop);
  Mouse(View(), QEvent::MouseButtonRelease, drop, Qt::NoButton);
  ASSERT_EQ(model.ConnectionCount(), 1);
  EXPECT_EQ(model.ConnectionAt(0).destination, &far);
}

TEST_F(PatcherPanelTest, ArrowKeysStepTheSelectionByTheGrid) {
  Listen();
  panel.setFocus();
  Click(Middle(*a));
  QTest::keyClick(&panel, Qt::Key_Right);
  EXPECT_EQ(QPoint(a->x, a->y), QPoint(28, 20));
  panel.SetGridStep(10);
  QTest::keyClick(&panel, Qt::Key_Down);
  EXPECT_EQ(QPoint(a->x, a->y), QPoint(28, 30));
  EXPECT_EQ(b->x, 200);
  ASSERT_EQ(moves.size(), 2u);
  EXPECT_EQ(moves[1][0].from, QPoint(28, 20));
  EXPECT_EQ(moves[1][0].to, QPoint(28, 30));
  // Nothing selected: the keys scroll as ever and move no box.
  model.ClearSelection();
  QTest::keyClick(&panel, Qt::Key_Left);
  EXPECT_EQ(moves.size(), 2u);
  EXPECT_EQ(a->x, 28);
}

TEST_F(PatcherPanelTest, NewBoxesGoWhereTheyCanBeSeen) {
  PatchNode& far = model.AddNode(1500, 900, "Far", 2, 2, nullptr);
  panel.ModelChanged();
  panel.EnsureVisible(far);
  const QRect view(panel.ScrollOffset(), View()->size());
  EXPECT_TRUE(view.contains(panel.NodeRect(far)));
  for (QPoint wanted : {QPoint(0, 0), QPoint(5000, 5000), QPoint(-100, 950), view.center()}) {
    const QPoint place = panel.VisiblePlace(wanted);
    const PatchNode probe{place.x(), place.y(), "Contraption_1", 2, 2};
    const QRect box(place, QSize(KWPatcherPanel::kDefaultBoxWidth, panel.NodeRect(probe).height()));
    EXPECT_TRUE(view.contains(box)) << wanted.x() << "," << wanted.y();
  }
  EXPECT_EQ(panel.VisiblePlace(view.center()), view.center());  // already in view: kept
}

// Port names, wiring hints and refusals with real contraptions.
class PatcherPanelWordsTest : public ::testing::Test {
 protected:
  PatcherPanelWordsTest() {
    RegisterContraptionTypes(factory);
    delay = factory.Create(engine, "SDelay", "");
    ring = factory.Create(engine, "RingAM", "");
    panel.resize(400, 300);
    d = &model.AddNode(20, 20, delay->Name(), 2, 2, delay.get());
    r = &model.AddNode(150, 150, ring->Name(), 2, 1, ring.get());
    panel.ModelChanged();
    QObject::connect(&panel, &KWPatcherPanel::StatusMessage,
                     [this](const QString& text) { status.push_back(text.toStdString()); });
  }
  ~PatcherPanelWordsTest() override { model.SetListener(nullptr); }
  QWidget* View() { return panel.viewport(); }
  QPoint Tab(const PatchNode& node, bool outlet, int port) {
    return panel.PortRect(node, outlet, port).center();
  }

  TContraptionFactory factory;
  TAudioEngineModule engine{factory};
  std::unique_ptr<TGardeningContraption> delay, ring;
  PatchModel model;
  KWPatcherPanel panel{model};
  PatchNode* d = nullptr;
  PatchNode* r = nullptr;
  std::vector<std::string> status;
};

TEST_F(PatcherPanelWordsTest, TooltipsAndWiringHintsNameThePorts) {
  EXPECT_EQ(panel.PortToolTip(Tab(*r, false, 1)), "Modulator in");
  EXPECT_EQ(panel.PortToolTip(Tab(*d, true, 1)), "Right out");
  QHelpEvent help(QEvent::ToolTip, Tab(*r, false, 1), View()->mapToGlobal(Tab(*r, false, 1)));
  QApplication::sendEvent(View(), &help);
  EXPECT_EQ(QToolTip::text(), "Modulator in");

  Mouse(View(), QEvent::MouseButtonPress, Tab(*d, true, 1));
  Mouse(View(), QEvent::MouseMove, {300, 100});
  Mouse(View(), QEvent::MouseMove, Tab(*r, false, 1) - QPoint(0, 4));
  Mouse(View(), QEvent::MouseButtonRelease, Tab(*r, false, 1) - QPoint(0, 4), Qt::NoButton);
  EXPECT_EQ(status, (std::vector<std::string>{
                        "Wire from 'Right out' of SDelay_1: drop it on an inlet",
                        "Connect 'Right out' of SDelay_1 to 'Modulator in' of RingAM_1",
                        "Connected 'Right out' of SDelay_1 to 'Modulator in' of RingAM_1"}));
  ASSERT_EQ(model.ConnectionCount(), 1);
}

TEST_F(PatcherPanelWordsTest, ARefusedWireSaysWhy) {
  model.AddConnection(*r, 0, *d, 0);
  // Into a taken inlet: said while hovering and again on the drop.
  test::Drag(View(), Tab(*r, true, 0), Tab(*d, false, 0));
  EXPECT_EQ(status.back(), "Inlet 'Left in' of SDelay_1 already has a wire");
  EXPECT_EQ(model.ConnectionCount(), 1);
  // Onto its own box.
  test::Drag(View(), Tab(*d, true, 0), Tab(*d, false, 1));
  EXPECT_EQ(status.back(), "A contraption cannot feed itself");
  // The owner refuses with no reason the pane knows of.
  struct Refuser final : PatchModel::Listener {
    bool OnCreateConnection(PatchConnection&) override { return false; }
    bool OnDeleteConnection(PatchConnection&) override { return true; }
    void OnDeleteNode(PatchNode&) override {}
  } refuser;
  model.SetListener(&refuser);
  test::Drag(View(), Tab(*d, true, 0), Tab(*r, false, 1));
  EXPECT_EQ(status.back(), "The wire was refused");
  EXPECT_EQ(model.ConnectionCount(), 1);
  // Dropped on nothing, the hint goes away.
  test::Drag(View(), Tab(*d, true, 0), {390, 290});
  EXPECT_EQ(status.back(), "");
}

}  // namespace patcher_panel_test
}  // namespace tg
