#pragma once

#include <array>

#include "dsp/DcBlocker.h"
#include "dsp/DenormalNoise.h"
#include "dsp/FirstOrderAllpass.h"
#include "dsp/QSVInterp.h"
#include "dsp/SweepLfo.h"
#include "framework/QSSignalProcessor.h"
#include "properties/QSDoubleProperty.h"

namespace tg {

// "Phaser": six first-order allpasses in a feedback loop, their breaks swept
// between two ends by a sine, the chain added to the dry input so that notches
// move through the sound. Mono.
class TGPhaser final : public QSSignalProcessor {
 public:
  static constexpr double kMinFrequency = 20.0;
  static constexpr double kMaxFrequency = 4000.0;
  static constexpr double kMinRate = 0.001;
  static constexpr double kMaxRate = 100.0;
  static constexpr double kMaxFeedback = 0.95;

  explicit TGPhaser(QSDynSigContext* context);

  void Process() override;
  void Reset() override;
  QSPropertyTable* GetPropertyTable() override;

  // The three sections' coefficients for a break frequency (Hz): the first
  // section's stages turn the phase by a quarter turn at that frequency, the
  // second's and the third's 10 % and 20 % higher.
  static std::array<float, 3> Coefficients(double hz);

  QSDoubleProperty minFrequency{440.0};
  QSDoubleProperty maxFrequency{1600.0};
  QSDoubleProperty rate{0.55};
  QSDoubleProperty feedback{0.7};
  QSDoubleProperty depth{1.0};

 private:
  // Samples between two settings of the breaks.
  static constexpr int kSweepStep = 16;

  QSStaticPropertyTable table_;
  QSSignal out_;
  DcBlocker inputDc_, feedbackDc_;
  DenormalNoise noise_ = DenormalNoise::FromClock();
  SweepLfo lfo_;
  std::array<FirstOrderAllpass, 6> stages_;
  QSVInterp feedbackRamp_;
  QSVInterp depthRamp_;
  float fb_ = 0.0f;
  double break_ = 0.0;
};

}  // namespace tg
