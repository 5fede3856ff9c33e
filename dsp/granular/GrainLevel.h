#pragma once

#include "dsp/BlockConstants.h"
#include "dsp/GainSmoother.h"

namespace tg {

// The level each new grain of a granulator is scaled by. A new level (the
// density, the grain length or MaxGrains moved) is reached through a
// smoother stepped once a block, so the texture never jumps.
class GrainLevel {
 public:
  // Audio thread, once a block: the level for this block's new grains.
  double Follow(double target) {
    if (!started_) {
      smoother_.Jump(target);
      started_ = true;
      return target;
    }
    smoother_.SetTarget(target);
    return smoother_.Step();
  }

 private:
  GainSmoother smoother_{static_cast<float>(kSampleRate / kBlockSize), 5.0};
  bool started_ = false;
};

}  // namespace tg
