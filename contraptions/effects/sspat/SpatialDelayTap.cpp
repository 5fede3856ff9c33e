#include "contraptions/effects/sspat/SpatialDelayTap.h"

#include <algorithm>
#include <cmath>

#include "dsp/Interpolation.h"

namespace tg {

namespace {
constexpr double kMaxStepPerBlock = 0.5 * kBlockSize / kSampleRate;
}

SpatialDelayTap::SpatialDelayTap(const QSDelayLine& line) : line_(line) {}

double SpatialDelayTap::MaxDelay(const QSDelayLine& line) {
  // The oldest samples still in the ring, a block back from the newest and
  // one more for the interpolation.
  return (line.Length() - kBlockSize - 2) / kSampleRate;
}

void SpatialDelayTap::Restart() {
  delay_ = QSVInterp();
  started_ = false;
}

void SpatialDelayTap::Read(double delaySeconds, float* out) {
  double d = std::isfinite(delaySeconds) ? delaySeconds : 0.0;
  d = std::clamp(d, 0.0, MaxDelay(line_));
  if (started_) {
    const double from = delay_.Value();
    d = std::clamp(d, from - kMaxStepPerBlock, from + kMaxStepPerBlock);
  }
  started_ = true;
  delay_.Set(d);

  const float* ring = line_.Data();
  const double length = line_.Length();
  const double w = line_.WriteIndex() == 0 ? length : line_.WriteIndex();
  const float sampleTime = static_cast<float>(1.0 / kSampleRate);
  float tail = static_cast<float>(kBlockSize) * sampleTime;
  for (int i = 0; i < kBlockSize; ++i) {
    delay_.Step();
    double p = w - (delay_.Value() + tail) * kSampleRate;
    if (p < 0.0) p += length;
    // Float rounding of the tail may land a hair outside the ring.
    p = std::clamp(p, 0.0, length - 1e-3);
    out[i] = QSInterpLookup(ring, static_cast<float>(p));
    tail -= sampleTime;
  }
}

}  // namespace tg
