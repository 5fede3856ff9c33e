#pragma once

#include <QAbstractScrollArea>

#include "app/patch/PatchModel.h"

namespace tg {

// The patcher pane: draws the patch model as boxes with inlet tabs on top and
// outlet tabs below, joined by straight wires, and edits it with the mouse:
// select, Shift-select, rubber band, drag, wire from a port, Delete, Ctrl+A.
// Node positions are content coordinates; the pane scrolls over them.
class KWPatcherPanel final : public QAbstractScrollArea {
  Q_OBJECT

 public:
  enum class Part { None, Body, Inlet, Outlet };
  struct Hit {
    PatchNode* node = nullptr;
    Part part = Part::None;
    int port = -1;
  };

  explicit KWPatcherPanel(PatchModel& model, QWidget* parent = nullptr);

  // A node's box in content coordinates.
  QRect NodeRect(const PatchNode& node) const;
  QPoint InletPoint(const PatchNode& node, int inlet) const;
  QPoint OutletPoint(const PatchNode& node, int outlet) const;
  // What lies at a point of the content: the topmost node and the part of it.
  Hit HitAt(QPoint content) const;
  PatchConnection* ConnectionAt(QPoint content) const;
  // The union of the node boxes, each grown by 3 pixels.
  QRect ContentExtent() const;
  // The index (in node order) of the first node under a content point, or −1.
  int NodeIndexAt(QPoint content) const;
  QPoint ScrollOffset() const;
  // Redraws after the model changed outside the pane.
  void ModelChanged();

 signals:
  void NodeDoubleClicked(PatchNode* node);
  // The pop-up menu is the owner's; the point is in content coordinates.
  void ContextMenuRequested(QPoint content, QPoint global);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;

 private:
  enum class Mode { Idle, Dragging, Wiring, RubberBand };
  QPoint ToContent(QPoint viewportPoint) const { return viewportPoint + ScrollOffset(); }
  void UpdateScrollBars();
  void DrawNode(QPainter& painter, const PatchNode& node) const;

  PatchModel& model_;
  Mode mode_ = Mode::Idle;
  QPoint last_;
  bool moved_ = false;
  PatchNode* pressed_ = nullptr;
  bool shiftPress_ = false;
  // Wiring: where it started, and which port it started from.
  PatchNode* wireNode_ = nullptr;
  int wirePort_ = -1;
  bool wireFromOutlet_ = false;
  QPoint wireEnd_;
  // Hovering: the highlighted port.
  PatchNode* hoverNode_ = nullptr;
  int hoverInlet_ = -1;
  int hoverOutlet_ = -1;
  QRect band_;
  QPoint bandAnchor_;
};

}  // namespace tg
