#pragma once

#include <QLineF>
#include <QPainter>
#include <QPen>
#include <QRect>

namespace tg {

// Lines one logical pixel wide on whole pixels, drawn through the pixel
// centres: they cover exactly the pixels from a to b at every device pixel
// ratio (through the corners they would be one device pixel off at ratio 2).
inline void PixelLine(QPainter& painter, QPoint a, QPoint b) {
  const QPointF centre(0.5, 0.5);
  painter.drawLine(QLineF(QPointF(a) + centre, QPointF(b) + centre));
}

// An outline on the outermost pixels of r. Four lines rather than a
// rectangle: a rectangle's bevelled corners lose a device pixel at ratio 2,
// and at ratio 1 one running off the widget can lose its corner.
inline void PixelFrame(QPainter& painter, const QRect& r) {
  PixelLine(painter, r.topLeft(), r.topRight());
  PixelLine(painter, r.topRight(), r.bottomRight());
  PixelLine(painter, r.bottomLeft(), r.bottomRight());
  PixelLine(painter, r.topLeft(), r.bottomLeft());
}

// The same for a rectangle on fractional positions.
inline void PixelFrame(QPainter& painter, const QRectF& r) {
  const QPen pen = painter.pen();
  QPen square = pen;
  square.setJoinStyle(Qt::MiterJoin);
  painter.setPen(square);
  painter.drawRect(r.adjusted(0.5, 0.5, -0.5, -0.5));
  painter.setPen(pen);
}

}  // namespace tg
