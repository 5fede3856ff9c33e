#include "controls/KWTrigSplineEdit.h"

#include <QMouseEvent>
#include <QPainter>

#include "controls/PixelLines.h"
#include "controls/StagePalette.h"

namespace tg {

KWTrigSplineEdit::KWTrigSplineEdit(QWidget* parent) : QWidget(parent) { setMinimumSize(40, 40); }

void KWTrigSplineEdit::SetCommaText(const QString& text) {
  path_.SetCommaText(text.toStdString());
  update();
}

void KWTrigSplineEdit::resizeEvent(QResizeEvent*) { path_.SetSize(width(), height()); }

void KWTrigSplineEdit::paintEvent(QPaintEvent*) {
  const StagePalette& colours = StagePalette::Current();
  QPainter painter(this);
  painter.fillRect(rect(), colours.pathBack);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(colours.pathCurve, 1));
  for (int s = 0; s < path_.SegmentCount(); ++s) {
    QPolygonF line;
    for (int i = 0; i < TrigSplinePath::kSamplesPerSegment; ++i) {
      const auto p = path_.CurvePoint(s, i);
      line << QPointF(path_.PixelX(p.x), path_.PixelY(p.y));
    }
    painter.drawPolyline(line);
  }
  painter.setRenderHint(QPainter::Antialiasing, false);
  for (int i = 0; i < path_.SegmentCount(); ++i) {
    const auto& p = path_.Points()[static_cast<size_t>(i)];
    painter.fillRect(path_.PixelX(p.x) - 2, path_.PixelY(p.y) - 2, 5, 5,
                     i == path_.StartIndex() ? colours.pathStart : colours.pathPoint);
  }
  painter.setPen(QPen(colours.pathLine, 1));
  const int cx = width() / 2, cy = height() / 2;
  PixelLine(painter, {cx - 4, cy}, {cx + 4, cy});
  PixelLine(painter, {cx, cy - 4}, {cx, cy + 4});
}

void KWTrigSplineEdit::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const QPoint at = event->position().toPoint();
  last_ = at;
  dragging_ = true;
  const int hit = path_.HitPoint(at.x(), at.y());
  grabbed_ = -1;
  if (event->modifiers() & Qt::ControlModifier) {
    if (hit >= 0) path_.Delete(hit);
  } else if (event->modifiers() & Qt::ShiftModifier) {
    if (hit >= 0) path_.SetStart(hit);
  } else {
    grabbed_ = hit >= 0 ? hit : path_.InsertAt(at.x(), at.y());
  }
  mode_ = grabbed_ >= 0 ? EditMode::Edit : EditMode::Move;
  update();
}

void KWTrigSplineEdit::mouseMoveEvent(QMouseEvent* event) {
  if (!dragging_) return;
  const QPoint at = event->position().toPoint();
  const int dx = at.x() - last_.x(), dy = last_.y() - at.y();  // dy upwards
  last_ = at;
  if (dx == 0 && dy == 0) return;
  if (mode_ == EditMode::Edit) {
    path_.MovePoint(grabbed_, dx, dy);
  } else if (!(event->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier))) {
    path_.MoveAll(dx, dy);
  }
  update();
}

void KWTrigSplineEdit::mouseReleaseEvent(QMouseEvent*) {
  if (!dragging_) return;
  dragging_ = false;
  grabbed_ = -1;
  emit OnChange();
}

}  // namespace tg
