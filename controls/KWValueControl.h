#pragma once

#include <QWidget>

#include "controls/ValueScale.h"

namespace tg {

enum class TickStyle { None, Auto, Manual };

// What the knob and the fader share: a position p in [0, 1] mapped to a value
// by a scale law, relative dragging, ticks, keys that step it as a drag
// would, and a tooltip with the value and its unit while dragging and on
// hover.
class KWValueControl : public QWidget {
  Q_OBJECT

 public:
  double Min() const { return min_; }
  double Max() const { return max_; }
  // Keeps the value; the position moves.
  void SetMin(double min);
  void SetMax(double max);
  double Value() const { return ValueAtPosition(p_, min_, max_, scale_); }
  // Pins values outside the range to its ends.
  void SetValue(double value);
  double Position() const { return p_; }
  ValueScale Scale() const { return scale_; }
  void SetScale(ValueScale scale);
  TickStyle Ticks() const { return tickStyle_; }
  void SetTickStyle(TickStyle style);
  void SetFrequency(double frequency);
  void AddTick(double value);
  // The tick values to draw, by the linear law whatever the scale.
  std::vector<double> TickValues() const;
  // The unit shown after the value ("Hz"); empty for plain numbers.
  const QString& Unit() const { return unit_; }
  void SetUnit(const QString& unit) { unit_ = unit; }
  // The read-out shown on hover and while dragging: "440 Hz".
  QString ValueText() const;

 signals:
  void OnChange(double value);

 protected:
  explicit KWValueControl(QWidget* parent);
  // Knobs tell of programmatic changes too; faders do not.
  virtual bool ReportsSetValue() const { return false; }
  // Moves the position by a drag, tells of it and shows the value.
  void MoveBy(double dp, QPoint globalPosition);
  bool event(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

  double p_ = 0.0;
  QPoint last_;

 private:
  double min_ = 0.0;
  double max_ = 1.0;
  ValueScale scale_ = ValueScale::Linear;
  TickStyle tickStyle_ = TickStyle::None;
  double frequency_ = 1.0;
  std::vector<double> manualTicks_;
  QString unit_;
};

}  // namespace tg
