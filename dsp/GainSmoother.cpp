#include "dsp/GainSmoother.h"

#include <cmath>
#include <numbers>

#include "dsp/BlockOps.h"

namespace tg {

GainSmoother::GainSmoother(float rate, double cutoffHz) : rate_(rate) { SetCutoff(cutoffHz); }

void GainSmoother::SetCutoff(double cutoffHz) {
  const double c = 2.0 - std::cos(2.0 * std::numbers::pi * cutoffHz / rate_);
  p_ = static_cast<float>(c - std::sqrt(c * c - 1.0));
  a_ = 1.0f - p_;
}

template <bool kAdd>
void GainSmoother::Run(const float* in, float* out) {
  const float step = a_ * target_;  // the same product every sample
  const float p = p_;
  float y = y_;
  int i = 0;
  for (; i < kBlockSize; ++i) {
    // On the target a snapping smoother stays: the recursion's own resting
    // point may lie a float step beside it.
    if (snap_ && y == target_) break;
    float next = step + p * y;
    // The float recursion has reached its fixed point: every later step gives
    // next again, bit for bit (also when -0 stepped to +0).
    if (next == y) {
      if (!snap_) break;
      next = Creep(y);
    }
    y = next;
    if constexpr (kAdd) {
      out[i] += y * in[i];
    } else {
      out[i] = y * in[i];
    }
  }
  if (i == 0) {
    // Settled for the whole block: a constant gain.
    if constexpr (kAdd) {
      ScaleAddBlock(in, y, out);
    } else {
      ScaleBlock(in, y, out);
    }
  } else {
    for (; i < kBlockSize; ++i) {
      if constexpr (kAdd) {
        out[i] += y * in[i];
      } else {
        out[i] = y * in[i];
      }
    }
  }
  y_ = y;
  SnapToZero();
}

void GainSmoother::Apply(const float* in, float* out) { Run<false>(in, out); }

void GainSmoother::ApplyAdd(const float* in, float* out) { Run<true>(in, out); }

}  // namespace tg
