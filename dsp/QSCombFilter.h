#pragma once

#include <algorithm>
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
    if (delay.Settled() && feedback.Settled()) {
      if constexpr (kBlockRateDelay) delay.StepBlock();  // keeps a settled value
      RunSteady(in, output);
      return;
    }
    QSVInterp delayRamp = delay;
    float d = 0.0f;
    if constexpr (kBlockRateDelay) {
      delayRamp.StepBlock();
      d = static_cast<float>(delayRamp.Value());
    }
    Loop(
        in,
        [&](int) {
          if constexpr (!kBlockRateDelay) {
            delayRamp.Step();
            d = static_cast<float>(delayRamp.Value());
          }
          return d;
        },
        output);
    delay = delayRamp;
  }
  // The same loop with the delay of every sample given (in samples); the
  // delay ramp is left alone.
  template <typename Output>
  void RunWithDelays(const float* in, const float* delays, Output&& output) {
    Loop(
        in, [delays](int i) { return delays[i]; }, output);
  }

 private:
  template <typename DelayOf, typename Output>
  void Loop(const float* in, DelayOf&& delayOf, Output&& output) {
    QSVInterp feedbackRamp = feedback;
    int32_t w = write_;
    const int32_t length = length_;
    float* b = buffer_.data();
    for (int i = 0; i < kBlockSize; ++i) {
      const float d = delayOf(i);
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
    feedback = feedbackRamp;
  }

  // Run with both ramps at rest, as nearly always: the same sums, without
  // stepping the ramps, and the ring's wraps taken out of the loop.
  template <typename Output>
  void RunSteady(const float* in, Output& output) {
    const auto d = static_cast<float>(delay.Value());
    const int32_t c = QSTruncate(d + 1.0f);
    const float frac = static_cast<float>(c) - d;
    const auto g = static_cast<float>(feedback.Value());
    const int32_t length = length_;
    float* b = buffer_.data();
    int32_t w = write_;
    int i = 0;
    auto step = [&](int32_t idx, int32_t to) {
      const float out = b[idx] + (b[idx + 1] - b[idx]) * frac;
      const float x = in[i];
      b[to] = g * out + x;
      output(i, out, x, g);
    };
    // Position 0 is mirrored into the guard, also in the first ring cycle,
    // so a read that spans the guard never meets a stale sample.
    if (w == length || w == 0) {  // only ever at the start of a block
      int32_t idx = -c;
      if (idx < 0) idx += length;
      step(idx, 0);
      b[length] = b[0];
      w = 1;
      ++i;
    }
    // Reads from before the ring's start wrap to its end.
    for (; i < kBlockSize && w - c < 0; ++i, ++w) step(w - c + length, w);
    // A sample reads what was written c samples before: runs of c − 1
    // samples read only what came before them, so no sample of a run waits
    // on another and the compiler may take them four at a time.
    while (i < kBlockSize && c >= 2) {
      const float* __restrict from = b + (w - c);
      float* __restrict to = b + w;
      const int n = std::min(kBlockSize - i, c - 1);
      for (int j = 0; j < n; ++j) {
        const float out = from[j] + (from[j + 1] - from[j]) * frac;
        const float x = in[i + j];
        to[j] = g * out + x;
        output(i + j, out, x, g);
      }
      i += n;
      w += n;
    }
    for (; i < kBlockSize; ++i, ++w) step(w - c, w);
    write_ = w;
  }

  int32_t length_;
  int32_t write_ = 0;
  std::vector<float> buffer_;
};

}  // namespace tg
