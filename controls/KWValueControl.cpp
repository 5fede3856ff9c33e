#include "controls/KWValueControl.h"

#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QToolTip>
#include <algorithm>

#include "framework/properties/TextIO.h"

namespace tg {

KWValueControl::KWValueControl(QWidget* parent) : QWidget(parent) {
  setFocusPolicy(Qt::StrongFocus);
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

void KWValueControl::MoveBy(double dp, QPoint globalPosition) {
  const double p = std::clamp(p_ + dp, 0.0, 1.0);
  if (p == p_) return;
  p_ = p;
  update();
  emit OnChange(Value());
  QToolTip::showText(globalPosition, ValueText(), this);
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
    default:
      QWidget::keyPressEvent(event);
      return;
  }
  MoveBy(dp, mapToGlobal(rect().center()));
}

void KWValueControl::mouseReleaseEvent(QMouseEvent* event) {
  QToolTip::hideText();
  QWidget::mouseReleaseEvent(event);
}

}  // namespace tg
