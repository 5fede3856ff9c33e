#include "controls/KWRangeSlider.h"

#include <QGuiApplication>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

#include "controls/PixelLines.h"
#include "properties/TextIO.h"

namespace tg {

KWRangeSlider::KWRangeSlider(QWidget* parent) : QWidget(parent) {
  setFocusPolicy(Qt::StrongFocus);
  setMinimumSize(20, 20);
}

KWRangeSlider::~KWRangeSlider() { delete tag_.data(); }  // it lives on the window

void KWRangeSlider::SetMin(double min) {
  const double v0 = Value0(), v1 = Value1();
  min_ = min;
  SetValue0(v0);
  SetValue1(v1);
}

void KWRangeSlider::SetMax(double max) {
  const double v0 = Value0(), v1 = Value1();
  max_ = max;
  SetValue1(v1);
  SetValue0(v0);
}

void KWRangeSlider::SetValue0(double v) {
  at_.p0 = PositionOfValue(v, min_, max_, scale_);
  if (at_.p1 < at_.p0) at_.p1 = at_.p0;
  update();
}

void KWRangeSlider::SetValue1(double v) {
  at_.p1 = PositionOfValue(v, min_, max_, scale_);
  if (at_.p0 > at_.p1) at_.p0 = at_.p1;
  update();
}

void KWRangeSlider::AddTick(double value) {
  ticks_.push_back(value);
  update();
}

void KWRangeSlider::SetScale(ValueScale scale) {
  const double v0 = Value0(), v1 = Value1();
  scale_ = scale;
  SetValue1(v1);
  SetValue0(v0);
}

void KWRangeSlider::SetVertical(bool vertical) {
  vertical_ = vertical;
  updateGeometry();
  update();
}

RangeGrab KWRangeSlider::GrabAt(QPoint point) const {
  const int along = Along(point);
  const double travel = Travel();
  const double upper = at_.p1 * travel + 7;
  const double lower = at_.p0 * travel;
  if (along >= upper && along <= upper + 8) return RangeGrab::Upper;
  if (along >= lower && along <= lower + 8) return RangeGrab::Lower;
  return RangeGrab::Bar;
}

void KWRangeSlider::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QPalette& pal = palette();
  const double travel = Travel();
  auto span = [&](double from, double to) {  // along the travel axis
    if (vertical_) return QRectF(4, height() - 1 - to, width() - 8, to - from);
    return QRectF(from, 4, to - from, height() - 8);
  };
  painter.fillRect(span(0, travel + kReserved - 1), pal.color(QPalette::Dark));
  painter.fillRect(span(at_.p0 * travel + 8, at_.p1 * travel + 7), pal.color(QPalette::Highlight));
  // Ticks in the margins on both sides, where a thumb's middle would stand at the value.
  painter.setPen(pal.color(QPalette::WindowText));
  for (double v : ticks_) {
    const double along = PositionOfValue(v, min_, max_, scale_) * travel + 7.5;
    if (vertical_) {
      const double y = height() - 1 - along;
      painter.drawLine(QPointF(0.5, y), QPointF(3.5, y));
      painter.drawLine(QPointF(width() - 3.5, y), QPointF(width() - 0.5, y));
    } else {
      painter.drawLine(QPointF(along, 0.5), QPointF(along, 3.5));
      painter.drawLine(QPointF(along, height() - 3.5), QPointF(along, height() - 0.5));
    }
  }
  const bool shift = QGuiApplication::queryKeyboardModifiers() & Qt::ShiftModifier;
  const bool alt = QGuiApplication::queryKeyboardModifiers() & Qt::AltModifier;
  auto thumb = [&](double from, bool moves) {
    const QRectF r = span(from, from + 8);
    painter.fillRect(r, pal.color(moves ? QPalette::Light : QPalette::Button));
    painter.setPen(pal.color(QPalette::Shadow));
    PixelFrame(painter, r);
  };
  // While dragging, the thumbs that will move are drawn lighter.
  const RangePositions moved = DragRange({0.4, 0.6}, grab_, shift, alt, 0.01);
  thumb(at_.p0 * travel, grab_ != RangeGrab::None && moved.p0 != 0.4);
  thumb(at_.p1 * travel + 7, grab_ != RangeGrab::None && moved.p1 != 0.6);
  if (hasFocus()) {
    painter.setPen(QPen(pal.color(QPalette::Highlight), 1, Qt::DotLine));
    PixelFrame(painter, rect());
  }
}

void KWRangeSlider::mousePressEvent(QMouseEvent* event) {
  last_ = event->position().toPoint();
  grab_ = GrabAt(last_);
  setFocus(Qt::MouseFocusReason);
  update();
}

void KWRangeSlider::Move(double m, Qt::KeyboardModifiers modifiers) {
  const RangePositions next =
      DragRange(at_, grab_ == RangeGrab::None ? RangeGrab::Bar : grab_,
                modifiers & Qt::ShiftModifier, modifiers & Qt::AltModifier, m);
  if (next.p0 == at_.p0 && next.p1 == at_.p1) return;
  at_ = next;
  update();
  emit OnChange(Value0(), Value1());
  QToolTip::hideText();
  KWValueTag::Show(tag_, this, RangeText(), grab_ != RangeGrab::None);
}

QString KWRangeSlider::ShownText() const { return KWValueTag::Shown(tag_); }

QString KWRangeSlider::RangeText() const {
  QString text = QString::fromStdString(textio::FormatDouble(Value0()));
  text.append(QString::fromUtf8(" \u2026 "));
  text.append(QString::fromStdString(textio::FormatDouble(Value1())));
  if (!unit_.isEmpty()) text.append(' ').append(unit_);
  return text;
}

bool KWRangeSlider::event(QEvent* event) {
  if (event->type() == QEvent::ToolTip) {
    QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), RangeText(), this);
    return true;
  }
  return QWidget::event(event);
}

void KWRangeSlider::mouseMoveEvent(QMouseEvent* event) {
  if (!(event->buttons() & Qt::LeftButton) || Travel() <= 0) return;
  const QPoint at = event->position().toPoint();
  const int d = vertical_ ? last_.y() - at.y() : at.x() - last_.x();
  last_ = at;
  const double scale = (event->modifiers() & Qt::ControlModifier) ? 0.1 : 1.0;
  if (d != 0) Move(scale / Travel() * d, event->modifiers());
}

void KWRangeSlider::mouseReleaseEvent(QMouseEvent*) {
  grab_ = RangeGrab::None;
  QToolTip::hideText();
  KWValueTag::Release(tag_);
  update();
}

void KWRangeSlider::keyPressEvent(QKeyEvent* event) {
  const bool fine = event->modifiers() & Qt::ControlModifier;
  const double step = fine ? 0.001 : 0.01;
  // The keys move the upper end, or with the modifiers as a drag would.
  switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Right:
      grab_ = RangeGrab::Upper;
      Move(step, event->modifiers());
      break;
    case Qt::Key_Down:
    case Qt::Key_Left:
      grab_ = RangeGrab::Upper;
      Move(-step, event->modifiers());
      break;
    default:
      update();  // Shift or Alt: show which thumbs would move
      QWidget::keyPressEvent(event);
      return;
  }
  grab_ = RangeGrab::None;
}

void KWRangeSlider::keyReleaseEvent(QKeyEvent* event) {
  update();
  QWidget::keyReleaseEvent(event);
}

}  // namespace tg
