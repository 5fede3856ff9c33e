#pragma once

#include <array>

#include "dsp/GainSmoother.h"
#include "dsp/QSVInterp.h"
#include "dsp/SineRotorBank.h"
#include "framework/QSSignalProcessor.h"
#include "properties/QSDoubleProperty.h"

namespace tg {

// "10Harmonics": an additive oscillator, ten sine partials at 1 … 10 times a
// fundamental, each with its own amplitude, summed to one outlet. A new
// fundamental glides; every partial follows the same glide, so they stay in
// tune with each other. No inlets.
class TGAdditive10 final : public QSSignalProcessor {
 public:
  static constexpr int kPartials = 10;
  static constexpr double kMinFrequency = 20.0;
  static constexpr double kMaxFrequency = 1000.0;
  static constexpr double kStartFrequency = 100.0;
  // The glide: a one-pole low-pass stepped once per block.
  static constexpr double kGlideCutoffHz = 5.0;

  explicit TGAdditive10(QSDynSigContext* context);

  // Audio thread.
  void Process() override;
  // Audio thread (or with audio stopped): starts the partials over at the
  // stored frequency and levels, with no glide from where they were.
  void Reset() override;
  bool MayRunAhead() const override { return true; }
  // UI thread.
  QSPropertyTable* GetPropertyTable() override;

  QSDoubleProperty fundamentalFrequency{kStartFrequency};
  QSDoubleProperty gain{0.0};
  std::array<QSDoubleProperty, kPartials> amp{
      QSDoubleProperty{1.0}, QSDoubleProperty{0.0}, QSDoubleProperty{0.0}, QSDoubleProperty{0.0},
      QSDoubleProperty{0.0}, QSDoubleProperty{0.0}, QSDoubleProperty{0.0}, QSDoubleProperty{0.0},
      QSDoubleProperty{0.0}, QSDoubleProperty{0.0}};

 private:
  void Tune(float fundamental);
  // Each partial's level, amplitude × gain × 0.5, clamped to the ranges.
  double Level(size_t k) const;

  QSStaticPropertyTable table_;
  QSSignal out_, partial_;
  SineRotorBank<kPartials> rotors_;
  // Levels move over one block, so a new gain or amplitude does not click.
  std::array<QSVInterp, kPartials> levels_;
  std::array<bool, kPartials> audible_{};
  GainSmoother glide_;
  float tunedTo_ = 0.0f;
};

}  // namespace tg
