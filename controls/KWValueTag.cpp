#include "controls/KWValueTag.h"

#include <QPainter>
#include <QTimer>
#include <QToolTip>

#include "controls/StagePalette.h"

namespace tg {

KWValueTag::KWValueTag(QWidget* window) : QWidget(window), hide_(new QTimer(this)) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setFocusPolicy(Qt::NoFocus);
  hide_->setSingleShot(true);
  hide_->setInterval(kShownMs);
  connect(hide_, &QTimer::timeout, this, &QWidget::hide);
}

void KWValueTag::Show(QPointer<KWValueTag>& tag, QWidget* control, const QString& text, bool held,
                      bool warning) {
  QWidget* window = control->window();
  if (window == control) {
    // A control that is a window of its own has nowhere beside it to draw.
    QToolTip::showText(control->mapToGlobal(QPoint(control->width(), 0)), text, control);
    return;
  }
  if (tag && tag->parentWidget() != window) delete tag.data();
  if (!tag) tag = new KWValueTag(window);
  tag->text_ = text;
  tag->warning_ = warning;
  tag->Place(control);
  tag->show();
  tag->raise();
  tag->update();
  if (held) {
    tag->hide_->stop();
  } else {
    tag->hide_->start();
  }
}

void KWValueTag::Release(const QPointer<KWValueTag>& tag) {
  if (tag && tag->isVisible()) tag->hide_->start();
}

QString KWValueTag::Shown(const QPointer<KWValueTag>& tag) {
  return tag && tag->isVisible() ? tag->text_ : QString();
}

void KWValueTag::Place(QWidget* control) {
  const QFontMetrics metrics(font());
  const QSize size(metrics.horizontalAdvance(text_) + 8, metrics.height() + 4);
  resize(size);
  // Right of the control, or left of it where the window ends.
  const QPoint topLeft = control->mapTo(parentWidget(), QPoint(0, 0));
  const int y = topLeft.y() + (control->height() - size.height()) / 2;
  int x = topLeft.x() + control->width() + 3;
  if (x + size.width() > parentWidget()->width()) x = topLeft.x() - size.width() - 3;
  move(std::max(0, x), std::max(0, y));
}

void KWValueTag::paintEvent(QPaintEvent*) {
  const StagePalette& colours = StagePalette::Current();
  QPainter painter(this);
  painter.fillRect(rect(), colours.valueBack);
  painter.setPen(colours.mid);
  painter.drawRect(rect().adjusted(0, 0, -1, -1));
  painter.setPen(warning_ ? colours.warningText : colours.valueText);
  painter.drawText(rect(), Qt::AlignCenter, text_);
}

}  // namespace tg
