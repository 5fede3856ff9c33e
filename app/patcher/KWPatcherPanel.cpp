#include "app/patcher/KWPatcherPanel.h"

#include <QCursor>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QToolTip>
#include <algorithm>
#include <cmath>

#include "controls/StagePalette.h"
#include "shell/patch/WireRules.h"

namespace tg {

namespace {
constexpr int kPortPitch = 20;

QString Text(const std::string& s) { return QString::fromStdString(s); }

// Squared distance from a point to a rectangle (0 inside), per axis too.
struct Reach {
  int dx, dy;
  int Squared() const { return dx * dx + dy * dy; }
};
Reach ReachTo(const QRect& r, QPoint p) {
  return {std::max({r.left() - p.x(), 0, p.x() - r.right()}),
          std::max({r.top() - p.y(), 0, p.y() - r.bottom()})};
}
}  // namespace

KWPatcherPanel::KWPatcherPanel(PatchModel& model, QWidget* parent)
    : QAbstractScrollArea(parent),
      model_(model),
      autoScroll_([this](QPoint step) { AutoScrollTick(step); }) {
  setFocusPolicy(Qt::StrongFocus);
  viewport()->setMouseTracking(true);
  horizontalScrollBar()->setSingleStep(8);
  verticalScrollBar()->setSingleStep(8);
  UpdateScrollBars();
}

int KWPatcherPanel::CaptionWidth(const std::string& caption) const {
  if (const auto known = captionWidths_.find(caption); known != captionWidths_.end())
    return known->second;
  if (captionWidths_.size() > 8192) captionWidths_.clear();  // names gone by renames
  const int width = fontMetrics().horizontalAdvance(Text(caption));
  captionWidths_.emplace(caption, width);
  return width;
}

void KWPatcherPanel::changeEvent(QEvent* event) {
  if (event->type() == QEvent::FontChange) {
    captionWidths_.clear();
    UpdateScrollBars();
  }
  QAbstractScrollArea::changeEvent(event);
}

QRect KWPatcherPanel::NodeRect(const PatchNode& node) const {
  const int ports = std::max(node.inletCount, node.outletCount);
  const int width = std::max(CaptionWidth(node.caption) + 14, kPortPitch * ports + 4);
  return {node.x, node.y, width, fontMetrics().height() + 14};
}

QPoint KWPatcherPanel::InletPoint(const PatchNode& node, int inlet) const {
  const QRect r = NodeRect(node);
  return {r.left() + kPortPitch * inlet + 12, r.top() - 1};
}

QPoint KWPatcherPanel::OutletPoint(const PatchNode& node, int outlet) const {
  const QRect r = NodeRect(node);
  return {r.left() + kPortPitch * outlet + 12, r.top() + r.height()};
}

QRect KWPatcherPanel::PortRect(const PatchNode& node, bool outlet, int port) const {
  const QRect r = NodeRect(node);
  const int top = outlet ? r.bottom() - 5 : r.top() + 1;
  return {r.left() + kPortPitch * port + 6, top, 14, 5};
}

bool KWPatcherPanel::IsLive(const PatchNode* node) const {
  for (int i = 0; i < model_.NodeCount(); ++i) {
    if (&model_.NodeAt(i) == node) return true;
  }
  return false;
}

bool KWPatcherPanel::IsLive(const PatchConnection* connection) const {
  for (int i = 0; i < model_.ConnectionCount(); ++i) {
    if (&model_.ConnectionAt(i) == connection) return true;
  }
  return false;
}

KWPatcherPanel::Hit KWPatcherPanel::NearestPort(QPoint p, const PatchNode* only,
                                                bool inward) const {
  Hit best;
  int bestReach = 0, bestCentre = 0;
  auto consider = [&](PatchNode& node, bool outlet, int port) {
    const QRect tab = PortRect(node, outlet, port);
    const Reach reach = ReachTo(tab, p);
    if (reach.dx > kPortReach || reach.dy > kPortReach) return;
    // Inside its own box a port answers only on its strip, so the body stays
    // a body to drag by (a drop reaches in everywhere).
    if (!inward && NodeRect(node).contains(p)) {
      const QRect r = NodeRect(node);
      const bool onStrip = outlet ? p.y() >= r.top() + r.height() - 5 : p.y() <= r.top() + 5;
      if (!onStrip) return;
    }
    const QPoint centre = tab.center() - p;
    const int centreReach = centre.x() * centre.x() + centre.y() * centre.y();
    if (best.node != nullptr && (reach.Squared() > bestReach ||
                                 (reach.Squared() == bestReach && centreReach >= bestCentre)))
      return;
    best = {&node, outlet ? Part::Outlet : Part::Inlet, port};
    bestReach = reach.Squared();
    bestCentre = centreReach;
  };
  for (int i = model_.NodeCount() - 1; i >= 0; --i) {
    PatchNode& node = model_.NodeAt(i);
    if (only != nullptr && &node != only) continue;
    for (int k = 0; k < node.inletCount; ++k) consider(node, false, k);
    for (int k = 0; k < node.outletCount; ++k) consider(node, true, k);
  }
  return best;
}

KWPatcherPanel::Hit KWPatcherPanel::HitAt(QPoint p) const {
  for (int i = model_.NodeCount() - 1; i >= 0; --i) {
    PatchNode& node = model_.NodeAt(i);
    if (!NodeRect(node).contains(p)) continue;
    const Hit port = NearestPort(p, &node, false);
    if (port.node != nullptr) return port;
    return {&node, Part::Body, -1};
  }
  return NearestPort(p, nullptr, false);
}

KWPatcherPanel::Hit KWPatcherPanel::PortAt(QPoint p) const {
  for (int i = model_.NodeCount() - 1; i >= 0; --i) {
    PatchNode& node = model_.NodeAt(i);
    if (NodeRect(node).contains(p)) return NearestPort(p, &node, true);
  }
  return NearestPort(p, nullptr, true);
}

QString KWPatcherPanel::PortToolTip(QPoint content) const {
  const Hit hit = HitAt(content);
  if (hit.part != Part::Inlet && hit.part != Part::Outlet) return {};
  return Text(PortNameOf(*hit.node, hit.part == Part::Outlet, hit.port));
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
  // Whatever the pane pointed at may have gone with the change.
  if (!IsLive(hoverNode_)) {
    hoverNode_ = nullptr;
    hoverInlet_ = hoverOutlet_ = -1;
  }
  if (!IsLive(hoverWire_)) hoverWire_ = nullptr;
  if (!IsLive(pressed_)) pressed_ = nullptr;
  if (mode_ == Mode::Wiring && !IsLive(wireNode_)) {
    mode_ = Mode::Idle;
    wireNode_ = nullptr;
    autoScroll_.Stop();
    Say({});
  }
  std::erase_if(dragFrom_, [this](const auto& place) { return !IsLive(place.first); });
  UpdateScrollBars();
  viewport()->update();
}

void KWPatcherPanel::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  UpdateScrollBars();
}

