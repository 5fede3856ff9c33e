#pragma once

#include <array>

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
    int i = 0;
    // Eight at a time: each output is its group's own recursion from rest,
    // which waits on nothing before the group, plus the output carried in,
    // times a power of the pole. Only one multiply-add in eight then waits
    // on the one before; the sums round differently, by a few parts in a
    // million of the signal.
    for (; i + kGroup <= count; i += kGroup) {
      float own[kGroup];
      float acc = 0.0f;
      for (int j = 0; j < kGroup; ++j) {
        const float x = in[i + j];
        acc = kA * x - kA * x1 + kP * acc;
        x1 = x;
        own[j] = acc;
      }
      for (int j = 0; j < kGroup; ++j) out[i + j] = own[j] + kPowers[j] * y1;
      y1 = own[kGroup - 1] + kPowers[kGroup - 1] * y1;
    }
    for (; i < count; ++i) {
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
  static constexpr int kGroup = 8;
  // kP to the powers 1 … kGroup.
  static constexpr std::array<float, kGroup> kPowers = [] {
    std::array<float, kGroup> p{};
    float v = 1.0f;
    for (float& e : p) e = v *= kP;
    return p;
  }();

  float x1_ = 0.0f;
  float y1_ = 0.0f;
};

}  // namespace tg
