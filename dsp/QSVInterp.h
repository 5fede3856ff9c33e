#pragma once

#include <cstdint>

#include "dsp/BlockConstants.h"
#include "dsp/BlockOps.h"

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

  // Whether the ramp no longer moves: every later step keeps the value.
  bool Settled() const { return count_ <= 0; }
  // The gain of every sample of the next block, as Step then Value give
  // them before each, and steps on by the block.
  void StepGains(float* gains) {
    double v = value_;
    const double increment = increment_;
    const int n = count_ > 0 ? (count_ < kBlockSize ? count_ : kBlockSize) : 0;
    int i = 0;
    for (; i < n; ++i) {  // each sum needs the one before
      v += increment;
      gains[i] = static_cast<float>(v);
    }
    const auto g = static_cast<float>(v);
    for (; i < kBlockSize; ++i) gains[i] = g;
    value_ = v;
    count_ -= n;
  }

  // Steps n ramps by a block, each as its own StepGains would (gains[j] for
  // ramps[j]). Ramps a whole block or more from their targets go side by
  // side, four or two at a time: their sums do not wait for each other.
  static void StepGains(QSVInterp* const* ramps, float* const* gains, int n) {
    const auto whole = [ramps](int from, int count) {
      for (int j = from; j < from + count; ++j) {
        if (ramps[j]->count_ < kBlockSize) return false;
      }
      return true;
    };
    int j = 0;
    while (j < n) {
      if (n - j >= 4 && whole(j, 4)) {
        StepWholeBlocks<4>(ramps + j, gains + j);
        j += 4;
      } else if (n - j >= 2 && whole(j, 2)) {
        StepWholeBlocks<2>(ramps + j, gains + j);
        j += 2;
      } else {
        ramps[j]->StepGains(gains[j]);
        ++j;
      }
    }
  }

  // out[i] = in[i] × value, stepping before each sample; in may be out.
  void ApplyGain(const float* in, float* out) {
    if (Settled()) {
      ScaleBlock(in, static_cast<float>(value_), out);
    } else {
      alignas(64) float gains[kBlockSize];
      StepGains(gains);
      MulBlock(in, gains, out);
    }
  }
  // out[i] += in[i] × value, stepping before each sample; in may be out.
  void AccumulateGain(const float* in, float* out) {
    if (Settled()) {
      ScaleAddBlock(in, static_cast<float>(value_), out);
    } else {
      alignas(64) float gains[kBlockSize];
      StepGains(gains);
      MulAddBlock(in, gains, out);
    }
  }

 private:
  template <int N>
  static void StepWholeBlocks(QSVInterp* const* ramps, float* const* gains) {
    double v[N];
    double increment[N];
    for (int j = 0; j < N; ++j) {
      v[j] = ramps[j]->value_;
      increment[j] = ramps[j]->increment_;
    }
    for (int i = 0; i < kBlockSize; ++i) {
      for (int j = 0; j < N; ++j) {
        v[j] += increment[j];
        gains[j][i] = static_cast<float>(v[j]);
      }
    }
    for (int j = 0; j < N; ++j) {
      ramps[j]->value_ = v[j];
      ramps[j]->count_ -= kBlockSize;
    }
  }

  int32_t count_ = -1;
  double value_ = 0.0;
  double increment_ = 0.0;
};

}  // namespace tg
