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
  void Process(float* samples, int count) {
    for (int i = 0; i < count; ++i) samples[i] = Tick(samples[i]);
  }
  // Audio thread: filters a block into another.
  void Process(const float* in, float* out, int count) {
    for (int i = 0; i < count; ++i) out[i] = Tick(in[i]);
  }
  void Clear() { x1_ = y1_ = 0.0f; }

 private:
  float x1_ = 0.0f;
  float y1_ = 0.0f;
};

}  // namespace tg