void KWPatcherPanel::scrollContentsBy(int, int) { viewport()->update(); }

QPoint KWPatcherPanel::VisiblePlace(QPoint wanted) const {
  constexpr int kMargin = 8;
  const QSize box(kDefaultBoxWidth, fontMetrics().height() + 14);
  const QRect view(ScrollOffset(), viewport()->size());
  // A view smaller than the box shows its top-left corner.
  auto place = [&](int at, int low, int length, int size) {
    const int high = low + length - size - kMargin;
    return std::max(low + kMargin, std::min(at, high));
  };
  return {place(wanted.x(), view.left(), view.width(), box.width()),
          place(wanted.y(), view.top(), view.height(), box.height())};
}

void KWPatcherPanel::EnsureRectVisible(const QRect& r) {
  UpdateScrollBars();
  auto along = [](QScrollBar* bar, int low, int high, int length) {
    int value = bar->value();
    if (high > value + length) value = high - length;
    if (low < value) value = low;  // the start matters more than the end
    bar->setValue(value);
  };
  along(horizontalScrollBar(), r.left(), r.right() + 1, viewport()->width());
  along(verticalScrollBar(), r.top(), r.bottom() + 1, viewport()->height());
  viewport()->update();
}

void KWPatcherPanel::EnsureVisible(const PatchNode& node) {
  // The ports' wires start just outside the box: show a little around it.
  EnsureRectVisible(NodeRect(node).adjusted(-8, -8, 8, 8));
}

