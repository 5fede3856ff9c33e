#pragma once

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstddef>
#include <vector>

#include "dsp/BlockConstants.h"
#include "dsp/QSNoiseSource.h"

namespace tg::test {

// Spectral measurements for filters whose notches and peaks move.

// Full-scale white noise, the same every run.
inline std::vector<float> WhiteNoise(size_t length, int32_t seed = 4711) {
  QSNoiseSource noise(seed, -1.0, 2.0);
  std::vector<float> s(length);
  for (float& v : s) v = static_cast<float>(noise.Next());
  return s;
}

// In-place radix-2 transform; the size must be a power of two.
inline void Fft(std::vector<std::complex<double>>& a) {
  const size_t n = a.size();
  for (size_t i = 1, j = 0; i < n; ++i) {
    size_t bit = n >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j ^= bit;
    if (i < j) std::swap(a[i], a[j]);
  }
  for (size_t len = 2; len <= n; len <<= 1) {
    const std::complex<double> w = std::polar(1.0, -2.0 * M_PI / static_cast<double>(len));
    for (size_t i = 0; i < n; i += len) {
      std::complex<double> wk = 1.0;
      for (size_t k = 0; k < len / 2; ++k, wk *= w) {
        const std::complex<double> u = a[i + k], v = a[i + k + len / 2] * wk;
        a[i + k] = u + v;
        a[i + k + len / 2] = u - v;
      }
    }
  }
}

// Power per bin of s[from, from + n), Hann-windowed unless it is one whole
// impulse response, zero-padded to pad.
inline std::vector<double> PowerSpectrum(const std::vector<float>& s, size_t from, size_t n,
                                         size_t pad = 0, bool hann = true) {
  std::vector<std::complex<double>> a(std::max(n, pad), 0.0);
  for (size_t i = 0; i < n; ++i) {
    const double w =
        hann ? 0.5 - 0.5 * std::cos(2.0 * M_PI * static_cast<double>(i) / static_cast<double>(n))
             : 1.0;
    a[i] = w * s[from + i];
  }
  Fft(a);
  std::vector<double> p(a.size() / 2);
  for (size_t k = 0; k < p.size(); ++k) p[k] = std::norm(a[k]);
  return p;
}

// The transfer power |H|² per bin from a long noise run, averaged over frames.
class TransferEstimate {
 public:
  static constexpr size_t kSize = 8192;
  TransferEstimate(const std::vector<float>& in, const std::vector<float>& out, size_t from) {
    std::vector<double> pin(kSize / 2, 0.0), pout(kSize / 2, 0.0);
    for (size_t at = from; at + kSize <= std::min(in.size(), out.size()); at += kSize / 2) {
      const auto a = PowerSpectrum(in, at, kSize);
      const auto b = PowerSpectrum(out, at, kSize);
      for (size_t k = 0; k < pin.size(); ++k) {
        pin[k] += a[k];
        pout[k] += b[k];
      }
    }
    gain_.resize(pin.size());
    for (size_t k = 0; k < pin.size(); ++k) gain_[k] = pout[k] / std::max(pin[k], 1e-30);
  }
  static double BinHz() { return kSampleRate / kSize; }
  // The frequency of the lowest (or highest) gain between two frequencies.
  double DeepestBetween(double lo, double hi) const { return Extreme(lo, hi, false); }
  double HighestBetween(double lo, double hi) const { return Extreme(lo, hi, true); }
  // The gain in decibels, averaged over the bins within a few hertz.
  double DecibelsAt(double hz, double width = 3 * BinHz()) const {
    double sum = 0.0;
    int count = 0;
    for (size_t k = Bin(hz - width); k <= Bin(hz + width); ++k, ++count) sum += gain_[k];
    return 10.0 * std::log10(sum / count);
  }

 private:
  static size_t Bin(double hz) { return static_cast<size_t>(std::lround(hz / BinHz())); }
  double Extreme(double lo, double hi, bool highest) const {
    size_t best = Bin(lo);
    for (size_t k = Bin(lo); k <= Bin(hi); ++k) {
      if (highest ? gain_[k] > gain_[best] : gain_[k] < gain_[best]) best = k;
    }
    return static_cast<double>(best) * BinHz();
  }
  std::vector<double> gain_;
};

// An impulse at the start of every frame.
inline std::vector<float> ImpulseTrain(size_t frames, size_t frame) {
  std::vector<float> s(frames * frame, 0.0f);
  for (size_t i = 0; i < s.size(); i += frame) s[i] = 1.0f;
  return s;
}

// The frequency of the deepest notch between lo and hi in each frame's
// spectrum, the input being one impulse at the start of every frame.
inline std::vector<double> NotchTrack(const std::vector<float>& out, size_t frame, double lo,
                                      double hi) {
  constexpr size_t kPad = 16384;
  const double binHz = kSampleRate / kPad;
  std::vector<double> track;
  for (size_t at = 0; at + frame <= out.size(); at += frame) {
    const auto p = PowerSpectrum(out, at, frame, kPad, false);
    size_t best = static_cast<size_t>(lo / binHz);
    for (size_t k = best; k <= static_cast<size_t>(hi / binHz); ++k) {
      if (p[k] < p[best]) best = k;
    }
    track.push_back(static_cast<double>(best) * binHz);
  }
  return track;
}

// The frame lag (within [minLag, maxLag]) at which a track best repeats.
inline int RepeatLag(const std::vector<double>& track, int minLag, int maxLag) {
  double mean = 0.0;
  for (double v : track) mean += v;
  mean /= static_cast<double>(track.size());
  int best = minLag;
  double bestScore = -1e300;
  for (int lag = minLag; lag <= maxLag; ++lag) {
    double score = 0.0;
    for (size_t i = 0; i + static_cast<size_t>(lag) < track.size(); ++i)
      score += (track[i] - mean) * (track[i + static_cast<size_t>(lag)] - mean);
    score /= static_cast<double>(track.size() - static_cast<size_t>(lag));
    if (score > bestScore) {
      bestScore = score;
      best = lag;
    }
  }
  return best;
}

// Peak magnitude of s[from, to), or infinity when any sample is not finite.
inline float PeakOf(const std::vector<float>& s, size_t from, size_t to) {
  float peak = 0.0f;
  for (size_t i = from; i < to && i < s.size(); ++i) {
    if (!std::isfinite(s[i])) return INFINITY;
    peak = std::max(peak, std::abs(s[i]));
  }
  return peak;
}

}  // namespace tg::test
