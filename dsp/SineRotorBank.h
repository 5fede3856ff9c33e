#pragma once

#include <cstring>

#include "dsp/BlockConstants.h"
#include "dsp/QSSineRotor.h"

namespace tg {

// N sine oscillators by rotating vectors, as QSSineRotor each, kept side by
// side so that their steps go four at a time: one rotor waits on its own
// previous step, but N of them need not wait on each other. Every rotor
// computes exactly what a QSSineRotor with the same steps would.
template <int N>
class SineRotorBank {
 public:
  static constexpr int kLanes = 4 * ((N + 3) / 4);

  void SetStep(int k, double radiansPerSample) {
    QSSineRotor one;  // the very same rounding of the step
    one.SetStep(radiansPerSample);
    sin_[k] = one.SinW();
    cos_[k] = one.CosW();
  }
  void Restart(int k) {
    x_[k] = 1.0f;
    y_[k] = 0.0f;
  }
  // Audio thread: rotor k's next block.
  void Fill(int k, float* out) {
    const float s = sin_[k];
    const float c = cos_[k];
    float x = x_[k];
    float y = y_[k];
    for (int i = 0; i < kBlockSize; ++i) {
      const float nx = c * x - s * y;
      const float ny = x * s + c * y;
      x = nx;
      y = ny;
      out[i] = y;
    }
    x_[k] = x;
    y_[k] = y;
  }
  // Audio thread: out[i] = Σ rotor k's next sample × gains[k], summed from
  // k = 0 up, as filling each and adding it to out in turn would give.
  void FillSum(const float* gains, float* out) {
    using V = float __attribute__((vector_size(16)));
    constexpr int kVectors = kLanes / 4;
    V s[kVectors], c[kVectors], x[kVectors], y[kVectors], g[kVectors];
    alignas(16) float lanes[kLanes] = {};
    std::memcpy(lanes, gains, sizeof(float) * N);
    for (int v = 0; v < kVectors; ++v) {
      std::memcpy(&s[v], &sin_[4 * v], sizeof(V));
      std::memcpy(&c[v], &cos_[4 * v], sizeof(V));
      std::memcpy(&x[v], &x_[4 * v], sizeof(V));
      std::memcpy(&y[v], &y_[4 * v], sizeof(V));
      std::memcpy(&g[v], &lanes[4 * v], sizeof(V));
    }
    for (int i = 0; i < kBlockSize; ++i) {
      V p[kVectors];
      for (int v = 0; v < kVectors; ++v) {
        const V nx = c[v] * x[v] - s[v] * y[v];
        const V ny = x[v] * s[v] + c[v] * y[v];
        x[v] = nx;
        y[v] = ny;
        p[v] = ny * g[v];
      }
      float sum = p[0][0];
      for (int k = 1; k < N; ++k) sum += p[k / 4][k % 4];
      out[i] = sum;
    }
    for (int v = 0; v < kVectors; ++v) {
      std::memcpy(&x_[4 * v], &x[v], sizeof(V));
      std::memcpy(&y_[4 * v], &y[v], sizeof(V));
    }
  }
  // As QSSineRotor::Renormalise, for every rotor.
  void Renormalise() {
    for (int k = 0; k < kLanes; ++k) {
      const float g = 1.5f - 0.5f * (x_[k] * x_[k] + y_[k] * y_[k]);
      x_[k] *= g;
      y_[k] *= g;
    }
  }

 private:
  alignas(16) float sin_[kLanes] = {};
  alignas(16) float cos_[kLanes] = {1.0f};
  alignas(16) float x_[kLanes] = {};
  alignas(16) float y_[kLanes] = {};

 public:
  SineRotorBank() {
    for (int k = 0; k < kLanes; ++k) {
      cos_[k] = 1.0f;
      x_[k] = 1.0f;
    }
  }
};

}  // namespace tg
