#pragma once

#include <cstdint>

#include "dsp/BlockConstants.h"

namespace tg {

// A peak limiter for the program's output: an instant attack, a straight
// release of 50 ms, the same gain on both sides. Once no sample has passed
// the threshold for the release time the gain is exactly 1 again and the
// samples pass untouched, bit for bit.
class OutputLimiter {
 public:
  static constexpr float kThreshold = 0.96605088f;  // -0.3 dBFS
  static constexpr int kReleaseSamples = 2205;      // 50 ms

  // Audio thread: limits a block of both sides in place; answers how many
  // of its first `counted` frames it turned down (the rest lie beyond what
  // is counted, such as an export's end).
  int Process(float* left, float* right, int counted = kBlockSize);
  // The gain of the next frame unless it passes the threshold.
  float Gain() const;
  // The lowest gain of a counted frame since ForgetLowest.
  float LowestGain() const { return lowest_; }
  // Audio thread: the lowest gain is looked for again; the gain keeps its course.
  void ForgetLowest() { lowest_ = 1.0f; }

 private:
  float floor_ = 1.0f;           // the gain at the last frame above the threshold
  int since_ = kReleaseSamples;  // frames since then
  float lowest_ = 1.0f;
};

}  // namespace tg
