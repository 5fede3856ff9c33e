#include "app/patcher/EdgeAutoScroll.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace tg {

namespace {

// How far past the scrolling margin a coordinate lies, signed, turned into a
// step that grows with the distance.
int StepAlong(int at, int length) {
  int past = 0;
  if (at < EdgeAutoScroll::kMargin) {
    past = at - EdgeAutoScroll::kMargin;
  } else if (at >= length - EdgeAutoScroll::kMargin) {
    past = at - (length - EdgeAutoScroll::kMargin) + 1;
  }
  if (past == 0) return 0;
  const int step = std::min(EdgeAutoScroll::kMaxStep, 2 + std::abs(past) / 2);
  return past < 0 ? -step : step;
}

}  // namespace

EdgeAutoScroll::EdgeAutoScroll(std::function<void(QPoint step)> onTick)
    : onTick_(std::move(onTick)) {
  timer_.setInterval(kTickMs);
  QObject::connect(&timer_, &QTimer::timeout, [this] { onTick_(step_); });
}

QPoint EdgeAutoScroll::StepFor(QPoint viewPoint, QSize viewSize) {
  return {StepAlong(viewPoint.x(), viewSize.width()), StepAlong(viewPoint.y(), viewSize.height())};
}

void EdgeAutoScroll::PointerAt(QPoint viewPoint, QSize viewSize) {
  step_ = StepFor(viewPoint, viewSize);
  if (step_.isNull()) {
    timer_.stop();
  } else if (!timer_.isActive()) {
    timer_.start();
  }
}

void EdgeAutoScroll::Stop() {
  timer_.stop();
  step_ = {};
}

}  // namespace tg
