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
  // Audio thread. Each step needs the one before, so only keeping the state
  // in registers (out cannot touch it) makes this faster.
  void Fill(float* out) {
    const float s = sinW_;
    const float c = cosW_;
    float x = x_;
    float y = y_;
    for (int i = 0; i < kBlockSize; ++i) {
      const float nx = c * x - s * y;
      const float ny = x * s + c * y;
      x = nx;
      y = ny;
      out[i] = y;
    }
    x_ = x;
    y_ = y;
  }
  // The rounded step does not keep the vector's length: over minutes a tone
  // would fade or swell by several decibels. One Newton step towards length 1
  // (the error is tiny, so one is exact enough); once a block is plenty.
  void Renormalise() {
    const float g = 1.5f - 0.5f * (x_ * x_ + y_ * y_);
    x_ *= g;
    y_ *= g;
  }
  float SinW() const { return sinW_; }
  float CosW() const { return cosW_; }
  // Back to the start of the wave (sine phase 0).
  void Restart() {
    x_ = 1.0f;
    y_ = 0.0f;
  }

 private:
  float sinW_ = 0.0f;
  float cosW_ = 1.0f;
  float x_ = 1.0f;
  float y_ = 0.0f;
};

}  // namespace tg
