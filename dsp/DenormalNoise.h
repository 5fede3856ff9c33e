#pragma once

#include <cstdint>

#include "dsp/QSNoiseSource.h"

namespace tg {

// Tiny noise added to recursive paths so that they never decay into denormals.
class DenormalNoise : public QSNoiseSource {
 public:
  static constexpr double kOffset = -3.0517578125e-08;
  static constexpr double kAmplitude = 6.103515625e-08;

  explicit DenormalNoise(int32_t seed) : QSNoiseSource(seed, kOffset, kAmplitude) {}
  // Seeded from the calendar time, as every owner does.
  static DenormalNoise FromClock() { return DenormalNoise(ClockSeed()); }

  // Audio thread: adds one noise value to each sample.
  void AddTo(float* samples, int count) {
    while (count > 0) {
      const int n = count < kBlockSize ? count : kBlockSize;
      if (ExactInFloat()) {
        // The double sum of a sample and a value this small is exact for
        // any sample under 2^14, and rounds to the sample itself above: the
        // float sum rounds the same.
        GenerateExact(n, [samples](int i, float v) { samples[i] += v; });
      } else {
        Generate(n, [samples](int i, double v) {
          samples[i] = static_cast<float>(static_cast<double>(samples[i]) + v);
        });
      }
      samples += n;
      count -= n;
    }
  }
};

}  // namespace tg
