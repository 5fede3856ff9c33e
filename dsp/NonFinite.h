#pragma once

#include <bit>
#include <cmath>
#include <cstdint>

namespace tg {

// Audio thread: turns every sample that is not a finite number into silence,
// so one NaN or infinity cannot circulate in a feedback path for ever.
// Answers whether there was any.
inline bool SilenceNonFinite(float* samples, int count) {
  // First the whole block without a branch: an all-ones exponent (infinity or
  // NaN) plus one carries into the sign bit, and nothing else does.
  uint32_t carries = 0;
  for (int i = 0; i < count; ++i) {
    carries |= (std::bit_cast<uint32_t>(samples[i]) & 0x7F800000u) + 0x00800000u;
  }
  if ((carries & 0x80000000u) == 0) return false;
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
