#include "controls/KWNumberEdit.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "controls/PixelLines.h"

namespace tg {

KWNumberEdit::KWNumberEdit(QWidget* parent) : QWidget(parent), edit_(new QLineEdit(this)) {
  setFixedHeight(kHeight);
  edit_->setFrame(false);
  edit_->installEventFilter(this);
  autoStep_ = numberedit::AutomaticStep(min_, max_);
  connect(edit_, &QLineEdit::textEdited, this, &KWNumberEdit::TextEdited);
  setFocusProxy(edit_);
  Redisplay();
}

void KWNumberEdit::resizeEvent(QResizeEvent*) {
  edit_->setGeometry(1, 1, std::max(width() - 24, 1), height() - 2);
}

void KWNumberEdit::changeEvent(QEvent* event) {
  if (event->type() == QEvent::EnabledChange) update();
  QWidget::changeEvent(event);
}

void KWNumberEdit::Redisplay() {
  edit_->setText(QString::fromStdString(numberedit::Display(value_, integersOnly_, Decimals())));
  status_ = numberedit::kValid;
  update();
}

void KWNumberEdit::SetMin(double min) {
  min_ = min;
  if (value_ < min_) {
    value_ = min_;
    Redisplay();
  }
  autoStep_ = numberedit::AutomaticStep(min_, max_);
}

void KWNumberEdit::SetMax(double max) {
  max_ = max;
  if (value_ > max_) {
    value_ = max_;
    Redisplay();
  }
  autoStep_ = numberedit::AutomaticStep(min_, max_);
}

void KWNumberEdit::SetValue(double value) {
  const double v = std::clamp(value, min_, max_);
  if (v == value_) return;
  value_ = v;
  Redisplay();
}

void KWNumberEdit::SetIncrement(double increment) {
  increment_ = increment;
  incrementDecimals_ = numberedit::IncrementDecimals(increment);
  Redisplay();
}

void KWNumberEdit::SetAutoIncrement(bool automatic) {
  autoIncrement_ = automatic;
  Redisplay();
}

void KWNumberEdit::SetIntegersOnly(bool integers) {
  integersOnly_ = integers;
  if (integers) value_ = std::floor(value_);
  Redisplay();
}

void KWNumberEdit::TextEdited(const QString& text) {
  const numberedit::Parsed parsed = numberedit::Parse(text.toStdString(), min_, max_);
  status_ = parsed.status;
  update();
  if (parsed.status == numberedit::kUnreadable || parsed.value == value_) return;
  value_ = parsed.value;
  emit OnChange(value_);
}

void KWNumberEdit::StepBy(int n, bool fine) {
  const double v = numberedit::Step(value_, n, StepSize(), fine, integersOnly_, min_, max_);
  if (v == value_) return;
  value_ = v;
  Redisplay();
  emit OnChange(value_);
}

bool KWNumberEdit::eventFilter(QObject* watched, QEvent* event) {
  if (watched == edit_ && (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut))
    update();  // the frame shows the focus
  if (watched == edit_ && event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down) {
      if (status_ != numberedit::kValid) {
        Redisplay();  // drop the unreadable or clamped text first
      } else {
        StepBy(key->key() == Qt::Key_Up ? 1 : -1, key->modifiers() & Qt::ControlModifier);
      }
      return true;
    }
    const QString text = key->text();
    if (text.size() == 1 && text[0].isPrint()) {
      if (!numberedit::Accepts(text[0].toLatin1(), integersOnly_, min_)) return true;  // dropped
    }
  }
  return QWidget::eventFilter(watched, event);
}

void KWNumberEdit::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QPalette& pal = palette();
  painter.fillRect(rect(), pal.color(QPalette::Base));
  painter.setPen(pal.color(edit_->hasFocus() ? QPalette::Highlight : QPalette::Mid));
  PixelFrame(painter, rect());
  // The status sign in its strip.
  const QRect strip(width() - 23, 0, 10, height());
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(isEnabled() ? QColor(220, 0, 0) : pal.color(QPalette::Mid), 2));
  const QPointF c = strip.center();
  switch (status_) {
    case numberedit::kUnreadable:
      painter.drawLine(c + QPointF(-3, -3), c + QPointF(3, 3));
      painter.drawLine(c + QPointF(-3, 3), c + QPointF(3, -3));
      break;
    case numberedit::kRaisedToMin:
      painter.drawLine(c + QPointF(-3, 0), c + QPointF(3, 0));
      break;
    case numberedit::kLoweredToMax:
      painter.drawLine(c + QPointF(-3, 0), c + QPointF(3, 0));
      painter.drawLine(c + QPointF(0, -3), c + QPointF(0, 3));
      break;
    case numberedit::kValid:
      break;
  }
  // The up/down button: raised, sunken while held; a small double arrow.
  painter.setRenderHint(QPainter::Antialiasing, false);
  const QRect b = ButtonRect();
  painter.fillRect(b, pal.color(buttonDown_ ? QPalette::Mid : QPalette::Button));
  painter.setPen(pal.color(buttonDown_ ? QPalette::Shadow : QPalette::Light));
  PixelLine(painter, b.topLeft(), b.topRight());
  PixelLine(painter, b.topLeft(), b.bottomLeft());
  painter.setPen(pal.color(buttonDown_ ? QPalette::Light : QPalette::Shadow));
  PixelLine(painter, b.bottomLeft(), b.bottomRight());
  PixelLine(painter, b.topRight(), b.bottomRight());
  painter.setPen(Qt::NoPen);
  painter.setBrush(isEnabled() ? pal.color(QPalette::ButtonText) : pal.color(QPalette::Mid));
  const QPointF m = QRectF(b).center();
  painter.drawPolygon(QPolygonF({m + QPointF(-3, -2), m + QPointF(3, -2), m + QPointF(0, -6)}));
  painter.drawPolygon(QPolygonF({m + QPointF(-3, 2), m + QPointF(3, 2), m + QPointF(0, 6)}));
}

void KWNumberEdit::mousePressEvent(QMouseEvent* event) {
  Redisplay();
  edit_->setFocus(Qt::MouseFocusReason);
  if (!ButtonRect().contains(event->position().toPoint())) return;
  buttonDown_ = true;
  lastY_ = event->position().toPoint().y();
  QApplication::setOverrideCursor(Qt::SizeVerCursor);
  update();
}

void KWNumberEdit::mouseMoveEvent(QMouseEvent* event) {
  if (!buttonDown_) return;
  const int y = event->position().toPoint().y();
  if (y != lastY_) StepBy(lastY_ - y, event->modifiers() & Qt::ControlModifier);
  lastY_ = y;
}

void KWNumberEdit::mouseReleaseEvent(QMouseEvent*) {
  if (!buttonDown_) return;
  buttonDown_ = false;
  QApplication::restoreOverrideCursor();
  edit_->setFocus(Qt::MouseFocusReason);
  update();
}

}  // namespace tg
