#pragma once

#include <QPoint>
#include <QSize>
#include <QTimer>
#include <functional>

namespace tg {

// Scrolls a view while something dragged is held at or past its edge: the
// farther past, the faster. The owner says where the pointer is after every
// move; each tick hands it the step to scroll by. UI thread only.
class EdgeAutoScroll {
 public:
  // Pixels inside the edge where scrolling begins.
  static constexpr int kMargin = 6;
  static constexpr int kTickMs = 20;
  static constexpr int kMaxStep = 40;

  explicit EdgeAutoScroll(std::function<void(QPoint step)> onTick);

  // The pointer moved to a point of a view of that size, while dragging.
  void PointerAt(QPoint viewPoint, QSize viewSize);
  void Stop();
  bool IsActive() const { return timer_.isActive(); }
  // The step for a pointer at that point: zero well inside the view.
  static QPoint StepFor(QPoint viewPoint, QSize viewSize);

 private:
  QTimer timer_;
  QPoint step_;
  std::function<void(QPoint)> onTick_;
};

}  // namespace tg
