#pragma once

#include <cstdint>

#include "dsp/BlockConstants.h"

namespace tg {

// A linear parameter ramp. The first Set jumps; every later one glides to
// its target over one block.
class QSVInterp {
 public:
  void Set(double target) {
    if (count_ < 0) {
      count_ = 0;
      value_ = target;
    } else {
      count_ = kBlockSize;
      increment_ = (target - value_) / kBlockSize;
    }
  }
  // Per-sample users step once before each sample.
  void Step() {
    if (count_ > 0) {
      value_ += increment_;
      --count_;
    }
  }
  // Block-rate users advance a whole block at once.
  void StepBlock() {
    if (count_ != 0) {
      const uint32_t n = static_cast<uint32_t>(count_) < static_cast<uint32_t>(kBlockSize)
                             ? static_cast<uint32_t>(count_)
                             : static_cast<uint32_t>(kBlockSize);
      value_ += n * increment_;
      count_ -= static_cast<int32_t>(n);
    }
  }
  double Value() const { return value_; }
  int32_t Count() const { return count_; }

  // out[i] = in[i] × value, stepping before each sample.
  void ApplyGain(const float* in, float* out) {
    for (int i = 0; i < kBlockSize; ++i) {
      Step();
      out[i] = in[i] * static_cast<float>(value_);
    }
  }
  // out[i] += in[i] × value, stepping before each sample.
  void AccumulateGain(const float* in, float* out) {
    for (int i = 0; i < kBlockSize; ++i) {
      Step();
      out[i] += in[i] * static_cast<float>(value_);
    }
  }

 private:
  int32_t count_ = -1;
  double value_ = 0.0;
  double increment_ = 0.0;
};

}  // namespace tg
