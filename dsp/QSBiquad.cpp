#include "dsp/QSBiquad.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "dsp/BlockConstants.h"

namespace tg {

namespace {

constexpr double kPi = std::numbers::pi;
// Towards 0 Hz a corner's poles reach the unit circle (and ring for ever
// before they do); past Nyquist it would fold back.
constexpr double kLowestHz = 10.0;
constexpr double kHighestHz = 0.49 * kSampleRate;
constexpr double kNarrowestHz = 1.0;
// Far beyond any useful boost or cut, near enough that full scale stays finite.
constexpr double kGainLimitDb = 60.0;

// v within [lo, hi]; not a number gives fallback.
double Within(double v, double lo, double hi, double fallback) {
  if (std::isnan(v)) return fallback;
  return std::clamp(v, lo, hi);
}

double Frequency(double hz) { return Within(hz, kLowestHz, kHighestHz, 1000.0); }
double Gain(double db) { return Within(db, -kGainLimitDb, kGainLimitDb, 0.0); }

struct Shelf {
  double A, beta, cosw, sinw;
  Shelf(double cornerHz, double gainDb)
      : A(std::pow(10.0, Gain(gainDb) * 0.025)),
        beta(std::sqrt(A * A + 1.0 - (A - 1.0) * (A - 1.0))),
        cosw(std::cos(2.0 * kPi * Frequency(cornerHz) / kSampleRate)),
        sinw(std::sin(2.0 * kPi * Frequency(cornerHz) / kSampleRate)) {}
};

}  // namespace

ShelfCoefficients ShelfCoefficients::Low(double cornerHz, double gainDb) {
  const Shelf s(cornerHz, gainDb);
  const double A = s.A, c = s.cosw, h = s.beta * s.sinw;
  const double a0 = (A + 1.0) + (A - 1.0) * c + h;
  return {.b0 = A * ((A + 1.0) - (A - 1.0) * c + h) / a0,
          .b1 = 2.0 * A * ((A - 1.0) - (A + 1.0) * c) / a0,
          .b2 = A * ((A + 1.0) - (A - 1.0) * c - h) / a0,
          .a1 = -2.0 * ((A - 1.0) + (A + 1.0) * c) / a0,
          .a2 = ((A + 1.0) + (A - 1.0) * c - h) / a0};
}

ShelfCoefficients ShelfCoefficients::High(double cornerHz, double gainDb) {
  const Shelf s(cornerHz, gainDb);
  // The same slope term as the low shelf: with an extra factor A a cut would
  // overshoot the corner and come back as a boost below it.
  const double A = s.A, c = s.cosw, h = s.beta * s.sinw;
  const double a0 = (A + 1.0) - (A - 1.0) * c + h;
  return {.b0 = A * ((A + 1.0) + (A - 1.0) * c + h) / a0,
          .b1 = -2.0 * A * ((A - 1.0) + (A + 1.0) * c) / a0,
          .b2 = A * ((A + 1.0) + (A - 1.0) * c - h) / a0,
          .a1 = 2.0 * ((A - 1.0) - (A + 1.0) * c) / a0,
          .a2 = ((A + 1.0) - (A - 1.0) * c - h) / a0};
}

PeakingCoefficients PeakingCoefficients::Make(double centreHz, double bandwidthHz, double gainDb) {
  const double minusCos = -std::cos(2.0 * kPi * Frequency(centreHz) / kSampleRate);
  // A bandwidth of nothing would put the poles on the unit circle, one of
  // half the sample rate or more would push them through it.
  const double t =
      std::tan(kPi * Within(bandwidthHz, kNarrowestHz, 0.45 * kSampleRate, 100.0) / kSampleRate);
  const double g = (1.0 - t) / (1.0 + t);
  const double K = std::pow(10.0, Gain(gainDb) * 0.05);
  return {.c0 = (g + 1.0 + K - g * K) / 2.0,
          .c1 = (g + 1.0) * minusCos,
          .c2 = (g + (1.0 - K) + g * K) / 2.0,
          .g = g};
}

void BiquadHistory::Process(const ShelfCoefficients& k, float* samples, int count) {
  float x1 = x1_, x2 = x2_, y1 = y1_, y2 = y2_;
  for (int i = 0; i < count; ++i) {
    const float x = samples[i];
    const auto y = static_cast<float>(k.b0 * x + k.b1 * x1 + k.b2 * x2 - k.a1 * y1 - k.a2 * y2);
    x2 = x1;
    x1 = x;
    y2 = y1;
    y1 = y;
    samples[i] = y;
  }
  x1_ = x1, x2_ = x2, y1_ = y1, y2_ = y2;
}

void BiquadHistory::Process(const PeakingCoefficients& k, float* samples, int count) {
  float x1 = x1_, x2 = x2_, y1 = y1_, y2 = y2_;
  for (int i = 0; i < count; ++i) {
    const float x = samples[i];
    const auto y =
        static_cast<float>(k.c0 * x + k.c1 * (static_cast<double>(x1) - y1) + k.c2 * x2 - k.g * y2);
    x2 = x1;
    x1 = x;
    y2 = y1;
    y1 = y;
    samples[i] = y;
  }
  x1_ = x1, x2_ = x2, y1_ = y1, y2_ = y2;
}

void BiquadHistory::Glide(const ShelfCoefficients& from, const ShelfCoefficients& to,
                          float* samples, int count) {
  float x1 = x1_, x2 = x2_, y1 = y1_, y2 = y2_;
  const double step = 1.0 / count;
  for (int i = 0; i < count; ++i) {
    const double t = (i + 1) * step;
    const auto at = [t](double a, double b) { return a + (b - a) * t; };
    const float x = samples[i];
    const auto y = static_cast<float>(at(from.b0, to.b0) * x + at(from.b1, to.b1) * x1 +
                                      at(from.b2, to.b2) * x2 - at(from.a1, to.a1) * y1 -
                                      at(from.a2, to.a2) * y2);
    x2 = x1;
    x1 = x;
    y2 = y1;
    y1 = y;
    samples[i] = y;
  }
  x1_ = x1, x2_ = x2, y1_ = y1, y2_ = y2;
}

void BiquadHistory::Glide(const PeakingCoefficients& from, const PeakingCoefficients& to,
                          float* samples, int count) {
  float x1 = x1_, x2 = x2_, y1 = y1_, y2 = y2_;
  const double step = 1.0 / count;
  for (int i = 0; i < count; ++i) {
    const double t = (i + 1) * step;
    const auto at = [t](double a, double b) { return a + (b - a) * t; };
    const float x = samples[i];
    const auto y = static_cast<float>(at(from.c0, to.c0) * x +
                                      at(from.c1, to.c1) * (static_cast<double>(x1) - y1) +
                                      at(from.c2, to.c2) * x2 - at(from.g, to.g) * y2);
    x2 = x1;
    x1 = x;
    y2 = y1;
    y1 = y;
    samples[i] = y;
  }
  x1_ = x1, x2_ = x2, y1_ = y1, y2_ = y2;
}

void QSFourBandEq::Channel::Glide(const QSFourBandEq& from, const QSFourBandEq& to, float* samples,
                                  int count) {
  high_.Glide(from.high_, to.high_, samples, count);
  low_.Glide(from.low_, to.low_, samples, count);
  for (int b = 0; b < kBands; ++b) bands_[b].Glide(from.bands_[b], to.bands_[b], samples, count);
}

void QSFourBandEq::Channel::Process(const QSFourBandEq& eq, float* samples, int count) {
  high_.Process(eq.high_, samples, count);
  low_.Process(eq.low_, samples, count);
  for (int b = 0; b < kBands; ++b) bands_[b].Process(eq.bands_[b], samples, count);
}

void QSFourBandEq::Channel::Clear() {
  high_.Clear();
  low_.Clear();
  for (BiquadHistory& b : bands_) b.Clear();
}

}  // namespace tg
