#pragma once

#include "dsp/DcBlocker.h"
#include "dsp/DenormalNoise.h"
#include "dsp/EqualPowerMix.h"
#include "dsp/QSComb.h"
#include "dsp/SweepLfo.h"
#include "framework/QSSignalProcessor.h"
#include "properties/QSDoubleProperty.h"

namespace tg {

// "Flanger": a feedback comb whose loop delay is one period of a frequency
// swept between two ends by a sine, mixed with the dry input. Mono.
class TGFlanger final : public QSSignalProcessor {
 public:
  static constexpr double kMinFrequency = 20.0;
  static constexpr double kMaxFrequency = 4000.0;
  static constexpr double kMinRate = 0.001;
  static constexpr double kMaxRate = 100.0;
  static constexpr double kMaxFeedback = 0.95;

  explicit TGFlanger(QSDynSigContext* context);

  void Process() override;
  void Reset() override;
  QSPropertyTable* GetPropertyTable() override;

  static size_t BufferMemory() { return QSCombFilter::BytesFor(kCombSeconds); }

  QSDoubleProperty minFrequency{440.0};
  QSDoubleProperty maxFrequency{1600.0};
  QSDoubleProperty rate{1.0};
  QSDoubleProperty feedback{0.9};
  QSDoubleProperty wetDryMix{0.7};

 private:
  static constexpr double kCombSeconds = 0.1;

  QSStaticPropertyTable table_;
  QSSignal out_;
  QSComb comb_{kCombSeconds};
  DcBlocker dc_;
  EqualPowerMix mix_;
  DenormalNoise noise_ = DenormalNoise::FromClock();
  SweepLfo lfo_;
};

}  // namespace tg
