#pragma once

#include <cstdint>

#include "dsp/BlockConstants.h"

namespace tg {

// The program's one random generator: a 32-bit linear congruential sequence.
// Each value is ((seed >> 16) & 0x7FFF) / 32768, scaled and offset by its owner.
class QSNoiseSource {
 public:
  explicit QSNoiseSource(int32_t seed, double offset = 0.0, double scale = 1.0)
      : seed_(seed), offset_(offset), scale_(scale) {}
  // The seed each owner takes, its own: the calendar time mixed with how many
  // sources were made before, so that sources made in the same second do not
  // play the same sequence. UI thread (any thread is safe).
  static int32_t ClockSeed();
  // From now on every seed derives from base instead of the time, so that a
  // render comes out the same every time (tonegarden-render --seed).
  static void FixSeeds(uint32_t base);

  void SetOffset(double offset) { offset_ = offset; }
  void SetScale(double scale) { scale_ = scale; }
  int32_t Seed() const { return seed_; }

  // Audio thread.
  double Next() {
    const uint32_t s = static_cast<uint32_t>(seed_);
    seed_ = static_cast<int32_t>(s * 1103515245u + 12345u);
    return static_cast<double>((s >> 16) & 0x7FFFu) * (1.0 / 32768.0) * scale_ + offset_;
  }
  // Audio thread: one block of values.
  void Fill(float* out) {
    for (int i = 0; i < kBlockSize; ++i) out[i] = static_cast<float>(Next());
  }

 private:
  int32_t seed_;
  double offset_;
  double scale_;
};

}  // namespace tg
