#pragma once

namespace tg {

// One first-order allpass stage, (z⁻¹ − c) / (1 − c·z⁻¹): unity gain, its
// phase lag passing 90° at the break its coefficient sets. Stable for |c| < 1.
class FirstOrderAllpass {
 public:
  // Audio thread.
  float Tick(float x, float c) {
    const float y = -c * x + s_;
    s_ = x + c * y;
    return y;
  }
  void Clear() { s_ = 0.0f; }

 private:
  float s_ = 0.0f;
};

}  // namespace tg
