#pragma once

#include <cmath>

#include "dsp/BlockConstants.h"

namespace tg {

// A one-pole low-pass applied to a gain, so gains never change in steps.
class GainSmoother {
 public:
  // rate: SR when stepped per sample, SR / B when stepped once per block.
  GainSmoother(float rate, double cutoffHz);

  void SetCutoff(double cutoffHz);
  // Sets the pole itself; 0 makes the gain jump to each target at once.
  void SetPole(float p) {
    p_ = p;
    a_ = 1.0f - p;
  }
  void SetTarget(double gain) { target_ = static_cast<float>(gain); }
  // Audio thread: out[i] = y × in[i], y moving towards the target. in may be
  // out. Once y has reached where the float recursion stays, the loop is a
  // constant gain.
  void Apply(const float* in, float* out);
  // Audio thread: out[i] += y × in[i].
  void ApplyAdd(const float* in, float* out);
  float Value() const { return y_; }
  // Audio thread: one step of the recursion, for a smoother of something
  // other than a gain that is stepped once per block; answers the new value.
  float Step() {
    if (snap_ && y_ == target_) return y_;
    const float next = a_ * target_ + p_ * y_;
    y_ = snap_ && next == y_ ? Creep(y_) : next;
    return y_;
  }
  // Stands at a value with nothing left to glide.
  void Jump(double value) {
    target_ = static_cast<float>(value);
    y_ = target_;
  }
  // Back to silence, as at the start.
  void Clear() { y_ = 0.0f; }
  float Pole() const { return p_; }
  // Where the float recursion stops short of the target (1e-5 below it at a
  // 20 Hz cutoff, 2 % at 0.01 Hz), creep the rest of the way one float step a
  // sample, so a long fade ends exactly on its target without a jump. Off by
  // default: pinned renders rely on the plain recursion.
  void SetSnapToTarget(bool snap) { snap_ = snap; }

 private:
  template <bool kAdd>
  void Run(const float* in, float* out);
  float Creep(float y) const { return std::nextafter(y, target_); }
  void SnapToZero() {
    if (y_ > -1e-8f && y_ < 1e-7f) y_ = 0.0f;
  }

  float rate_;
  float y_ = 0.0f;
  float a_ = 0.0f;
  float p_ = 0.0f;
  float target_ = 0.0f;
  bool snap_ = false;
};

}  // namespace tg
