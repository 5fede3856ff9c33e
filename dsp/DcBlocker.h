#pragma once

namespace tg {

// First-order DC blocking high-pass with the program's fixed coefficients.
class DcBlocker {
 public:
  static constexpr float kA = 0.99982703f;
  static constexpr float kP = 0.99965501f;

  // Audio thread.
  float Tick(float x) {
    const float y = kA * x - kA * x1_ + kP * y1_;
    x1_ = x;
    y1_ = y;
    return y;
  }
  // Audio thread: filters a block in place.
  void Process(float* samples, int count) { Process(samples, samples, count); }
  // Audio thread: filters a block into another (or the same).
  void Process(const float* in, float* out, int count) {
    // The state in registers: a store to out could otherwise be one to it.
    float x1 = x1_;
    float y1 = y1_;
    for (int i = 0; i < count; ++i) {
      const float x = in[i];
      const float y = kA * x - kA * x1 + kP * y1;
      x1 = x;
      y1 = y;
      out[i] = y;
    }
    x1_ = x1;
    y1_ = y1;
  }
  void Clear() { x1_ = y1_ = 0.0f; }

 private:
  float x1_ = 0.0f;
  float y1_ = 0.0f;
};

}  // namespace tg
