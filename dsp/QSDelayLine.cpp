#include "dsp/QSDelayLine.h"

#include <cstddef>
#include <algorithm>

#include "dsp/Interpolation.h"

namespace tg {

QSDelayLine::QSDelayLine(double maxSeconds) {
  const auto n = static_cast<int32_t>(maxSeconds * kSampleRate);
  length_ = n / kBlockSize * kBlockSize + 2 * kBlockSize;
  buffer_.assign(static_cast<std::size_t>(length_) + 1, 0.0f);
}

void QSDelayLine::Clear() { std::fill(buffer_.begin(), buffer_.end(), 0.0f); }

void QSDelayLine::Read(float* out, double delaySeconds) const {
  double p = write_ - delaySeconds * kSampleRate;
  while (p < 0) p += length_;
  auto i = static_cast<int32_t>(p);
  const auto frac = static_cast<float>(p - i);
  const float* b = buffer_.data();
  for (int k = 0; k < kBlockSize; ++k) {
    out[k] = b[i] + (b[i + 1] - b[i]) * frac;
    i = i + 1 < length_ ? i + 1 : i + 1 - length_;
  }
}

void QSDelayLine::ReadMoving(float* out, double& delaySeconds, double rate) const {
  const double d = delaySeconds;
  delaySeconds = d - (rate - 1.0) * kBlockSize / kSampleRate;
  double p = write_ - d * kSampleRate;
  while (p < 0) p += length_;
  for (int k = 0; k < kBlockSize; ++k) {
    out[k] = QSInterpLookup(buffer_.data(), static_cast<float>(p));
    p += rate;
    if (p >= length_) p -= length_;
  }
}

void QSDelayLine::Write(const float* in) {
  std::copy(in, in + kBlockSize, buffer_.begin() + write_);
  if (write_ == 0) buffer_[static_cast<std::size_t>(length_)] = buffer_[0];
  write_ += kBlockSize;
  if (write_ >= length_) write_ = 0;
}

}  // namespace tg
