#pragma once

#include <cmath>

#include "dsp/BlockConstants.h"

namespace tg {

// A sine oscillator by rotating a vector; a new step continues the wave.
class QSSineRotor {
 public:
  void SetStep(double radiansPerSample) {
    sinW_ = static_cast<float>(std::sin(radiansPerSample));
    cosW_ = static_cast<float>(std::cos(radiansPerSample));
  }
  // Audio thread.
  void Fill(float* out) {
    for (int i = 0; i < kBlockSize; ++i) {
      const float x = cosW_ * x_ - sinW_ * y_;
      const float y = x_ * sinW_ + cosW_ * y_;
      x_ = x;
      y_ = y;
      out[i] = y;
    }
  }

 private:
  float sinW_ = 0.0f;
  float cosW_ = 1.0f;
  float x_ = 1.0f;
  float y_ = 0.0f;
};

}  // namespace tg
