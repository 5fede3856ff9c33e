#pragma once

#include <QLineEdit>
#include <QPointer>
#include <QWidget>

#include "controls/KWValueTag.h"
#include "controls/ValueScale.h"

namespace tg {

enum class TickStyle { None, Auto, Manual };

// What the knob and the fader share: a position p in [0, 1] mapped to a value
// by a scale law, relative dragging, ticks, keys that step it as a drag
// would, the value and its unit drawn beside it while it moves (a tooltip on
// hover), and a field to type a value in (double click or Enter).
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
  // What is drawn beside the control now: its value while it moves, or a
  // message about a typed value; empty when nothing is.
  QString ShownText() const;

  // The field to type a value in: Enter sets the value as a drag would (so
  // it is one edit), Escape or leaving it changes nothing, and text that is
  // no number in the range is refused with a message beside the field.
  void OpenEntry();
  QLineEdit* Entry() const { return entry_; }

 signals:
  void OnChange(double value);

 protected:
  explicit KWValueControl(QWidget* parent);
  ~KWValueControl() override;
  // Knobs tell of programmatic changes too; faders do not.
  virtual bool ReportsSetValue() const { return false; }
  // Moves the position by a drag, tells of it and shows the value.
  void MoveBy(double dp);
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  // Turns the control only while it has the focus, so the wheel still
  // scrolls the pane past it.
  void wheelEvent(QWheelEvent* event) override;

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
  QPointer<KWValueTag> tag_;
  QPointer<QLineEdit> entry_;
  void TakeEntry();
  void CloseEntry();
};

}  // namespace tg
