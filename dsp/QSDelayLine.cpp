#include "dsp/QSDelayLine.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "dsp/Interpolation.h"

namespace tg {

QSDelayLine::QSDelayLine(double maxSeconds) {
  length_ = LengthFor(maxSeconds);
  buffer_.assign(static_cast<std::size_t>(length_) + 1, 0.0f);
}

void QSDelayLine::Clear() { std::fill(buffer_.begin(), buffer_.end(), 0.0f); }

namespace {

// The read position w − delay brought into the ring: exactly what adding L
// until it is not negative gives, without looping for ever on a wild delay.
double Wrap(double p, int32_t length) {
  p = std::fmod(p, static_cast<double>(length));
  if (p < 0) p += length;
  return p >= 0 && p < length ? p : 0.0;
}

// out is the caller's block, never the ring.
void InterpolateRun(const float* __restrict from, float frac, float* __restrict out, int run) {
  for (int j = 0; j < run; ++j) out[j] = from[j] + (from[j + 1] - from[j]) * frac;
}

}  // namespace

void QSDelayLine::Read(float* out, double delaySeconds) const {
  const double p = Wrap(write_ - delaySeconds * kSampleRate, length_);
  auto i = static_cast<int32_t>(p);
  const auto frac = static_cast<float>(p - i);
  const float* b = buffer_.data();
  // At most two straight runs, split where the ring wraps, so each vectorises.
  int k = 0;
  while (k < kBlockSize) {
    const int run = std::min(kBlockSize - k, length_ - i);
    InterpolateRun(b + i, frac, out + k, run);
    k += run;
    i = 0;
  }
}

void QSDelayLine::ReadMoving(float* out, double& delaySeconds, double rate) const {
  const double d = delaySeconds;
  delaySeconds = d - (rate - 1.0) * kBlockSize / kSampleRate;
  double p = Wrap(write_ - d * kSampleRate, length_);
  for (int k = 0; k < kBlockSize; ++k) {
    out[k] = QSInterpLookup(buffer_.data(), static_cast<float>(p));
    p += rate;
    if (p >= length_) p -= length_;
    if (!(p >= 0 && p < length_)) p = Wrap(p, length_);  // a wild rate
  }
}

void QSDelayLine::Write(const float* in) {
  std::copy(in, in + kBlockSize, buffer_.begin() + write_);
  if (write_ == 0) buffer_[static_cast<std::size_t>(length_)] = buffer_[0];
  write_ += kBlockSize;
  if (write_ >= length_) write_ = 0;
}

}  // namespace tg
