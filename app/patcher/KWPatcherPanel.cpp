#include "app/patcher/KWPatcherPanel.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>
#include <cmath>

namespace tg {

namespace {
constexpr int kPortPitch = 20;
}

KWPatcherPanel::KWPatcherPanel(PatchModel& model, QWidget* parent)
    : QAbstractScrollArea(parent), model_(model) {
  setFocusPolicy(Qt::StrongFocus);
  viewport()->setMouseTracking(true);
  horizontalScrollBar()->setSingleStep(8);
  verticalScrollBar()->setSingleStep(8);
  UpdateScrollBars();
}

QRect KWPatcherPanel::NodeRect(const PatchNode& node) const {
  const QFontMetrics metrics = fontMetrics();
  const int ports = std::max(node.inletCount, node.outletCount);
  const int width = std::max(metrics.horizontalAdvance(QString::fromStdString(node.caption)) + 14,
                             kPortPitch * ports + 4);
  return {node.x, node.y, width, metrics.height() + 14};
}

QPoint KWPatcherPanel::InletPoint(const PatchNode& node, int inlet) const {
  const QRect r = NodeRect(node);
  return {r.left() + kPortPitch * inlet + 12, r.top() - 1};
}

QPoint KWPatcherPanel::OutletPoint(const PatchNode& node, int outlet) const {
  const QRect r = NodeRect(node);
  return {r.left() + kPortPitch * outlet + 12, r.top() + r.height()};
}

KWPatcherPanel::Hit KWPatcherPanel::HitAt(QPoint p) const {
  for (int i = model_.NodeCount() - 1; i >= 0; --i) {
    PatchNode& node = model_.NodeAt(i);
    const QRect r = NodeRect(node);
    if (!r.contains(p)) continue;
    const int bottom = r.top() + r.height();
    const int port = (p.x() - r.left() - 2) / kPortPitch;
    if (p.y() <= r.top() + 5) {
      if (port < node.inletCount) return {&node, Part::Inlet, port};
    } else if (p.y() >= bottom - 5 && port < node.outletCount) {
      return {&node, Part::Outlet, port};
    }
    return {&node, Part::Body, -1};
  }
  return {};
}

PatchConnection* KWPatcherPanel::ConnectionAt(QPoint p) const {
  for (int i = 0; i < model_.ConnectionCount(); ++i) {
    PatchConnection& c = model_.ConnectionAt(i);
    const QPoint a = OutletPoint(*c.source, c.outlet);
    const QPoint b = InletPoint(*c.destination, c.inlet);
    if (p.y() < std::min(a.y(), b.y()) - 2 || p.y() > std::max(a.y(), b.y()) + 2) continue;
    int lo = std::min(a.x(), b.x()), hi = std::max(a.x(), b.x());
    if (b.y() != a.y()) {
      auto xAt = [&](int y) {
        return static_cast<int>(a.x() +
                                static_cast<double>(y - a.y()) * (b.x() - a.x()) / (b.y() - a.y()));
      };
      const int x1 = xAt(p.y() - 2), x2 = xAt(p.y() + 2);
      lo = std::min(x1, x2) - 2;
      hi = std::max(x1, x2) + 2;
    }
    if (p.x() >= lo && p.x() <= hi) return &c;
  }
  return nullptr;
}

int KWPatcherPanel::NodeIndexAt(QPoint p) const {
  for (int i = 0; i < model_.NodeCount(); ++i) {
    if (NodeRect(model_.NodeAt(i)).contains(p)) return i;
  }
  return -1;
}

QRect KWPatcherPanel::ContentExtent() const {
  QRect extent;
  for (int i = 0; i < model_.NodeCount(); ++i)
    extent |= NodeRect(model_.NodeAt(i)).adjusted(-3, -3, 3, 3);
  return extent;
}

QPoint KWPatcherPanel::ScrollOffset() const {
  return {horizontalScrollBar()->value(), verticalScrollBar()->value()};
}

void KWPatcherPanel::UpdateScrollBars() {
  // The content never scrolls so that its left or top edge is inside the view.
  const QRect extent = ContentExtent();
  const QRect view(ScrollOffset(), viewport()->size());
  const QRect area = extent.isEmpty() ? view : extent.united(view);
  const int left = std::min(0, area.left()), top = std::min(0, area.top());
  horizontalScrollBar()->setRange(left, std::max(left, area.right() + 1 - viewport()->width()));
  verticalScrollBar()->setRange(top, std::max(top, area.bottom() + 1 - viewport()->height()));
  horizontalScrollBar()->setPageStep(viewport()->width());
  verticalScrollBar()->setPageStep(viewport()->height());
}

void KWPatcherPanel::ModelChanged() {
  UpdateScrollBars();
  viewport()->update();
}

void KWPatcherPanel::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  UpdateScrollBars();
}

