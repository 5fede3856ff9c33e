#include "controls/KWDWSlider.h"

#include <QMouseEvent>
#include <QPainter>

#include "controls/PixelLines.h"

namespace tg {

KWDWSlider::KWDWSlider(QWidget* parent) : KWValueControl(parent) { setMinimumSize(16, 16); }

void KWDWSlider::SetVertical(bool vertical) {
  vertical_ = vertical;
  updateGeometry();
  update();
}

void KWDWSlider::SetEndTicks(bool endTicks) {
  endTicks_ = endTicks;
  update();
}

QRect KWDWSlider::ThumbRect() const {
  const int travel = Length() - kThumb;
  const int reserve = Ticks() != TickStyle::None || endTicks_ ? 5 : 0;
  if (vertical_) {
    const int top = static_cast<int>((1.0 - Position()) * travel);
    return {reserve, top, width() - 2 * reserve, kThumb};
  }
  const int left = static_cast<int>(Position() * travel);
  return {left, reserve, kThumb, height() - 2 * reserve};
}

void KWDWSlider::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QPalette& pal = palette();
  const int reserve = Ticks() != TickStyle::None || endTicks_ ? 5 : 0;
  // The track, a sunken groove along the middle.
  QRect track = vertical_ ? QRect(width() / 2 - 2, kThumb / 2, 4, height() - kThumb)
                          : QRect(kThumb / 2, height() / 2 - 2, width() - kThumb, 4);
  painter.fillRect(track, pal.color(QPalette::Dark));
  painter.setPen(pal.color(QPalette::Light));
  PixelLine(painter, track.bottomLeft(), track.bottomRight());
  // Ticks beside the track, by the linear law.
  painter.setPen(pal.color(QPalette::WindowText));
  auto tickAt = [&](double p) {
    const int travel = Length() - kThumb;
    if (vertical_) {
      const int y = kThumb / 2 + static_cast<int>((1.0 - p) * travel);
      PixelLine(painter, {0, y}, {reserve - 2, y});
      PixelLine(painter, {width() - reserve + 1, y}, {width() - 1, y});
    } else {
      const int x = kThumb / 2 + static_cast<int>(p * travel);
      PixelLine(painter, {x, 0}, {x, reserve - 2});
      PixelLine(painter, {x, height() - reserve + 1}, {x, height() - 1});
    }
  };
  if (reserve > 0) {
    if (endTicks_) {
      tickAt(0.0);
      tickAt(1.0);
    }
    for (double t : TickValues()) {
      if (Max() != Min()) tickAt((t - Min()) / (Max() - Min()));
    }
  }
  // The thumb, raised, sunken while pressed.
  const QRect thumb = ThumbRect();
  painter.fillRect(thumb, pal.color(pressed_ ? QPalette::Mid : QPalette::Button));
  painter.setPen(pal.color(pressed_ ? QPalette::Shadow : QPalette::Light));
  PixelLine(painter, thumb.topLeft(), thumb.topRight());
  PixelLine(painter, thumb.topLeft(), thumb.bottomLeft());
  painter.setPen(pal.color(pressed_ ? QPalette::Light : QPalette::Shadow));
  PixelLine(painter, thumb.bottomLeft(), thumb.bottomRight());
  PixelLine(painter, thumb.topRight(), thumb.bottomRight());
  painter.setPen(pal.color(hasFocus() ? QPalette::Highlight : QPalette::WindowText));
  if (vertical_) {
    PixelLine(painter, {thumb.left() + 2, thumb.center().y()},
              {thumb.right() - 2, thumb.center().y()});
  } else {
    PixelLine(painter, {thumb.center().x(), thumb.top() + 2},
              {thumb.center().x(), thumb.bottom() - 2});
  }
  // The keys move a focused fader: a dotted frame says which one.
  if (hasFocus()) {
    painter.setPen(QPen(pal.color(QPalette::Highlight), 1, Qt::DotLine));
    PixelFrame(painter, rect());
  }
}

void KWDWSlider::mousePressEvent(QMouseEvent* event) {
  last_ = event->position().toPoint();
  pressed_ = true;
  setFocus(Qt::MouseFocusReason);
  update();
}

void KWDWSlider::mouseMoveEvent(QMouseEvent* event) {
  if (!(event->buttons() & Qt::LeftButton)) return;
  const QPoint at = event->position().toPoint();
  const int d = vertical_ ? last_.y() - at.y() : at.x() - last_.x();
  last_ = at;
  const double scale = (event->modifiers() & Qt::ControlModifier) ? 0.1 : 1.0;
  if (d != 0 && Length() > kThumb) MoveBy(scale / (Length() - kThumb) * d);
}

void KWDWSlider::mouseReleaseEvent(QMouseEvent* event) {
  pressed_ = false;
  update();
  KWValueControl::mouseReleaseEvent(event);
}

}  // namespace tg
