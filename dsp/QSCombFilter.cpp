#include "dsp/QSCombFilter.h"

#include <cstddef>

namespace tg {

QSCombFilter::QSCombFilter(double maxSeconds) {
  const auto n = static_cast<int32_t>(maxSeconds * kSampleRate);
  length_ = n / kBlockSize * kBlockSize + kBlockSize;
  buffer_.assign(static_cast<std::size_t>(length_) + 1, 0.0f);
}

}  // namespace tg
