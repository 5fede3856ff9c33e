#pragma once

#include "dsp/BlockConstants.h"

namespace tg {

// Wet/dry coefficients whose powers add up to about one across the mix range.
// A new mix glides through one block, so moving it never clicks.
class EqualPowerMix {
 public:
  // Audio thread, at the start of every block, before any Recompute: the
  // glide of the block before has ended.
  void NextBlock() {
    fromK0_ = k0_;
    fromK1_ = k1_;
  }
  // mix 0 is all dry, 1 all wet; values beyond are held at the ends. The
  // first mix is taken at once; later ones are reached by the end of this
  // block's Apply, from the coefficients the block began with.
  void Recompute(double mix);
  // Audio thread: wet[i] = wet[i] × k0 + dry[i] × k1; dry and wet are
  // different blocks. Called for several channels, each glides alike.
  void Apply(const float* __restrict dry, float* __restrict wet) const {
    if (fromK0_ == k0_ && fromK1_ == k1_) {
      const float k0 = k0_;
      const float k1 = k1_;
      for (int i = 0; i < kBlockSize; ++i) wet[i] = wet[i] * k0 + dry[i] * k1;
      return;
    }
    const float a0 = fromK0_, d0 = k0_ - fromK0_;
    const float a1 = fromK1_, d1 = k1_ - fromK1_;
    constexpr float kStep = 1.0f / kBlockSize;
    for (int i = 0; i < kBlockSize; ++i) {
      const float t = static_cast<float>(i + 1) * kStep;
      wet[i] = wet[i] * (a0 + d0 * t) + dry[i] * (a1 + d1 * t);
    }
  }
  // The coefficients reached at the end of the block.
  float Wet() const { return k0_; }
  float Dry() const { return k1_; }

 private:
  float k0_ = 1.0f;
  float k1_ = 0.0f;
  float fromK0_ = 1.0f;
  float fromK1_ = 0.0f;
  bool set_ = false;
};

}  // namespace tg
