#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "dsp/BlockConstants.h"
#include "dsp/Interpolation.h"
#include "dsp/QSVInterp.h"

namespace tg {

// What combs and allpasses share: a ring with a guard element, a fractional
// delay ramp and a feedback ramp. Owners keep the delay within 0 … L − 1.
class QSCombFilter {
 public:
  QSCombFilter(const QSCombFilter&) = delete;
  QSCombFilter& operator=(const QSCombFilter&) = delete;

  double frequency = 440.0;  // kept by the owner: 1 / the delay time
  QSVInterp delay;           // in samples
  QSVInterp feedback;

  int32_t Length() const { return length_; }
  // The ring's memory for a maximum delay.
  static std::size_t BytesFor(double maxSeconds) {
    return (static_cast<std::size_t>(RingLength(maxSeconds)) + 1) * sizeof(float);
  }
  // UI thread, audio stopped: silence in the ring, writing from its start,
  // and both ramps as new (their next set jumps).
  void Clear();

 protected:
  explicit QSCombFilter(double maxSeconds);
  static int32_t RingLength(double maxSeconds) {
    const auto n = static_cast<int32_t>(maxSeconds * kSampleRate);
    return n / kBlockSize * kBlockSize + kBlockSize;
  }

  // The filter's loop for one block; Output(out, x, g) gives the output
  // sample for the delayed sample, the input and the gain.
  template <bool kBlockRateDelay, typename Output>
  void Run(const float* in, Output&& output) {
    // The ramps and the write position live in registers for the block: the
    // output and the ring are floats the compiler would have to assume they
    // overlap.
    QSVInterp delayRamp = delay;
    QSVInterp feedbackRamp = feedback;
    int32_t w = write_;
    const int32_t length = length_;
    float d = 0.0f;
    if constexpr (kBlockRateDelay) {
      delayRamp.StepBlock();
      d = static_cast<float>(delayRamp.Value());
    }
    float* b = buffer_.data();
    for (int i = 0; i < kBlockSize; ++i) {
      if constexpr (!kBlockRateDelay) {
        delayRamp.Step();
        d = static_cast<float>(delayRamp.Value());
      }
      const int32_t c = QSTruncate(d + 1.0f);
      int32_t idx = w - c;
      if (idx < 0) idx += length;
      const float out = b[idx] + (b[idx + 1] - b[idx]) * (static_cast<float>(c) - d);
      feedbackRamp.Step();
      const auto g = static_cast<float>(feedbackRamp.Value());
      const float x = in[i];
      // Position 0 is mirrored into the guard, also in the first ring cycle,
      // so a read that spans the guard never meets a stale sample.
      if (w == length || w == 0) {  // only ever at the start of a block
        b[0] = b[length] = g * out + x;
        w = 1;
      } else {
        b[w] = g * out + x;
        ++w;
      }
      output(i, out, x, g);
    }
    write_ = w;
    delay = delayRamp;
    feedback = feedbackRamp;
  }

 private:
  int32_t length_;
  int32_t write_ = 0;
  std::vector<float> buffer_;
};

}  // namespace tg
