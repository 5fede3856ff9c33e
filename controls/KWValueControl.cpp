#include "controls/KWValueControl.h"

#include <QApplication>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QToolTip>
#include <QWheelEvent>
#include <algorithm>

#include "controls/KWValueTag.h"
#include "controls/NumberEditLogic.h"
#include "properties/TextIO.h"

namespace tg {

KWValueControl::KWValueControl(QWidget* parent) : QWidget(parent) {
  setFocusPolicy(Qt::StrongFocus);
}

KWValueControl::~KWValueControl() {
  // Both live on the window, which outlives the control.
  delete tag_.data();
  delete entry_.data();
}

void KWValueControl::SetMin(double min) {
  const double v = Value();
  min_ = min;
  SetValue(v);
}

void KWValueControl::SetMax(double max) {
  const double v = Value();
  max_ = max;
  SetValue(v);
}

void KWValueControl::SetValue(double value) {
  const double p = PositionOfValue(value, min_, max_, scale_);
  const bool moved = p != p_;
  p_ = p;
  update();
  if (moved && ReportsSetValue()) emit OnChange(value);
}

void KWValueControl::SetScale(ValueScale scale) {
  const double v = Value();
  scale_ = scale;
  p_ = PositionOfValue(v, min_, max_, scale_);
  update();
}

void KWValueControl::SetTickStyle(TickStyle style) {
  tickStyle_ = style;
  update();
}

void KWValueControl::SetFrequency(double frequency) {
  frequency_ = frequency;
  update();
}

void KWValueControl::AddTick(double value) {
  manualTicks_.push_back(value);
  update();
}

std::vector<double> KWValueControl::TickValues() const {
  if (tickStyle_ == TickStyle::Manual) return manualTicks_;
  std::vector<double> ticks;
  if (tickStyle_ == TickStyle::Auto && frequency_ > 0) {
    for (int k = 1; min_ + k * frequency_ < max_ && k < 1000; ++k)
      ticks.push_back(min_ + k * frequency_);
  }
  return ticks;
}

QString KWValueControl::ValueText() const {
  QString text = QString::fromStdString(textio::FormatDouble(Value()));
  if (!unit_.isEmpty()) text.append(' ').append(unit_);
  return text;
}

bool KWValueControl::event(QEvent* event) {
  if (event->type() == QEvent::ToolTip) {
    QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), ValueText(), this);
    return true;
  }
  return QWidget::event(event);
}

QString KWValueControl::ShownText() const { return KWValueTag::Shown(tag_); }

void KWValueControl::MoveBy(double dp) {
  const double p = std::clamp(p_ + dp, 0.0, 1.0);
  if (p == p_) return;
  p_ = p;
  update();
  emit OnChange(Value());
  // Held while the mouse drags; a key or the wheel lets it go by itself.
  QToolTip::hideText();
  KWValueTag::Show(tag_, this, ValueText(), QApplication::mouseButtons() != Qt::NoButton);
}

void KWValueControl::wheelEvent(QWheelEvent* event) {
  const int notches = event->angleDelta().y() / 120;
  if (!hasFocus() || notches == 0) {
    event->ignore();
    return;
  }
  const bool fine = event->modifiers() & Qt::ControlModifier;
  MoveBy(notches * (fine ? 0.001 : 0.01));
  event->accept();
}

void KWValueControl::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    OpenEntry();
    return;
  }
  QWidget::mouseDoubleClickEvent(event);
}

void KWValueControl::OpenEntry() {
  if (!isEnabled()) return;
  QWidget* window = this->window();
  if (entry_ && entry_->parentWidget() != window) CloseEntry();
  if (!entry_) {
    entry_ = new QLineEdit(window);
    entry_->installEventFilter(this);
    connect(entry_, &QLineEdit::returnPressed, this, &KWValueControl::TakeEntry);
  }
  const QPoint at = mapTo(window, QPoint(0, (height() - entry_->sizeHint().height()) / 2));
  entry_->setGeometry(at.x(), at.y(), std::max(width(), 72), entry_->sizeHint().height());
  entry_->setText(QString::fromStdString(textio::FormatDouble(Value())));
  entry_->selectAll();
  entry_->show();
  entry_->raise();
  entry_->setFocus();
}

void KWValueControl::TakeEntry() {
  if (!entry_) return;
  QString text = entry_->text().trimmed();
  if (!unit_.isEmpty() && text.endsWith(unit_)) text.chop(unit_.size());
  const numberedit::Parsed read = numberedit::Parse(text.trimmed().toStdString(), min_, max_);
  if (read.status != numberedit::kValid) {
    const QString range = QString("%1 to %2")
                              .arg(QString::fromStdString(textio::FormatDouble(min_)),
                                   QString::fromStdString(textio::FormatDouble(max_)));
    const QString why = read.status == numberedit::kUnreadable ? "Not a number" : "Out of range";
    KWValueTag::Show(tag_, entry_,
                     QString("%1: type %2%3").arg(why, range, unit_.isEmpty() ? "" : " " + unit_),
                     true, true);
    entry_->selectAll();
    return;
  }
  CloseEntry();
  const double p = PositionOfValue(read.value, min_, max_, scale_);
  if (p != p_) {
    p_ = p;
    update();
    emit OnChange(Value());
  }
  KWValueTag::Show(tag_, this, ValueText(), false);
  setFocus();
}

void KWValueControl::CloseEntry() {
  if (!entry_) return;
  QLineEdit* entry = entry_.data();
  entry_ = nullptr;
  entry->removeEventFilter(this);
  entry->hide();
  entry->deleteLater();
  if (tag_) tag_->hide();
}

bool KWValueControl::eventFilter(QObject* watched, QEvent* event) {
  if (entry_ && watched == entry_.data()) {
    if (event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
      CloseEntry();
      setFocus();
      return true;
    }
    if (event->type() == QEvent::FocusOut) CloseEntry();
  }
  return QWidget::eventFilter(watched, event);
}

void KWValueControl::keyPressEvent(QKeyEvent* event) {
  const bool fine = event->modifiers() & Qt::ControlModifier;
  double dp = 0.0;
  switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Right:
      dp = fine ? 0.001 : 0.01;
      break;
    case Qt::Key_Down:
    case Qt::Key_Left:
      dp = fine ? -0.001 : -0.01;
      break;
    case Qt::Key_PageUp:
      dp = 0.1;
      break;
    case Qt::Key_PageDown:
      dp = -0.1;
      break;
    case Qt::Key_Home:
      dp = -1.0;
      break;
    case Qt::Key_End:
      dp = 1.0;
      break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      OpenEntry();
      return;
    default:
      QWidget::keyPressEvent(event);
      return;
  }
  MoveBy(dp);
}

void KWValueControl::mouseReleaseEvent(QMouseEvent* event) {
  QToolTip::hideText();
  KWValueTag::Release(tag_);
  QWidget::mouseReleaseEvent(event);
}

}  // namespace tg
