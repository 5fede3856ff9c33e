#pragma once

#include "dsp/BlockConstants.h"

namespace tg {

// Wet/dry coefficients whose powers add up to about one across the mix range.
class EqualPowerMix {
 public:
  // mix 0 is all dry, 1 all wet.
  void Recompute(double mix);
  // Audio thread: wet[i] = wet[i] × k0 + dry[i] × k1.
  void Apply(const float* dry, float* wet) const {
    for (int i = 0; i < kBlockSize; ++i) wet[i] = wet[i] * k0_ + dry[i] * k1_;
  }
  float Wet() const { return k0_; }
  float Dry() const { return k1_; }

 private:
  float k0_ = 1.0f;
  float k1_ = 0.0f;
};

}  // namespace tg
