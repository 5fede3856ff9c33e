#include "controls/KWDWKnob.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

namespace tg {

namespace {
QPointF OnCircle(const QRectF& r, double a) {
  return {r.left() + r.width() * (std::sin(a + 3.14159265358979) + 1) / 2,
          r.top() + r.height() * (std::cos(a) + 1) / 2};
}
}  // namespace

KWDWKnob::KWDWKnob(QWidget* parent) : KWValueControl(parent) { setMinimumSize(20, 20); }

QRectF KWDWKnob::KnobRect() const {
  QRectF r = rect();
  if (Ticks() != TickStyle::None)
    r.adjust(kTickLength + 3, kTickLength + 3, -(kTickLength + 3), -(kTickLength + 3));
  const double side = std::min(r.width(), r.height());
  return {r.center().x() - side / 2, r.center().y() - side / 2, side, side};
}

void KWDWKnob::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QPalette& pal = palette();
  const QRectF knob = KnobRect().adjusted(1, 1, -1, -1);

  // Ticks, placed by the linear law whatever the scale.
  if (Ticks() != TickStyle::None) {
    painter.setPen(QPen(pal.color(QPalette::WindowText), 1));
    const QRectF outer =
        knob.adjusted(-kTickLength - 2, -kTickLength - 2, kTickLength + 2, kTickLength + 2);
    const QRectF inner = knob.adjusted(-2, -2, 2, 2);
    for (double t : TickValues()) {
      if (Max() == Min()) break;
      const double a = PointerAngle((t - Min()) / (Max() - Min()));
      painter.drawLine(OnCircle(inner, a), OnCircle(outer, a));
    }
  }
  // A bevelled face: light from the upper left.
  QLinearGradient bevel(knob.topLeft(), knob.bottomRight());
  bevel.setColorAt(0.0, pal.color(QPalette::Light));
  bevel.setColorAt(1.0, pal.color(QPalette::Dark));
  painter.setPen(QPen(pal.color(QPalette::Shadow), 1));
  painter.setBrush(bevel);
  painter.drawEllipse(knob);
  const QRectF face = knob.adjusted(knob.width() * 0.12, knob.height() * 0.12, -knob.width() * 0.12,
                                    -knob.height() * 0.12);
  painter.setPen(Qt::NoPen);
  painter.setBrush(isEnabled() ? pal.color(QPalette::Button) : pal.color(QPalette::Window));
  painter.drawEllipse(face);

  // The pointer: a wedge whose tip touches the rim and whose base (a third
  // of the knob wide) lies halfway to the centre.
  const double a = PointerAngle(Position());
  const QRectF rim = knob.adjusted(2, 2, -2, -2);
  const QRectF half =
      knob.adjusted(knob.width() / 4, knob.height() / 4, -knob.width() / 4, -knob.height() / 4);
  const double spread = std::atan((knob.width() / 6.0) / (half.width() / 2.0));
  QPainterPath pointer;
  pointer.moveTo(OnCircle(rim, a));
  pointer.lineTo(OnCircle(half, a - spread + 0.08));
  pointer.lineTo(OnCircle(half, a + spread - 0.08));
  pointer.closeSubpath();
  painter.setBrush(isEnabled() ? pal.color(QPalette::Shadow) : pal.color(QPalette::Mid));
  painter.drawPath(pointer);
  if (hasFocus()) {
    painter.setPen(QPen(pal.color(QPalette::Highlight), 1, Qt::DotLine));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(knob.adjusted(-1, -1, 1, 1));
  }
}

void KWDWKnob::mousePressEvent(QMouseEvent* event) {
  last_ = event->position().toPoint();
  setFocus(Qt::MouseFocusReason);
}

void KWDWKnob::mouseMoveEvent(QMouseEvent* event) {
  if (!(event->buttons() & Qt::LeftButton)) return;
  const QPoint at = event->position().toPoint();
  const double perPixel = (event->modifiers() & Qt::ControlModifier) ? 0.001 : 0.01;
  const int dy = at.y() - last_.y();
  last_ = at;
  if (dy != 0) MoveBy(-perPixel * dy);
}

}  // namespace tg
