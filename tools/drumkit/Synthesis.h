#pragma once

// The small building blocks the kit and its loops are made from. Everything
// runs offline, at the kit's rate, in doubles.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <numbers>

#include "dsp/QSNoiseSource.h"
#include "tools/drumkit/DrumKit.h"

namespace tg::drumkit {

inline constexpr double kTwoPi = 2.0 * std::numbers::pi;

inline double TimeOf(size_t i) { return static_cast<double>(i) / kSampleRate; }
inline size_t FramesIn(double seconds) {
  return static_cast<size_t>(std::lround(seconds * kSampleRate));
}
inline double Decay(double t, double seconds) { return std::exp(-t / seconds); }

// White noise in [-1, 1) from the program's own generator, with a seed of
// the sound's own so the kit comes out the same on every build.
class WhiteNoise {
 public:
  explicit WhiteNoise(int32_t seed) : source_(seed, -1.0, 2.0) {}
  double Next() { return source_.Next(); }

 private:
  QSNoiseSource source_;
};

// A second-order filter in the usual cookbook forms (transposed direct form II).
class Biquad {
 public:
  static Biquad HighPass(double hz, double q) {
    const Shape s(hz, q);
    return {(1 + s.cosine) / 2, -(1 + s.cosine), (1 + s.cosine) / 2, s};
  }
  static Biquad LowPass(double hz, double q) {
    const Shape s(hz, q);
    return {(1 - s.cosine) / 2, 1 - s.cosine, (1 - s.cosine) / 2, s};
  }
  // Unity gain at the centre.
  static Biquad BandPass(double hz, double q) {
    const Shape s(hz, q);
    return {s.alpha, 0.0, -s.alpha, s};
  }

  double Tick(double x) {
    const double y = b0_ * x + z1_;
    z1_ = b1_ * x - a1_ * y + z2_;
    z2_ = b2_ * x - a2_ * y;
    return y;
  }

 private:
  struct Shape {
    Shape(double hz, double q) {
      const double w = kTwoPi * hz / kSampleRate;
      cosine = std::cos(w);
      alpha = std::sin(w) / (2 * q);
    }
    double cosine;
    double alpha;
  };
  Biquad(double b0, double b1, double b2, const Shape& s)
      : b0_(b0 / (1 + s.alpha)),
        b1_(b1 / (1 + s.alpha)),
        b2_(b2 / (1 + s.alpha)),
        a1_(-2 * s.cosine / (1 + s.alpha)),
        a2_((1 - s.alpha) / (1 + s.alpha)) {}

  double b0_, b1_, b2_, a1_, a2_;
  double z1_ = 0.0, z2_ = 0.0;
};

// A sine whose frequency may change from sample to sample.
class Sweep {
 public:
  double Next(double hz) {
    phase_ += kTwoPi * hz / kSampleRate;
    if (phase_ >= kTwoPi) phase_ -= kTwoPi;
    return std::sin(phase_);
  }

 private:
  double phase_ = 0.0;
};

}  // namespace tg::drumkit
