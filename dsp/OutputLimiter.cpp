#include "dsp/OutputLimiter.h"

#include <algorithm>
#include <cmath>

namespace tg {

float OutputLimiter::Gain() const {
  if (since_ >= kReleaseSamples) return 1.0f;
  return floor_ + (1.0f - floor_) * static_cast<float>(since_) / kReleaseSamples;
}

namespace output_limiter {

// The louder side of a frame; what is not a finite number goes out as
// silence, so it never turns the output down.
float FramePeak(float left, float right) {
  const float a = std::isfinite(left) ? std::fabs(left) : 0.0f;
  const float b = std::isfinite(right) ? std::fabs(right) : 0.0f;
  return std::max(a, b);
}

}  // namespace output_limiter

using output_limiter::FramePeak;

int OutputLimiter::Process(float* left, float* right, int counted) {
  int from = 0;
  if (since_ >= kReleaseSamples) {
    // Resting: untouched up to the first frame above the threshold.
    while (from < kBlockSize && !(FramePeak(left[from], right[from]) > kThreshold)) ++from;
    if (from == kBlockSize) return 0;
  }
  int reduced = 0;
  for (int i = from; i < kBlockSize; ++i) {
    float g = Gain();
    const float peak = FramePeak(left[i], right[i]);
    if (peak * g > kThreshold) {
      // Down at once to exactly what keeps this frame at the threshold.
      g = kThreshold / peak;
      floor_ = g;
      since_ = 0;
    }
    if (g < 1.0f) {
      left[i] *= g;
      right[i] *= g;
      if (i < counted) {
        ++reduced;
        lowest_ = std::min(lowest_, g);
      }
    }
    if (since_ < kReleaseSamples) ++since_;
  }
  return reduced;
}

}  // namespace tg
