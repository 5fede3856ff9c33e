#pragma once

#include <QAbstractScrollArea>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "app/patcher/EdgeAutoScroll.h"
#include "shell/patch/PatchModel.h"

namespace tg {

// One box the user moved: where it was before the gesture and after.
struct NodeMove {
  PatchNode* node;
  QPoint from;
  QPoint to;
};

// The patcher pane: draws the patch model as boxes with inlet tabs on top and
// outlet tabs below, joined by straight wires beneath them, and edits it with
// the mouse and keys: select, Shift-select, rubber band, drag, wire from a
// port, Delete, Ctrl+A, arrow keys. Node positions are content coordinates;
// the pane scrolls over them, and by itself while a box or a wire is dragged
// past its edge.
class KWPatcherPanel final : public QAbstractScrollArea {
  Q_OBJECT

 public:
  enum class Part { None, Body, Inlet, Outlet };
  struct Hit {
    PatchNode* node = nullptr;
    Part part = Part::None;
    int port = -1;
  };
  // How far beyond its drawn tab a port still answers to the mouse.
  static constexpr int kPortReach = 6;
  // The arrow keys' step when the pane has no grid.
  static constexpr int kDefaultGridStep = 8;
  // The box VisiblePlace makes room for.
  static constexpr int kDefaultBoxWidth = 100;

  explicit KWPatcherPanel(PatchModel& model, QWidget* parent = nullptr);
  // What the empty pane says.
  static QString EmptyPaneHint() { return "Right-click or double-click to add a contraption"; }

  // A node's box in content coordinates.
  QRect NodeRect(const PatchNode& node) const;
  QPoint InletPoint(const PatchNode& node, int inlet) const;
  QPoint OutletPoint(const PatchNode& node, int outlet) const;
  // A port's drawn tab.
  QRect PortRect(const PatchNode& node, bool outlet, int port) const;
  // What a press at a point of the content takes hold of: the topmost node and
  // the part of it, or a port whose tab is within reach outside every box.
  Hit HitAt(QPoint content) const;
  // The port a wire dropped at a point would end on: the nearest whose tab is
  // within reach in every direction (only the top box's where boxes are).
  Hit PortAt(QPoint content) const;
  PatchConnection* ConnectionAt(QPoint content) const;
  // Whether a box or wire held past the edge is scrolling the pane.
  bool IsAutoScrolling() const { return autoScroll_.IsActive(); }
  // The wire under the mouse, if any.
  PatchConnection* HoveredConnection() const { return hoverWire_; }
  // The union of the node boxes, each grown by 3 pixels.
  QRect ContentExtent() const;
  // The index (in node order) of the first node under a content point, or −1.
  int NodeIndexAt(QPoint content) const;
  QPoint ScrollOffset() const;
  // The port's name shown on hover, empty away from a port.
  QString PortToolTip(QPoint content) const;

  // A content point near `wanted` where a new box of default size lies wholly
  // inside the visible area.
  QPoint VisiblePlace(QPoint wanted) const;
  // Scrolls so that the node's box (and its ports) can be seen.
  void EnsureVisible(const PatchNode& node);
  // The snapping grid the arrow keys step by; 0 for none (8 pixels then).
  void SetGridStep(int step) { gridStep_ = step; }
  int GridStep() const { return gridStep_ > 0 ? gridStep_ : kDefaultGridStep; }

  // Redraws after the model changed outside the pane.
  void ModelChanged();

 signals:
  void NodeDoubleClicked(PatchNode* node);
  // The pop-up menu is the owner's; the point is in content coordinates.
  void ContextMenuRequested(QPoint content, QPoint global);
  // Wiring hints and why a wire was refused, for the status bar.
  void StatusMessage(const QString& text);
  // Boxes moved by a drag (at its end) or by the arrow keys.
  void NodesMoved(const std::vector<tg::NodeMove>& moves);
  // The selection may have changed (a press, a release, a key).
  void SelectionChanged();
  // Ctrl+X, Ctrl+C, Ctrl+V and Ctrl+D pressed in the pane.
  void CutRequested();
  void CopyRequested();
  void PasteRequested();
  void DuplicateRequested();
  // A double click or Tab on an empty place, or a wire from an outlet
  // dropped there: the owner offers the types to place at that content
  // point (wired from the outlet when source is set).
  void QuickAddRequested(QPoint content, tg::PatchNode* source, int outlet);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool event(QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  bool viewportEvent(QEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  mutable std::unordered_map<std::string, int> captionWidths_;
  enum class Mode { Idle, Dragging, Wiring, RubberBand };
  QPoint ToContent(QPoint viewportPoint) const { return viewportPoint + ScrollOffset(); }
  void UpdateScrollBars();
  // Shaping a caption's text is the dearest part of a box's size: each is
  // measured once per font, not at every look at the patch.
  int CaptionWidth(const std::string& caption) const;
  void DrawNode(QPainter& painter, const PatchNode& node) const;
  void DrawWires(QPainter& painter) const;
  void DrawLiveWire(QPainter& painter) const;
  // The one pen every wire is drawn with.
  static QPen WirePen(const QColor& colour);
  // Wires are coloured by the kind of signal they carry: mono, left or right.
  static QColor WireColour(const PatchNode& source, int outlet);
  // The nearest port within reach; `inward` lets it answer inside its box too.
  Hit NearestPort(QPoint p, const PatchNode* only, bool inward) const;
  bool IsLive(const PatchNode* node) const;
  bool IsLive(const PatchConnection* connection) const;
  // Moves the selected boxes; true when there were any.
  bool MoveSelection(QPoint delta);
  void Hover(QPoint content);
  void UpdateWiringStatus(const Hit& target);
  void FinishWire();
  // Whether nothing (no box, no port, no wire) is at a content point.
  bool IsEmptyPlace(QPoint content) const;
  // Where Tab places: the mouse when it is over the pane, else the view's middle.
  QPoint QuickAddPlace() const;
  void AutoScrollTick(QPoint step);
  void ScrollBy(QPoint step);
  void EnsureRectVisible(const QRect& content);
  std::vector<NodeMove> MovesSince(const std::vector<std::pair<PatchNode*, QPoint>>& before) const;
  std::vector<std::pair<PatchNode*, QPoint>> SelectedPlaces() const;
  void Say(const QString& text);

  PatchModel& model_;
  Mode mode_ = Mode::Idle;
  QPoint last_;
  bool moved_ = false;
  PatchNode* pressed_ = nullptr;
  bool shiftPress_ = false;
  // Dragging: where the moved boxes were when it began.
  std::vector<std::pair<PatchNode*, QPoint>> dragFrom_;
  // Wiring: where it started, and which port it started from.
  PatchNode* wireNode_ = nullptr;
  int wirePort_ = -1;
  bool wireFromOutlet_ = false;
  QPoint wireEnd_;
  // Hovering: the highlighted port and the wire under the mouse.
  PatchNode* hoverNode_ = nullptr;
  int hoverInlet_ = -1;
  int hoverOutlet_ = -1;
  PatchConnection* hoverWire_ = nullptr;
  QRect band_;
  QPoint bandAnchor_;
  QPoint pointer_;  // the last mouse point, in viewport coordinates
  QString status_;
  int gridStep_ = 0;
  EdgeAutoScroll autoScroll_;
};

}  // namespace tg
