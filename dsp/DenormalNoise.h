#pragma once

#include <cstdint>

namespace tg {

// Tiny noise added to recursive paths so that they never decay into denormals.
// The same linear congruential sequence as the program's other noise sources.
class DenormalNoise {
 public:
  static constexpr double kOffset = -3.0517578125e-08;
  static constexpr double kAmplitude = 6.103515625e-08;

  explicit DenormalNoise(int32_t seed) : seed_(seed) {}
  // Seeded from the calendar time, as every owner does.
  static DenormalNoise FromClock();

  // Audio thread.
  double Next() {
    const uint32_t a = static_cast<uint32_t>(seed_);
    seed_ = static_cast<int32_t>(a * 1103515245u + 12345u);
    return static_cast<double>((a >> 16) & 0x7FFF) * (1.0 / 32768.0) * kAmplitude + kOffset;
  }
  // Audio thread: adds one noise value to each sample.
  void AddTo(float* samples, int count) {
    for (int i = 0; i < count; ++i) samples[i] = static_cast<float>(samples[i] + Next());
  }
  int32_t Seed() const { return seed_; }

 private:
  int32_t seed_;
};

}  // namespace tg