void KWPatcherPanel::DrawNode(QPainter& painter, const PatchNode& node) const {
  const QPalette& pal = palette();
  const StagePalette& colours = StagePalette::Current();
  const QRect r = NodeRect(node);
  const bool active = node.selected && hasFocus();
  const QColor fill = active ? colours.nodeSelected : colours.nodeFace;
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
  for (int i = 0; i < node.inletCount; ++i)
    bevel(PortRect(node, false, i), &node == hoverNode_ && i == hoverInlet_);
  for (int i = 0; i < node.outletCount; ++i)
    bevel(PortRect(node, true, i), &node == hoverNode_ && i == hoverOutlet_);
  painter.setPen(active ? colours.nodeSelectedText : colours.nodeText);
  painter.drawText(QRect(r.left() + 5, r.top() + 7, r.width() - 5, fontMetrics().height()),
                   Qt::AlignLeft | Qt::AlignTop, Text(node.caption));
}

void KWPatcherPanel::DrawWires(QPainter& painter) const {
  const QPalette& pal = palette();
  QColor hoverColour = pal.color(QPalette::Highlight);
  hoverColour.setAlpha(150);
  painter.setRenderHint(QPainter::Antialiasing, true);
  for (int i = 0; i < model_.ConnectionCount(); ++i) {
    const PatchConnection& c = model_.ConnectionAt(i);
    const QPoint from = OutletPoint(*c.source, c.outlet), to = InletPoint(*c.destination, c.inlet);
    const QPen wire = WirePen(WireColour(*c.source, c.outlet));
    if (c.selected) {
      // A band of the selection colour with the wire over it, and its ends
      // marked, so it reads as selected with or without the focus.
      painter.setPen(QPen(pal.color(QPalette::Highlight), 5, Qt::SolidLine, Qt::RoundCap));
      painter.drawLine(from, to);
      painter.setPen(wire);
      painter.drawLine(from, to);
      painter.setBrush(pal.color(QPalette::Highlight));
      painter.setPen(Qt::NoPen);
      painter.drawEllipse(QPointF(from), 3.5, 3.5);
      painter.drawEllipse(QPointF(to), 3.5, 3.5);
      painter.setBrush(Qt::NoBrush);
      continue;
    }
    if (&c == hoverWire_) {
      painter.setPen(QPen(hoverColour, 4, Qt::SolidLine, Qt::RoundCap));
      painter.drawLine(from, to);
    }
    painter.setPen(wire);
    painter.drawLine(from, to);
  }
  painter.setRenderHint(QPainter::Antialiasing, false);
}

QPen KWPatcherPanel::WirePen(const QColor& colour) {
  return QPen(colour, 1.5, Qt::SolidLine, Qt::RoundCap);
}

QColor KWPatcherPanel::WireColour(const PatchNode& source, int outlet) {
  // The kind of signal by its outlet's name: "Left out", "Right out", else mono.
  const std::string name = PortNameOf(source, true, outlet);
  const StagePalette& colours = StagePalette::Current();
  if (name.rfind("Left", 0) == 0) return colours.wireLeft;
  if (name.rfind("Right", 0) == 0) return colours.wireRight;
  return colours.wireMono;
}

void KWPatcherPanel::DrawLiveWire(QPainter& painter) const {
  if (mode_ != Mode::Wiring) return;
  const QPoint anchor =
      wireFromOutlet_ ? OutletPoint(*wireNode_, wirePort_) : InletPoint(*wireNode_, wirePort_);
  // Over a port it may end on, the wire snaps to it.
  QPoint end = wireEnd_;
  if (hoverNode_ != nullptr && hoverInlet_ >= 0) end = InletPoint(*hoverNode_, hoverInlet_);
  if (hoverNode_ != nullptr && hoverOutlet_ >= 0) end = OutletPoint(*hoverNode_, hoverOutlet_);
  const PatchNode* source = wireFromOutlet_ ? wireNode_ : hoverNode_;
  const int outlet = wireFromOutlet_ ? wirePort_ : hoverOutlet_;
  painter.setRenderHint(QPainter::Antialiasing, true);
  painter.setPen(WirePen(source != nullptr && outlet >= 0 ? WireColour(*source, outlet)
                                                          : StagePalette::Current().wireMono));
  painter.drawLine(anchor, end);
  painter.setRenderHint(QPainter::Antialiasing, false);
}

