#pragma once

#include "dsp/BlockConstants.h"

namespace tg {

// Wet/dry coefficients whose powers add up to about one across the mix range.
class EqualPowerMix {
 public:
  // mix 0 is all dry, 1 all wet; values beyond are held at the ends.
  void Recompute(double mix);
  // Audio thread: wet[i] = wet[i] × k0 + dry[i] × k1; dry and wet are
  // different blocks.
  void Apply(const float* __restrict dry, float* __restrict wet) const {
    const float k0 = k0_;
    const float k1 = k1_;
    for (int i = 0; i < kBlockSize; ++i) wet[i] = wet[i] * k0 + dry[i] * k1;
  }
  float Wet() const { return k0_; }
  float Dry() const { return k1_; }

 private:
  float k0_ = 1.0f;
  float k1_ = 0.0f;
};

}  // namespace tg
