#pragma once

#include <cmath>

namespace tg {

// Audio thread: turns every sample that is not a finite number into silence,
// so one NaN or infinity cannot circulate in a feedback path for ever.
// Answers whether there was any.
inline bool SilenceNonFinite(float* samples, int count) {
  bool any = false;
  for (int i = 0; i < count; ++i) {
    if (!std::isfinite(samples[i])) {
      samples[i] = 0.0f;
      any = true;
    }
  }
  return any;
}

// Audio thread: the sample, or silence when it is not a finite number.
inline float FiniteOrSilence(float x) { return std::isfinite(x) ? x : 0.0f; }

}  // namespace tg