void KWPatcherPanel::paintEvent(QPaintEvent*) {
  QPainter painter(viewport());
  const StagePalette& colours = StagePalette::Current();
  painter.fillRect(viewport()->rect(), colours.paneBack);
  if (model_.NodeCount() == 0) {
    // A new user's first question: how does anything get here?
    painter.setPen(colours.placeholderText);
    painter.drawText(viewport()->rect(), Qt::AlignCenter | Qt::TextWordWrap, EmptyPaneHint());
  }
  painter.translate(-ScrollOffset());
  // Wires first: a box hides the wires that pass behind it.
  DrawWires(painter);
  for (int i = 0; i < model_.NodeCount(); ++i) DrawNode(painter, model_.NodeAt(i));
  // The wire in the hand goes over the boxes, so it is seen wherever it goes.
  DrawLiveWire(painter);
  if (mode_ == Mode::RubberBand && !band_.isEmpty()) {
    painter.setPen(QPen(StagePalette::Current().rubberBand, 1, Qt::DotLine));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(band_.adjusted(0, 0, -1, -1));
  }
}

void KWPatcherPanel::Say(const QString& text) {
  if (text == status_) return;
  status_ = text;
  emit StatusMessage(text);
}

std::vector<std::pair<PatchNode*, QPoint>> KWPatcherPanel::SelectedPlaces() const {
  std::vector<std::pair<PatchNode*, QPoint>> places;
  for (int i = 0; i < model_.NodeCount(); ++i) {
    PatchNode& node = model_.NodeAt(i);
    if (node.selected) places.emplace_back(&node, QPoint(node.x, node.y));
  }
  return places;
}

std::vector<NodeMove> KWPatcherPanel::MovesSince(
    const std::vector<std::pair<PatchNode*, QPoint>>& before) const {
  std::vector<NodeMove> moves;
  for (const auto& [node, from] : before) {
    const QPoint to(node->x, node->y);
    if (to != from) moves.push_back({node, from, to});
  }
  return moves;
}

bool KWPatcherPanel::MoveSelection(QPoint delta) {
  bool any = false;
  for (int i = 0; i < model_.NodeCount(); ++i) {
    PatchNode& node = model_.NodeAt(i);
    if (!node.selected) continue;
    node.x += delta.x();
    node.y += delta.y();
    any = true;
  }
  // The owner records the move once it ends (NodesMoved).
  return any;
}

