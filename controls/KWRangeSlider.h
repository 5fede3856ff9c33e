#pragma once

#include <QWidget>
#include <vector>

#include "controls/KWValueTag.h"
#include "controls/RangeDrag.h"
#include "controls/ValueScale.h"

namespace tg {

// A fader with two thumbs for a low and a high value. The upper thumb is
// tested first; a press elsewhere grabs the bar. Shift moves the whole range,
// Alt the other end, Shift+Alt both ends apart (see RangeDrag).
class KWRangeSlider final : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kReserved = 16;  // the travel is the length minus this
  explicit KWRangeSlider(QWidget* parent = nullptr);
  ~KWRangeSlider() override;
  QSize sizeHint() const override { return vertical_ ? QSize(24, 120) : QSize(120, 24); }

  double Min() const { return min_; }
  double Max() const { return max_; }
  void SetMin(double min);
  void SetMax(double max);
  double Value0() const { return ValueAtPosition(at_.p0, min_, max_, scale_); }
  double Value1() const { return ValueAtPosition(at_.p1, min_, max_, scale_); }
  void SetValue0(double v);
  void SetValue1(double v);
  RangePositions Positions() const { return at_; }
  void SetScale(ValueScale scale);
  bool IsVertical() const { return vertical_; }
  void SetVertical(bool vertical);
  // Marks a value beside the track (a reference such as unity).
  void AddTick(double value);
  const std::vector<double>& TickValues() const { return ticks_; }
  // What a press at this point would grab.
  RangeGrab GrabAt(QPoint point) const;
  // The unit shown after the values ("Hz"); empty for plain numbers.
  void SetUnit(const QString& unit) { unit_ = unit; }
  // The read-out shown on hover and while dragging: "100 … 2000 Hz".
  QString RangeText() const;
  // What is drawn beside the slider now (its range while it moves), or empty.
  QString ShownText() const;

 signals:
  void OnChange(double value0, double value1);

 protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;

 private:
  int Travel() const { return (vertical_ ? height() : width()) - kReserved; }
  // A distance along the travel from the bottom (vertical) or the left.
  int Along(QPoint point) const { return vertical_ ? height() - 1 - point.y() : point.x(); }
  void Move(double m, Qt::KeyboardModifiers modifiers);

  double min_ = 0.0, max_ = 1.0;
  ValueScale scale_ = ValueScale::Linear;
  RangePositions at_{0.0, 1.0};
  bool vertical_ = true;
  RangeGrab grab_ = RangeGrab::None;
  QPoint last_;
  std::vector<double> ticks_;
  QString unit_;
  QPointer<KWValueTag> tag_;
};

}  // namespace tg
