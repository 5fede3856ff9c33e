#pragma once

#include "dsp/QSCombFilter.h"

namespace tg {

// A feedback comb with a fractional delay: y[n] = x[n − d] + g·y[n − d].
class QSComb final : public QSCombFilter {
 public:
  explicit QSComb(double maxSeconds) : QSCombFilter(maxSeconds) {}

  // Audio thread: out = comb output; delay and gain ramped per sample.
  void Process(const float* in, float* out) {
    Run<false>(in, [out](int i, float y, float, float) { out[i] = y; });
  }
  // Audio thread: out += a × comb output.
  void ProcessAdd(const float* in, float* out, float a) {
    Run<false>(in, [out, a](int i, float y, float, float) { out[i] += a * y; });
  }
  // Audio thread: out = a × comb output.
  void ProcessScaled(const float* in, float* out, float a) {
    Run<false>(in, [out, a](int i, float y, float, float) { out[i] = a * y; });
  }
  // Audio thread: out = comb output with the delay of every sample given
  // (in samples, within the ring); the gain ramped per sample.
  void ProcessDelays(const float* in, const float* delays, float* out) {
    RunWithDelays(in, delays, [out](int i, float y, float, float) { out[i] = y; });
  }
  // Audio thread: the delay ramp advances once and holds for the block.
  void ProcessBlockDelay(const float* in, float* out) {
    Run<true>(in, [out](int i, float y, float, float) { out[i] = y; });
  }
  // Audio thread: out += comb output, the delay held for the block.
  void ProcessBlockDelayAdd(const float* in, float* out) {
    Run<true>(in, [out](int i, float y, float, float) { out[i] += y; });
  }
};

}  // namespace tg
