#pragma once

#include "controls/KWValueControl.h"

namespace tg {

// A rotary knob: dragging up turns it up, 0.01 of its travel a pixel (0.001
// with Ctrl). The pointer sweeps 270° from lower left through the top.
class KWDWKnob final : public KWValueControl {
  Q_OBJECT

 public:
  static constexpr int kTickLength = 4;
  explicit KWDWKnob(QWidget* parent = nullptr);
  QSize sizeHint() const override { return {35, 35}; }
  // The pointer's angle for a position, in radians.
  static double PointerAngle(double p) { return (1.5 * p + 0.25) * 3.14159265358979; }
  // The square the knob is drawn in.
  QRectF KnobRect() const;

 protected:
  bool ReportsSetValue() const override { return true; }
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
};

}  // namespace tg