void KWPatcherPanel::mousePressEvent(QMouseEvent* event) {
  const QPoint p = ToContent(event->position().toPoint());
  pointer_ = event->position().toPoint();
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
      dragFrom_ = SelectedPlaces();
    } else {
      model_.ClearSelection();
      mode_ = Mode::Wiring;
      wireNode_ = hit.node;
      wirePort_ = hit.port;
      wireFromOutlet_ = hit.part == Part::Outlet;
      wireEnd_ = p;
      hoverNode_ = nullptr;
      hoverInlet_ = hoverOutlet_ = -1;
      UpdateWiringStatus({});
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

void KWPatcherPanel::UpdateWiringStatus(const Hit& target) {
  const std::string from = QuotedPort(*wireNode_, wireFromOutlet_, wirePort_);
  const bool fits = target.node != nullptr &&
                    (wireFromOutlet_ ? target.part == Part::Inlet : target.part == Part::Outlet);
  if (!fits) {
    std::string text = wireFromOutlet_ ? "Wire from " : "Wire to ";
    text.append(from).append(wireFromOutlet_ ? ": drop it on an inlet" : ": drop it on an outlet");
    Say(Text(text));
    return;
  }
  PatchNode& source = wireFromOutlet_ ? *wireNode_ : *target.node;
  PatchNode& destination = wireFromOutlet_ ? *target.node : *wireNode_;
  const int outlet = wireFromOutlet_ ? wirePort_ : target.port;
  const int inlet = wireFromOutlet_ ? target.port : wirePort_;
  const std::string refusal = WireRefusal(model_, source, outlet, destination, inlet);
  if (!refusal.empty()) {
    Say(Text(refusal));
    return;
  }
  std::string text = "Connect ";
  text.append(QuotedPort(source, true, outlet))
      .append(" to ")
      .append(QuotedPort(destination, false, inlet));
  Say(Text(text));
}

void KWPatcherPanel::Hover(QPoint p) {
  // Light the port a wire could end on (never one of the wire's own box).
  const Hit hit = mode_ == Mode::Wiring ? PortAt(p) : HitAt(p);
  hoverNode_ = nullptr;
  hoverInlet_ = hoverOutlet_ = -1;
  const bool ownBox = mode_ == Mode::Wiring && hit.node == wireNode_;
  if (hit.part == Part::Inlet && !ownBox && (mode_ != Mode::Wiring || wireFromOutlet_)) {
    hoverNode_ = hit.node;
    hoverInlet_ = hit.port;
  } else if (hit.part == Part::Outlet && !ownBox && (mode_ != Mode::Wiring || !wireFromOutlet_)) {
    hoverNode_ = hit.node;
    hoverOutlet_ = hit.port;
  }
  if (mode_ == Mode::Wiring) {
    wireEnd_ = p;
    UpdateWiringStatus(hit);
    hoverWire_ = nullptr;
  } else {
    hoverWire_ = hit.node == nullptr ? ConnectionAt(p) : nullptr;
  }
}

void KWPatcherPanel::mouseMoveEvent(QMouseEvent* event) {
  pointer_ = event->position().toPoint();
  const QPoint p = ToContent(pointer_);
  const QPoint delta = p - last_;
  last_ = p;
  if (!delta.isNull()) moved_ = true;
  if (mode_ == Mode::Dragging || mode_ == Mode::Wiring)
    autoScroll_.PointerAt(pointer_, viewport()->size());
  if (mode_ == Mode::Dragging) {
    MoveSelection(delta);
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
  Hover(p);
  viewport()->update();
}

void KWPatcherPanel::ScrollBy(QPoint step) {
  horizontalScrollBar()->setValue(horizontalScrollBar()->value() + step.x());
  verticalScrollBar()->setValue(verticalScrollBar()->value() + step.y());
}

void KWPatcherPanel::AutoScrollTick(QPoint step) {
  if (mode_ == Mode::Dragging) {
    // The boxes travel with the view, so they stay under the pointer; the
    // content grows ahead of them.
    const QPoint before = ScrollOffset();
    MoveSelection(step);
    UpdateScrollBars();
    ScrollBy(step);
    const QPoint scrolled = ScrollOffset() - before;
    if (scrolled != step) MoveSelection(scrolled - step);  // held at the content's edge
    last_ = ToContent(pointer_);
  } else if (mode_ == Mode::Wiring) {
    ScrollBy(step);
    last_ = ToContent(pointer_);
    Hover(last_);
  } else {
    autoScroll_.Stop();
  }
  viewport()->update();
}

bool KWPatcherPanel::IsEmptyPlace(QPoint content) const {
  return HitAt(content).node == nullptr && ConnectionAt(content) == nullptr;
}

QPoint KWPatcherPanel::QuickAddPlace() const {
  const QPoint mouse = viewport()->mapFromGlobal(QCursor::pos());
  if (viewport()->rect().contains(mouse) && IsEmptyPlace(ToContent(mouse))) return ToContent(mouse);
  return VisiblePlace(ToContent(viewport()->rect().center()));
}

void KWPatcherPanel::FinishWire() {
  if (hoverNode_ == nullptr && mode_ == Mode::Wiring && wireFromOutlet_ &&
      PortAt(wireEnd_).node == nullptr && IsEmptyPlace(wireEnd_)) {
    // Dropped on an empty place: the owner offers a new contraption for it.
    Say({});
    emit QuickAddRequested(wireEnd_, wireNode_, wirePort_);
    return;
  }
  if (hoverNode_ == nullptr && mode_ == Mode::Wiring) {
    // Dropped on its own box's port: say why nothing came of it.
    const Hit hit = PortAt(wireEnd_);
    const bool fits =
        hit.node == wireNode_ && (hit.part == (wireFromOutlet_ ? Part::Inlet : Part::Outlet));
    Say(fits ? Text(WireRefusal(model_, *wireNode_, 0, *wireNode_, 0)) : QString());
    return;
  }
  PatchNode& source = wireFromOutlet_ ? *wireNode_ : *hoverNode_;
  PatchNode& destination = wireFromOutlet_ ? *hoverNode_ : *wireNode_;
  const int outlet = wireFromOutlet_ ? wirePort_ : hoverOutlet_;
  const int inlet = wireFromOutlet_ ? hoverInlet_ : wirePort_;
  if (outlet < 0 || inlet < 0) {
    Say({});
    return;
  }
  const std::string refusal = WireRefusal(model_, source, outlet, destination, inlet);
  if (!refusal.empty()) {
    Say(Text(refusal));
    return;
  }
  if (model_.CreateConnection(source, outlet, destination, inlet) == nullptr) {
    Say(QStringLiteral("The wire was refused"));
    return;
  }
  std::string text = "Connected ";
  text.append(QuotedPort(source, true, outlet))
      .append(" to ")
      .append(QuotedPort(destination, false, inlet));
  Say(Text(text));
}

void KWPatcherPanel::mouseReleaseEvent(QMouseEvent* event) {
  autoScroll_.Stop();
  if (mode_ == Mode::Dragging && !moved_ && !(event->modifiers() & Qt::ShiftModifier) &&
      pressed_ != nullptr) {
    model_.ClearSelection();
    pressed_->selected = true;
  } else if (mode_ == Mode::Wiring) {
    Hover(ToContent(event->position().toPoint()));
    FinishWire();
  }
  const std::vector<NodeMove> moves =
      mode_ == Mode::Dragging ? MovesSince(dragFrom_) : std::vector<NodeMove>{};
  mode_ = Mode::Idle;
  pressed_ = nullptr;
  wireNode_ = nullptr;
  dragFrom_.clear();
  hoverNode_ = nullptr;
  hoverInlet_ = hoverOutlet_ = -1;
  band_ = QRect();
  UpdateScrollBars();
  viewport()->update();
  if (!moves.empty()) emit NodesMoved(moves);
  emit SelectionChanged();
}

void KWPatcherPanel::mouseDoubleClickEvent(QMouseEvent* event) {
  const QPoint p = ToContent(event->position().toPoint());
  const Hit hit = HitAt(p);
  if (hit.node != nullptr) {
    emit NodeDoubleClicked(hit.node);
  } else if (event->button() == Qt::LeftButton && IsEmptyPlace(p)) {
    mode_ = Mode::Idle;
    band_ = QRect();
    emit QuickAddRequested(p, nullptr, -1);
  }
}

bool KWPatcherPanel::viewportEvent(QEvent* event) {
  if (event->type() == QEvent::ToolTip) {
    auto* help = static_cast<QHelpEvent*>(event);
    const QString text = PortToolTip(ToContent(help->pos()));
    if (text.isEmpty()) {
      QToolTip::hideText();
      event->ignore();
    } else {
      QToolTip::showText(help->globalPos(), text, viewport());
    }
    return true;
  }
  if (event->type() == QEvent::Leave && mode_ == Mode::Idle) {
    hoverNode_ = nullptr;
    hoverInlet_ = hoverOutlet_ = -1;
    hoverWire_ = nullptr;
    viewport()->update();
  }
  return QAbstractScrollArea::viewportEvent(event);
}

void KWPatcherPanel::keyPressEvent(QKeyEvent* event) {
  QPoint step;
  switch (event->key()) {
    case Qt::Key_Left:
      step = {-GridStep(), 0};
      break;
    case Qt::Key_Right:
      step = {GridStep(), 0};
      break;
    case Qt::Key_Up:
      step = {0, -GridStep()};
      break;
    case Qt::Key_Down:
      step = {0, GridStep()};
      break;
    default:
      break;
  }
  if (!step.isNull() && mode_ == Mode::Idle) {
    const auto before = SelectedPlaces();
    if (!before.empty()) {
      MoveSelection(step);
      QRect moved;
      for (const auto& place : before) moved |= NodeRect(*place.first);
      EnsureRectVisible(moved.adjusted(-8, -8, 8, 8));
      emit NodesMoved(MovesSince(before));
      return;
    }
  }
  const bool control = event->modifiers() & Qt::ControlModifier;
  if (event->key() == Qt::Key_Delete) {
    model_.DeleteSelection();
    ModelChanged();
  } else if (event->key() == Qt::Key_A && control) {
    model_.SelectAll();
    viewport()->update();
  } else if (event->matches(QKeySequence::Copy)) {
    emit CopyRequested();
  } else if (event->matches(QKeySequence::Cut)) {
    emit CutRequested();
  } else if (event->matches(QKeySequence::Paste)) {
    emit PasteRequested();
  } else if (event->key() == Qt::Key_D && control) {
    emit DuplicateRequested();
  } else {
    QAbstractScrollArea::keyPressEvent(event);
    return;
  }
  emit SelectionChanged();
}

bool KWPatcherPanel::event(QEvent* event) {
  // Tab offers a new contraption here rather than moving the focus on.
  if (event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Tab && key->modifiers() == Qt::NoModifier && mode_ == Mode::Idle) {
      emit QuickAddRequested(QuickAddPlace(), nullptr, -1);
      return true;
    }
  }
  return QAbstractScrollArea::event(event);
}

}  // namespace tg
