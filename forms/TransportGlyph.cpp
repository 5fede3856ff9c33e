#include "forms/TransportGlyph.h"

#include <QPainter>
#include <QPixmap>

#include "controls/StagePalette.h"

namespace tg {

QIcon TransportGlyph(const QString& name) {
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  if (name == "PLAY") {
    p.setBrush(QColor(0x20, 0x90, 0x30));
    p.drawPolygon(QPolygonF({QPointF(4, 2), QPointF(14, 8), QPointF(4, 14)}));
  } else if (name == "PAUSE") {
    p.setBrush(StagePalette::Current().buttonText);
    p.drawRect(QRectF(3.5, 3, 3.5, 10));
    p.drawRect(QRectF(9, 3, 3.5, 10));
  } else if (name == "STOP") {
    p.setBrush(StagePalette::Current().buttonText);
    p.drawRect(QRectF(3, 3, 10, 10));
  } else {
    p.setBrush(QColor(0xd0, 0x20, 0x20));
    p.drawEllipse(QRectF(2, 2, 12, 12));
    if (name == "REC_PAUSED") {
      p.setBrush(Qt::white);
      p.drawRect(QRectF(5.5, 5, 1.8, 6));
      p.drawRect(QRectF(8.7, 5, 1.8, 6));
    }
  }
  return QIcon(pixmap);
}

QString SecondsText(double seconds) {
  QString text = QString::number(seconds, 'f', 6);
  // Cut, not rounded: drop the zeros "f" pads with, then keep two decimals.
  while (text.contains('.') && text.endsWith('0')) text.chop(1);
  if (text.endsWith('.')) text.chop(1);
  const qsizetype dot = text.indexOf('.');
  if (dot < 0) {
    text += ".00";
  } else if (text.size() - dot > 3) {
    text.truncate(dot + 3);
  }
  return text + " (sec)";
}

}  // namespace tg
