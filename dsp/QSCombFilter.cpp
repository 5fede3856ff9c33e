#include "dsp/QSCombFilter.h"

#include <algorithm>
#include <cstddef>

namespace tg {

QSCombFilter::QSCombFilter(double maxSeconds) : length_(RingLength(maxSeconds)) {
  buffer_.assign(static_cast<std::size_t>(length_) + 1, 0.0f);
}

void QSCombFilter::Clear() {
  std::fill(buffer_.begin(), buffer_.end(), 0.0f);
  write_ = 0;
  delay = QSVInterp{};
  feedback = QSVInterp{};
}

}  // namespace tg
