#pragma once

#include "dsp/QSCombFilter.h"

namespace tg {

// An allpass on the comb's loop: the output is out × (1 − g²) − x.
class QSAllpass final : public QSCombFilter {
 public:
  explicit QSAllpass(double maxSeconds) : QSCombFilter(maxSeconds) {}

  // Audio thread: delay and gain ramped per sample.
  void Process(const float* in, float* out) {
    Run<false>(in, [out](int i, float y, float x, float g) { out[i] = y * (1.0f - g * g) - x; });
  }
  // Audio thread: out += the allpass output.
  void ProcessAdd(const float* in, float* out) {
    Run<false>(in, [out](int i, float y, float x, float g) { out[i] += y * (1.0f - g * g) - x; });
  }
  // Audio thread: the delay ramp advances once and holds for the block.
  void ProcessBlockDelay(const float* in, float* out) {
    Run<true>(in, [out](int i, float y, float x, float g) { out[i] = y * (1.0f - g * g) - x; });
  }
  // Audio thread: out = a × the allpass output, the delay held for the block.
  void ProcessBlockDelayScaled(const float* in, float* out, float a) {
    Run<true>(
        in, [out, a](int i, float y, float x, float g) { out[i] = (y * (1.0f - g * g) - x) * a; });
  }
};

}  // namespace tg