void KWPatcherPanel::scrollContentsBy(int, int) { viewport()->update(); }

void KWPatcherPanel::DrawNode(QPainter& painter, const PatchNode& node) const {
  const QPalette& pal = palette();
  const QRect r = NodeRect(node);
  const bool active = node.selected && hasFocus();
  const QColor fill = pal.color(active ? QPalette::Highlight : QPalette::Button);
  auto bevel = [&](const QRect& box, bool sunken) {
    painter.fillRect(box, sunken ? pal.color(QPalette::Mid) : fill);
    painter.setPen(pal.color(sunken ? QPalette::Shadow : QPalette::Light));
    painter.drawLine(box.topLeft(), box.topRight());
    painter.drawLine(box.topLeft(), box.bottomLeft());
    painter.setPen(pal.color(sunken ? QPalette::Light : QPalette::Shadow));
    painter.drawLine(box.bottomLeft(), box.bottomRight());
    painter.drawLine(box.topRight(), box.bottomRight());
  };
  bevel(r, false);
  for (int i = 0; i < node.inletCount; ++i) {
    const bool lit = &node == hoverNode_ && i == hoverInlet_;
    bevel(QRect(r.left() + kPortPitch * i + 6, r.top() + 1, 14, 5), lit);
  }
  for (int i = 0; i < node.outletCount; ++i) {
    const bool lit = &node == hoverNode_ && i == hoverOutlet_;
    bevel(QRect(r.left() + kPortPitch * i + 6, r.bottom() - 5, 14, 5), lit);
  }
  painter.setPen(pal.color(active ? QPalette::HighlightedText : QPalette::ButtonText));
  painter.drawText(QRect(r.left() + 5, r.top() + 7, r.width() - 5, fontMetrics().height()),
                   Qt::AlignLeft | Qt::AlignTop, QString::fromStdString(node.caption));
}

void KWPatcherPanel::paintEvent(QPaintEvent*) {
  QPainter painter(viewport());
  painter.fillRect(viewport()->rect(), palette().color(QPalette::Window));
  painter.translate(-ScrollOffset());
  for (int i = 0; i < model_.NodeCount(); ++i) DrawNode(painter, model_.NodeAt(i));
  painter.setRenderHint(QPainter::Antialiasing);
  for (int i = 0; i < model_.ConnectionCount(); ++i) {
    const PatchConnection& c = model_.ConnectionAt(i);
    painter.setPen(QPen(palette().color(QPalette::WindowText), c.selected && hasFocus() ? 2 : 1));
    painter.drawLine(OutletPoint(*c.source, c.outlet), InletPoint(*c.destination, c.inlet));
  }
  if (mode_ == Mode::Wiring) {
    painter.setPen(QPen(palette().color(QPalette::Highlight), 1, Qt::DashLine));
    const QPoint anchor =
        wireFromOutlet_ ? OutletPoint(*wireNode_, wirePort_) : InletPoint(*wireNode_, wirePort_);
    painter.drawLine(anchor, wireEnd_);
  }
  if (mode_ == Mode::RubberBand && !band_.isEmpty()) {
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(QColor(128, 128, 128), 1, Qt::DotLine));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(band_.adjusted(0, 0, -1, -1));
  }
}

