#pragma once

namespace tg {

// Second-order sections in direct form I: coefficients in double, history in
// float. Designers keep every section stable and finite whatever they are
// given (frequency 0 or past Nyquist, bandwidth 0, absurd gains).

// A shelving section with normalised coefficients (a0 = 1).
struct ShelfCoefficients {
  double b0 = 1.0, b1 = 0.0, b2 = 0.0, a1 = 0.0, a2 = 0.0;

  // Slope 1, boosting or cutting below the corner frequency.
  static ShelfCoefficients Low(double cornerHz, double gainDb);
  // Slope 1, boosting or cutting above the corner frequency.
  static ShelfCoefficients High(double cornerHz, double gainDb);
};

// A peaking section: half the sum of the direct signal times (1 + K) and a
// second-order allpass times (1 − K), so gain K at the centre and unity far
// from it.
struct PeakingCoefficients {
  double c0 = 1.0, c1 = 0.0, c2 = 0.0;
  double g = 0.0;  // the allpass's pole product, also the feedback of y2

  static PeakingCoefficients Make(double centreHz, double bandwidthHz, double gainDb);
};

// The state of one section.
class BiquadHistory {
 public:
  BiquadHistory() = default;
  BiquadHistory(const BiquadHistory&) = delete;
  BiquadHistory& operator=(const BiquadHistory&) = delete;

  // Audio thread: filters a block in place.
  void Process(const ShelfCoefficients& k, float* samples, int count);
  void Process(const PeakingCoefficients& k, float* samples, int count);
  // Audio thread: the same while the coefficients move in a straight line
  // from one set to the other, reaching `to` at the last sample.
  void Glide(const ShelfCoefficients& from, const ShelfCoefficients& to, float* samples, int count);
  void Glide(const PeakingCoefficients& from, const PeakingCoefficients& to, float* samples,
             int count);
  void Clear() { x1_ = x2_ = y1_ = y2_ = 0.0f; }

 private:
  float x1_ = 0.0f, x2_ = 0.0f, y1_ = 0.0f, y2_ = 0.0f;
};

// A four-band equaliser: a high shelf, a low shelf and two peaking bands, in
// that order. The coefficients are shared; each channel keeps its own history.
class QSFourBandEq {
 public:
  static constexpr int kBands = 2;

  // Any thread that owns the block (the audio thread in a processor).
  void SetHighShelf(double cornerHz, double gainDb) {
    high_ = ShelfCoefficients::High(cornerHz, gainDb);
  }
  void SetLowShelf(double cornerHz, double gainDb) {
    low_ = ShelfCoefficients::Low(cornerHz, gainDb);
  }
  // band: 0 or 1.
  void SetBand(int band, double centreHz, double bandwidthHz, double gainDb) {
    bands_[band] = PeakingCoefficients::Make(centreHz, bandwidthHz, gainDb);
  }

  class Channel {
   public:
    Channel() = default;
    Channel(const Channel&) = delete;
    Channel& operator=(const Channel&) = delete;
    // Audio thread: high shelf, low shelf, band 1, band 2, in place.
    void Process(const QSFourBandEq& eq, float* samples, int count);
    // Audio thread: the same with every section's coefficients moving from
    // one equaliser's to the other's.
    void Glide(const QSFourBandEq& from, const QSFourBandEq& to, float* samples, int count);
    void Clear();

   private:
    BiquadHistory high_, low_, bands_[kBands];
  };

 private:
  ShelfCoefficients high_, low_;
  PeakingCoefficients bands_[kBands];
};

}  // namespace tg
