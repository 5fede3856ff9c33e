#include "dsp/GainSmoother.h"

#include <cmath>
#include <numbers>

namespace tg {

GainSmoother::GainSmoother(float rate, double cutoffHz) : rate_(rate) { SetCutoff(cutoffHz); }

void GainSmoother::SetCutoff(double cutoffHz) {
  const double c = 2.0 - std::cos(2.0 * std::numbers::pi * cutoffHz / rate_);
  p_ = static_cast<float>(c - std::sqrt(c * c - 1.0));
  a_ = 1.0f - p_;
}

void GainSmoother::Apply(const float* in, float* out) {
  for (int i = 0; i < kBlockSize; ++i) {
    y_ = a_ * target_ + p_ * y_;
    out[i] = y_ * in[i];
  }
  SnapToZero();
}

void GainSmoother::ApplyAdd(const float* in, float* out) {
  for (int i = 0; i < kBlockSize; ++i) {
    y_ = a_ * target_ + p_ * y_;
    out[i] += y_ * in[i];
  }
  SnapToZero();
}

}  // namespace tg