void KWPatcherPanel::mousePressEvent(QMouseEvent* event) {
  const QPoint p = ToContent(event->position().toPoint());
  last_ = p;
  moved_ = false;
  const bool hadFocus = hasFocus();
  setFocus(Qt::MouseFocusReason);
  if (event->button() == Qt::RightButton) {
    emit ContextMenuRequested(p, event->globalPosition().toPoint());
    return;
  }
  if (event->button() != Qt::LeftButton) return;
  shiftPress_ = event->modifiers() & Qt::ShiftModifier;
  const Hit hit = HitAt(p);
  if (hit.node != nullptr) {
    model_.BringToFront(*hit.node);
    pressed_ = hit.node;
    if (shiftPress_) {
      int selected = 0;
      for (int i = 0; i < model_.NodeCount(); ++i) selected += model_.NodeAt(i).selected ? 1 : 0;
      hit.node->selected = !(hit.node->selected && selected > 1);
    } else if (hit.part == Part::Body) {
      if (!hit.node->selected) {
        model_.ClearSelection();
        hit.node->selected = true;
      }
      mode_ = Mode::Dragging;
    } else {
      model_.ClearSelection();
      mode_ = Mode::Wiring;
      wireNode_ = hit.node;
      wirePort_ = hit.port;
      wireFromOutlet_ = hit.part == Part::Outlet;
      wireEnd_ = p;
    }
    viewport()->update();
    return;
  }
  if (PatchConnection* c = ConnectionAt(p)) {
    if (shiftPress_) {
      c->selected = !c->selected;
    } else {
      model_.ClearSelection();
      c->selected = true;
    }
    viewport()->update();
    return;
  }
  mode_ = Mode::RubberBand;
  bandAnchor_ = p;
  band_ = QRect();
  if (hadFocus) model_.ClearSelection();
  viewport()->update();
}

void KWPatcherPanel::mouseMoveEvent(QMouseEvent* event) {
  const QPoint p = ToContent(event->position().toPoint());
  const QPoint delta = p - last_;
  last_ = p;
  if (!delta.isNull()) moved_ = true;
  if (mode_ == Mode::Dragging) {
    bool any = false;
    for (int i = 0; i < model_.NodeCount(); ++i) {
      PatchNode& node = model_.NodeAt(i);
      if (!node.selected) continue;
      node.x += delta.x();
      node.y += delta.y();
      any = true;
    }
    if (any && !delta.isNull()) model_.SetModified(true);
    viewport()->update();
    return;
  }
  if (mode_ == Mode::RubberBand) {
    band_ = QRect(bandAnchor_, p).normalized();
    for (int i = 0; i < model_.NodeCount(); ++i) {
      PatchNode& node = model_.NodeAt(i);
      node.selected = NodeRect(node).intersects(band_);
    }
    viewport()->update();
    return;
  }
  // Hovering or wiring: light the port a wire could end on.
  const Hit hit = HitAt(p);
  hoverNode_ = nullptr;
  hoverInlet_ = hoverOutlet_ = -1;
  if (hit.part == Part::Inlet &&
      (mode_ != Mode::Wiring || (wireFromOutlet_ && hit.node != wireNode_))) {
    hoverNode_ = hit.node;
    hoverInlet_ = hit.port;
  } else if (hit.part == Part::Outlet &&
             (mode_ != Mode::Wiring || (!wireFromOutlet_ && hit.node != wireNode_))) {
    hoverNode_ = hit.node;
    hoverOutlet_ = hit.port;
  }
  wireEnd_ = p;
  viewport()->update();
}

void KWPatcherPanel::mouseReleaseEvent(QMouseEvent* event) {
  if (mode_ == Mode::Dragging && !moved_ && !(event->modifiers() & Qt::ShiftModifier) &&
      pressed_ != nullptr) {
    model_.ClearSelection();
    pressed_->selected = true;
  } else if (mode_ == Mode::Wiring && hoverNode_ != nullptr) {
    if (wireFromOutlet_ && hoverInlet_ >= 0) {
      model_.CreateConnection(*wireNode_, wirePort_, *hoverNode_, hoverInlet_);
    } else if (!wireFromOutlet_ && hoverOutlet_ >= 0) {
      model_.CreateConnection(*hoverNode_, hoverOutlet_, *wireNode_, wirePort_);
    }
  }
  mode_ = Mode::Idle;
  pressed_ = nullptr;
  wireNode_ = nullptr;
  hoverNode_ = nullptr;
  hoverInlet_ = hoverOutlet_ = -1;
  band_ = QRect();
  UpdateScrollBars();
  viewport()->update();
}

void KWPatcherPanel::mouseDoubleClickEvent(QMouseEvent* event) {
  const Hit hit = HitAt(ToContent(event->position().toPoint()));
  if (hit.node != nullptr) emit NodeDoubleClicked(hit.node);
}

void KWPatcherPanel::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Delete) {
    model_.DeleteSelection();
    ModelChanged();
  } else if (event->key() == Qt::Key_A && (event->modifiers() & Qt::ControlModifier)) {
    model_.SelectAll();
    viewport()->update();
  } else {
    QAbstractScrollArea::keyPressEvent(event);
  }
}

}  // namespace tg
