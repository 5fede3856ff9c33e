#pragma once

#include "controls/KWValueControl.h"

namespace tg {

// A linear fader with an 11-pixel thumb. Vertical faders go up with the
// mouse, horizontal ones to the right; 1 / (length − 11) of the travel a
// pixel (a tenth of that with Ctrl).
class KWDWSlider final : public KWValueControl {
  Q_OBJECT

 public:
  static constexpr int kThumb = 11;
  explicit KWDWSlider(QWidget* parent = nullptr);
  QSize sizeHint() const override { return vertical_ ? QSize(24, 100) : QSize(100, 24); }
  bool IsVertical() const { return vertical_; }
  void SetVertical(bool vertical);
  void SetEndTicks(bool endTicks);
  // The thumb's rectangle at the current position.
  QRect ThumbRect() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  int Length() const { return vertical_ ? height() : width(); }
  bool vertical_ = true;
  bool endTicks_ = true;
  bool pressed_ = false;
};

}  // namespace tg
